// Seekable input from files and pipes, 32-bit stream positions, and reading
// a stream of unknown length into memory.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include "lib_support.h"

using namespace tarvex_test;

namespace {

std::string Pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(i * 31 + i / 251));
    return s;
}

TEST(PmOpenrSeekable, FilesAreReturnedAsOpenedAndPipesCopiedToATemporaryFile) {
    std::string path = TempFile("abcdef");
    FILE* f = pm_openr_seekable(path.c_str());
    struct stat opened, named;
    ASSERT_EQ(fstat(fileno(f), &opened) | stat(path.c_str(), &named), 0);
    EXPECT_EQ(opened.st_ino, named.st_ino);
    pm_close(f);
    auto r = RunChild([] {
        std::getc(stdin);
        FILE* in = pm_openr_seekable("-");
        std::printf("%d %s", in == stdin, Rest(in).c_str());
    }, "abcdef");
    EXPECT_EQ(r.out, "1 bcdef");
    for (size_t size : {size_t{0}, size_t{20000}}) {
        std::string data = Pattern(size);
        r = RunChild([&] {
            StdinFromPipe(data);
            FILE* f = pm_openr_seekable("-");
            std::string copy = Rest(f);
            pm_seek(f, 0);
            std::printf("%d %d %d %d", f != stdin, copy == data, fcntl(0, F_GETFD) != -1,
                        std::getc(f) == (size ? data[0] & 0xff : EOF));
        });
        EXPECT_EQ(r.out, "1 1 1 1") << size;
    }
}

TEST(PmSeekableDeathTest, CopyErrorsBadWidthsAndPositionsBeyond32Bits) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] {
             StdinFromPipe("data");
             // With no descriptor to spare the temporary file cannot be made;
             // the limit is lifted again at exit for the sanitizers' reports.
             static struct rlimit saved;
             getrlimit(RLIMIT_NOFILE, &saved);
             struct rlimit lim = {3, saved.rlim_max};
             setrlimit(RLIMIT_NOFILE, &lim);
             std::atexit([] { setrlimit(RLIMIT_NOFILE, &saved); });
             pm_openr_seekable("-");
         },
         std::string("Unable to create a temporary file to hold the input.  "
                     "tmpfile() returns errno 24 (") + std::strerror(EMFILE) + ")"},
        // The error numbers are those of the failing read (of a directory) or write.
        {[] { ::dup2(::open("/", O_RDONLY), 0); pm_openr_seekable("-"); },
         std::string("Error reading input file into temporary file.  Errno = ") +
             std::strerror(EISDIR) + " (21)"},
        {[] {
             StdinFromPipe(Pattern(20000));
             std::signal(SIGXFSZ, SIG_IGN);
             struct rlimit lim = {1000, 1000};
             setrlimit(RLIMIT_FSIZE, &lim);
             pm_openr_seekable("-");
         },
         std::string("Error writing input into temporary file.  Errno = ") +
             std::strerror(EFBIG) + " (27)"},
        {[] { int64_t pos; pm_tell2(stdin, &pos, sizeof pos); },
         "File position size passed to pm_tell() is invalid: 8.  Valid sizes are 4 and 4"},
        {[] { int64_t pos = 0; pm_seek2(stdin, &pos, sizeof pos); },
         "File position size passed to pm_seek() is invalid: 8.  Valid sizes are 4 and 4"},
        {[] { pm_tell(DataPipe("x")); },
         std::string("ftello() to get current file position failed.  Errno = ") +
             std::strerror(ESPIPE) + " (29)\n"},
        {[] {
             FILE* f = std::tmpfile();  // sparse: no disk space is used
             if (ftruncate(fileno(f), 5000000000LL) != 0 || fseeko(f, 4294967306LL, SEEK_SET))
                 std::exit(3);
             pm_tell(f);
         },
         "The current file position (4294967306) is too large to be represented.  "
         "The largest position supported is 2147483647."},
    };
    for (const auto& [body, message] : cases)
        ExpectFatal(body, "prog: " + message + "\n", "x");
}

TEST(PmTellSeek, TellThenSeekReturnsToTheSameByte) {
    FILE* f = DataFile("abcdef");
    std::fseek(f, 2, SEEK_SET);
    int32_t pos = pm_tell(f), pos2 = -1;
    pm_tell2(f, &pos2, sizeof pos2);
    pm_seek(f, 4);
    const int e = std::getc(f);
    pm_seek2(f, &pos, sizeof pos);
    EXPECT_EQ(std::tuple(pos, pos2, e, std::getc(f)), std::tuple(2, 2, 'e', 'c'));
    std::fclose(f);
}

TEST(PmReadUnknownSize, GrowsOnlyWhenAnotherByteFollows) {
    const std::tuple<size_t, size_t, size_t> cases[] = {  // size, least and most buffer
        {16384, 16384, 32767}, {16385, 32768, 65535}, {40000, 65536, 131071},
        {65537, 131072, 196607}, {300000, 327680, 393215}};
    for (auto [size, least, most] : cases) {
        std::string data = Pattern(size);
        FILE* f = size == 40000 ? DataPipe(data) : DataFile(data);  // one from a pipe
        int32_t n = -1;
        unsigned char* buf = pm_read_unknown_size(f, &n);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), data) << size;
        EXPECT_GE(malloc_usable_size(buf), least) << size;
        EXPECT_LE(malloc_usable_size(buf), most) << size;
        std::free(buf);
        std::fclose(f);
    }
}

}  // namespace
