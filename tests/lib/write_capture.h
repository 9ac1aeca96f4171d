// Helpers for the writer tests: what a writer puts on a stream, binary
// expectations, and a writer run in a child against a full device.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

namespace tarvex_test {

/// Everything `write` puts on a fresh stream.
inline std::string Written(const std::function<void(FILE*)>& write) {
    FILE* f = std::tmpfile();
    write(f);
    std::fflush(f);
    std::string s;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;)
        s.push_back(static_cast<char>(c));
    std::fclose(f);
    return s;
}

/// A byte string from byte values.
inline std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

/// Runs `write` in a child on an unbuffered stream to /dev/full, so that the
/// first write fails.
inline ChildResult WrittenToFullDevice(const std::function<void(FILE*)>& write) {
    return RunChild([&] {
        char a0[] = "writer";
        char* argv[] = {a0, nullptr};
        int argc = 1;
        pnm_init(&argc, argv);
        FILE* f = std::fopen("/dev/full", "wb");
        std::setvbuf(f, nullptr, _IONBF, 0);
        write(f);
    });
}

/// Resets the process-wide plain flag that every writer reads.
class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { pm_plain_output = 0; }
    void TearDown() override { pm_plain_output = 0; }
};

}  // namespace tarvex_test
