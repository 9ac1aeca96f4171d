// SPDX-License-Identifier: MIT
// belvane against corvane: every PNG belvane writes converts back to the
// portable map it came from (with its mask and its texts), passes pngcheck
// and takes the layout the encoding rule asks for; bad input writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "pnm.h"
#include "encoder_support.h"

using namespace std::string_literals;

namespace {

using encoder_test::Exec;
using tarvex_test::ReadFile;
using tarvex_test::TempFile;

// Writes an image with the library's writers, raw or plain.
std::string Pnm(int format, int cols, int rows, sampleval maxval,
                const std::vector<rgbpixel>& px, int plain) {
    FILE* f = std::tmpfile();
    pnm_writepnminit(f, cols, rows, maxval, format, plain);
    for (int y = 0; y < rows; ++y)
        pnm_writepnmrow(f, &px[size_t(y * cols)], cols, maxval, format, plain);
    std::string s(size_t(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(s.data(), 1, s.size(), f), s.size());
    std::fclose(f);
    return s;
}

// Encodes `pnm` (with `mask`) and checks that corvane gives back `image`
// (and `maskBack`) and that pngcheck is content; returns the PNG.
std::string RoundTrip(const std::string& what, const std::string& pnm, const std::string& image,
                      const std::string& mask = "", const std::string& maskBack = "",
                      std::vector<std::string> args = {}) {
    if (!mask.empty())
        args.insert(args.end(), {"-alpha", TempFile(mask)});
    const auto png = Exec(BELVANE_EXE, args, pnm);
    EXPECT_EQ(png.status, 0) << what << ": " << png.err;
    EXPECT_EQ(Exec(CORVANE_EXE, {}, png.out).out, image) << what;
    if (!mask.empty()) {
        EXPECT_EQ(Exec(CORVANE_EXE, {"-alpha"}, png.out).out, maskBack) << what;
    }
    EXPECT_EQ(encoder_test::Pngcheck(png.out), "") << what;
    return png.out;
}

TEST(RoundTrip, PngSuiteAndCraftedImagesWithMasksAndTexts) {
    using tarvex_test::Chunk;
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(TARVEX_PNGSUITE_DIR))
        if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x')
            files.push_back(e.path());
    ASSERT_GT(files.size(), 150u);
    // A bilevel image whose mask is one colour, and texts at the layout's edges.
    files.push_back(TempFile(tarvex_test::Png(
        9, 2, 1, 0, "\0\xb2\x80\0\x3a\x80"s,
        Chunk("tRNS", "\0\0"s) + Chunk("tEXt", "FifteenLetters!\0a\nb\n"s) +
            Chunk("tEXt", "Creation Time\0"s) + Chunk("tEXt", "Of Sixteen Chars\0 lead\n\ntrail "s) +
            Chunk("zTXt", "Long\0\0"s + tarvex_test::Deflated(std::string(3000, 'z'))))));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string texts = TempFile(""), textsBack = TempFile("");
        const auto pnm = Exec(CORVANE_EXE, {"-text", texts, files[i]});
        const std::string mask = Exec(CORVANE_EXE, {"-alpha", files[i]}).out;
        std::vector<std::string> args = {"-text", texts};
        if (i % 2)
            args.push_back("-interlace");
        const std::string png = RoundTrip(files[i], pnm.out, pnm.out, mask, mask, args);
        EXPECT_EQ(Exec(CORVANE_EXE, {"-text", textsBack}, png).status, 0);
        EXPECT_EQ(ReadFile(textsBack), ReadFile(texts)) << files[i];
    }
}

// Samples at `maxval`: a few colours, or every pixel its own.
std::vector<rgbpixel> Picture(int cols, int rows, sampleval maxval, bool few) {
    std::vector<rgbpixel> px;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            const unsigned k = few ? unsigned(x * x + y) % 3 : unsigned(x * 97 + y * 131);
            const uint32_t h = (k + 1) * 2654435761u;
            px.push_back({(h >> 8) % (maxval + 1), (h >> 16) % (maxval + 1), (h >> 24) % (maxval + 1)});
        }
    return px;
}

// Colour type and depth for the no-mask cases that decide the rule of the
// fewest raw bytes, which level 1 follows (higher levels try small images
// each way).
const std::map<std::string, std::string> kLayouts = {
    {"P1 1 many", "0/1"}, {"P2 1 many", "3/1"}, {"P2 3 many", "0/2"}, {"P2 15 many", "0/4"},
    {"P2 31 many", "0/8"}, {"P2 255 few", "3/2"}, {"P2 255 many", "0/8"},
    {"P2 4095 many", "0/16"}, {"P3 1 many", "3/4"}, {"P3 255 few", "3/2"},
    {"P3 255 many", "2/8"}, {"P3 65535 few", "2/16"}, {"P3 1000 many", "2/16"},
};

TEST(RoundTrip, EveryWriterFormatAndMaxvalWithAndWithoutMask) {
    constexpr int kCols = 13, kRows = 23;
    const sampleval maxvals[] = {1, 3, 15, 31, 255, 1000, 4095, 65535};
    const sampleval maskMaxvals[] = {1, 3, 255, 65535};
    int n = 0;
    for (int family : {PBM_PLAIN_CODE, PGM_PLAIN_CODE, PPM_PLAIN_CODE})
        for (sampleval maxval : maxvals)
            for (int few = 0; few < 2 && (family != PBM_PLAIN_CODE || maxval == 1); ++few) {
                auto px = Picture(kCols, kRows, maxval, few);
                // A maxval no PNG holds comes back at 16 bits, rounded.
                const sampleval back = maxval == 1000 ? 65535 : maxval;
                auto backPx = px;
                for (auto& p : backPx)
                    for (sampleval* s : {&p.r, &p.g, &p.b})
                        *s = sampleval((uint64_t(*s) * back + maxval / 2) / maxval);
                const std::string image = Pnm(family, kCols, kRows, back, backPx, 0);
                const std::string what = "P"s + char(family % 256) + " " +
                                         std::to_string(maxval) + (few ? " few" : " many");
                for (int plain = 0; plain < 2; ++plain) {
                    const std::string pnm = Pnm(family, kCols, kRows, maxval, px, plain);
                    const std::string png =
                        RoundTrip(what, pnm, image, "", "", {"-compression", plain ? "7" : "1"});
                    const auto layout = kLayouts.find(what);
                    if (layout != kLayouts.end() && png.size() > 25 && !plain) {
                        EXPECT_EQ(std::to_string(png[25]) + "/" + std::to_string(png[24]),
                                  layout->second) << what;
                    }
                }
                // A bilevel image is its own mask (black is clear); others
                // take masks of maxval 1, 3, 255 and 65535 in turn.
                const sampleval mmax = family == PBM_PLAIN_CODE ? 1 : maskMaxvals[n++ % 4];
                std::vector<rgbpixel> alpha = px;
                if (family != PBM_PLAIN_CODE)
                    for (size_t i = 0; i < alpha.size(); ++i)
                        alpha[i].b = sampleval(i % 3) * mmax / 2;
                const int mfam = mmax == 1 ? PBM_PLAIN_CODE : PGM_PLAIN_CODE;
                RoundTrip(what + " mask", Pnm(family, kCols, kRows, maxval, px, 1), image,
                          Pnm(PGM_PLAIN_CODE, kCols, kRows, mmax, alpha, 0),
                          Pnm(mfam, kCols, kRows, mmax, alpha, 0));
            }
}

}  // namespace
