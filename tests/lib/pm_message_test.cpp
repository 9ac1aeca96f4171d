// Messages: the program-name prefix, silencing and its saved state, and the
// exact lines and exit statuses of the fatal paths.
#include <gtest/gtest.h>

#include <cerrno>

#include "pnm.h"
#include "support/child.h"

using tarvex_test::RunChild;

namespace {

// Starts a child as program "prog" with messages on.
void StartAsProg() {
    static char a0[] = "/bin/prog";
    static char* argv[] = {a0, nullptr};
    int argc = 1;
    pm_proginit(&argc, argv);
}

}  // namespace

class PmMessageDeathTest : public ::testing::Test {
protected:
    void SetUp() override { pm_setMessage(0, nullptr); }
    void TearDown() override { pm_setMessage(0, nullptr); }
};

TEST_F(PmMessageDeathTest, MessagesCarryThePrefixAndOneNewline) {
    auto r = RunChild([] {
        StartAsProg();
        pm_message("value %d of %s", 3, "x");
        pm_message("ends in a newline\n");
        pm_setMessage(0, nullptr);
        pm_message("silenced");
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "prog: value 3 of x\nprog: ends in a newline\n\n");
}

TEST_F(PmMessageDeathTest, SetMessageStoresTheOldState) {
    int old = -1;
    pm_setMessage(5, &old);
    EXPECT_EQ(old, 0);
    pm_setMessage(0, &old);
    EXPECT_EQ(old, 1);
    pm_setMessage(1, nullptr);
    pm_setMessage(1, &old);
    EXPECT_EQ(old, 1);
}

TEST_F(PmMessageDeathTest, ErrorPrintsEvenWhenSilencedAndExits1) {
    auto r = RunChild([] {
        StartAsProg();
        pm_setMessage(0, nullptr);
        std::fputs("flushed", stdout);
        pm_error("bad %s", "thing");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "prog: bad thing\n");
    EXPECT_EQ(r.out, "flushed");
}

TEST_F(PmMessageDeathTest, PerrorAddsTheSystemText) {
    auto withReason = RunChild([] {
        StartAsProg();
        errno = ENOENT;
        pm_perror("reading");
    });
    EXPECT_EQ(withReason.status, 1);
    EXPECT_EQ(withReason.err, "prog: reading - No such file or directory\n");
    for (const char* reason : {static_cast<const char*>(nullptr), ""}) {
        auto bare = RunChild([reason] {
            StartAsProg();
            errno = EACCES;
            pm_perror(reason);
        });
        EXPECT_EQ(bare.status, 1);
        EXPECT_EQ(bare.err, "prog: Permission denied\n");
    }
}

TEST_F(PmMessageDeathTest, UsageHasNoPrefixAndExits1) {
    auto r = RunChild([] {
        StartAsProg();
        pm_setMessage(0, nullptr);
        pm_usage("[-verbose] [pngfile]");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "usage:  prog [-verbose] [pngfile]\n");
}

TEST_F(PmMessageDeathTest, BeforeStartUpTheLibraryNamesItself) {
    auto r = RunChild([] {
        pm_init(nullptr);
        pm_error("early");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "libtarvex: early\n");
}
