// Files: open failures with the system's error, and what closing does to
// standard input, standard output, streams in error and streams whose data
// cannot be written.
#include "lib_support.h"

using namespace tarvex_test;

TEST(PmFileDeathTest, OpenAndCloseFailuresAreFatal) {
    const std::string noent = "fopen() returns errno 2 (No such file or directory)\n";
    ExpectFatal([] { pm_openr("/nonexistent/in.png"); },
                "prog: Unable to open file '/nonexistent/in.png' for reading.  " + noent);
    ExpectFatal([] { pm_openw("/nonexistent/out.txt"); },
                "prog: Unable to open file '/nonexistent/out.txt' for writing.  " + noent);
    ExpectFatal([] { FILE* f = pm_openw("/dev/null"); ::close(fileno(f)); pm_closew(f); },
                "prog: close of file failed with errno 9 (Bad file descriptor)\n");
    // Buffered data the device refuses is lost, so the close must not succeed;
    // nor when an earlier flush that failed dropped it.
    for (bool flushed : {false, true})
        ExpectFatal([&] {
            pm_setMessage(1, nullptr);
            FILE* f = pm_openw("/dev/full");
            std::fputs("P1\n1 1\n1\n", f);
            if (flushed) std::fflush(f);
            pm_closew(f);
        }, "prog: A file read or write error occurred at some point\nprog: close of file failed" +
               (flushed ? ": an earlier write to it failed\n"s
                        : " with errno 28 (No space left on device)\n"));
}

// Closing keeps standard input open, closes standard output, and warns of an
// earlier error on the stream unless messages are off.
TEST(PmFileDeathTest, CloseKeepsStdinClosesStdoutAndWarnsOfEarlierErrors) {
    const std::string path = TempFile("data");
    for (int messages : {1, 0}) {
        auto r = RunChild([&] {
            pm_init("prog");
            pm_setMessage(messages, nullptr);
            FILE* f = pm_openr(path.c_str());
            std::fputc('x', f);  // writing to a read-only stream sets its error
            pm_close(f);
            std::putchar(std::getchar());
            pm_closer(stdin);
            std::putchar(std::getchar());
            pm_closew(stdout);
            std::fprintf(stderr, "fd 1 open: %d\n", ::fcntl(1, F_GETFD) != -1);
        }, "ab");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "ab");
        EXPECT_EQ(r.err, (messages ? "prog: A file read or write error occurred at some point\n"s
                                   : ""s) + "fd 1 open: 0\n");
    }
}
