// Messages: the program-name prefix and silencing, and the exact lines and
// exit statuses of the fatal paths.
#include <cerrno>

#include "lib_support.h"

using namespace tarvex_test;

TEST(PmMessageDeathTest, MessagesCarryThePrefixAndOneNewline) {
    auto r = RunChild([] {
        pm_init("prog");
        pm_setMessage(1, nullptr);
        pm_message("value %d of %s", 3, "x");
        pm_message("ends in a newline\n");
        pm_setMessage(0, nullptr);
        pm_message("silenced");
    });
    EXPECT_EQ(r.err, "prog: value 3 of x\nprog: ends in a newline\n\n");
}

// Messages are off in these children: the fatal lines print regardless.
TEST(PmMessageDeathTest, FatalPathsPrintOneLineAndExit1) {
    const struct { std::function<void()> body; const char* err; } cases[] = {
        {[] { errno = ENOENT; pm_perror("x"); }, "prog: x - No such file or directory\n"},
        {[] { errno = EACCES; pm_perror(nullptr); }, "prog: Permission denied\n"},
        {[] { errno = EACCES; pm_perror(""); }, "prog: Permission denied\n"},
        {[] { pm_usage("[-verbose] [pngfile]"); }, "usage:  prog [-verbose] [pngfile]\n"},
        {[] { pm_init(nullptr); pm_error("early"); }, "libtarvex: early\n"},
    };
    for (const auto& c : cases)
        ExpectFatal(c.body, c.err);
    EXPECT_EQ(ExpectFatal([] { std::fputs("flushed", stdout); pm_error("bad %s", "thing"); },
                          "prog: bad thing\n").out, "flushed");
}
