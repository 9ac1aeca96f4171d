// SPDX-License-Identifier: MIT
// Damaged input and hostile surroundings, from a file and from a pipe: every
// truncation of a set of PNGs and every bit flip of a small one, chunks that
// declare more than the file holds, compressed data that fails after rows
// went out, output that cannot be written, inputs that are no file. A failure
// ends with status 1 and a message, writes nothing (a file written at its end
// is cut back) and costs no more memory than the input justifies; an image
// larger than the memory allowed converts in a few MiB as its rows stream.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include "corvane.h"
#include "rows.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;
using Args = std::vector<std::string>;

const std::string kReadError =
    "corvane:  fatal libpng error: Read Error\ncorvane: setjmp returns error condition\n";

enum class Way { held, file, pipe, file_to_pipe };

// corvane run with `args` on `png`: held whole, or streamed where it can be
// with standard input and output files, or pipes.
ChildResult Convert(Args args, const std::string& png, Way way) {
    if (way == Way::pipe || way == Way::file_to_pipe)
        return RunPiped(CORVANE_EXE, args, png, way == Way::pipe);
    args.insert(args.begin(), "corvane");
    corvane::always_hold = way == Way::held;  // in the child; every run here sets it
    return RunMain(corvane::corvane_main, args, png);
}

// Runs a bash script with the corvane executable as $1 and `args` after it.
ChildResult Shell(const std::string& script, std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/bash", "-c", script, "bash", CORVANE_EXE});
    return RunMain(nullptr, args);
}

// A clean failure: status 1, nothing written, a last line of the converter's own.
bool FailedCleanly(const ChildResult& r) {
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    return r.status == 1 && r.out.empty() && (last == "corvane: input file is empty or too short\n" ||
           last == "corvane: input file is not a PNG file\n" || last == "corvane: setjmp returns error condition\n");
}

// 3 x 2 RGBA, not interlaced (so that it streams), with the chunks the
// converter reads, text before and the time after the image data.
const std::string kSmall = Png(3, 2, 8, 6,
    "\0\x10\x20\x30\xff\x40\x50\x60\x80\x70\x80\x90\0" "\0\1\2\3\4\5\6\7\x08\x09\x0a\x0b\x0c"s,
    Chunk("gAMA", Be32(45455)) + Chunk("bKGD", "\0\1\0\2\0\3"s) + Chunk("pHYs", Be32(2) + Be32(3) + '\1') +
        Chunk("tEXt", "Note\0text"s) + Chunk("zTXt", "Z\0\0"s + Deflated("z")),
    Chunk("tIME", "\x07\xe8\1\2\3\4\5"));
// Every option that reads more of the file.
const Args kEverything = {"-mix", "-verbose", "-time", "-text", "/dev/null"};

// Every truncation of a set of PNGs and a flip of every bit of the small one
// (in a chunk's length, name, data or CRC), one in four through pipes: a pipe
// on standard output cannot be cut back, so the damage must be found before
// a row goes out. A flip may cost only an ancillary chunk, and then the whole
// image is written. One in eight is compared with the image held whole.
TEST(Hostile, EveryTruncationAndBitFlipFailsCleanlyFromAFileOrAPipe) {
    std::vector<std::pair<std::string, std::string>> damaged;  // what was done, the bytes
    for (const char* name : {"", "basn0g01", "basi0g04", "basn0g16", "bgai4a08", "basi3p02", "basi2c08",
                             "cm0n0g04", "ctzn0g04"}) {
        const std::string png = *name ? ReadFile(TARVEX_PNGSUITE_DIR "/"s + name + ".png") : kSmall;
        ASSERT_EQ(Convert(kEverything, png, Way::pipe).status, 0) << name;
        for (size_t size = 0; size < png.size(); ++size)
            damaged.emplace_back(name + " cut to "s + std::to_string(size), png.substr(0, size));
    }
    for (size_t bit = 0; bit < kSmall.size() * 8; ++bit) {
        damaged.emplace_back("bit " + std::to_string(bit), kSmall);
        damaged.back().second[bit / 8] = char(kSmall[bit / 8] ^ (1 << bit % 8));
    }
    int written = 0;
    for (size_t i = 0; i < damaged.size(); ++i) {
        const auto& [what, png] = damaged[i];
        const ChildResult r = Convert(kEverything, png, i % 4 == 1 ? Way::pipe : Way::file);
        if (i % 8 == 0) {
            const ChildResult held = Convert(kEverything, png, Way::held);
            EXPECT_TRUE(r.status == held.status && r.err == held.err && r.out == held.out) << what;
        }
        if (r.status != 0)
            ASSERT_TRUE(FailedCleanly(r)) << what << ": " << r.err;
        else if (++written; !what.starts_with("bit") || !r.out.starts_with("P6\n3 2\n255\n") || r.out.size() != 29)
            ADD_FAILURE() << what << ": " << Escape(r.out);
    }
    EXPECT_GT(written, 0);  // flips in the ancillary chunks only cost those chunks
}

// A valid header, then a chunk that declares 1.25 GiB in a file of a few
// dozen bytes, read from a pipe and from a file; text is read with "-text"
// only. A pipe is kept only as far as its end chunk, however long.
TEST(Hostile, OverlongChunksAndPipesCostNoMoreThanTheInputHolds) {
    for (const char* chunk : {"tEXt", "zTXt", "iTXt", "sPLT"})
        for (const char* args : {"", "-text /dev/null"}) {
            const std::string png = TempFile(kSmall.substr(0, 33) + "\x50\0\0\0"s + chunk + "Title\0x"s);
            SCOPED_TRACE(chunk + " "s + args);
            const ChildResult piped = Shell("cat \"$2\" | exec \"$1\" "s + args, {png});
            EXPECT_EQ(piped.out + piped.err, kReadError);
            EXPECT_LT(piped.maxrss_kb, 64 * 1024) << "peak resident size";
            EXPECT_EQ(Shell("exec \"$1\" "s + args + " \"$2\"", {png}).err, kReadError);
        }
    const ChildResult r = Shell("{ cat \"$2\"; head -c 300000000 /dev/zero; } | \"$1\"",
                                {TempFile(ReadFile(TARVEX_PNGSUITE_DIR "/basn2c08.png"))});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 13u + 32 * 32 * 3);
    EXPECT_LT(r.maxrss_kb, 64 * 1024) << "peak resident size";
}

// A small image stays in the stream's buffer until the end; a large one fails
// in its first rows.
TEST(Hostile, OutputThatCannotBeWrittenAndInputsThatAreNoFileFail) {
    const std::string small = TempFile(Png(2, 1, 8, 2, "\0\1\2\3\4\5\6"s));
    const std::string large = TempFile(Png(1000, 100, 8, 0, std::string(100100, 0)));
    const std::string dir = ::testing::TempDir();
    const std::string warning = "corvane: A file read or write error occurred at some point\n",
                      failed = "corvane: Error writing single byte sample to file\n";
    const std::pair<std::string, std::string> cases[] = {
        {"exec \"$1\" \"$2\" >/dev/full",
         warning + "corvane: close of file failed: an earlier write to it failed\n"},
        {"exec \"$1\" \"$2\" >&-", warning + "corvane: close of file failed with errno 9 (Bad file descriptor)\n"},
        {"exec \"$1\" \"$3\" >/dev/full", failed}, {"exec \"$1\" \"$3\" >&-", failed},
        {"exec \"$1\" \"$4\"", warning + "corvane: input file is empty or too short\n"},
        {"exec \"$1\" <(head -c 40 \"$2\")", kReadError},  // a named pipe whose writer stops early
    };
    for (const auto& [script, err] : cases) {
        const ChildResult r = Shell(script, {small, large, dir});
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_EQ(r.out + r.err, err) << script;
    }
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

// A gray image whose compressed rows are `idat`, in one chunk.
std::string GrayPng(uint32_t width, uint32_t height, const std::string& idat) {
    return Png(width, height, 8, 0, "").substr(0, 33) + Chunk("IDAT", idat) + Chunk("IEND", "");
}

// A flat gray image of `side` x `side` pixels, its rows deflated as they come
// (zeros shrink more than 64 times).
std::string FlatPng(uint32_t side) {
    z_stream z{};
    deflateInit(&z, 1);
    std::string row(side + 1, '\0'), idat(size_t(side) * side / 64, '\0');
    z.next_out = reinterpret_cast<Bytef*>(idat.data()), z.avail_out = uInt(idat.size());
    for (uint32_t y = 0; y < side; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(row.data()), z.avail_in = uInt(row.size());
        deflate(&z, y + 1 < side ? Z_NO_FLUSH : Z_FINISH);
    }
    idat.resize(z.total_out);
    deflateEnd(&z);
    return GrayPng(side, side, idat);
}

// 64 x 512 gray, its compressed rows cut after a quarter and, apart, with a
// byte damaged in the middle; every chunk whole with a right CRC. Rows have
// gone out when the fault is found: a regular file is cut back to its start,
// and ">>" or "1<>" onto a file that holds something leave it as it was.
TEST(Stream, BadCompressedDataFailsAsHeldAndIsTakenBackFromAFile) {
    std::string rows;
    for (int i = 0; i < 512 * 65; ++i)
        rows += char(i % 65 ? (i % 65 - 1) * 7 + i / 65 * 13 : 0);  // each row opens with its filter byte
    std::string idat = Deflated(rows), flipped = idat;
    flipped[idat.size() / 2] = char(~flipped[idat.size() / 2]);
    for (const std::string& data : {idat.substr(0, idat.size() / 4), flipped}) {
        const std::string png = GrayPng(64, 512, data);
        const ChildResult held = Convert({}, png, Way::held);
        ASSERT_EQ(held.status, 1);
        ASSERT_NE(held.err.find("fatal libpng error"), std::string::npos) << held.err;
        for (const Way way : {Way::file, Way::pipe, Way::file_to_pipe}) {
            const ChildResult r = Convert({}, png, way);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, held.err);
            EXPECT_TRUE(way != Way::file || r.out.empty());  // standard output a regular file: cut back
        }
        const std::string input = TempFile(png);
        for (const char* redirect : {">", ">>", "1<>"}) {
            const std::string before = "earlier output\n", out = TempFile(before);
            const ChildResult r = Shell("exec \"$1\" \"$2\" "s + redirect + "\"$3\"", {input, out});
            EXPECT_EQ(r.status, 1) << redirect;
            EXPECT_EQ(r.err, held.err) << redirect;
            EXPECT_EQ(Escape(ReadFile(out)), redirect == ">"s ? "" : Escape(before)) << redirect;
        }
    }
}

// 256 MiB of rows under an address-space limit of 96 MiB, which the whole
// image cannot live under (sanitizers reserve far more address space than
// that, and resident memory of their own, so there it need only convert).
TEST(Stream, AnImageLargerThanTheMemoryAllowedConverts) {
    const std::string png = TempFile(FlatPng(16384));
    for (const bool held : {false, true}) {
#if defined(__SANITIZE_ADDRESS__)
        if (held)
            continue;
#endif
        corvane::always_hold = held;
        const ChildResult r = RunChild([&] {
#if !defined(__SANITIZE_ADDRESS__)
            const rlimit limit{96 << 20, 96 << 20};
            ::setrlimit(RLIMIT_AS, &limit);
#endif
            char* argv[] = {const_cast<char*>("corvane"), const_cast<char*>(png.c_str()), nullptr};
            std::exit(std::freopen("/dev/null", "wb", stdout) ? corvane::corvane_main(2, argv) : 126);
        });
        corvane::always_hold = false;
        EXPECT_EQ(r.status, held ? 1 : 0);
        EXPECT_EQ(r.err, held ? "corvane: couldn't allocate space for image\n" : "");
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(r.maxrss_kb, 16 * 1024) << "peak resident size";
#endif
    }
}

}  // namespace
