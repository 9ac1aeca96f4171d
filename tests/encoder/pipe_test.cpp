// SPDX-License-Identifier: MIT
// belvane on pipes: an image or a mask read from a pipe gives the very PNG
// its file gives, whether the census reads it whole (spooled, then
// replayed), stops early or never starts (the rest streams); a pipe cut
// short anywhere writes nothing.
#include <gtest/gtest.h>

#include "encoder_support.h"

namespace {

using tarvex_test::ChildResult;
using tarvex_test::TempFile;
using encoder_test::Raw;

struct Input {
    const char* what;
    std::string image, mask;
    std::vector<std::string> args;
    bool maskPiped = false;  // else the image is piped
};

// belvane on the files, or with one of them fed through `cat |`.
ChildResult Belvane(const Input& in, bool piped) {
    const std::string image = TempFile(in.image), mask = TempFile(in.mask);
    std::vector<std::string> argv = {BELVANE_EXE};
    argv.insert(argv.end(), in.args.begin(), in.args.end());
    if (!in.mask.empty())
        argv.insert(argv.end(), {"-alpha", piped && in.maskPiped ? "/dev/stdin" : mask});
    if (!piped || in.maskPiped)
        argv.push_back(image);
    if (piped)
        argv.insert(argv.begin(), {"/bin/sh", "-c", "f=$1; shift; cat \"$f\" | \"$@\"", "sh",
                                   in.maskPiped ? mask : image});
    return tarvex_test::RunMain(nullptr, argv);
}

const std::vector<Input>& Inputs() {
    // A photograph (new colours on every row), a drawing of six colours and
    // 6 MiB, a mask of 16 levels, 16-bit and bilevel rasters, plain text.
    const auto photo = Raw('6', 1024, 768, 255, 3, [](int x, int y, int c) {
        const unsigned noise = unsigned(x * y + c) * 2654435761u >> 28;
        return ((c == 0 ? x * 7 + y * 13 : c == 1 ? x * 3 - y * 5 : x ^ y) + noise) & 255;
    });
    const auto drawing = Raw('6', 2048, 1024, 255, 3, [](int x, int y, int c) {
        return unsigned((x / 64 + y / 64) % 6 * 40 + c * 10);
    });
    const auto levels = Raw('5', 2048, 1024, 255, 1, [](int x, int, int) { return x / 128 * 17u; });
    const auto ramp = Raw('5', 1024, 768, 255, 1, [](int x, int y, int) { return (x + y) & 255u; });
    const auto deep = Raw('6', 400, 300, 65535, 3, [](int x, int y, int c) {
        return unsigned(x * 163 + y * 211 + c * 9000) & 65535;
    });
    std::string bits = "P4\n2000 1000\n";
    for (int i = 0; i < 250 * 1000; ++i)
        bits += char(i * 31 ^ i >> 7);
    std::string plain = "P3 300 200 1000\n";
    for (int i = 0; i < 300 * 200 * 3; ++i)
        plain += std::to_string(i * 37 % 1001) + (i % 24 == 23 ? "\n" : " ");
    static const std::vector<Input> inputs = {
        {"photograph", photo, "", {}},
        {"drawing", drawing, "", {}},
        {"drawing with a piped mask", drawing, levels, {"-compression", "1"}, true},
        {"photograph with a piped mask", photo, ramp, {"-compression", "1"}, true},
        {"16-bit", deep, "", {}},
        {"raw PBM", bits, "", {}},
        {"plain PPM of maxval 1000", plain, "", {}},
        {"interlaced photograph", photo, "", {"-interlace", "-compression", "1"}},
        {"interlaced drawing with a piped mask", drawing, levels, {"-interlace"}, true},
    };
    return inputs;
}

// A pipe cut short writes nothing: early, in the rows the census reads;
// late, after it has stopped, or where it never reads at all.
TEST(Pipes, GiveThePngOfTheFileOrNothingWhenCutShort) {
    for (const Input& in : Inputs()) {
        const auto file = Belvane(in, false), pipe = Belvane(in, true);
        EXPECT_TRUE(file.status == 0 && file.out.size() > 100) << in.what << ": " << file.err;
        EXPECT_TRUE(pipe.status == 0 && pipe.out == file.out) << in.what << ": " << pipe.err;
        Input cut = in;
        std::string& piped = in.maskPiped ? cut.mask : cut.image;
        for (const size_t keep : {piped.size() - 1000, size_t(2000)}) {  // shorter each time
            piped.resize(keep);
            const auto r = Belvane(cut, true);
            EXPECT_TRUE(r.status == 1 && r.out.empty() && !r.err.empty()) << in.what << " cut at " << keep;
        }
    }
}

}  // namespace
