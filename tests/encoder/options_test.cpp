// SPDX-License-Identifier: MIT
// belvane's options as corvane sees their chunks, and every way to fail:
// each ends with status 1, its message and not one byte of PNG. The cases
// are the lines of tests/data/belvane_cases.txt.
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "encoder_support.h"

using namespace std::string_literals;

namespace {

using encoder_test::Exec;
using tarvex_test::TempFile;
using tarvex_test::Unescape;

TEST(Options, EveryCaseGivesItsImageOrItsMessage) {
    std::istringstream file(tarvex_test::ReadFile(TARVEX_TEST_DATA_DIR "/belvane_cases.txt"));
    setenv("SOURCE_DATE_EPOCH", "1078236309", 1);  // the time -time records
    int cases = 0;
    for (std::string text; std::getline(file, text);) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream line(text);
        std::vector<std::string> args[2];  // belvane's, corvane's
        std::string in, want, word;
        bool piped = false;
        while (line >> std::quoted(word, '"', '\x01') && word != "=>")
            if (word == "|")
                piped = true;
            else if (word == "<")
                line >> std::quoted(in, '"', '\x01'), in = Unescape(in);
            else if (word == "@")
                line >> std::quoted(word, '"', '\x01'), args[piped].push_back(TempFile(Unescape(word)));
            else
                args[piped].push_back(Unescape(word));
        std::getline(line >> std::ws, want), want = Unescape(want);
        piped ? unsetenv("RGBDEF") : setenv("RGBDEF", "/dev/null", 1);
        const auto png = Exec(BELVANE_EXE, args[0], in);
        if (piped) {
            EXPECT_EQ(png.status, 0) << text << ": " << png.err;
            const auto back = Exec(CORVANE_EXE, args[1], png.out);
            EXPECT_EQ(png.err + back.out + back.err, want) << text;
        } else {
            EXPECT_TRUE(png.status == 1 && png.out.empty() && png.err.find(want) != std::string::npos)
                << text << ": " << png.err;
        }
        ++cases;
    }
    unsetenv("RGBDEF"), unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_GT(cases, 30);
}

// Every truncation of a raw PPM, a raw PBM and a plain PGM, and a full disk.
TEST(Failures, DamagedImagesWriteNothing) {
    for (const std::string& pnm : {"P6\n3 2\n255\nabcdefghijklmnopqr"s, "P4\n9 2\n\xff\x80\x00\x80"s,
                                  "P2 3 2 9 1 2 3 4 5 6"s})
        for (size_t n = 0; n < pnm.size(); ++n) {
            const auto r = Exec(BELVANE_EXE, {}, pnm.substr(0, n));
            EXPECT_TRUE(r.status == 1 && r.out.empty()) << pnm.substr(0, n);
        }
    const auto full = Exec("/bin/sh", {"-c", "\"$0\" \"$1\" > /dev/full", BELVANE_EXE,
                                       TempFile("P5 1 1 255\n\x7f")});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

}  // namespace
