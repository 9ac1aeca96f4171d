// What the cases file cannot express: closing streams whose data is lost,
// arrays when memory is refused, seekable input from pipes, positions and
// sizes beyond 32 bits, growing buffers, the version report and the
// thousand-name limit of the colour-name table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "pm_internal.h"
#include "pnm.h"
#include "support/support.h"

using namespace tarvex_test;
using namespace std::string_literals;

// Impossible sizes are asked for on purpose: the sanitizers' allocator must
// answer null, as malloc does, instead of stopping the test.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// Runs `body` in a child named "prog" with messages on; returns stderr and status.
std::string Fatal(const std::function<void()>& body, const std::string& input = "") {
    const ChildResult r = RunChild([&] { pm_init("prog"), pm_setMessage(1, nullptr), body(); }, input);
    return r.err + "[exit " + std::to_string(r.status) + "]";
}

void StdinFromPipe(const std::string& data) {
    int fds[2];
    if (::pipe(fds) != 0 || ::write(fds[1], data.data(), data.size()) != ssize_t(data.size()))
        std::abort();
    ::close(fds[1]), ::dup2(fds[0], 0), std::clearerr(stdin);
}

std::string Pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(char(i * 31 + i / 251));
    return s;
}

void* RefuseBlock(size_t) { return nullptr; }

TEST(PmClose, LostDataFailsTheCloseStdinStaysOpenStdoutCloses) {
    const std::string lost = "prog: A file read or write error occurred at some point\nprog: ";
    EXPECT_EQ(Fatal([] { FILE* f = pm_openw("/dev/null"); ::close(fileno(f)); pm_closew(f); }),
              "prog: close of file failed with errno 9 (Bad file descriptor)\n[exit 1]");
    for (bool flushed : {false, true})
        EXPECT_EQ(Fatal([&] {
            FILE* f = pm_openw("/dev/full");
            std::fputs("P1\n1 1\n1\n", f);
            if (flushed)
                std::fflush(f);
            pm_closew(f);
        }), lost + (flushed ? "close of file failed: an earlier write to it failed\n[exit 1]"s
                            : "close of file failed with errno 28 (No space left on device)\n[exit 1]"));
    const ChildResult r = RunChild([] {
        pm_init("prog");
        FILE* f = pm_openr("/dev/null");
        std::fputc('x', f);  // writing to a read-only stream sets its error
        pm_close(f), std::putchar(std::getchar()), pm_closer(stdin), std::putchar(std::getchar());
        pm_closew(stdout);
        std::fprintf(stderr, "fd 1 open: %d\n", ::fcntl(1, F_GETFD) != -1);
    }, "ab");
    EXPECT_EQ(r.out + r.err, "abfd 1 open: 0\n");  // messages off: no warning
}

// The one-block layout has its rows back to back and the block after the
// last row; when the block is refused, rows come one by one.
TEST(PmAllocarray, OneBlockOrRowByRowAndOverflowsAreOutOfMemory) {
    using Alloc = void* (*)(size_t);
    for (Alloc alloc : {Alloc(std::malloc), Alloc(RefuseBlock)}) {
        pm_arrayblock_alloc = alloc;
        char** rows = static_cast<char**>(pm_allocarray(5, 4, 12));
        EXPECT_EQ(rows[4], alloc == RefuseBlock ? nullptr : rows[0]);
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(alloc == RefuseBlock || rows[r] - rows[0] == r * 60);
            std::memset(rows[r], r, 60);  // sanitizers catch a short row
        }
        pm_freearray(rows, 4);
        pm_freearray(pm_allocarray(10, 0, 4), 0);
        pm_freearray(pm_allocarray(0, 3, 4), 3);
    }
    pm_arrayblock_alloc = std::malloc;
    pm_freerow(pm_allocrow(0, 12));
    const std::string noRow = "prog: out of memory allocating a row\n[exit 1]";
    EXPECT_TRUE(Fatal([] { pm_allocarray(1, 4294967295u, 1); }).ends_with(
        "prog: out of memory allocating row index (4294967295 rows) for an array\n[exit 1]"));
    EXPECT_TRUE(Fatal([] { pm_allocarray(4294967295u, 2, 4294967295u); }).ends_with(noRow));
    EXPECT_TRUE(Fatal([] { pm_allocrow(4294967295u, 4294967295u); }).ends_with(noRow));
}

TEST(PmSeekable, PipesAreCopiedToATemporaryFileFilesReturnedAsOpened) {
    EXPECT_EQ(RunChild([] {
        std::getc(stdin);
        std::printf("%d", pm_openr_seekable("-") == stdin);
    }, "abc").out, "1");
    for (size_t size : {size_t{0}, size_t{20000}}) {
        const std::string data = Pattern(size);
        EXPECT_EQ(RunChild([&] {
            StdinFromPipe(data);
            FILE* f = pm_openr_seekable("-");
            std::string copy(size + 1, '\0');
            copy.resize(std::fread(copy.data(), 1, copy.size(), f));
            pm_seek(f, 0);
            std::printf("%d %d %d", f != stdin, copy == data, std::getc(f) == (size ? data[0] & 255 : EOF));
        }).out, "1 1 1") << size;
    }
    const auto errno_text = [](int e) { return " ("s + std::strerror(e) + ")"; };
    EXPECT_EQ(Fatal([] {
        StdinFromPipe("data");
        static rlimit saved;  // restored at exit for the sanitizers' reports
        getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit lim = {3, saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lim), std::atexit([] { setrlimit(RLIMIT_NOFILE, &saved); });
        pm_openr_seekable("-");
    }), "prog: Unable to create a temporary file to hold the input.  tmpfile() returns errno 24" +
            errno_text(EMFILE) + "\n[exit 1]");
    EXPECT_EQ(Fatal([] { ::dup2(::open("/", O_RDONLY), 0); pm_openr_seekable("-"); }),
              "prog: Error reading input file into temporary file.  Errno = " + std::string(std::strerror(EISDIR)) + " (21)\n[exit 1]");
    EXPECT_EQ(Fatal([] {
        StdinFromPipe(Pattern(20000));
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &lim);
        pm_openr_seekable("-");
    }), "prog: Error writing input into temporary file.  Errno = " + std::string(std::strerror(EFBIG)) + " (27)\n[exit 1]");
}

TEST(PmTellSeek, ReturnsToTheSameByteAndRefusesWhatDoesNotFit) {
    FILE* f = DataFile("abcdef");
    std::fseek(f, 2, SEEK_SET);
    int32_t pos = pm_tell(f), pos2 = -1;
    pm_tell2(f, &pos2, sizeof pos2);
    pm_seek(f, 4);
    const int e = std::getc(f);
    pm_seek2(f, &pos, sizeof pos);
    EXPECT_EQ(std::tuple(pos, pos2, e, std::getc(f)), std::tuple(2, 2, 'e', 'c'));
    std::fclose(f);
    const std::string bad = "prog: File position size passed to pm_";
    EXPECT_EQ(Fatal([] { int64_t p; pm_tell2(stdin, &p, sizeof p); }),
              bad + "tell() is invalid: 8.  Valid sizes are 4 and 4\n[exit 1]");
    EXPECT_EQ(Fatal([] { int64_t p = 0; pm_seek2(stdin, &p, sizeof p); }),
              bad + "seek() is invalid: 8.  Valid sizes are 4 and 4\n[exit 1]");
    EXPECT_EQ(Fatal([] { StdinFromPipe("x"); pm_tell(stdin); }),
              "prog: ftello() to get current file position failed.  Errno = " +
                  std::string(std::strerror(ESPIPE)) + " (29)\n\n[exit 1]");
    // Sparse files: 4 GiB and more that use no disk space.
    EXPECT_EQ(Fatal([] {
        if (ftruncate(0, 5000000000LL) != 0 || fseeko(stdin, 4294967306LL, SEEK_SET) != 0)
            std::exit(3);
        pm_tell(stdin);
    }), "prog: The current file position (4294967306) is too large to be represented.  "
        "The largest position supported is 2147483647.\n[exit 1]");
    f = std::tmpfile();
    ASSERT_EQ(ftruncate(fileno(f), 4294967306LL), 0);
    int exact = -1, excess = -1;
    pm_check(f, PM_RASTERCHECK_SIZE, 4294967306ULL, &exact);
    pm_check(f, PM_RASTERCHECK_SIZE, 10, &excess);
    EXPECT_EQ(std::pair(exact, excess), std::pair(int(PM_RASTER_EXACT), int(PM_RASTER_EXCESS)));
    std::fclose(f);
}

TEST(PmReadUnknownSize, GrowsOnlyWhenAnotherByteFollows) {
    const std::tuple<size_t, size_t, size_t> cases[] = {  // size, least and most buffer
        {16384, 16384, 32767}, {16385, 32768, 65535}, {40000, 65536, 131071},
        {65537, 131072, 196607}, {300000, 327680, 393215}};
    for (auto [size, least, most] : cases) {
        const std::string data = Pattern(size);
        FILE* f = DataFile(data);
        int32_t n = -1;
        unsigned char* buf = pm_read_unknown_size(f, &n);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size_t(n)), data) << size;
        EXPECT_GE(malloc_usable_size(buf), least) << size;
        EXPECT_LE(malloc_usable_size(buf), most) << size;
        std::free(buf);
        std::fclose(f);
    }
}

TEST(PmProginit, VersionWinsOverHelpAndExits0) {
    for (const char* rgbdef : {"", "/etc/colours.txt"}) {
        const ChildResult r = RunChild([&] {
            *rgbdef ? ::setenv("RGBDEF", rgbdef, 1) : ::unsetenv("RGBDEF");
            char* argv[] = {strdup("bin/corvane"), strdup("-help"), strdup("--version"), nullptr};
            int argc = 3;
            pnm_init(&argc, argv);
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.err.starts_with("corvane: Using libtarvex from Tarvex Version: Tarvex "
                                      "10.18.11\ncorvane: Compiled ")) << r.err;
        EXPECT_TRUE(r.err.ends_with("\"\ncorvane: BSD defined\ncorvane: RGB_ENV='RGBDEF'\n"
                                    "corvane: RGBENV= 'RGBDEF' " +
                                    (*rgbdef ? "(env vbl set to '"s + rgbdef + "')\n"
                                             : "(env vbl is unset)\n"s))) << r.err;
    }
}

// A thousand colours under their first names; one more, even a repeat, is fatal.
TEST(PpmColornames, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7 c" + std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(TempFile(text).c_str(), 1, &cht, &names);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    ppm_readcolornamefile("/nonexistent/rgb.txt", 0, &cht, &names);
    EXPECT_EQ(std::pair(ppm_lookupcolor(cht, &first), names[0]), std::pair(-1, (const char*)nullptr));
    const std::string path = TempFile(text + "0 0 7 again\n");
    EXPECT_EQ(Fatal([&] { ppm_readcolornamefile(path.c_str(), 1, &cht, &names); }),
              "prog: Too many colors in colorname dictionary.  Max allowed is 1000\n[exit 1]");
}

}  // namespace
