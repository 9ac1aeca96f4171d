// Seekable input from files and pipes, 32-bit stream positions, looking for
// a next image, and reading a stream of unknown length into memory.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include "read_support.h"

using namespace tarvex_test;

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 31 + i / 251);
    return s;
}

TEST(PmOpenrSeekable, RegularFilesAreReturnedAsOpenedWhereTheyStand) {
    std::string path = TempFile("abcdef");
    FILE* f = pm_openr_seekable(path.c_str());
    struct stat opened, named;
    ASSERT_EQ(fstat(fileno(f), &opened), 0);
    ASSERT_EQ(stat(path.c_str(), &named), 0);
    EXPECT_EQ(opened.st_ino, named.st_ino);
    EXPECT_EQ(Rest(f), "abcdef");
    pm_close(f);

    auto r = InChild([] {
        std::getc(stdin);
        FILE* in = pm_openr_seekable("-");
        std::printf("%d %s", in == stdin, Rest(in).c_str());
    }, "abcdef");
    EXPECT_EQ(r.out, "1 bcdef");
}

TEST(PmOpenrSeekable, PipeIsCopiedToATemporaryFileAndStdinStaysOpen) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{20000}}) {
        std::string data = Pattern(size);
        auto r = InChild([&] {
            StdinFromPipe(data);
            FILE* f = pm_openr_seekable("-");
            std::string copy = Rest(f);
            pm_seek(f, 0);
            std::printf("%d %d %d %d", f != stdin, copy == data,
                        fcntl(0, F_GETFD) != -1,
                        size ? std::getc(f) == (data[0] & 0xff) : 1);
        });
        EXPECT_EQ(r.status, 0) << size;
        EXPECT_EQ(r.out, "1 1 1 1") << size;
    }
}

TEST(PmOpenrSeekableDeathTest, NoTemporaryFileIsFatal) {
    auto r = InChild([] {
        StdinFromPipe("data");
        // With no descriptor to spare the temporary file cannot be made;
        // the limit is lifted again at exit for the sanitizers' reports.
        static struct rlimit saved;
        getrlimit(RLIMIT_NOFILE, &saved);
        struct rlimit lim = {3, saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lim);
        std::atexit([] { setrlimit(RLIMIT_NOFILE, &saved); });
        pm_openr_seekable("-");
    });
    ExpectFatal(r, std::string("Unable to create a temporary file to hold "
                               "the input.  tmpfile() returns errno 24 (") +
                       std::strerror(EMFILE) + ")");
}

TEST(PmOpenrSeekableDeathTest, ReadAndWriteErrorsOfTheCopy) {
    auto unreadable = InChild([] {
        // A directory passes for a stream but every read of it fails.
        ::dup2(::open("/", O_RDONLY), 0);
        pm_openr_seekable("-");
    });
    ExpectFatal(unreadable, std::string("Error reading input file into "
                                        "temporary file.  Errno = ") +
                                std::strerror(EISDIR) + " (21)");
    auto unwritable = InChild([] {
        StdinFromPipe(Pattern(20000));
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &lim);
        pm_openr_seekable("-");
    });
    ExpectFatal(unwritable, std::string("Error writing input into temporary "
                                        "file.  Errno = ") +
                                std::strerror(EFBIG) + " (27)");
}

TEST(PmTellSeek, TellThenSeekReturnsToTheSameByte) {
    FILE* f = DataFile(Pattern(40));
    for (int i = 0; i < 10; ++i)
        std::getc(f);
    int32_t pos = pm_tell(f);
    EXPECT_EQ(pos, 10);
    int first = std::getc(f);
    for (int i = 0; i < 20; ++i)
        std::getc(f);
    pm_seek(f, pos);
    EXPECT_EQ(std::getc(f), first);

    int32_t pos2 = -1;
    pm_tell2(f, &pos2, sizeof pos2);
    EXPECT_EQ(pos2, 11);
    pm_seek2(f, &pos, sizeof pos);
    EXPECT_EQ(std::getc(f), first);
    std::fclose(f);
}

TEST(PmTellSeekDeathTest, BadWidthsUntellableAndOutOfRangePositions) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { int64_t pos; pm_tell2(stdin, &pos, sizeof pos); },
         "File position size passed to pm_tell() is invalid: 8.  "
         "Valid sizes are 4 and 4"},
        {[] { int64_t pos = 0; pm_seek2(stdin, &pos, sizeof pos); },
         "File position size passed to pm_seek() is invalid: 8.  "
         "Valid sizes are 4 and 4"},
        {[] { pm_tell(DataPipe("x")); },
         std::string("ftello() to get current file position failed.  "
                     "Errno = ") + std::strerror(ESPIPE) + " (29)\n"},
        {[] {
             FILE* f = std::tmpfile();
             // Sparse: no disk space is used.
             if (ftruncate(fileno(f), 5000000000LL) != 0 ||
                 fseeko(f, 4294967306LL, SEEK_SET) != 0)
                 std::exit(3);
             pm_tell(f);
         },
         "The current file position (4294967306) is too large to be "
         "represented.  The largest position supported is 2147483647."},
    };
    for (const auto& [body, message] : cases)
        ExpectFatal(InChild(body, "x"), message);
}

TEST(PmNextimage, SkipsWhiteSpaceUpToTheNextImage) {
    struct Case {
        const char* data;
        int eof;
        int next;
    } cases[] = {
        {"\n  P", 0, 'P'},
        {"#", 0, '#'},
        {" \t\n\v\f\r", 1, EOF},
        {"", 1, EOF},
    };
    for (const auto& c : cases) {
        FILE* f = DataFile(c.data);
        int eof = -1;
        pm_nextimage(f, &eof);
        EXPECT_EQ(eof, c.eof) << c.data;
        EXPECT_EQ(std::getc(f), c.next) << c.data;
        std::fclose(f);
    }
    FILE* f = DataFile(" P");
    int eof = -1;
    pnm_nextimage(f, &eof);
    EXPECT_EQ(eof, 0);
    std::fclose(f);
}

TEST(PmReadUnknownSize, GrowsOnlyWhenAnotherByteFollows) {
    struct Case {
        size_t size;
        size_t minBuffer, maxBuffer;
    } cases[] = {
        {0, 16384, 32767},
        {16384, 16384, 32767},
        {16385, 32768, 65535},
        {65537, 131072, 196607},
        {300000, 327680, 393215},
    };
    for (const auto& c : cases) {
        std::string data = Pattern(c.size);
        FILE* f = DataFile(data);
        int32_t n = -1;
        unsigned char* buf = pm_read_unknown_size(f, &n);
        EXPECT_EQ(n, static_cast<int32_t>(c.size));
        EXPECT_EQ(std::memcmp(buf, data.data(), c.size), 0) << c.size;
        EXPECT_GE(malloc_usable_size(buf), c.minBuffer) << c.size;
        EXPECT_LE(malloc_usable_size(buf), c.maxBuffer) << c.size;
        std::free(buf);
        std::fclose(f);
    }
}

TEST(PmReadUnknownSize, ReadsAPipeToItsEnd) {
    std::string data = Pattern(40000);
    FILE* p = DataPipe(data);
    int32_t n = -1;
    unsigned char* buf = pm_read_unknown_size(p, &n);
    ASSERT_EQ(n, 40000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 40000), data);
    std::free(buf);
    std::fclose(p);
}

}  // namespace
