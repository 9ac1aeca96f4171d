// SPDX-License-Identifier: MIT
// Rows written as they are decoded give the bytes, messages and status of the
// image held whole, from a file and from a pipe; damaged chunks still write
// nothing; a fault in the compressed data takes back what a file was given;
// an image larger than the memory allowed converts in a few MiB.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "rows.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;
using Args = std::vector<std::string>;

enum class Way { held, file, pipe, file_to_pipe };

ChildResult Convert(Args args, const std::string& png, Way way) {
    args.insert(args.begin(), "corvane");
    corvane::always_hold = way == Way::held;
    const ChildResult r = way == Way::pipe           ? RunMainPiped(corvane::corvane_main, args, png)
                          : way == Way::file_to_pipe ? RunMainPiped(corvane::corvane_main, args, png, false)
                                                     : RunMain(corvane::corvane_main, args, png);
    corvane::always_hold = false;
    return r;
}

// The suite's files, and those of the folder $TARVEX_EXTRA_PNGS (real images).
std::vector<std::filesystem::path> Files() {
    std::vector<std::filesystem::path> files;
    std::error_code ignored;
    for (const char* dir : {TARVEX_PNGSUITE_DIR, static_cast<const char*>(std::getenv("TARVEX_EXTRA_PNGS"))})
        for (const auto& e : std::filesystem::directory_iterator(dir ? dir : TARVEX_PNGSUITE_DIR "/none",
                                                                  std::filesystem::directory_options::none, ignored))
            if (e.path().extension() == ".png")
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Stream, WritesWhatTheHeldImageWritesFromAFileAndAPipe) {
    ::setenv("RGBDEF", TARVEX_TEST_DATA_DIR "/rgb.txt", 1);
    const Args optionSets[] = {{}, {"-mix", "-gamma", "2.2"}, {"-alpha", "-plain"},
                               {"-verbose", "-time", "-text", "-", "-mix", "-background", "red"}};
    int files = 0;
    for (const auto& path : Files()) {
        const std::string png = ReadFile(path);
        for (const Args& args : optionSets) {
            const ChildResult held = Convert(args, png, Way::held);
            for (const Way way : {Way::file, Way::pipe}) {
                const ChildResult r = Convert(args, png, way);
                SCOPED_TRACE(path.filename().string() + (way == Way::pipe ? " piped" : " file"));
                EXPECT_EQ(r.status, held.status);
                EXPECT_EQ(r.err, held.err);
                EXPECT_TRUE(r.out == held.out) << r.out.size() << " bytes, held " << held.out.size();
            }
        }
        ++files;
    }
    EXPECT_GT(files, 170);
}

// The chunks of a PNG: where each starts.
std::vector<size_t> ChunkStarts(const std::string& png) {
    std::vector<size_t> starts;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + (uint32_t(uint8_t(png[at])) << 24 |
                                                     uint8_t(png[at + 1]) << 16 | uint8_t(png[at + 2]) << 8 |
                                                     uint8_t(png[at + 3])))
        starts.push_back(at);
    return starts;
}

// Every truncation of a non-interlaced PNG, and a flipped bit in each chunk's
// length, name, data and CRC: the held path's status and message, and not a
// byte on a standard output that cannot be taken back.
TEST(Stream, DamagedChunksWriteNothingFromAFileOrAPipe) {
    const std::string png = ReadFile(TARVEX_PNGSUITE_DIR "/basn0g01.png");
    std::vector<std::string> damaged;
    for (size_t size = 8; size < png.size(); ++size)
        damaged.push_back(png.substr(0, size));
    for (const size_t start : ChunkStarts(png))
        for (const size_t at : {start + 1, start + 5, start + 9, start + png.size() % 7 + 8}) {
            damaged.push_back(png);
            damaged.back()[at] = char(damaged.back()[at] ^ 0x10);
        }
    for (const std::string& bad : damaged) {
        const ChildResult held = Convert({}, bad, Way::held);
        for (const Way way : {Way::file_to_pipe, Way::pipe}) {
            const ChildResult r = Convert({}, bad, way);
            if (held.status == 0)
                continue;  // a flip in what libpng does not read
            SCOPED_TRACE(Escape(bad));
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, held.err);
            ASSERT_EQ(r.out.size(), 0u);
        }
    }
}

// A pipe is kept only as far as the end chunk: what follows it is never read
// into memory, however long.
TEST(Stream, APipeIsKeptOnlyAsFarAsItsEndChunk) {
    const std::string png = TempFile(ReadFile(TARVEX_PNGSUITE_DIR "/basn2c08.png"));
    const ChildResult r = RunMain(nullptr, {"/bin/sh", "-c", "{ cat \"$2\"; head -c 300000000 /dev/zero; } | \"$1\"",
                                            "sh", CORVANE_EXE, png});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 13u + 32 * 32 * 3);
    EXPECT_LT(r.maxrss_kb, 64 * 1024) << "peak resident size";
}

// 64 x 512 gray, its compressed rows cut after a quarter and, apart, with a
// byte damaged in the middle; every chunk whole with a right CRC.
std::vector<std::string> BadCompressedData() {
    std::string rows;
    for (int y = 0; y < 512; ++y) {
        rows += '\0';
        for (int x = 0; x < 64; ++x)
            rows += char(x * 7 + y * 13);
    }
    const std::string good = Png(64, 512, 8, 0, rows), idat = Deflated(rows);
    const size_t at = good.find("IDAT") + 4;
    std::string flipped = idat;
    flipped[idat.size() / 2] = char(~flipped[idat.size() / 2]);
    const auto withIdat = [&](const std::string& data) {
        return good.substr(0, at - 8) + Chunk("IDAT", data) + Chunk("IEND", "");
    };
    return {withIdat(idat.substr(0, idat.size() / 4)), withIdat(flipped)};
}

TEST(Stream, BadCompressedDataFailsAsHeldAndIsTakenBackFromAFile) {
    for (const std::string& png : BadCompressedData()) {
        const ChildResult held = Convert({}, png, Way::held);
        ASSERT_EQ(held.status, 1);
        ASSERT_NE(held.err.find("fatal libpng error"), std::string::npos) << held.err;
        for (const Way way : {Way::file, Way::pipe, Way::file_to_pipe}) {
            const ChildResult r = Convert({}, png, way);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, held.err);
            if (way == Way::file) {  // standard output a regular file: cut back
                EXPECT_EQ(r.out.size(), 0u);
            }
        }
        // ">" and ">>" onto a file that holds something: it ends as it began.
        const std::string input = TempFile(png);
        for (const char* redirect : {">", ">>", "1<>"}) {
            const std::string before = "earlier output\n", out = TempFile(before);
            const ChildResult r = RunMain(nullptr, {"/bin/sh", "-c", "exec \"$1\" \"$2\" "s + redirect + "\"$3\"",
                                                    "sh", CORVANE_EXE, input, out});
            EXPECT_EQ(r.status, 1) << redirect;
            EXPECT_EQ(r.err, held.err) << redirect;
            const std::string after = ReadFile(out);
            EXPECT_TRUE(after == (*redirect == '>' && redirect[1] == '\0' ? "" : before))
                << redirect << ": " << after.size() << " bytes";
        }
    }
}

// A flat gray image of `side` x `side` pixels, its rows deflated as they come.
std::string FlatPng(uint32_t side) {
    z_stream z{};
    deflateInit(&z, 1);
    std::string row(side + 1, '\0'), idat;
    char buf[1 << 16];
    for (uint32_t y = 0; y <= side; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = y < side ? uInt(row.size()) : 0;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, y < side ? Z_NO_FLUSH : Z_FINISH);
            idat.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    const std::string ihdr = Be32(side) + Be32(side) + "\x08\0\0\0\0"s;
    return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", ihdr) + Chunk("IDAT", idat) + Chunk("IEND", "");
}

// 256 MiB of rows under an address-space limit of 96 MiB, which the whole
// image cannot live under (sanitizers reserve far more address space than
// that, so there only the resident size is judged).
TEST(Stream, AnImageLargerThanTheMemoryAllowedConverts) {
    const uint32_t side = 16384;
    const std::string png = TempFile(FlatPng(side));
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
            std::vector<std::string> args = {"corvane", png};
            std::vector<char*> argv = {args[0].data(), args[1].data(), nullptr};
            if (std::freopen("/dev/null", "wb", stdout) == nullptr)
                std::exit(126);
            std::exit(corvane::corvane_main(2, argv.data()));
        });
        corvane::always_hold = false;
        if (held) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "corvane: couldn't allocate space for image\n");
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.err;
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(r.maxrss_kb, 16 * 1024) << "peak resident size";
#endif
    }
}

}  // namespace
