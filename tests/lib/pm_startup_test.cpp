// Start-up: the program name, the common options taken out of the argument
// vector, the version and help reports, and option keyword matching.
#include "lib_support.h"

using namespace tarvex_test;
using Args = std::vector<std::string>;

// Runs pnm_init over `args` in a child and then says "hi"; the child prints
// the arguments left (to the null that must end them), the plain flag and
// the message state.
static ChildResult Start(Args args) {
    return RunChild([&] {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int argc = static_cast<int>(args.size()), messages;
        pnm_init(&argc, argv.data());
        pm_message("hi");
        pm_setMessage(0, &messages);
        for (int i = 0; i <= argc; ++i)
            std::printf("%s ", argv[i] ? argv[i] : "|");
        std::printf("%d %d", pm_plain_output, messages);
    });
}

TEST(PmProginitDeathTest, CommonOptionsAreTakenOutWhereverNameFromThePathHelpExits1) {
    const std::string help = "corvane: Use 'man corvane' for help.\n", hi = "corvane: hi\n";
    const struct { Args args; int status; std::string out, err; } cases[] = {
        {{"corvane", "-verbose", "-quiet", "in.png", "-PLAIN"}, 0, "corvane -verbose in.png | 1 0",
         ""},
        {{}, 0, "| 0 1", "libtarvex: hi\n"},  // an empty vector has no name to take
        {{"corvane", "-QUIET", "--Plain", "x"}, 0, "corvane x | 1 0", ""},
        {{"corvane", "-quie", "-quieter", "-q", "-plai"}, 0,
         "corvane -quie -quieter -q -plai | 0 1", hi},
        {{"corvane", "-text", "-plain", "t.txt", "--", "-plain", "-quiet"}, 0,
         "corvane -text t.txt -- | 1 0", ""},
        {{"corvane", "-plain", "-plain", "-plain"}, 0, "corvane | 1 1", hi},
        {{"/usr/local/bin/corvane.exe"}, 0, "/usr/local/bin/corvane.exe | 0 1",
         "corvane.exe: hi\n"},
        {{"odd/dir/"}, 0, "odd/dir/ | 0 1", ": hi\n"},
        {{"/bin/corvane", "in.png", "-?"}, 1, "", help}, {{"corvane", "--help"}, 1, "", help},
        {{"corvane", "-HELP"}, 1, "", help}, {{"corvane", "-version", "--QUIET"}, 0, "", ""},
    };
    for (const auto& c : cases) {
        auto r = Start(c.args);
        EXPECT_EQ(std::tie(r.status, r.out, r.err), std::tie(c.status, c.out, c.err));
    }
}

TEST(PmProginitDeathTest, VersionWinsOverHelpAndExits0) {
    for (std::string rgbdef : {"", "/etc/colours.txt"}) {  // "" for unset
        rgbdef.empty() ? unsetenv("RGBDEF") : setenv("RGBDEF", rgbdef.c_str(), 1);
        auto r = Start({"bin/corvane", "-help", "--version"});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.err.starts_with("corvane: Using libtarvex from Tarvex Version: Tarvex "
                                      "10.18.11\ncorvane: Compiled ")) << r.err;
        EXPECT_TRUE(r.err.ends_with(
            "\"\ncorvane: BSD defined\ncorvane: RGB_ENV='RGBDEF'\ncorvane: RGBENV= 'RGBDEF' " +
            (rgbdef.empty() ? "(env vbl is unset)\n"s : "(env vbl set to '" + rgbdef + "')\n")))
            << r.err;
    }
    unsetenv("RGBDEF");
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
