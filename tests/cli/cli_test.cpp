// The corvane executable in hostile surroundings: a failure ends with status
// 1 and a message, writes nothing, and costs no more memory than the input
// could justify.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;

const std::string kPng = Png(2, 1, 8, 2, "\0\1\2\3\4\5\6"s);
const std::string kReadError =
    "corvane:  fatal libpng error: Read Error\ncorvane: setjmp returns error condition\n";

// Runs a shell script with corvane as $1 and `args` after it.
ChildResult Shell(const std::string& script, std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/sh", "-c", script, "sh", CORVANE_EXE});
    return RunMain(nullptr, args);
}

// Exit status and peak resident size (KB) of corvane reading `input` from a pipe.
std::pair<int, long> Measured(const std::string& args, const std::string& input) {
    const std::string path = TempFile(input);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string script = "cat \"$2\" | exec \"$1\" " + args + " >/dev/null 2>&1";
        ::execl("/bin/sh", "sh", "-c", script.c_str(), "sh", CORVANE_EXE, path.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {WEXITSTATUS(status), usage.ru_maxrss};
}

// A valid header, then a chunk that declares 1.25 GiB in a file of a few
// dozen bytes; text chunks are read with "-text" only.
TEST(Hostile, OverlongChunksCostNoMoreThanTheInputHolds) {
    for (const char* chunk : {"tEXt", "zTXt", "iTXt", "sPLT"})
        for (const char* args : {"", "-text /dev/null"}) {
            const std::string png = kPng.substr(0, 33) + "\x50\0\0\0"s + chunk + "Title\0x"s;
            SCOPED_TRACE(chunk + " "s + args);
            const auto [status, rss] = Measured(args, png);
            EXPECT_EQ(status, 1);
            EXPECT_LT(rss, 64 * 1024) << "peak resident size in KB, from a pipe";
            const ChildResult r = Shell("exec \"$1\" " + std::string(args) + " \"$2\"", {TempFile(png)});
            EXPECT_EQ(r.out + r.err, kReadError);
        }
}

// A small image stays in the stream's buffer until the end; a large one
// fails in its first rows. Inputs that are no PNG file end cleanly too.
TEST(Hostile, OutputThatCannotBeWrittenAndInputsThatAreNoFileFail) {
    const std::string small = TempFile(kPng), large = TempFile(Png(1000, 100, 8, 0, std::string(100100, 0)));
    const std::string dir = ::testing::TempDir(), fifo = dir + "/tarvex_fifo" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string warning = "corvane: A file read or write error occurred at some point\n",
                      failed = "corvane: Error writing single byte sample to file\n";
    const std::pair<std::string, std::string> cases[] = {
        {"exec \"$1\" \"$2\" >/dev/full",
         warning + "corvane: close of file failed: an earlier write to it failed\n"},
        {"exec \"$1\" \"$2\" >&-",
         warning + "corvane: close of file failed with errno 9 (Bad file descriptor)\n"},
        {"exec \"$1\" \"$3\" >/dev/full", failed}, {"exec \"$1\" \"$3\" >&-", failed},
        {"exec \"$1\" \"$4\"", warning + "corvane: input file is empty or too short\n"},
        // A pipe whose writer stops in the middle of the image.
        {"head -c 40 \"$2\" >\"$5\" & exec \"$1\" \"$5\"", kReadError},
    };
    for (const auto& [script, err] : cases) {
        const ChildResult r = Shell(script, {small, large, dir, fifo});
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_EQ(r.out + r.err, err) << script;
    }
    ::unlink(fifo.c_str());
}

}  // namespace
