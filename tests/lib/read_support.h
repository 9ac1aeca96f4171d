// Helpers for the reader tests: streams holding given bytes, pipes, and
// fatal paths run in a child with the exact message they print.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

namespace tarvex_test {

using Read = std::function<void(FILE*)>;

/// A regular (temporary) file holding `data`, positioned at its start.
inline FILE* DataFile(const std::string& data) {
    FILE* f = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), f);
    std::rewind(f);
    return f;
}

/// The read end of a pipe that holds `data` (at most 64 KiB) and then ends.
inline FILE* DataPipe(const std::string& data) {
    int fds[2];
    if (::pipe(fds) != 0 || ::write(fds[1], data.data(), data.size()) !=
                                static_cast<ssize_t>(data.size()))
        return nullptr;
    ::close(fds[1]);
    return ::fdopen(fds[0], "rb");
}

/// Makes standard input the pipe of DataPipe (for use in a child).
inline void StdinFromPipe(const std::string& data) {
    FILE* p = DataPipe(data);
    ::dup2(::fileno(p), 0);
    std::fclose(p);
    std::clearerr(stdin);
}

/// Everything left on the stream.
inline std::string Rest(FILE* f) {
    std::string s;
    for (int c; (c = std::getc(f)) != EOF;)
        s.push_back(static_cast<char>(c));
    return s;
}

/// Runs `body` in a child named "tarvex" with `input` (a regular file) on stdin.
inline ChildResult InChild(const std::function<void()>& body,
                           const std::string& input = "") {
    return RunChild([&] { pm_init("tarvex"); body(); }, input);
}

/// The child must end with status 1 and exactly "tarvex: message\n".
inline void ExpectFatal(const ChildResult& r, const std::string& message) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvex: " + message + "\n");
}

/// Each `read` on standard input holding its input must end with its message.
template <typename Cases>
void ExpectReadsFatal(const Cases& cases) {
    for (const auto& [input, read, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(input));
        ExpectFatal(InChild([&] { read(stdin); }, input), message);
    }
}

}  // namespace tarvex_test
