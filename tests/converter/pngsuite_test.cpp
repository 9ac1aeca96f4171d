// The PNG conformance suite: every valid image converts to the expected type
// and maxval with samples equal to libpng's own simplified decode, and every
// corrupt one ends with status 1, its error lines and no output.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <map>

#include "convert_helpers.h"

namespace {

using corvane_test::Convert;
using corvane_test::ParsePnm;
using corvane_test::Pnm;

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(TARVEX_PNGSUITE_DIR)) {
        while (dirent* e = ::readdir(d))
            if (const std::string n = e->d_name; n.size() > 4 && n.ends_with(".png"))
                names.push_back(std::string(TARVEX_PNGSUITE_DIR) + "/" + n);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Corrupt(const std::string& path) { return path[path.rfind('/') + 1] == 'x'; }

// What the chunks of a valid file say, read straight from its bytes.
struct Header {
    int color_type, depth;
    bool sbit = false, gamma_one = false, no_gamma = true, gray_palette = true;
};

Header ReadHeader(const std::string& png) {
    Header h{uint8_t(png[25]), uint8_t(png[24])};
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
               uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
    };
    for (size_t at = 8; at + 8 <= png.size(); at += 12 + u32(at)) {
        const std::string type = png.substr(at + 4, 4);
        h.sbit = h.sbit || type == "sBIT";
        if (type == "gAMA")
            h.no_gamma = false, h.gamma_one = u32(at + 8) == 100000;
        for (size_t p = at + 8; type == "PLTE" && p + 3 <= at + 8 + u32(at); p += 3)
            h.gray_palette = h.gray_palette && png[p] == png[p + 1] && png[p] == png[p + 2];
    }
    return h;
}

// Compares the colour of every opaque pixel with libpng's simplified decode,
// alpha last: 16-bit linear values for gamma 1.0 files, 8-bit values for
// files without gAMA (taken as sRGB and left alone).
void ExpectSamplesAgree(const Pnm& ours, const std::string& path, bool linear) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    const unsigned ch = ours.magic == "P6" ? 3 : 1, scale = linear ? 65535 : 255;
    image.format = (ch == 3 ? PNG_FORMAT_FLAG_COLOR : 0) | PNG_FORMAT_FLAG_ALPHA |
                   (linear ? PNG_FORMAT_FLAG_LINEAR : 0);
    std::vector<uint16_t> wide(PNG_IMAGE_SIZE(image) / 2);
    std::vector<png_byte> narrow(PNG_IMAGE_SIZE(image));
    void* buffer = linear ? static_cast<void*>(wide.data()) : narrow.data();
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, buffer, 0, nullptr));
    const auto ref = linear ? wide : std::vector<uint16_t>(narrow.begin(), narrow.end());
    const size_t pixels = size_t(ours.width) * ours.height;
    ASSERT_EQ(ref.size(), pixels * (ch + 1));
    for (size_t i = 0; i < pixels; ++i)
        for (unsigned c = 0; c < ch && ref[i * (ch + 1) + ch] == scale; ++c) {
            const unsigned v = ours.samples[i * ch + c];
            const double scaled = double(ours.magic == "P4" ? 1 - v : v) * scale / ours.maxval;
            ASSERT_NEAR(scaled, ref[i * (ch + 1) + c], 1.0) << "pixel " << i << " channel " << c;
        }
}

TEST(PngSuite, ValidImagesConvertAndAgreeWithLibpng) {
    const auto names = SuiteFiles();
    if (names.empty())
        GTEST_SKIP() << "no PNG suite at " TARVEX_PNGSUITE_DIR;
    int compared = 0;
    for (const auto& name : names) {
        if (Corrupt(name))
            continue;
        SCOPED_TRACE(name);
        const std::string png = tarvex_test::ReadFile(name);
        const Header h = ReadHeader(png);
        const auto r = Convert(png);
        ASSERT_EQ(r.status, 0) << r.err;
        const Pnm p = ParsePnm(r.out);
        ASSERT_TRUE(p.ok);
        const bool gray = !(h.color_type & PNG_COLOR_MASK_COLOR) ||
                          (h.color_type == PNG_COLOR_TYPE_PALETTE && h.gray_palette);
        EXPECT_EQ(p.magic, gray ? (h.depth == 1 && h.color_type != 3 ? "P4" : "P5") : "P6");
        if (h.sbit)
            continue;
        EXPECT_EQ(p.maxval, h.color_type == 3 ? 255u : (1u << h.depth) - 1);
        if (h.gamma_one || h.no_gamma) {
            ExpectSamplesAgree(p, name, h.gamma_one);
            ++compared;
        }
    }
    EXPECT_GT(compared, 90);
}

TEST(PngSuiteDeathTest, CorruptImagesEndWithTheirErrorAndNoOutput) {
    const auto names = SuiteFiles();
    if (names.empty())
        GTEST_SKIP() << "no PNG suite at " TARVEX_PNGSUITE_DIR;
    const std::string ihdr = "Invalid IHDR data", ascii = "PNG file corrupted by ASCII conversion",
                      notPng = "input file is not a PNG file";
    const std::map<std::string, std::string> expected = {
        {"xc1n0g08", ihdr}, {"xc9n2c08", ihdr}, {"xcrn0g04", ascii},
        {"xcsn0g01", "IDAT: CRC error"}, {"xd0n2c08", ihdr}, {"xd3n2c08", ihdr},
        {"xd9n2c08", ihdr}, {"xdtn0g01", "IEND: out of place"}, {"xhdn0g08", "IHDR: CRC error"},
        {"xlfn0g04", ascii}, {"xs1n0g01", notPng}, {"xs2n0g01", notPng},
        {"xs4n0g01", notPng}, {"xs7n0g01", ascii},
    };
    for (const auto& name : names) {
        if (!Corrupt(name))
            continue;
        SCOPED_TRACE(name);
        const auto r = Convert(tarvex_test::ReadFile(name));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        const auto it = expected.find(name.substr(name.rfind('/') + 1, 8));
        ASSERT_NE(it, expected.end()) << "a corrupt file this table does not know";
        const std::string tail = it->second == notPng
                                     ? "corvane: " + notPng + "\n"
                                     : "corvane:  fatal libpng error: " + it->second +
                                           "\ncorvane: setjmp returns error condition\n";
        EXPECT_TRUE(r.err.ends_with(tail)) << r.err;
    }
}

}  // namespace
