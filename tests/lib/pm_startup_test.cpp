// Start-up: the program name, the common options taken out of the argument
// vector, the version and help reports, and option keyword matching.
#include "lib_support.h"

using namespace tarvex_test;
using Args = std::vector<std::string>;

// Runs pnm_init over `args`, then `then`; returns the arguments left, the
// plain flag and the message state, and resets all three.
static std::tuple<Args, int, int> Start(Args args, const std::function<void()>& then = [] {}) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size()), messages;
    pnm_init(&argc, argv.data());
    then();
    pm_setMessage(0, &messages);
    EXPECT_EQ(argv[argc], nullptr);
    const std::tuple<Args, int, int> left{Args(argv.data(), argv.data() + argc),
                                          pm_plain_output, messages};
    pm_init("lib_tests");  // the name pointed into `args`
    pm_plain_output = 0;
    return left;
}

TEST(PmProginit, CommonOptionsAreTakenOutWherever) {
    const struct { Args in; std::tuple<Args, int, int> left; } cases[] = {
        {{"corvane", "-verbose", "-quiet", "in.png", "-PLAIN"},
         {{"corvane", "-verbose", "in.png"}, 1, 0}},
        {{}, {{}, 0, 1}},  // an empty vector has no name to take
        {{"corvane", "-QUIET", "--Plain", "x"}, {{"corvane", "x"}, 1, 0}},
        {{"corvane", "-quie", "-quieter", "-q", "-plai"},
         {{"corvane", "-quie", "-quieter", "-q", "-plai"}, 0, 1}},
        {{"corvane", "-text", "-plain", "t.txt", "--", "-plain", "-quiet"},
         {{"corvane", "-text", "t.txt", "--"}, 1, 0}},
        {{"corvane", "-plain", "-plain", "-plain"}, {{"corvane"}, 1, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Start(c.in), c.left);
}

TEST(PmProginitDeathTest, NameFromThePathHelpExits1QuietVersionPrintsNothing) {
    const std::string help = "corvane: Use 'man corvane' for help.\n";
    const struct { Args args; int status; std::string err; } cases[] = {
        {{"/usr/local/bin/corvane.exe"}, 0, "corvane.exe: hi\n"}, {{"odd/dir/"}, 0, ": hi\n"},
        {{"/bin/corvane", "in.png", "-?"}, 1, help}, {{"corvane", "--help"}, 1, help},
        {{"corvane", "-HELP"}, 1, help}, {{"corvane", "-version", "--QUIET"}, 0, ""},
    };
    for (const auto& c : cases) {
        auto r = RunChild([&] { Start(c.args, [] { pm_message("hi"); }); });
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(PmProginitDeathTest, VersionWinsOverHelpAndExits0) {
    for (std::string rgbdef : {"", "/etc/colours.txt"}) {  // "" for unset
        auto r = RunChild([&] {
            rgbdef.empty() ? unsetenv("RGBDEF") : setenv("RGBDEF", rgbdef.c_str(), 1);
            Start({"bin/corvane", "-help", "--version"});
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.err.starts_with("corvane: Using libtarvex from Tarvex Version: Tarvex "
                                      "10.18.11\ncorvane: Compiled ")) << r.err;
        EXPECT_TRUE(r.err.ends_with(
            "\"\ncorvane: BSD defined\ncorvane: RGB_ENV='RGBDEF'\ncorvane: RGBENV= 'RGBDEF' " +
            (rgbdef.empty() ? "(env vbl is unset)\n"s : "(env vbl set to '" + rgbdef + "')\n")))
            << r.err;
    }
}

TEST(PmKeymatch, PrefixOfAtLeastMinimumLengthCaseBlind) {
    const struct { const char *str, *keyword; int min, want; } cases[] = {
        {"-v", "-verbose", 2, 1}, {"-VERB", "-verbose", 2, 1}, {"-verbose", "-verbose", 2, 1},
        {"-", "-verbose", 2, 0}, {"-verbosity", "-verbose", 2, 0}, {"-x", "-verbose", 2, 0},
        {"", "-anything", 0, 1}, {"-QuIeT", "-quiet", 6, 1}, {"-quie", "-quiet", 6, 0},
        {"-Q", "-quiet", -3, 1}, {"-\xC4", "-\xE4", 2, 0}, {"-[", "-{", 2, 0},  // only A-Z fold
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_keymatch(c.str, c.keyword, c.min), c.want) << c.str << " " << c.min;
}

TEST(PmArg0toprogname, LastComponentCutTo64WithoutExe) {
    const std::string a60(60, 'a'), a62(62, 'a'), n70(70, 'n');
    const struct { std::string in, want; } cases[] = {
        {"/usr/local/bin/corvane", "corvane"}, {"corvane.exe", "corvane"},
        {"C/prog.EXE", "prog.EXE"}, {".exe", ""}, {"dir/", ""}, {n70, n70.substr(0, 64)},
        {a60 + ".exe", a60}, {a62 + ".exe", a62 + ".e"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_arg0toprogname(c.in.c_str()), c.want) << c.in;
}
