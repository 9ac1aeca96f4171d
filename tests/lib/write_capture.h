// Helpers for the runtime and writer tests: what a writer puts on a stream,
// plain rows as they wrap, and fatal paths run in a child named "prog".
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

namespace tarvex_test {

using namespace std::string_literals;  // byte strings such as "\x01\x00"s

/// Everything `write` puts on a fresh stream while pm_plain_output is `plain`.
inline std::string Written(const std::function<void(FILE*)>& write, int plain = 0) {
    pm_plain_output = plain;
    FILE* f = std::tmpfile();
    write(f);
    pm_plain_output = 0;
    std::string s(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    s.resize(std::fread(s.data(), 1, s.size(), f));
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

/// Runs `body` in a child named "prog", messages off; it must exit 1 with
/// exactly `err` on stderr.
inline ChildResult ExpectFatal(const std::function<void()>& body, const std::string& err) {
    ChildResult r = RunChild([&] { pm_init("prog"); body(); });
    EXPECT_EQ(r.status, 1) << err;
    EXPECT_EQ(r.err, err);
    return r;
}

/// ExpectFatal of `write` on an unbuffered stream to /dev/full: the first write fails.
inline void ExpectWriteFatal(const std::function<void(FILE*)>& write, const std::string& err) {
    ExpectFatal([&] {
        FILE* f = std::fopen("/dev/full", "wb");
        std::setvbuf(f, nullptr, _IONBF, 0);
        write(f);
    }, err);
}

}  // namespace tarvex_test
