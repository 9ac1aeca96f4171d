// Binary integers of both byte orders: exact bytes written, values read
// back (negative ones too), and a stream that ends inside a value.
#include "read_support.h"

using namespace tarvex_test;

namespace {

std::string WrittenBytes(const std::function<void(FILE*)>& write) {
    FILE* f = std::tmpfile();
    write(f);
    std::rewind(f);
    std::string s = Rest(f);
    std::fclose(f);
    return s;
}

struct ShortCase {
    int16_t value;
    bool big;
    std::string bytes;
};

TEST(PmBinio, ShortsInBothOrders) {
    const ShortCase cases[] = {
        {258, true, "\x01\x02"},
        {258, false, std::string("\x02\x01")},
        {-2, true, "\xff\xfe"},
        {-32768, false, std::string("\x00\x80", 2)},
    };
    for (const auto& c : cases) {
        auto write = c.big ? pm_writebigshort : pm_writelittleshort;
        auto read = c.big ? pm_readbigshort : pm_readlittleshort;
        EXPECT_EQ(WrittenBytes([&](FILE* f) { EXPECT_EQ(write(f, c.value), 0); }),
                  c.bytes);
        FILE* f = DataFile(c.bytes);
        int16_t v = 0;
        EXPECT_EQ(read(f, &v), 0);
        EXPECT_EQ(v, c.value);
        std::fclose(f);
    }
}

struct LongCase {
    int32_t value;
    bool big;
    std::string bytes;
};

TEST(PmBinio, LongsInBothOrders) {
    const LongCase cases[] = {
        {-2, true, "\xff\xff\xff\xfe"},
        {-2, false, "\xfe\xff\xff\xff"},
        {0x01020304, true, "\x01\x02\x03\x04"},
        {0x01020304, false, "\x04\x03\x02\x01"},
        {INT32_MIN, true, std::string("\x80\x00\x00\x00", 4)},
    };
    for (const auto& c : cases) {
        auto write = c.big ? pm_writebiglong : pm_writelittlelong;
        auto read = c.big ? pm_readbiglong : pm_readlittlelong;
        EXPECT_EQ(WrittenBytes([&](FILE* f) { EXPECT_EQ(write(f, c.value), 0); }),
                  c.bytes);
        FILE* f = DataFile(c.bytes);
        int32_t v = 0;
        EXPECT_EQ(read(f, &v), 0);
        EXPECT_EQ(v, c.value);
        std::fclose(f);
    }
}

TEST(PmBinio, WrongOrderReadsTheBytesReversed) {
    FILE* f = DataFile("\x01\x02");
    int16_t v = 0;
    EXPECT_EQ(pm_readlittleshort(f, &v), 0);
    EXPECT_EQ(v, 513);
    std::fclose(f);
}

TEST(PmBinio, EndOfStreamKeepsTheBytesReadSoFar) {
    FILE* f = DataFile("\x7f");
    int16_t s = 99;
    EXPECT_EQ(pm_readbigshort(f, &s), -1);
    EXPECT_EQ(s, 32512);
    std::fclose(f);

    f = DataFile("\x01\x02\x03");
    int32_t l = 99;
    EXPECT_EQ(pm_readlittlelong(f, &l), -1);
    EXPECT_EQ(l, 0x030201);
    EXPECT_EQ(std::getc(f), EOF);
    std::fclose(f);

    f = DataFile("\xff\xff");
    EXPECT_EQ(pm_readbiglong(f, &l), -1);
    EXPECT_EQ(static_cast<uint32_t>(l), 0xffff0000u);
    std::fclose(f);

    f = DataFile("");
    s = 99;
    l = 99;
    EXPECT_EQ(pm_readlittleshort(f, &s), -1);
    EXPECT_EQ(pm_readbiglong(f, &l), -1);
    EXPECT_EQ(s, 99);
    EXPECT_EQ(l, 99);
    std::fclose(f);
}

}  // namespace
