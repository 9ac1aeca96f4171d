// Damaged and hostile PNGs: every truncation of a set of images, every bit
// flip of a small one, impossible sizes, and streams that inflate far beyond
// what they declare. A run either fails with status 1, a message and no output,
// or writes a complete image; it never crashes.
#include <gtest/gtest.h>
#include <zlib.h>

#include "convert_helpers.h"

namespace {

using corvane_test::Convert;
using corvane_test::Options;
using corvane_test::ParsePnm;
using tarvex_test::PngBuilder;
using tarvex_test::Place;

// Every option that makes the converter read more of the file.
const Options kEverything{.alpha = 2, .verbose = 1, .mtime = 1, .text_file = "/dev/null"};

// A fatal end: nothing written, and a last line the converter prints.
::testing::AssertionResult FailedCleanly(const tarvex_test::ChildResult& r) {
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    for (const char* end : {"input file is empty or too short", "input file is not a PNG file",
                            "setjmp returns error condition", "couldn't allocate space for image"})
        if (r.status == 1 && r.out.empty() && last == "corvane: " + std::string(end) + "\n")
            return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << r.status << ", " << r.out.size()
                                         << " bytes out, stderr:\n" << r.err;
}

std::string BigEndian(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Chunk(const std::string& name, const std::string& data) {
    const std::string typed = name + data;
    return BigEndian(uint32_t(data.size())) + typed +
           BigEndian(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                    uInt(typed.size()))));
}

std::string Deflated(const std::string& data) {
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 9);
    out.resize(size);
    return out;
}

// Samples that vary, so that no stream compresses to nothing.
std::vector<uint16_t> Ramp(size_t count, unsigned maxval) {
    std::vector<uint16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = uint16_t(i * 2654435761u % (maxval + 1));
    return s;
}

PngBuilder Image(int colorType, int depth, bool interlaced) {
    const unsigned channels = colorType == PNG_COLOR_TYPE_RGB ? 3 : colorType == 6 ? 4
                              : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    PngBuilder b(7, 5, colorType, depth);
    b.Samples(Ramp(35 * channels, colorType == PNG_COLOR_TYPE_PALETTE ? 3 : (1u << depth) - 1))
        .Gamma(0.45).Text("Title", "damaged", PNG_TEXT_COMPRESSION_zTXt)
        .Time(2024, 1, 2, 3, 4, 5, Place::after_image);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        b.Palette({{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}}).PaletteAlpha({0, 128});
    if (interlaced)
        b.Interlaced();
    return b;
}

TEST(DamagedPng, EveryTruncationFailsCleanly) {
    const std::string images[] = {
        Image(PNG_COLOR_TYPE_GRAY, 1, false).Build(),
        Image(PNG_COLOR_TYPE_GRAY, 4, true).Build(),
        Image(PNG_COLOR_TYPE_GRAY, 16, false).Build(),
        Image(PNG_COLOR_TYPE_GRAY_ALPHA, 8, true).Build(),
        Image(PNG_COLOR_TYPE_PALETTE, 2, false).Build(),
        Image(PNG_COLOR_TYPE_RGB, 8, true).Build(),
        Image(PNG_COLOR_TYPE_RGB_ALPHA, 16, false).Build(),
    };
    for (const std::string& png : images) {
        ASSERT_EQ(Convert(png, kEverything).status, 0);
        for (size_t size = 0; size < png.size(); ++size)
            ASSERT_TRUE(FailedCleanly(Convert(png.substr(0, size), kEverything)))
                << "first " << size << " of " << png.size() << " bytes";
    }
}

TEST(DamagedPng, EveryBitFlipFailsCleanlyOrWritesTheWholeImage) {
    const std::string png = PngBuilder(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8)
                                .Samples(Ramp(24, 255)).Interlaced().Gamma(0.45)
                                .Background(0, 1, 2, 3, 0).PixelsPerUnit(2, 3)
                                .Text("Note", "text").Text("Z", "z", PNG_TEXT_COMPRESSION_zTXt)
                                .Time(2024, 1, 2, 3, 4, 5, Place::after_image).Build();
    int written = 0;
    for (size_t bit = 0; bit < png.size() * 8; ++bit) {
        std::string flipped = png;
        flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << bit % 8));
        const auto r = Convert(flipped, kEverything);
        if (r.status == 0) {
            const auto pnm = ParsePnm(r.out);
            EXPECT_TRUE(pnm.ok && pnm.width == 3 && pnm.height == 2) << "bit " << bit;
            ++written;
        } else {
            ASSERT_TRUE(FailedCleanly(r)) << "bit " << bit;
        }
    }
    // Flips in the ancillary chunks only cost those chunks.
    EXPECT_GT(written, 0);
}

TEST(DamagedPng, ImpossibleSizesFailCleanly) {
    const std::string rgba16 = PngBuilder(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16).Build();
    const std::string gray = PngBuilder(1, 1, PNG_COLOR_TYPE_GRAY, 8).Build();
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {0, 1}, {1, 0}, {0x7fffffff, 1}, {1, 0x7fffffff}, {0xffffffff, 0xffffffff},
        {70000, 70000},     // 4.9 gigapixels: beyond 32 bits
        {1000000, 1000000}, // 8 TB of samples
    };
    for (const auto& [w, h] : sizes)
        for (const std::string* png : {&rgba16, &gray})
            EXPECT_TRUE(FailedCleanly(Convert(tarvex_test::WithDeclaredSize(*png, w, h))))
                << w << " x " << h;
}

TEST(DamagedPng, OverInflatingStreamsCostNoMoreThanTheImage) {
    // One gray pixel whose image data inflates to 16 MiB of zeros: the pixel
    // is written and the rest never inflated.
    const std::string head = PngBuilder(1, 1, PNG_COLOR_TYPE_GRAY, 8).Build().substr(0, 33);
    const std::string bomb = Deflated(std::string(16 << 20, '\0'));
    auto r = Convert(head + Chunk("IDAT", bomb) + Chunk("IEND", ""));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("P5\n1 1\n255\n\0", 12));

    // Text that inflates past libpng's limit is dropped with a warning; the
    // image is still written.
    const std::string pixel = PngBuilder(1, 1, PNG_COLOR_TYPE_GRAY, 8).Build();
    const std::string ztxt = Chunk("zTXt", std::string("Bomb\0\0", 6) + bomb);
    r = Convert(pixel.substr(0, 33) + ztxt + pixel.substr(33), kEverything);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("P5\n1 1\n255\n\0", 12));
    EXPECT_NE(r.err.find("libpng warning: zTXt:"), std::string::npos) << r.err;
}

// Large chunks are read ahead whole before libpng takes them.
TEST(DamagedPng, LargeGenuineTextChunksArriveWhole) {
    std::string text(3 << 20, 'a');
    for (size_t i = 0; i < text.size(); i += 4099)
        text[i] = char('b' + i % 20);
    const std::string png = PngBuilder(1, 1, PNG_COLOR_TYPE_GRAY, 8).Text("Big", text)
                                .Text("Small", "s", PNG_TEXT_COMPRESSION_NONE, Place::after_image)
                                .Build();
    Options o;
    o.text_file = tarvex_test::TempFile("");
    const auto r = Convert(png, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("P5\n1 1\n255\n\0", 12));
    EXPECT_TRUE(tarvex_test::ReadFile(o.text_file) ==
                "Big             " + text + "\nSmall           s\n");
}

// libpng keeps its first thousand text chunks and warns of the rest, so that
// a file of tiny chunks cannot make it grow its text table without end.
TEST(DamagedPng, ThousandsOfTextChunksAreBounded) {
    PngBuilder b(1, 1, PNG_COLOR_TYPE_GRAY, 8);
    std::string all;
    for (int i = 0; i < 5000; ++i) {
        const std::string key = "Key" + std::to_string(i);
        b.RawChunk("tEXt", key + std::string(1, '\0') + "value");
        all += key + std::string(16 - key.size(), ' ') + "value\n";
    }
    const std::string png = b.Build(), textFile = tarvex_test::TempFile("");
    Options o;
    o.text_file = textFile;
    const auto r = Convert(png, o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("P5\n1 1\n255\n\0", 12));
    EXPECT_EQ(r.err, "libpng warning: tEXt: no space in chunk cache\n");
    const std::string text = tarvex_test::ReadFile(textFile);
    EXPECT_TRUE(text.size() > 20000 && all.starts_with(text)) << text.size();
    EXPECT_EQ(Convert(png).err, "");
}

}  // namespace
