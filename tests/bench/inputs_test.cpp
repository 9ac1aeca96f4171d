// The speed comparison rests on its inputs: each is the kind of PNG its name
// says and compresses like a photo (neither trivially nor not at all). That
// the floor writes corvane's bytes is checked by floor_matches.sh.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>

#include "support/support.h"

using namespace std::string_literals;

TEST(BenchInputs, EachIsTheNamedKindAndCompressesLikeAPhoto) {
    const struct {
        const char* name;
        int color_type, depth, channels, interlaced;
    } inputs[] = {
        {"rgb8", PNG_COLOR_TYPE_RGB, 8, 3, 0},   {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 4, 0},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16, 3, 0}, {"gray8", PNG_COLOR_TYPE_GRAY, 8, 1, 0},
        {"palette", PNG_COLOR_TYPE_PALETTE, 8, 1, 0}, {"gray1", PNG_COLOR_TYPE_GRAY, 1, 1, 0},
        {"adam7", PNG_COLOR_TYPE_RGB, 8, 3, 1},  {"plain", PNG_COLOR_TYPE_RGB, 8, 3, 0},
    };
    const std::string dir = ::testing::TempDir() + "/tarvex_bench_inputs";
    std::vector<std::string> argv = {MAKE_INPUTS_EXE, "--size", "241x160", dir};
    for (const auto& in : inputs)
        argv.push_back(in.name);
    std::filesystem::create_directories(dir);
    ASSERT_EQ(tarvex_test::RunProgram(argv).status, 0);
    for (const auto& in : inputs) {
        const std::string png = tarvex_test::ReadFile(dir + "/" + in.name + ".png");
        ASSERT_GT(png.size(), 33u) << in.name;
        EXPECT_EQ(png.substr(12, 17), "IHDR\0\0\0\xf1\0\0\0\xa0"s + char(in.depth) +
                                          char(in.color_type) + "\0\0"s + char(in.interlaced))
            << in.name;  // 241 x 160
        const double ratio = png.size() / ((241.0 * in.channels * in.depth / 8 + 1) * 160);
        EXPECT_TRUE(ratio > 0.1 && ratio < 0.9) << in.name << " compresses to " << ratio;
    }
    std::filesystem::remove_all(dir);
}
