// Start-up: the program name, the common options taken out of the argument
// vector, the version and help reports, and option keyword matching.
#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

using tarvex_test::RunChild;

TEST(PmKeymatch, PrefixOfAtLeastMinimumLengthCaseBlind) {
    EXPECT_EQ(pm_keymatch("-v", "-verbose", 2), 1);
    EXPECT_EQ(pm_keymatch("-VERB", "-verbose", 2), 1);
    EXPECT_EQ(pm_keymatch("-verbose", "-verbose", 2), 1);
    EXPECT_EQ(pm_keymatch("-", "-verbose", 2), 0);
    EXPECT_EQ(pm_keymatch("-verbosity", "-verbose", 2), 0);
    EXPECT_EQ(pm_keymatch("", "-anything", 0), 1);
}

TEST(PmProginitDeathTest, HelpNamesTheManualAndExits1) {
    auto r = RunChild([] {
        char a0[] = "/usr/local/bin/corvane", a1[] = "-?";
        char* argv[] = {a0, a1, nullptr};
        int argc = 2;
        pnm_init(&argc, argv);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane: Use 'man corvane' for help.\n");
}
