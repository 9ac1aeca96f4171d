// SPDX-License-Identifier: MIT
// Child processes, temporary files, escapes and PNG assembly for the tests.
#include "support/support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>

namespace tarvex_test {
namespace {

// A stream's whole contents from its start; the stream is closed.
std::string Contents(FILE* f) {
    std::string s;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;)
        s.push_back(char(c));
    std::fclose(f);
    return s;
}

// A temporary stream holding `data`, positioned at its start.
FILE* DataFile(const std::string& data) {
    FILE* f = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), f);
    std::rewind(f);
    return f;
}

#if defined(__SANITIZE_ADDRESS__)
// A child that ends through exit() skips the leak scan: fatal paths leave
// their memory to the end of the process by design, and a scan costs tens
// of milliseconds a child.
void EndWithoutLeakScan(int status, void*) {
    std::fflush(nullptr);
    ::_exit(status);
}
#endif

}  // namespace

ChildResult RunChild(const std::function<void()>& body, const std::string& input) {
    std::fflush(nullptr);
    FILE* in = DataFile(input);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fileno(in), 0), ::dup2(fileno(out), 1), ::dup2(fileno(err), 2);
#if defined(__SANITIZE_ADDRESS__)
        ::on_exit(EndWithoutLeakScan, nullptr);
#endif
        body();
        std::fflush(nullptr);
        ::_exit(0);
    }
    std::fclose(in);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Contents(out),
            Contents(err), usage.ru_maxrss};
}

ChildResult RunMain(int (*main)(int, char**), std::vector<std::string> argv, const std::string& input) {
    return RunChild([&] {
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        if (main == nullptr)
            ::execv(args[0], args.data()), ::_exit(127);
        std::exit(main(int(argv.size()), args.data()));
    }, input);
}

ChildResult RunPiped(const std::string& exe, std::vector<std::string> args, const std::string& input,
                     bool pipeInput) {
    args.insert(args.begin(), {"/bin/bash", "-c", pipeInput ? "cat | \"$0\" \"$@\" | cat; exit ${PIPESTATUS[1]}"
                                                             : "\"$0\" \"$@\" | cat; exit ${PIPESTATUS[0]}", exe});
    return RunMain(nullptr, args, input);
}

std::string ReadFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    return f != nullptr ? Contents(f) : "";
}

std::string TempFile(const std::string& data) {
    // Kept open, and so alive, while the test program runs; children and the
    // programs they start inherit the descriptor the path names.
    return "/proc/self/fd/" + std::to_string(fileno(DataFile(data)));
}

std::string Escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s)
        if (c == '\n' || c == '\\' || c == '"')
            out += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : "\\\"";
        else if (c < ' ' || c > '~')
            out += {'\\', 'x', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        else
            out += char(c);
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != '\\' || i + 1 == s.size())
            out += s[i];
        else if (const char c = s[++i]; c == 'x')
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    return out;
}

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const std::string& name, const std::string& data) {
    const std::string typed = name + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()));
    return Be32(uint32_t(data.size())) + typed + Be32(uint32_t(crc));
}

std::string Deflated(const std::string& data) {
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 9);
    out.resize(size);
    return out;
}

std::string Png(uint32_t width, uint32_t height, int depth, int colorType, const std::string& rows,
                const std::string& before, const std::string& after) {
    const std::string ihdr = Be32(width) + Be32(height) + char(depth) + char(colorType) + std::string(3, '\0');
    return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", ihdr) + before + Chunk("IDAT", Deflated(rows)) +
           after + Chunk("IEND", "");
}


}  // namespace tarvex_test
