// Child-process runner and temporary files for the tests.
#include "support/child.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tarvex_test {
namespace {

// Removed by the test program itself, never by a child that exits.
struct TempFiles {
    pid_t owner = ::getpid();
    std::vector<std::string> paths;
    ~TempFiles() {
        if (::getpid() != owner)
            return;
        for (const auto& p : paths)
            ::unlink(p.c_str());
    }
};
TempFiles temp_files;

// An unlinked temporary file descriptor holding `data`, positioned at 0.
int DataFd(const std::string& data) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        std::abort();
    int fd = ::dup(fileno(f));
    std::fclose(f);
    if (!data.empty() && ::write(fd, data.data(), data.size()) !=
                             static_cast<ssize_t>(data.size()))
        std::abort();
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string ReadFd(int fd) {
    std::string s;
    ::lseek(fd, 0, SEEK_SET);
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        s.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return s;
}

#if defined(__SANITIZE_ADDRESS__)
// A child that ends through exit() skips the leak checker's scan: the fatal
// paths leave their memory to the end of the process by design, and the scan
// costs tens of milliseconds a child.
void EndWithoutLeakScan(int status, void*) {
    std::fflush(nullptr);
    ::_exit(status);
}
#endif

// Forks; the child gets the three standard streams and runs `child`.
ChildResult Fork(const std::string& input, const std::function<void()>& child) {
    std::fflush(nullptr);
    int in = DataFd(input), out = DataFd(""), err = DataFd("");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
#if defined(__SANITIZE_ADDRESS__)
        ::on_exit(EndWithoutLeakScan, nullptr);
#endif
        child();
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(in);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ChildResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus)
                                  : 128 + WTERMSIG(wstatus);
    r.out = ReadFd(out);
    r.err = ReadFd(err);
    return r;
}

}  // namespace

ChildResult RunChild(const std::function<void()>& body,
                     const std::string& input) {
    return Fork(input, body);
}

ChildResult RunProgram(const std::vector<std::string>& argv,
                       const std::string& input,
                       const std::vector<std::string>& env) {
    return Fork(input, [&] {
        for (const auto& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    });
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string TempFile(const std::string& data, const std::string& suffix) {
    std::string tmpl = "/tmp/tarvex_testXXXXXX" + suffix;
    int fd = ::mkstemps(tmpl.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        std::abort();
    if (!data.empty() &&
        ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        std::abort();
    ::close(fd);
    temp_files.paths.push_back(tmpl);
    return tmpl;
}

}  // namespace tarvex_test
