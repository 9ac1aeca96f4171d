// Binary integers of both byte orders: exact bytes written, values read
// back (negative ones too), and a stream that ends inside a value.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

int WriteInt(int width, bool big, FILE* f, int32_t v) {
    if (width == 2)
        return big ? pm_writebigshort(f, int16_t(v)) : pm_writelittleshort(f, int16_t(v));
    return big ? pm_writebiglong(f, v) : pm_writelittlelong(f, v);
}

int ReadInt(int width, bool big, FILE* f, int32_t* v) {
    if (width == 4)
        return big ? pm_readbiglong(f, v) : pm_readlittlelong(f, v);
    int16_t s = int16_t(*v);
    int rc = big ? pm_readbigshort(f, &s) : pm_readlittleshort(f, &s);
    *v = s;
    return rc;
}

TEST(PmBinio, ExactBytesBothWaysAndShortStreamsKeepTheBytesReadSoFar) {
    const std::tuple<int, bool, int32_t, std::string> cases[] = {  // width, big, value
        {2, true, 258, "\x01\x02"s},          {2, false, 258, "\x02\x01"s},
        {2, true, -2, "\xff\xfe"s},           {2, false, -32768, "\x00\x80"s},
        {4, true, -2, "\xff\xff\xff\xfe"s},   {4, false, -2, "\xfe\xff\xff\xff"s},
        {4, true, 0x01020304, "\x01\x02\x03\x04"s},
        {4, false, INT32_MIN, "\x00\x00\x00\x80"s}};
    for (const auto& [width, big, value, bytes] : cases) {
        SCOPED_TRACE(::testing::Message() << width << big << ' ' << value);
        FILE* f = std::tmpfile();
        EXPECT_EQ(WriteInt(width, big, f, value), 0);
        std::rewind(f);
        EXPECT_EQ(Rest(f), bytes);
        std::rewind(f);
        int32_t v = 0;
        EXPECT_EQ(ReadInt(width, big, f, &v), 0);
        EXPECT_EQ(v, value);
        std::fclose(f);
    }
    const std::tuple<int, bool, std::string, int32_t> partial[] = {  // value from 99
        {2, true, "\x7f"s, 32512}, {4, false, "\x01\x02\x03"s, 0x030201},
        {4, true, "\xff\xff"s, int32_t(0xffff0000u)}, {2, false, ""s, 99}};
    for (const auto& [width, big, bytes, value] : partial) {
        FILE* f = DataFile(bytes);
        int32_t v = 99;
        EXPECT_EQ(ReadInt(width, big, f, &v), -1) << width << big;
        EXPECT_EQ(v, value) << width << big;
        std::fclose(f);
    }
}

}  // namespace
