// Hostile input and surroundings for the corvane executable: a failure must
// end with status 1 and a message, write nothing on standard output, and cost
// no more memory than the file could justify.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/child.h"
#include "support/png_builder.h"

namespace {

using tarvex_test::PngBuilder;
using tarvex_test::RunProgram;
using tarvex_test::TempFile;

const std::string kPng = PngBuilder(2, 1, PNG_COLOR_TYPE_RGB, 8).Samples({1, 2, 3, 4, 5, 6}).Build();
const std::string kReadError =
    "corvane:  fatal libpng error: Read Error\ncorvane: setjmp returns error condition\n";

// Runs a shell script with corvane as $1 and `args` after it.
tarvex_test::ChildResult Shell(const std::string& script, std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/sh", "-c", script, "sh", CORVANE_EXE});
    return RunProgram(args);
}

// Runs corvane with `args` and `input` through a pipe on standard input;
// returns the exit status and sets the peak resident size of the run in KB.
int RunMeasured(const std::vector<std::string>& args, const std::string& input,
                long* maxrssKb) {
    const pid_t pid = fork();
    if (pid == 0) {
        int fds[2];
        if (pipe(fds) != 0)
            _exit(127);
        if (fork() == 0) {
            close(fds[0]);
            const ssize_t ignored = write(fds[1], input.data(), input.size());
            _exit(ignored < 0);
        }
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
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

TEST(Hostile, OverlongChunksCostNoMoreThanTheInputHolds) {
    // A valid header, then a chunk that declares 1.25 GiB in a file of a few
    // dozen bytes; text chunks are read with "-text" only.
    for (const char* chunk : {"tEXt", "zTXt", "iTXt", "sPLT"}) {
        const std::string png = kPng.substr(0, 33) + std::string("\x50\x00\x00\x00", 4) +
                                chunk + std::string("Title\0x", 7);
        const std::string path = TempFile(png, ".png");
        for (const bool text : {false, true}) {
            SCOPED_TRACE(std::string(chunk) + (text ? " with -text" : ""));
            std::vector<std::string> args;
            if (text)
                args = {"-text", "/dev/null"};
            long rss = 0;
            EXPECT_EQ(RunMeasured(args, png, &rss), 1);
            EXPECT_LT(rss, 64 * 1024) << "peak resident size in KB, from a pipe";
            args.insert(args.begin(), CORVANE_EXE);
            args.push_back(path);
            const auto r = RunProgram(args);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(r.err.ends_with(kReadError)) << r.err;
        }
    }
}

TEST(Hostile, OutputThatCannotBeWrittenIsAFailure) {
    // A small image stays in the stream's buffer until the end; a large one
    // fails in its first rows.
    const std::string small = TempFile(kPng, ".png");
    const std::string large = TempFile(PngBuilder(1000, 100, PNG_COLOR_TYPE_GRAY, 8).Build());
    const std::string warning = "corvane: A file read or write error occurred at some point\n",
                      failed = "corvane: Error writing single byte sample to file\n";
    const struct {
        const char* script;
        const std::string& png;
        std::string err;
    } cases[] = {
        {"exec \"$1\" \"$2\" >/dev/full", small,
         warning + "corvane: close of file failed: an earlier write to it failed\n"},
        {"exec \"$1\" \"$2\" >&-", small,
         warning + "corvane: close of file failed with errno 9 (Bad file descriptor)\n"},
        {"exec \"$1\" \"$2\" >/dev/full", large, failed},
        {"exec \"$1\" \"$2\" >&-", large, failed},
    };
    for (const auto& c : cases) {
        const auto r = Shell(c.script, {c.png});
        EXPECT_EQ(r.status, 1) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
}

TEST(Hostile, InputsThatAreNoPngFileEndCleanly) {
    const std::string png = TempFile(kPng, ".png");
    const std::string dir = ::testing::TempDir(), fifo = TempFile("", ".fifo");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string script, err;
    } cases[] = {
        {"exec \"$1\" \"$2\"", "corvane: A file read or write error occurred at some point\n"
                               "corvane: input file is empty or too short\n"},
        // A pipe whose writer stops in the middle of the image.
        {"head -c 40 \"$4\" >\"$3\" & exec \"$1\" \"$3\"", kReadError},
    };
    for (const auto& c : cases) {
        const auto r = Shell(c.script, {dir, fifo, png});
        EXPECT_TRUE(r.status == 1 && r.out.empty() && r.err == c.err) << c.script << r.err;
    }
    if (::geteuid() != 0) {
        const std::string locked = TempFile(kPng, ".png");
        ::chmod(locked.c_str(), 0);
        const auto r = RunProgram({CORVANE_EXE, locked});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("errno 13 (Permission denied)"), std::string::npos) << r.err;
    }
}

TEST(Hostile, ImageTooLargeToHoldEndsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";
#endif
    // 100000 x 100000 RGBA at 16 bits is 80 GB of decoded samples.
    const std::string png = TempFile(
        tarvex_test::WithDeclaredSize(PngBuilder(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16).Build(),
                                      100000, 100000),
        ".png");
    const auto r = Shell("ulimit -v 4000000; exec \"$1\" \"$2\"", {png});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "corvane: couldn't allocate space for image\n");
}

}  // namespace
