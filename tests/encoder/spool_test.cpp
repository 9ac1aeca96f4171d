// SPDX-License-Identifier: MIT
// The spool under a pipe: what was read comes back after a seek, whole and
// byte for byte, across chunk boundaries, and reading goes on into the pipe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "spool.h"

namespace {

constexpr size_t kMiB = size_t(1) << 20;

// `n` bytes that do not repeat within a chunk, so that a misplaced replay
// shows.
std::string Data(size_t n) {
    std::string s(n, '\0');
    uint32_t v = 1;
    for (size_t i = 0; i < n; ++i)
        s[i] = char((v = v * 1103515245u + 12345u) >> 24 ^ (i >> 20));
    return s;
}

// A spool reading `data` from a real pipe.
belvane::Input Piped(const std::string& data, std::thread* writer) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    *writer = std::thread([fd = fds[1], &data] {
        for (size_t at = 0; at < data.size();) {
            const ssize_t n = write(fd, data.data() + at, data.size() - at);
            if (n <= 0)
                break;
            at += size_t(n);
        }
        close(fd);
    });
    return belvane::spool_stream(fdopen(fds[0], "rb"));
}

std::string ReadN(FILE* f, size_t n) {
    std::string s(n, '\0');
    s.resize(std::fread(s.data(), 1, n, f));
    return s;
}

TEST(Spool, ReadsBackWhatWasReadAcrossChunks) {
    struct Case {
        size_t size, first, back;  // bytes in the pipe, read at first, seek target
    };
    const Case cases[] = {{0, 0, 0}, {10, 10, 0}, {kMiB, kMiB, 0}, {kMiB + 1, kMiB + 1, 3},
                          {3 * kMiB + 77, 2 * kMiB + 5, kMiB - 1}, {3 * kMiB + 77, 3 * kMiB + 77, 2 * kMiB}};
    for (const Case& k : cases) {
        const std::string data = Data(k.size);
        std::thread writer;
        const belvane::Input in = Piped(data, &writer);
        ASSERT_NE(in.file, nullptr);
        EXPECT_EQ(ReadN(in.file, k.first), data.substr(0, k.first)) << k.size;
        ASSERT_EQ(fseeko(in.file, off_t(k.back), SEEK_SET), 0) << k.size;
        // Back over the recording, then on into the pipe.
        EXPECT_EQ(ReadN(in.file, k.size), data.substr(k.back)) << k.size << "/" << k.back;
        std::fclose(in.file);
        writer.join();
    }
}

}  // namespace
