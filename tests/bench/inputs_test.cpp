// The speed comparison rests on its inputs and its floor: each input is the
// kind of PNG its name says and compresses like a photo (neither trivially
// nor not at all), and the floor writes exactly the samples that libpng's
// simplified reader decodes from it.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child.h"

namespace {

using tarvex_test::ReadFile;
using tarvex_test::RunProgram;

constexpr int kWidth = 241, kHeight = 160;

struct Input {
    const char* name;
    int color_type;
    int depth;
    bool interlaced;
};

const Input kInputs[] = {
    {"rgb8", PNG_COLOR_TYPE_RGB, 8, false},
    {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
    {"rgb16", PNG_COLOR_TYPE_RGB, 16, false},
    {"gray8", PNG_COLOR_TYPE_GRAY, 8, false},
    {"palette", PNG_COLOR_TYPE_PALETTE, 8, false},
    {"gray1", PNG_COLOR_TYPE_GRAY, 1, false},
    {"adam7", PNG_COLOR_TYPE_RGB, 8, true},
    {"plain", PNG_COLOR_TYPE_RGB, 8, false},
};

uint32_t BigEndian32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

int Channels(int color_type) {
    return color_type == PNG_COLOR_TYPE_RGB         ? 3
           : color_type == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                    : 1;
}

// The portable map the floor should write, from the simplified reader's
// 8-bit decode: alpha dropped, palette expanded, 1-bit gray as PBM bits.
std::string ExpectedMap(const std::string& png, const Input& in) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return "unreadable: " + std::string(image.message);
    bool gray = in.color_type == PNG_COLOR_TYPE_GRAY;
    image.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return "undecodable: " + std::string(image.message);
    std::string size = std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n";
    if (in.depth == 1) {
        std::string map = "P4\n" + size;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; x += 8) {
                uint8_t byte = 0;
                for (int b = 0; b < 8 && x + b < kWidth; ++b)
                    if (pixels[size_t(y) * kWidth + x + b] == 0)
                        byte |= uint8_t(0x80 >> b);
                map += char(byte);
            }
        return map;
    }
    std::string map = (gray ? "P5\n" : "P6\n") + size + "255\n";
    for (size_t i = 0; i < pixels.size(); i += gray ? 1 : 4)
        map.append(reinterpret_cast<const char*>(&pixels[i]), gray ? 1 : 3);
    return map;
}

// Each test makes only its own input, small, in a directory of its own.
class BenchInputs : public ::testing::TestWithParam<Input> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvex_bench_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        auto r = RunProgram({MAKE_INPUTS_EXE, "--size",
                             std::to_string(kWidth) + "x" + std::to_string(kHeight),
                             dir_, GetParam().name});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    void TearDown() override {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    std::string Png() const { return ReadFile(dir_ + "/" + GetParam().name + ".png"); }

    std::string dir_;
};

TEST_P(BenchInputs, HeaderIsTheNamedKind) {
    const Input& in = GetParam();
    std::string png = Png();
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), uint32_t(kWidth));
    EXPECT_EQ(BigEndian32(png, 20), uint32_t(kHeight));
    EXPECT_EQ(png[24], in.depth);
    EXPECT_EQ(png[25], in.color_type);
    EXPECT_EQ(png[28], in.interlaced ? 1 : 0);
}

TEST_P(BenchInputs, CompressesLikeAPhoto) {
    const Input& in = GetParam();
    double row = (double(kWidth) * Channels(in.color_type) * in.depth + 7) / 8;
    double ratio = double(Png().size()) / ((row + 1) * kHeight);
    EXPECT_GT(ratio, 0.1) << "too regular to stand for a photo";
    EXPECT_LT(ratio, 0.9) << "too noisy to stand for a photo";
}

// The simplified reader makes 16-bit samples linear, so 16-bit inputs are
// left to the comparison with corvane.
class FloorOutput : public BenchInputs {};

std::vector<Input> EightBitInputs() {
    std::vector<Input> chosen;
    for (const Input& in : kInputs)
        if (in.depth <= 8)
            chosen.push_back(in);
    return chosen;
}

TEST_P(FloorOutput, IsTheDecodedSamples) {
    const Input& in = GetParam();
    std::string png = Png();
    auto r = RunProgram({FLOOR_EXE}, png);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == ExpectedMap(png, in)) << "floor output differs";
}

std::string KindName(const ::testing::TestParamInfo<Input>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, BenchInputs, ::testing::ValuesIn(kInputs), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, FloorOutput, ::testing::ValuesIn(EightBitInputs()),
                         KindName);

}  // namespace
