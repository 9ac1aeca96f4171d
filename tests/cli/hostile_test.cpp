// Hostile input to the corvane executable: a failure must end with status 1
// and a message, write nothing on standard output, and cost no more memory
// than the file could justify.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/child.h"
#include "support/png_builder.h"

namespace {

// Runs corvane on `path` with `args`; returns the exit status and sets the
// peak resident size of the run in kilobytes.
int RunMeasured(const std::vector<std::string>& args, long* maxrssKb) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(CORVANE_EXE)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    *maxrssKb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Hostile, OverlongChunksAreNotAllocated) {
    // A valid header, then a chunk that declares 1.25 GiB in a file of a few
    // dozen bytes.
    const std::string png =
        tarvex_test::PngBuilder(1, 1, PNG_COLOR_TYPE_GRAY, 8).Samples({7}).Build();
    for (const char* chunk : {"tEXt", "sPLT"}) {
        SCOPED_TRACE(chunk);
        const std::string path = tarvex_test::TempFile(
            png.substr(0, 33) + std::string("\x50\x00\x00\x00", 4) + chunk +
                std::string("Title\0x", 7), ".png");
        long rss = 0;
        EXPECT_EQ(RunMeasured({path}, &rss), 1);
        EXPECT_LT(rss, 64 * 1024) << "peak resident size in KB";
        const auto r = tarvex_test::RunProgram({CORVANE_EXE, path});
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("corvane: setjmp returns error condition\n"),
                  std::string::npos);
    }
}

}  // namespace
