// The PNG conformance suite: every valid image converts to the expected type
// and maxval with samples equal to libpng's own simplified decode, and every
// corrupt one ends with status 1, its error lines and no output.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <csetjmp>
#include <map>

#include "convert_helpers.h"

namespace {

using corvane_test::Convert;
using corvane_test::ParsePnm;
using corvane_test::Pnm;

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(TARVEX_PNGSUITE_DIR)) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0)
                names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Path(const std::string& name) {
    return std::string(TARVEX_PNGSUITE_DIR) + "/" + name;
}

// What the header says, read with libpng's low-level reader.
struct Header {
    int color_type = -1, depth = 0;
    bool sbit = false, gamma_one = false, no_gamma = false, gray_palette = true;
};

bool ReadHeaderInto(FILE* f, Header* h) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                             [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    h->color_type = png_get_color_type(png, info);
    h->depth = png_get_bit_depth(png, info);
    h->sbit = png_get_valid(png, info, PNG_INFO_sBIT);
    double g = 0;
    h->no_gamma = !png_get_gAMA(png, info, &g);
    h->gamma_one = !h->no_gamma && std::abs(g - 1.0) < 1e-6;
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n))
        for (int i = 0; i < n; ++i)
            h->gray_palette = h->gray_palette && pal[i].red == pal[i].green &&
                              pal[i].green == pal[i].blue;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

Header ReadHeader(const std::string& path) {
    Header h;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        ReadHeaderInto(f, &h);
        std::fclose(f);
    }
    return h;
}

// libpng's simplified decode: samples of each pixel, with alpha last, in
// 16-bit linear values for gamma 1.0 files and 8-bit values for files
// without gAMA (which it takes as sRGB and leaves alone).
struct Reference {
    std::vector<uint16_t> samples;
    unsigned channels = 0, scale = 0;
};

Reference Decode(const std::string& path, bool colour, bool linear) {
    Reference ref;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return ref;
    image.format = (colour ? PNG_FORMAT_FLAG_COLOR : 0) | PNG_FORMAT_FLAG_ALPHA |
                   (linear ? PNG_FORMAT_FLAG_LINEAR : 0);
    ref.channels = colour ? 4 : 2;
    ref.scale = linear ? 65535 : 255;
    const size_t count = PNG_IMAGE_SIZE(image) / (linear ? 2 : 1);
    std::vector<uint16_t> wide(linear ? count : 0);
    std::vector<png_byte> narrow(linear ? 0 : count);
    void* buffer = linear ? static_cast<void*>(wide.data()) : narrow.data();
    if (!png_image_finish_read(&image, nullptr, buffer, 0, nullptr))
        return ref;
    ref.samples = linear ? wide : std::vector<uint16_t>(narrow.begin(), narrow.end());
    return ref;
}

// Compares the colour of every opaque pixel, both sides scaled to the
// reference's scale.
void ExpectSamplesAgree(const Pnm& ours, const Reference& ref) {
    const unsigned ch = ours.magic == "P6" ? 3 : 1;
    const size_t pixels = size_t(ours.width) * ours.height;
    ASSERT_EQ(ref.samples.size(), pixels * ref.channels);
    int mismatches = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t* px = &ref.samples[i * ref.channels];
        if (px[ref.channels - 1] != ref.scale)
            continue;
        for (unsigned c = 0; c < ch; ++c) {
            unsigned v = ours.samples[i * ch + c];
            if (ours.magic == "P4")
                v = 1 - v;
            const double scaled = double(v) * ref.scale / ours.maxval;
            if (std::abs(scaled - px[c]) > 1.0 && mismatches++ < 3)
                ADD_FAILURE() << "pixel " << i << " channel " << c << ": " << scaled
                              << " against " << px[c];
        }
    }
}

TEST(PngSuite, ValidImagesConvertAndAgreeWithLibpng) {
    const auto names = SuiteFiles();
    if (names.empty())
        GTEST_SKIP() << "no PNG suite at " TARVEX_PNGSUITE_DIR;
    int compared = 0;
    for (const auto& name : names) {
        if (name[0] == 'x')
            continue;
        SCOPED_TRACE(name);
        const Header h = ReadHeader(Path(name));
        const auto r = Convert(tarvex_test::ReadFile(Path(name)));
        ASSERT_EQ(r.status, 0) << r.err;
        const Pnm p = ParsePnm(r.out);
        ASSERT_TRUE(p.ok);
        const bool gray = !(h.color_type & PNG_COLOR_MASK_COLOR) ||
                          (h.color_type == PNG_COLOR_TYPE_PALETTE && h.gray_palette);
        EXPECT_EQ(p.magic, gray ? (h.depth == 1 && h.color_type != 3 ? "P4" : "P5") : "P6");
        if (h.sbit)
            continue;
        EXPECT_EQ(p.maxval, h.color_type == 3 ? 255u : (1u << h.depth) - 1);
        if (!h.gamma_one && !h.no_gamma)
            continue;
        ExpectSamplesAgree(p, Decode(Path(name), !gray, h.gamma_one));
        ++compared;
    }
    EXPECT_GT(compared, 90);
}

TEST(PngSuite, CorruptImagesEndWithTheirErrorAndNoOutput) {
    const auto names = SuiteFiles();
    if (names.empty())
        GTEST_SKIP() << "no PNG suite at " TARVEX_PNGSUITE_DIR;
    const std::string notPng = "input file is not a PNG file";
    const std::map<std::string, std::string> expected = {
        {"xc1n0g08.png", "Invalid IHDR data"},
        {"xc9n2c08.png", "Invalid IHDR data"},
        {"xcrn0g04.png", "PNG file corrupted by ASCII conversion"},
        {"xcsn0g01.png", "IDAT: CRC error"},
        {"xd0n2c08.png", "Invalid IHDR data"},
        {"xd3n2c08.png", "Invalid IHDR data"},
        {"xd9n2c08.png", "Invalid IHDR data"},
        {"xdtn0g01.png", "IEND: out of place"},
        {"xhdn0g08.png", "IHDR: CRC error"},
        {"xlfn0g04.png", "PNG file corrupted by ASCII conversion"},
        {"xs1n0g01.png", notPng},
        {"xs2n0g01.png", notPng},
        {"xs4n0g01.png", notPng},
        {"xs7n0g01.png", "PNG file corrupted by ASCII conversion"},
    };
    for (const auto& name : names) {
        if (name[0] != 'x')
            continue;
        SCOPED_TRACE(name);
        const auto r = Convert(tarvex_test::ReadFile(Path(name)));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "a corrupt file this table does not know";
        const std::string tail =
            it->second == notPng ? "corvane: " + notPng + "\n"
                                 : "corvane:  fatal libpng error: " + it->second +
                                       "\ncorvane: setjmp returns error condition\n";
        ASSERT_GE(r.err.size(), tail.size());
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    }
}

}  // namespace
