// SPDX-License-Identifier: MIT
// Damaged input and hostile surroundings: every truncation of a set of PNGs
// and every bit flip of a small one, chunks that declare more than the file
// holds, output that cannot be written, inputs that are no file. A failure
// ends with status 1 and a message, writes nothing and costs no more memory
// than the input justifies; nothing crashes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "corvane.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;

const std::string kReadError =
    "corvane:  fatal libpng error: Read Error\ncorvane: setjmp returns error condition\n";

ChildResult Everything(const std::string& png) {  // every option that reads more of the file
    return RunMain(corvane::corvane_main, {"corvane", "-mix", "-verbose", "-time", "-text", "/dev/null"}, png);
}

// Runs a shell script with the corvane executable as $1 and `args` after it.
ChildResult Shell(const std::string& script, std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/sh", "-c", script, "sh", CORVANE_EXE});
    return RunMain(nullptr, args);
}

// A clean failure: status 1, nothing written, a last line of the converter's own.
bool FailedCleanly(const ChildResult& r) {
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    return r.status == 1 && r.out.empty() && (last == "corvane: input file is empty or too short\n" ||
           last == "corvane: input file is not a PNG file\n" || last == "corvane: setjmp returns error condition\n");
}

// 3 x 2 RGBA, Adam7 (passes 1, 4, 6 and 7 hold pixels), with the chunks the
// converter reads, text before and the time after the image data.
const std::string kSmall = Png(3, 2, 8, 6,
    "\0\x10\x20\x30\xff" "\0\x40\x50\x60\x80" "\0\x70\x80\x90\0" "\0\1\2\3\4\5\6\7\x08\x09\x0a\x0b\x0c"s,
    Chunk("gAMA", Be32(45455)) + Chunk("bKGD", "\0\1\0\2\0\3"s) + Chunk("pHYs", Be32(2) + Be32(3) + '\1') +
        Chunk("tEXt", "Note\0text"s) + Chunk("zTXt", "Z\0\0"s + Deflated("z")),
    Chunk("tIME", "\x07\xe8\1\2\3\4\5"), 1);

TEST(Hostile, EveryTruncationFailsCleanly) {
    std::vector<std::string> files = {kSmall};
    for (const char* name : {"basn0g01", "basi0g04", "basn0g16", "bgai4a08", "basi3p02", "basi2c08",
                             "cm0n0g04", "ctzn0g04"})
        files.push_back(ReadFile(TARVEX_PNGSUITE_DIR "/"s + name + ".png"));
    for (const std::string& png : files) {
        ASSERT_EQ(Everything(png).status, 0);
        for (size_t size = 0; size < png.size(); ++size) {
            const ChildResult r = Everything(png.substr(0, size));
            ASSERT_TRUE(FailedCleanly(r)) << "first " << size << " of " << png.size() << " bytes: " << r.err;
        }
    }
}

TEST(Hostile, EveryBitFlipFailsCleanlyOrWritesTheWholeImage) {
    int written = 0;
    for (size_t bit = 0; bit < kSmall.size() * 8; ++bit) {
        std::string flipped = kSmall;
        flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << bit % 8));
        const ChildResult r = Everything(flipped);
        if (r.status != 0)
            ASSERT_TRUE(FailedCleanly(r)) << "bit " << bit << ": " << r.err;
        else if (++written; !r.out.starts_with("P6\n3 2\n255\n") || r.out.size() != 29)
            ADD_FAILURE() << "bit " << bit << ": " << Escape(r.out);
    }
    EXPECT_GT(written, 0);  // flips in the ancillary chunks only cost those chunks
}

// A valid header, then a chunk that declares 1.25 GiB in a file of a few
// dozen bytes, read from a pipe and from a file; text is read with "-text" only.
TEST(Hostile, OverlongChunksCostNoMoreThanTheInputHolds) {
    for (const char* chunk : {"tEXt", "zTXt", "iTXt", "sPLT"})
        for (const char* args : {"", "-text /dev/null"}) {
            const std::string png = TempFile(kSmall.substr(0, 33) + "\x50\0\0\0"s + chunk + "Title\0x"s);
            SCOPED_TRACE(chunk + " "s + args);
            const ChildResult piped = Shell("cat \"$2\" | exec \"$1\" "s + args, {png});
            EXPECT_EQ(piped.out + piped.err, kReadError);
            EXPECT_LT(piped.maxrss_kb, 64 * 1024) << "peak resident size";
            EXPECT_EQ(Shell("exec \"$1\" "s + args + " \"$2\"", {png}).err, kReadError);
        }
}

// A small image stays in the stream's buffer until the end; a large one fails
// in its first rows.
TEST(Hostile, OutputThatCannotBeWrittenAndInputsThatAreNoFileFail) {
    const std::string small = TempFile(Png(2, 1, 8, 2, "\0\1\2\3\4\5\6"s));
    const std::string large = TempFile(Png(1000, 100, 8, 0, std::string(100100, 0)));
    const std::string dir = ::testing::TempDir(), fifo = dir + "/tarvex_fifo" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string warning = "corvane: A file read or write error occurred at some point\n",
                      failed = "corvane: Error writing single byte sample to file\n";
    const std::pair<std::string, std::string> cases[] = {
        {"exec \"$1\" \"$2\" >/dev/full",
         warning + "corvane: close of file failed: an earlier write to it failed\n"},
        {"exec \"$1\" \"$2\" >&-", warning + "corvane: close of file failed with errno 9 (Bad file descriptor)\n"},
        {"exec \"$1\" \"$3\" >/dev/full", failed}, {"exec \"$1\" \"$3\" >&-", failed},
        {"exec \"$1\" \"$4\"", warning + "corvane: input file is empty or too short\n"},
        {"head -c 40 \"$2\" >\"$5\" & exec \"$1\" \"$5\"", kReadError},  // a writer that stops early
    };
    for (const auto& [script, err] : cases) {
        const ChildResult r = Shell(script, {small, large, dir, fifo});
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_EQ(r.out + r.err, err) << script;
    }
    ::unlink(fifo.c_str());
}

// The handler names this program, and ends with 99 when there is no jump buffer.
TEST(Hostile, LibpngErrorWithoutAJumpBufferEndsWithStatus99) {
    const ChildResult r = RunChild([] {
        pm_init("corvane");
        corvane::corvane_error_handler(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr),
                                       "broken");
    });
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.err, "corvane:  fatal libpng error: broken\n"
                     "corvane:  EXTREMELY fatal error: jmpbuf unrecoverable; terminating.\n");
}

}  // namespace
