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

// A read that ends early keeps the bytes read so far over the 99 it started with.
TEST(PmBinio, ExactBytesBothWaysAndShortStreamsKeepTheBytesReadSoFar) {
    const std::tuple<int, bool, std::string, int32_t> cases[] = {  // width, big, bytes, value
        {2, true, "\x01\x02"s, 258},          {2, false, "\x02\x01"s, 258},
        {2, true, "\xff\xfe"s, -2},           {2, false, "\x00\x80"s, -32768},
        {4, true, "\xff\xff\xff\xfe"s, -2},   {4, false, "\xfe\xff\xff\xff"s, -2},
        {4, true, "\x01\x02\x03\x04"s, 0x01020304},
        {4, false, "\x00\x00\x00\x80"s, INT32_MIN},
        {2, true, "\x7f"s, 32512}, {4, false, "\x01\x02\x03"s, 0x030201},
        {4, true, "\xff\xff"s, int32_t(0xffff0000u)}, {2, false, ""s, 99}};
    for (const auto& [width, big, bytes, value] : cases) {
        SCOPED_TRACE(::testing::Message() << width << big << ' ' << value);
        const bool whole = bytes.size() == size_t(width);
        int rc = 0;
        if (whole) {
            EXPECT_EQ(Written([&](FILE* f) { rc = WriteInt(width, big, f, value); }), bytes);
        }
        EXPECT_EQ(rc, 0);
        FILE* f = DataFile(bytes);
        int32_t v = 99;
        EXPECT_EQ(ReadInt(width, big, f, &v), whole ? 0 : -1);
        EXPECT_EQ(v, value);
        std::fclose(f);
    }
}

}  // namespace
