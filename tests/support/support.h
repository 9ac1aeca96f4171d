// SPDX-License-Identifier: MIT
// What the tests share: code and programs run in a child process with the
// standard streams captured, temporary files and streams, C-style escapes,
// and PNG files assembled chunk by chunk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tarvex_test {

struct ChildResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out, err;
    long maxrss_kb = 0;  // peak resident size of the child and what it waited for
};

/// Runs `body` in a forked child with `input` on stdin (a regular file);
/// the child exits 0 when `body` returns.
ChildResult RunChild(const std::function<void()>& body, const std::string& input = "");
/// Runs a main function (when null, the program argv[0] names) in a child with `input` on stdin.
ChildResult RunMain(int (*main)(int, char**), std::vector<std::string> argv, const std::string& input = "");

/// Runs the program `exe` with `args` in a child, its standard output a pipe
/// drained into the result, and `input` on stdin through a pipe too when
/// `pipeInput` (else a regular file): a pipe can be neither sought nor cut back.
ChildResult RunPiped(const std::string& exe, std::vector<std::string> args, const std::string& input,
                     bool pipeInput = true);

/// Contents of a file ("" when unreadable).
std::string ReadFile(const std::string& path);
/// The path of a new temporary file holding `data`, gone when the test program ends.
std::string TempFile(const std::string& data);

/// `s` with backslash, quote and bytes outside printable ASCII escaped as in C.
std::string Escape(const std::string& s);
/// The bytes of a text written with Escape's escapes (and \r, \t, \n).
std::string Unescape(const std::string& s);

/// Big-endian bytes of a 32-bit value.
std::string Be32(uint32_t v);
/// A PNG chunk: length, name, data and CRC.
std::string Chunk(const std::string& name, const std::string& data);
/// `data` as a zlib stream.
std::string Deflated(const std::string& data);
/// A PNG, not interlaced, whose rows (each with its filter byte) form one
/// IDAT, with the chunks `before` it and `after` it; IEND closes it.
std::string Png(uint32_t width, uint32_t height, int depth, int colorType, const std::string& rows,
                const std::string& before = "", const std::string& after = "");

}  // namespace tarvex_test
