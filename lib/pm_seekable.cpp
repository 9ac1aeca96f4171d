// SPDX-License-Identifier: MIT
// Seekable input, stream positions and reading a whole stream.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pm.h"

namespace {

constexpr unsigned int kFileposSize = sizeof(int32_t);
constexpr size_t kCopyChunk = 4096;
constexpr size_t kInitialBufferSize = 16384;
constexpr size_t kGrowthStep = 65536;
constexpr size_t kMaxCount = INT32_MAX;

bool isRegularFile(FILE* file) {
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
}

FILE* createTempFile() {
    FILE* tmp = std::tmpfile();
    if (tmp == nullptr)
        pm_error("Unable to create a temporary file to hold the input.  "
                 "tmpfile() returns errno %d (%s)",
                 errno, std::strerror(errno));
    return tmp;
}

// Each error number is kept as the failing call left it, before later
// calls can change errno.
void copyStream(FILE* in, FILE* out) {
    unsigned char buf[kCopyChunk];
    int readErrno = 0, writeErrno = 0;
    while (!std::feof(in) && !std::ferror(in) && !std::ferror(out)) {
        size_t n = std::fread(buf, 1, sizeof buf, in);
        if (std::ferror(in))
            readErrno = errno;
        if (std::fwrite(buf, 1, n, out) != n)
            writeErrno = errno;
    }
    // The last block may still be buffered; its write error counts too.
    if (std::fflush(out) != 0 && writeErrno == 0)
        writeErrno = errno;
    if (std::ferror(in))
        pm_error("Error reading input file into temporary file.  "
                 "Errno = %s (%d)", std::strerror(readErrno), readErrno);
    if (std::ferror(out))
        pm_error("Error writing input into temporary file.  "
                 "Errno = %s (%d)", std::strerror(writeErrno), writeErrno);
}

// The next allocation size: doubling up to 64 KiB, then 64 KiB at a time.
size_t grownSize(size_t size) {
    return size <= kGrowthStep ? size * 2 : size + kGrowthStep;
}

}  // namespace

FILE* pm_openr_seekable(const char* name) {
    FILE* in = pm_openr(name);
    if (isRegularFile(in))
        return in;
    FILE* tmp = createTempFile();
    copyStream(in, tmp);
    pm_close(in);
    if (std::fseek(tmp, 0, SEEK_SET) != 0)
        pm_error("fseek() failed to rewind temporary file.  Errno = %s (%d)",
                 std::strerror(errno), errno);
    return tmp;
}

void pm_tell2(FILE* file, void* fileposP, unsigned int fileposSize) {
    off_t pos = ftello(file);
    if (pos < 0)
        pm_error("ftello() to get current file position failed.  "
                 "Errno = %s (%d)\n", std::strerror(errno), errno);
    if (fileposSize != kFileposSize)
        pm_error("File position size passed to pm_tell() is invalid: %u.  "
                 "Valid sizes are %u and %u",
                 fileposSize, kFileposSize, kFileposSize);
    // Positions are 32-bit; a larger one must not be stored truncated.
    if (pos > INT32_MAX)
        pm_error("The current file position (%lld) is too large to be "
                 "represented.  The largest position supported is %d.",
                 static_cast<long long>(pos), INT32_MAX);
    int32_t pos32 = static_cast<int32_t>(pos);
    std::memcpy(fileposP, &pos32, sizeof pos32);
}

int32_t pm_tell(FILE* file) {
    int32_t pos;
    pm_tell2(file, &pos, sizeof pos);
    return pos;
}

void pm_seek2(FILE* file, const void* fileposP, unsigned int fileposSize) {
    if (fileposSize != kFileposSize)
        pm_error("File position size passed to pm_seek() is invalid: %u.  "
                 "Valid sizes are %u and %u",
                 fileposSize, kFileposSize, kFileposSize);
    int32_t pos;
    std::memcpy(&pos, fileposP, sizeof pos);
    std::fseek(file, pos, SEEK_SET);
}

void pm_seek(FILE* file, int32_t filepos) {
    pm_seek2(file, &filepos, sizeof filepos);
}

void pm_nextimage(FILE* file, int* eofP) {
    int c;
    while ((c = std::getc(file)) != EOF) {
        if (c == ' ' || (c >= '\t' && c <= '\r'))
            continue;
        if (std::ungetc(c, file) == EOF)
            pm_error("File error doing ungetc() to position to image.");
        *eofP = 0;
        return;
    }
    if (std::ferror(file))
        pm_error("File error on getc() to position to image");
    *eofP = 1;
}

unsigned char* pm_read_unknown_size(FILE* file, int32_t* nreadP) {
    size_t size = kInitialBufferSize;
    auto* buf = static_cast<unsigned char*>(std::malloc(size));
    if (buf == nullptr)
        pm_error("Cannot allocate memory");
    size_t count = 0;
    for (;;) {
        size_t room = std::min(size, kMaxCount) - count;
        size_t got = std::fread(buf + count, 1, room, file);
        count += got;
        if (got < room)
            break;
        // The buffer grows only once another byte is known to follow.
        int c = std::getc(file);
        if (c == EOF)
            break;
        // The count is 32-bit; a longer stream must not be cut silently.
        if (count == kMaxCount)
            pm_error("Input is too long to read into memory: more than %d "
                     "bytes.", INT32_MAX);
        size = grownSize(size);
        auto* bigger = static_cast<unsigned char*>(std::realloc(buf, size));
        if (bigger == nullptr)
            pm_error("Cannot allocate %ld bytes of memory",
                     static_cast<long>(size));
        buf = bigger;
        buf[count++] = static_cast<unsigned char>(c);
    }
    *nreadP = static_cast<int32_t>(count);
    return buf;
}
