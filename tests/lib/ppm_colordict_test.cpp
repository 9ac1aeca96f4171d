// The colour-name dictionary: finding it (named file, RGBDEF, default paths),
// reading entries, looking names up, naming the nearest colour, and the table
// of up to 1000 colours under their first names.
#include <algorithm>

#include "lib_support.h"
#include "pm_internal.h"

using namespace tarvex_test;

namespace {

constexpr const char* kMissing = "/no/x";

std::string Lookup(const char* name, sampleval maxval) {
    int32_t r, g, b;
    pm_parse_dictionary_name(name, maxval, &r, &g, &b);
    return std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b);
}

// ExpectFatal of `body` with messages on.
void ExpectLoudFatal(const std::function<void()>& body, const std::string& message) {
    ExpectFatal([&] { pm_setMessage(1, nullptr); body(); }, "prog: " + message + "\n");
}

// Comment and blank lines are skipped silently but counted in line numbers;
// names keep inner and trailing blanks.
TEST(ColorDict, ReadsEntriesReportsBadLinesWithLineNumber) {
    const std::string path = TempFile("! c\n# c\n\n1 2 3\n 255 -2 300\tAli  Ce \r\n"
                                      "red 0 0 x\n4 5 6 last");
    auto r = RunChild([&] {
        pm_init("prog");
        pm_setMessage(1, nullptr);
        FILE* f = pm_openColornameFile(path.c_str(), 1);
        for (colorfileentry e; (e = pm_colorget(f)).colorname;)
            std::fprintf(stderr, "%d %d %d [%s]\n", e.r, e.g, e.b, e.colorname);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "prog: can't parse color names dictionary Line 4:  '1 2 3'\n"
                     "255 -2 300 [Ali  Ce \r]\n"
                     "prog: can't parse color names dictionary Line 6:  'red 0 0 x'\n"
                     "4 5 6 [last]\n");
}

// Blanks and case do not count, only A to Z are lowered; values are unchecked and
// scaled without overflow (40000 * 65535 does not fit 32 bits).
TEST(ColorDictDeathTest, LookupMatchesCanonicalNamesFirstWinsScalesUnchecked) {
    std::string s = " Dark\tSlate\n\v\f\rGRAY50 \xc4-_";
    pm_canonstr(s.data());
    EXPECT_EQ(s.c_str(), "darkslategray50\xc4-_"s);
    setenv("RGBDEF", TempFile("47 79 79 DarkSlateGray\n1 2 3 darkslategray\n255 128 0 o\n"
                              "300 -1 40000 odd\n").c_str(), 1);
    EXPECT_EQ(Lookup("Dark Slate Gray", 255), "47 79 79");
    EXPECT_EQ(Lookup("O", 65535), "65535 32896 0");
    EXPECT_EQ(Lookup("odd", 65535), "77100 -257 10280000");
    ExpectLoudFatal([] { Lookup(" Re d", 255); }, "unknown color - \" Re d\"");
}

// The default paths are tried in order; with RGBDEF set, even to nothing, no
// other file is tried.
TEST(ColorDictDeathTest, FindsDictionaryByNameRgbdefOrDefaultPaths) {
    const char* saved[4];
    std::copy_n(pm_colorname_paths, 4, saved);
    const std::string second = TempFile("1 2 3 x\n"), fourth = TempFile("4 5 6 x\n");
    const char* paths[4] = {kMissing, second.c_str(), kMissing, fourth.c_str()};
    std::copy_n(paths, 4, pm_colorname_paths);
    unsetenv("RGBDEF");
    EXPECT_EQ(Lookup("x", 255), "1 2 3");
    pm_colorname_paths[1] = kMissing;
    EXPECT_EQ(Lookup("x", 255), "4 5 6");
    pm_colorname_paths[3] = "/no/d";
    EXPECT_EQ(pm_openColornameFile(nullptr, 0), nullptr);
    ExpectLoudFatal([] { Lookup("red", 255); },
                    "can't open color names dictionary file named /no/x, /no/x, /no/x, or /no/d "
                    "and Environment variable RGBDEF not set.  Set RGBDEF to the pathname of "
                    "your rgb.txt file or don't use color names.");
    std::copy_n(saved, 4, pm_colorname_paths);
    const std::string noent = "errno = 2 (No such file or directory)";
    for (const std::string value : {kMissing, ""}) {
        setenv("RGBDEF", value.c_str(), 1);
        ExpectLoudFatal([] { Lookup("x", 255); },
                        "Can't open the color names dictionary file named " + value +
                            ", per the RGBDEF environment variable.  " + noent);
    }
    EXPECT_EQ(pm_openColornameFile(kMissing, 0), nullptr);
    ExpectLoudFatal([] { pm_openColornameFile(kMissing, 1); },
                    "Can't open the color names dictionary file '/no/x'.  " + noent);
}

// The one test on the machine's own dictionary: names work without RGBDEF.
TEST(ColorDict, MachineDictionaryFoundWithoutRgbdef) {
    if (access("/usr/share/X11/rgb.txt", R_OK) != 0)
        GTEST_SKIP() << "/usr/share/X11/rgb.txt is not installed";
    unsetenv("RGBDEF");
    EXPECT_EQ(Lookup("Dark Slate Gray", 255), "47 79 79");
}

// Exact names or the nearest one, else hex; a maxval of 0 must not divide by zero.
TEST(ColorDictDeathTest, ColornameExactNearestOrHex) {
    setenv("RGBDEF", TempFile("255 0 0 red\n255 0 0 red2\n250 0 0 dim red\n").c_str(), 1);
    const rgbpixel red = {255, 0, 0}, near = {254, 0, 1}, wide = {65535, 0, 32896};
    EXPECT_STREQ(ppm_colorname(&red, 255, 1), "red");
    EXPECT_STREQ(ppm_colorname(&near, 255, 1), "#fe0001");
    EXPECT_STREQ(ppm_colorname(&near, 255, 0), "red");
    EXPECT_STREQ(ppm_colorname(&wide, 65535, 1), "#ff0080");
    setenv("RGBDEF", TempFile("# no entries\n").c_str(), 1);
    EXPECT_STREQ(ppm_colorname(&near, 255, 0), "#fe0001");
    setenv("RGBDEF", kMissing, 1);
    EXPECT_STREQ(ppm_colorname(&near, 255, 1), "#fe0001");
    ExpectLoudFatal([&] { ppm_colorname(&near, 0, 1); },
                    "invalid maxval 0 for a color to be named");
}

// 1000 distinct colours c0 to c999 and an alias of c0; one entry more, even one that
// repeats a colour the table holds, is fatal.
TEST(PpmColornamesDeathTest, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "! a comment\n0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7\tc" +
                std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(TempFile(text).c_str(), 1, &cht, &names);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    EXPECT_NE(names[MAXCOLORNAMES - 1], nullptr);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    ppm_readcolornamefile("/nonexistent/rgb.txt", 0, &cht, &names);
    EXPECT_EQ(ppm_lookupcolor(cht, &first), -1);
    EXPECT_EQ(names[0], nullptr);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    const std::string path = TempFile(text + "0 0 7 again\n");
    ExpectFatal([&] { ppm_readcolornamefile(path.c_str(), 1, &cht, &names); },
                "prog: Too many colors in colorname dictionary.  Max allowed is 1000\n");
}

}  // namespace
