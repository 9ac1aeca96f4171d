// SPDX-License-Identifier: MIT
// Replays inputs through a fuzz target without the fuzzer, one child process
// per input, so that crash files reproduce in an ordinary (or sanitizer)
// build. An input passes when the target returns or ends with status 0 or 1
// (a fatal error is a normal outcome) and no sanitizer reported anything.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Runs one input in a child whose stderr goes to a temporary file.
bool Replay(const std::filesystem::path& path) {
    std::ostringstream in;
    in << std::ifstream(path, std::ios::binary).rdbuf();
    const std::string data = in.str();
    FILE* err = std::tmpfile();
    std::fflush(nullptr);
    if (fork() == 0) {
        dup2(fileno(err), 2);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    wait(&status);
    std::string text(size_t(std::ftell(err)), '\0');
    std::rewind(err);
    text.resize(std::fread(text.data(), 1, text.size(), err));
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) <= 1 && text.find("Sanitizer") == text.npos &&
                    text.find("runtime error:") == text.npos;
    if (!ok)
        std::cerr << "FAILED " << path << " (wait status " << status << ")\n" << text;
    return std::fclose(err), ok;
}

}  // namespace

// Arguments: input files, or folders whose files (but a README) are inputs.
int main(int argc, char** argv) {
    int passed = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code absent;  // a target without crash files has no folder for them
        for (const auto& e : std::filesystem::directory_iterator(argv[i], absent))
            if (e.is_regular_file() && e.path().filename() != "README")
                (Replay(e.path()) ? passed : failed)++;
        if (std::filesystem::is_regular_file(argv[i]))
            (Replay(argv[i]) ? passed : failed)++;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 && passed > 0 ? 0 : 1;
}
