// The speed comparison rests on its inputs: each is the kind of PNG its name
// says and compresses like a photo (neither trivially nor not at all). That
// the floor writes corvane's bytes is checked by floor_matches.sh.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <filesystem>

#include "support/child.h"

namespace {

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
    char pattern[] = "/tmp/tarvex_bench_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::vector<std::string> argv = {MAKE_INPUTS_EXE, "--size", "241x160", dir};
    for (const auto& in : inputs)
        argv.push_back(in.name);
    const auto made = tarvex_test::RunProgram(argv);
    ASSERT_EQ(made.status, 0) << made.err;
    for (const auto& in : inputs) {
        SCOPED_TRACE(in.name);
        const std::string png = tarvex_test::ReadFile(dir + "/" + in.name + ".png");
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png.substr(12, 12), std::string("IHDR\0\0\0\xf1\0\0\0\xa0", 12));  // 241 x 160
        EXPECT_EQ(png[24], in.depth);
        EXPECT_EQ(png[25], in.color_type);
        EXPECT_EQ(png[28], in.interlaced);
        const double ratio = png.size() / ((241.0 * in.channels * in.depth / 8 + 1) * 160);
        EXPECT_GT(ratio, 0.1) << "too regular to stand for a photo";
        EXPECT_LT(ratio, 0.9) << "too noisy to stand for a photo";
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
