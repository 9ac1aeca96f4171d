// Replays inputs through a fuzz target without the fuzzer, one child process
// per input, so that crash files reproduce in an ordinary (or sanitizer)
// build. An input passes when the target returns or ends with status 0 or 1
// (a fatal error is a normal outcome) and no sanitizer reported anything.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Runs one input in a child; stderr goes to a temporary file we inspect.
bool Replay(const std::string& path) {
    const std::string data = ReadAll(path);
    FILE* err = std::tmpfile();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(err), 2);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()),
                               data.size());
        std::fflush(nullptr);
        _exit(0);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    std::rewind(err);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;)
        text.append(buf, n);
    std::fclose(err);
    const bool sanitizer = text.find("Sanitizer") != std::string::npos ||
                           text.find("runtime error:") != std::string::npos;
    const bool ok = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) <= 1 && !sanitizer;
    if (!ok)
        std::cerr << "FAILED " << path << " (wait status " << wstatus << ")\n"
                  << text;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file() && e.path().filename() != "README")
                    inputs.push_back(e.path().string());
        } else if (std::filesystem::exists(p)) {
            inputs.push_back(p.string());
        }
    }
    int passed = 0, failed = 0;
    for (const auto& path : inputs)
        (Replay(path) ? passed : failed)++;
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}
