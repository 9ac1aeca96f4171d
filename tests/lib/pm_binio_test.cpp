// Binary integers of both byte orders: exact bytes written, values read
// back (negative ones too), and a stream that ends inside a value.
#include "read_support.h"

using namespace tarvex_test;
using namespace std::string_literals;

namespace {

// One operation pair, seen through 32-bit values.
struct Order {
    const char* name;
    int (*write)(FILE*, int32_t);
    int (*read)(FILE*, int32_t*);
};

template <typename T, int (*W)(FILE*, T), int (*R)(FILE*, T*)>
constexpr Order Pair(const char* name) {
    return {name, [](FILE* f, int32_t v) { return W(f, static_cast<T>(v)); },
            [](FILE* f, int32_t* v) {
                T t = static_cast<T>(*v);
                int rc = R(f, &t);
                *v = t;
                return rc;
            }};
}

const Order kBigShort = Pair<int16_t, pm_writebigshort, pm_readbigshort>("bs");
const Order kLittleShort =
    Pair<int16_t, pm_writelittleshort, pm_readlittleshort>("ls");
const Order kBigLong = Pair<int32_t, pm_writebiglong, pm_readbiglong>("bl");
const Order kLittleLong =
    Pair<int32_t, pm_writelittlelong, pm_readlittlelong>("ll");

TEST(PmBinio, WritesExactBytesAndReadsThemBack) {
    const struct {
        Order op;
        int32_t value;
        std::string bytes;
    } cases[] = {
        {kBigShort, 258, "\x01\x02"s},        {kLittleShort, 258, "\x02\x01"s},
        {kBigShort, -2, "\xff\xfe"s},         {kLittleShort, -32768, "\x00\x80"s},
        {kBigLong, -2, "\xff\xff\xff\xfe"s},  {kLittleLong, -2, "\xfe\xff\xff\xff"s},
        {kBigLong, 0x01020304, "\x01\x02\x03\x04"s},
        {kLittleLong, INT32_MIN, "\x00\x00\x00\x80"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.op.name) + " " + std::to_string(c.value));
        FILE* f = std::tmpfile();
        EXPECT_EQ(c.op.write(f, c.value), 0);
        std::rewind(f);
        EXPECT_EQ(Rest(f), c.bytes);
        std::rewind(f);
        int32_t v = 0;
        EXPECT_EQ(c.op.read(f, &v), 0);
        EXPECT_EQ(v, c.value);
        std::fclose(f);
    }
}

TEST(PmBinio, ShortStreamKeepsTheBytesReadSoFar) {
    const struct {
        Order op;
        std::string bytes;
        int rc;
        int32_t value;  // starting from 99
    } cases[] = {
        {kLittleShort, "\x01\x02"s, 0, 513},  // the other order, reversed
        {kBigShort, "\x7f"s, -1, 32512},
        {kLittleLong, "\x01\x02\x03"s, -1, 0x030201},
        {kBigLong, "\xff\xff"s, -1, int32_t(0xffff0000u)},
        {kLittleShort, ""s, -1, 99},
        {kBigLong, ""s, -1, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op.name + (" " + c.bytes));
        FILE* f = DataFile(c.bytes);
        int32_t v = 99;
        EXPECT_EQ(c.op.read(f, &v), c.rc);
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(std::getc(f), EOF);
        std::fclose(f);
    }
}

}  // namespace
