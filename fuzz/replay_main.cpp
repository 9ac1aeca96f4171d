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

// Runs one input in a child whose stderr goes to a temporary file we read.
bool Replay(const std::filesystem::path& path) {
    std::ostringstream in, err;
    in << std::ifstream(path, std::ios::binary).rdbuf();
    const std::string data = in.str();
    FILE* errFile = std::tmpfile();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(errFile), 2);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::rewind(errFile);
    for (int c; (c = std::getc(errFile)) != EOF;)
        err.put(char(c));
    std::fclose(errFile);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) <= 1 &&
                    err.str().find("Sanitizer") == std::string::npos &&
                    err.str().find("runtime error:") == std::string::npos;
    if (!ok)
        std::cerr << "FAILED " << path << " (wait status " << status << ")\n" << err.str();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int passed = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_regular_file(argv[i])) {
            (Replay(argv[i]) ? passed : failed)++;
            continue;
        }
        std::error_code absent;  // a folder without crash files may not exist
        for (const auto& e : std::filesystem::directory_iterator(argv[i], absent))
            if (e.is_regular_file() && e.path().filename() != "README")
                (Replay(e.path()) ? passed : failed)++;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 && passed > 0 ? 0 : 1;
}
