// Files: "-" for the standard streams, open failures with the system's
// error, and what closing does to standard input, standard output, streams
// in error and streams whose data cannot be written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "pnm.h"
#include "support/child.h"

using namespace tarvex_test;

namespace {

void StartAsProg(bool quiet = false) {
    static char a0[] = "prog", a1[] = "-quiet";
    char* argv[] = {a0, quiet ? a1 : nullptr, nullptr};
    int argc = quiet ? 2 : 1;
    pm_proginit(&argc, argv);
}

}  // namespace

TEST(PmFile, DashIsTheStandardStreams) {
    EXPECT_EQ(pm_openr("-"), stdin);
    EXPECT_EQ(pm_openw("-"), stdout);
}

TEST(PmFile, OpenwCreatesOrEmptiesAndOpenrReadsBytesAsTheyAre) {
    const std::string path = TempFile("old contents that must go");
    FILE* w = pm_openw(path.c_str());
    std::fputs("a\r\nb\x1a", w);
    pm_closew(w);
    EXPECT_EQ(ReadFile(path), "a\r\nb\x1a");
    FILE* r = pm_openr(path.c_str());
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, r), 5u);
    pm_closer(r);
}

class PmFileDeathTest : public ::testing::Test {};

TEST_F(PmFileDeathTest, OpenFailuresGiveTheErrnoAndItsText) {
    auto r = RunChild([] {
        StartAsProg();
        pm_openr("/nonexistent/in.png");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "prog: Unable to open file '/nonexistent/in.png' for reading.  "
                     "fopen() returns errno 2 (No such file or directory)\n");
    auto w = RunChild([] {
        StartAsProg();
        pm_openw("/nonexistent/out.txt");
    });
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(w.err, "prog: Unable to open file '/nonexistent/out.txt' for writing.  "
                     "fopen() returns errno 2 (No such file or directory)\n");
}

TEST_F(PmFileDeathTest, ClosingStdinLeavesItOpenClosingStdoutClosesIt) {
    auto r = RunChild(
        [] {
            StartAsProg();
            std::putchar(std::getchar());
            pm_closer(stdin);
            std::putchar(std::getchar());
            pm_closew(stdout);
            std::fprintf(stderr, "fd 1 open: %d\n", ::fcntl(1, F_GETFD) != -1);
        },
        "ab");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ab");
    EXPECT_EQ(r.err, "fd 1 open: 0\n");
}

TEST_F(PmFileDeathTest, EarlierStreamErrorIsAWarningThatQuietSilences) {
    const std::string path = TempFile("data");
    for (bool quiet : {false, true}) {
        auto r = RunChild([&] {
            StartAsProg(quiet);
            FILE* f = pm_openr(path.c_str());
            std::fputc('x', f);  // writing to a read-only stream sets its error
            pm_close(f);
            std::fputs("went on", stdout);
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "went on");
        EXPECT_EQ(r.err, quiet ? "" : "prog: A file read or write error occurred at some point\n");
    }
}

TEST_F(PmFileDeathTest, FailedCloseIsFatal) {
    auto r = RunChild([] {
        StartAsProg();
        FILE* f = pm_openw("/dev/null");
        ::close(fileno(f));
        pm_closew(f);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "prog: close of file failed with errno 9 (Bad file descriptor)\n");
}

// Buffered data the device refuses is lost, so the close must not succeed.
TEST_F(PmFileDeathTest, DataThatCannotBeFlushedFailsTheClose) {
    auto r = RunChild([] {
        StartAsProg();
        FILE* f = pm_openw("/dev/full");
        std::fputs("P1\n1 1\n1\n", f);
        pm_closew(f);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "prog: A file read or write error occurred at some point\n"
                     "prog: close of file failed with errno 28 (No space left on device)\n");
}
