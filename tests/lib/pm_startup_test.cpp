// Start-up: the program name, the common options taken out of the argument
// vector, the version and help reports, and option keyword matching.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pnm.h"
#include "support/child.h"

using tarvex_test::RunChild;

namespace {

struct StartUp {
    std::vector<std::string> args;   // what start-up left, in order
    bool nullEnded = false;          // argv[argc] is a null pointer
    int messages = -1;               // the message state after start-up
};

// Runs pnm_init over `args` in this process.
StartUp Start(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    pnm_init(&argc, argv.data());
    StartUp s;
    for (int i = 0; i < argc; ++i)
        s.args.emplace_back(argv[i]);
    s.nullEnded = argv[argc] == nullptr;
    pm_setMessage(0, &s.messages);
    return s;
}

// Runs `before`, then pnm_init over `args`, in a child that then says "hi".
tarvex_test::ChildResult StartInChild(
    std::vector<std::string> args,
    const std::function<void()>& before = [] {}) {
    return RunChild([args, &before]() mutable {
        before();
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int argc = static_cast<int>(args.size());
        pnm_init(&argc, argv.data());
        pm_message("hi");
    });
}

using Args = std::vector<std::string>;

}  // namespace

class PmProginit : public ::testing::Test {
protected:
    void SetUp() override { pm_plain_output = 0; }
    // The name pointed into this test's own strings.
    void TearDown() override {
        pm_init("lib_tests");
        pm_plain_output = 0;
    }
};

TEST_F(PmProginit, CommonOptionsAreTakenOutWherever) {
    const struct {
        Args in, out;
        int plain, messages;
    } cases[] = {
        {{"corvane", "-verbose", "-quiet", "in.png", "-PLAIN"},
         {"corvane", "-verbose", "in.png"}, 1, 0},
        {{"corvane"}, {"corvane"}, 0, 1},
        {{"corvane", "-QUIET", "--Plain", "x"}, {"corvane", "x"}, 1, 0},
        {{"corvane", "-quie", "-quieter", "-q", "-plai"},
         {"corvane", "-quie", "-quieter", "-q", "-plai"}, 0, 1},
        {{"corvane", "-text", "-plain", "t.txt", "--", "-plain", "-quiet"},
         {"corvane", "-text", "t.txt", "--"}, 1, 0},
        {{"corvane", "-plain", "-plain", "-plain"}, {"corvane"}, 1, 1},
    };
    for (const auto& c : cases) {
        pm_plain_output = 0;
        const StartUp s = Start(c.in);
        EXPECT_EQ(s.args, c.out);
        EXPECT_TRUE(s.nullEnded);
        EXPECT_EQ(pm_plain_output, c.plain);
        EXPECT_EQ(s.messages, c.messages);
    }
}

TEST_F(PmProginit, ProgramNameIsTheLastPathComponentUnchanged) {
    EXPECT_EQ(StartInChild({"/usr/local/bin/corvane"}).err, "corvane: hi\n");
    EXPECT_EQ(StartInChild({"corvane.exe"}).err, "corvane.exe: hi\n");
    EXPECT_EQ(StartInChild({"odd/dir/"}).err, ": hi\n");
}

class PmProginitDeathTest : public PmProginit {};

TEST_F(PmProginitDeathTest, HelpNamesTheManualAndExits1) {
    for (const char* help : {"-?", "--help", "-HELP"}) {
        auto r = StartInChild({"/usr/local/bin/corvane", "in.png", help});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "corvane: Use 'man corvane' for help.\n");
    }
}

TEST_F(PmProginitDeathTest, VersionWinsOverHelpAndExits0) {
    const struct {
        const char* rgbdef;
        std::string lastLine;
    } cases[] = {
        {nullptr, "corvane: RGBENV= 'RGBDEF' (env vbl is unset)\n"},
        {"/etc/colours.txt",
         "corvane: RGBENV= 'RGBDEF' (env vbl set to '/etc/colours.txt')\n"},
    };
    for (const auto& c : cases) {
        auto r = StartInChild({"bin/corvane", "-help", "--version"}, [&c] {
            if (c.rgbdef != nullptr)
                setenv("RGBDEF", c.rgbdef, 1);
            else
                unsetenv("RGBDEF");
        });
        EXPECT_EQ(r.status, 0);
        const std::string first =
            "corvane: Using libtarvex from Tarvex Version: Tarvex 10.18.11\n"
            "corvane: Compiled ";
        ASSERT_EQ(r.err.substr(0, first.size()), first);
        const size_t user = r.err.find(" by user \"");
        const size_t rest = r.err.find("\"\n", user) + 2;
        ASSERT_NE(user, std::string::npos);
        EXPECT_EQ(r.err.substr(rest),
                  "corvane: BSD defined\ncorvane: RGB_ENV='RGBDEF'\n" + c.lastLine);
    }
}

TEST_F(PmProginitDeathTest, QuietVersionPrintsNothingAndExits0) {
    auto r = StartInChild({"corvane", "-version", "--QUIET"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(PmKeymatch, PrefixOfAtLeastMinimumLengthCaseBlind) {
    const struct {
        const char *str, *keyword;
        int min, want;
    } cases[] = {
        {"-v", "-verbose", 2, 1},       {"-VERB", "-verbose", 2, 1},
        {"-verbose", "-verbose", 2, 1}, {"-", "-verbose", 2, 0},
        {"-verbosity", "-verbose", 2, 0}, {"-x", "-verbose", 2, 0},
        {"", "-anything", 0, 1},        {"-QuIeT", "-quiet", 6, 1},
        {"-quie", "-quiet", 6, 0},      {"-Q", "-quiet", -3, 1},
        // Only A to Z fold.
        {"-\xC4", "-\xE4", 2, 0},       {"-[", "-{", 2, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_keymatch(c.str, c.keyword, c.min), c.want)
            << c.str << " " << c.keyword << " " << c.min;
}

TEST(PmArg0toprogname, LastComponentCutTo64WithoutExe) {
    const std::string seventy(70, 'n');
    const struct { std::string in, want; } cases[] = {
        {"/usr/local/bin/corvane", "corvane"},
        {"corvane.exe", "corvane"},
        {"C/prog.EXE", "prog.EXE"},
        {".exe", ""},
        {"dir/", ""},
        {seventy, seventy.substr(0, 64)},
        {std::string(60, 'a') + ".exe", std::string(60, 'a')},
        {std::string(62, 'a') + ".exe", std::string(62, 'a') + ".e"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_arg0toprogname(c.in.c_str()), c.want) << c.in;
}
