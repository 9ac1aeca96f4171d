// Runs code or a program in a child process with given standard input and
// collects its exit status, standard output and standard error. Fatal paths
// of the library end the process, so this is how tests observe them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvex_test {

struct ChildResult {
    int status = -1;   // exit status, or 128 + signal number
    std::string out;   // everything written to standard output
    std::string err;   // everything written to standard error
};

/// Runs `body` in a forked child with `input` on standard input; the child
/// exits with status 0 when `body` returns.
ChildResult RunChild(const std::function<void()>& body,
                     const std::string& input = "");

/// Runs a program (argv[0] is its path) with `input` on standard input.
/// `env` entries of the form "NAME=value" are added to the environment.
ChildResult RunProgram(const std::vector<std::string>& argv,
                       const std::string& input = "",
                       const std::vector<std::string>& env = {});

/// Contents of a file, or an empty string when it cannot be read.
std::string ReadFile(const std::string& path);
/// Writes `data` to a new temporary file and returns its path; the file is
/// removed when the test program ends.
std::string TempFile(const std::string& data, const std::string& suffix = "");

}  // namespace tarvex_test
