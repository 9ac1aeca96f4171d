// Helpers for the library tests: streams holding given bytes, what a writer
// puts on a stream, and fatal paths run in a child with the exact stderr.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

namespace tarvex_test {

using namespace std::string_literals;  // byte strings such as "\x01\x00"s
using Read = std::function<void(FILE*)>;
constexpr int P1 = PBM_PLAIN_CODE, P2 = PGM_PLAIN_CODE, P3 = PPM_PLAIN_CODE;
constexpr int P4 = PBM_RAW_CODE, P5 = PGM_RAW_CODE, P6 = PPM_RAW_CODE;

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

/// Everything `write` puts on a fresh stream while pm_plain_output is `plain`.
inline std::string Written(const Read& write, int plain = 0) {
    pm_plain_output = plain;
    FILE* f = std::tmpfile();
    write(f);
    pm_plain_output = 0;
    std::rewind(f);
    std::string s = Rest(f);
    std::fclose(f);
    return s;
}

/// `n` copies of `item`, `sep` between them, `perLine` to a newline-ended line.
inline std::string Wrapped(int n, const std::string& item, int perLine, const std::string& sep) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += (i == 0 ? ""s : i % perLine == 0 ? "\n"s : sep) + item;
    return n > 0 ? s + "\n" : s;
}

/// Runs `body` in a child named "prog" (messages off) with `input` (a regular
/// file) on stdin; it must exit 1 with exactly `err` on stderr.
inline ChildResult ExpectFatal(const std::function<void()>& body, const std::string& err,
                               const std::string& input = "") {
    ChildResult r = RunChild([&] { pm_init("prog"); body(); }, input);
    EXPECT_EQ(r.status, 1) << err;
    EXPECT_EQ(r.err, err);
    return r;
}

/// Each `read` on standard input holding its input must end with "prog: message".
template <typename Cases>
void ExpectReadsFatal(const Cases& cases) {
    for (const auto& [input, read, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(input));
        ExpectFatal([&] { read(stdin); }, "prog: " + message + "\n", input);
    }
}

/// ExpectFatal of `write` on an unbuffered stream to /dev/full: the first write fails.
inline void ExpectWriteFatal(const Read& write, const std::string& message) {
    ExpectFatal([&] {
        FILE* f = std::fopen("/dev/full", "wb");
        std::setvbuf(f, nullptr, _IONBF, 0);
        write(f);
    }, "prog: " + message + "\n");
}

}  // namespace tarvex_test
