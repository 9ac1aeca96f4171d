// SPDX-License-Identifier: MIT
// The library's functions against the reviewed cases of
// tests/data/library_cases.txt: each line calls functions by their own names
// with arguments and standard input, and holds what they write, return and
// leave in their out-parameters, their messages and the exit status (each
// case runs in a child named "prog"). After an intended change, rewrite the
// results and review the diff:
//   TARVEX_REGENERATE=1 build/tests/lib_tests --gtest_filter=LibraryCases.*
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "pm_internal.h"
#include "pnm.h"
#include "support/support.h"

// Impossible sizes are asked for on purpose: the sanitizers' allocator must
// answer null, as malloc does, instead of stopping the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using namespace tarvex_test;
using Args = std::vector<std::string>;

// Prints one item of a result, after a blank unless it comes first.
template <typename... T>
void Item(const char* format, T... values) {
    if (std::ftell(stdout) > 0)
        std::putchar(' ');
    std::printf(format, values...);
}

void Show(char c) { Item("%c", c); }
void Show(const char* s) { Item("%s", s ? s : "null"); }
void Show(char* s) { Show(const_cast<const char*>(s)); }
FILE* last = nullptr;  // the stream a call returned last, "last" as an argument
void Show(FILE* f) { Show((last = f) ? "a stream" : "null"); }
void Show(const rgbpixel& p) { Item("%u,%u,%u", p.r, p.g, p.b); }
void Show(const colorhistentry& e) { Item("%u,%u,%u=%d", e.color.r, e.color.g, e.color.b, e.value); }
template <typename T>
void Show(T v) { std::is_unsigned_v<T> ? Item("%llu", (unsigned long long)v) : Item("%lld", (long long)v); }
template <typename T>
void ShowAll(const T* v, int n) {
    for (int i = 0; v != nullptr && i < n; ++i)
        Show(v[i]);
}

// Samples: "7", "3*7" (three 7s), "2*1/0" (1, 0, 1, 0), joined by commas.
std::vector<sampleval> Samples(const std::string& spec) {
    std::vector<sampleval> v;
    std::istringstream items(spec);
    for (std::string item; std::getline(items, item, ',');) {
        const size_t star = item.find('*');
        std::istringstream group(item.substr(star == std::string::npos ? 0 : star + 1));
        std::vector<sampleval> g;
        for (std::string s; std::getline(group, s, '/');)
            g.push_back(sampleval(std::stoll(s, nullptr, 0)));
        for (auto n = star == std::string::npos ? 1 : std::stoul(item); n > 0; --n)
            v.insert(v.end(), g.begin(), g.end());
    }
    return v;
}

// Prints what the non-const pointers given to a call point to once it returns.
std::vector<std::function<void()>> after;
// The int out-parameters of a call: the sizes of the arrays it returns.
std::vector<int*> sizes;

// A parameter from its text: "in", "out" or "last" for a stream, "null", a
// format code as "P1" to "P6", a number, a text, an array of samples (pixels
// in threes, an image's rows split by ";") or a stream position (void*).
template <typename T>
T Arg(const std::string& s) {
    using V = std::remove_const_t<std::remove_pointer_t<T>>;
    constexpr bool out = std::is_pointer_v<T> && !std::is_const_v<std::remove_pointer_t<T>>;
    if constexpr (std::is_same_v<T, FILE*>) {
        return s == "in" ? stdin : s == "out" ? stdout : last;
    } else if constexpr (std::is_function_v<V>) {
        return nullptr;
    } else if constexpr (std::is_void_v<V>) {
        return new int64_t(std::stoll(s));
    } else if constexpr (std::is_pointer_v<V>) {  // an image, its rows split by ";"
        auto* image = new std::vector<V>;
        std::istringstream rows(s);
        for (std::string row; std::getline(rows, row, ';');)
            image->push_back(Arg<V>(row));
        return image->data();
    } else if constexpr (std::is_same_v<V, char>) {
        char* text = s == "null" ? nullptr : strdup(s.c_str());
        if (out)
            after.push_back([text] { Show(text); });
        return text;
    } else if constexpr (std::is_pointer_v<T>) {
        const auto samples = Samples(s);
        auto* v = new std::vector<V>;
        for (size_t i = 0; i < samples.size(); i += std::is_same_v<V, rgbpixel> ? 3 : 1)
            if constexpr (std::is_same_v<V, rgbpixel>)
                v->push_back({samples[i], samples.at(i + 1), samples.at(i + 2)});
            else
                v->push_back(V(samples[i]));
        if constexpr (std::is_same_v<V, int>)
            sizes.push_back(v->data());
        if (out)
            after.push_back([v] { ShowAll(v->data(), int(v->size())); });
        return v->data();
    } else if constexpr (std::is_unsigned_v<T>) {
        return T(std::stoull(s, nullptr, 0));
    } else {
        return T(s.size() == 2 && s[0] == 'P' ? 'P' * 256 + s[1] : std::stoll(s, nullptr, 0));
    }
}

using Call = std::pair<size_t, std::function<void(const Args&)>>;

// A call of `f` with its parameters taken from the arguments in turn.
template <typename R, typename... P>
Call Fn(R (*f)(P...)) {
    return {sizeof...(P), [f](const Args& a) {
        const auto args = [&]<size_t... I>(std::index_sequence<I...>) {
            return std::tuple<P...>{Arg<P>(a.at(I))...};  // braces: taken from left to right
        }(std::index_sequence_for<P...>{});
        using E = std::remove_pointer_t<R>;  // an array returned: its size is an out-parameter
        if constexpr (std::is_void_v<R>) {
            std::apply(f, args);
        } else if constexpr (std::is_pointer_v<E>) {  // an image of sizes[0] by sizes[1]
            const R image = std::apply(f, args);
            for (int y = 0; y < *sizes.at(1); ++y)
                ShowAll(image[y], *sizes[0]);
        } else if constexpr (std::is_pointer_v<R> && !std::is_void_v<E> && !std::is_same_v<R, FILE*> &&
                             !std::is_same_v<std::remove_const_t<E>, char>) {
            const R array = std::apply(f, args);
            ShowAll(array, *sizes.at(0));
        } else {
            Show(std::apply(f, args));
        }
        for (const auto& show : after)
            show();
        after.clear(), sizes.clear();
    }};
}
#define FN(f) {#f, Fn(f)}

int n;  // entries of the colour tables made below

const std::map<std::string, Call> kCalls = {
    // Surroundings for the rest of the line
    {"env", {1, [](const Args& a) { ::putenv(strdup(a[0].c_str())); }}},
    {"unset", {1, [](const Args& a) { ::unsetenv(a[0].c_str()); }}},
    {"errno", {1, [](const Args& a) { errno = std::stoi(a[0]); }}},
    {"paths", {4, [](const Args& a) {  // the default dictionaries, tried when RGBDEF is unset
         std::transform(a.begin(), a.end(), pm_colorname_paths, [](auto& s) { return strdup(s.c_str()); });
     }}},
    {"plain", {0, [](const Args&) { pm_plain_output = 1; }}},
    {"messages", {1, [](const Args& a) { pm_setMessage(std::stoi(a[0]), nullptr); }}},
    {"noname", {0, [](const Args&) { pm_init(nullptr); }}},
    {"writeonly", {0, [](const Args&) { if (!std::freopen("/dev/null", "w", stdin)) std::abort(); }}},
    {"lostfd", {0, [](const Args&) { ::close(fileno(last)); }}},  // the last stream's descriptor closed
    {"fd1", {0, [](const Args&) { std::fprintf(stderr, "fd 1 %s\n", ::fcntl(1, F_GETFD) == -1 ? "closed" : "open"); }}},
    {"dirin", {0, [](const Args&) { ::dup2(::open("/", O_RDONLY), 0); }}},
    {"full", {0, [](const Args&) {
         if (!std::freopen("/dev/full", "w", stdout)) std::abort();
         std::setbuf(stdout, nullptr);
     }}},
    {"pipe", {0, [](const Args&) {  // stdin a pipe holding what it held
         int fds[2];
         const std::string in = ReadFile("/dev/stdin");
         if (::pipe(fds) || ::write(fds[1], in.data(), in.size()) != ssize_t(in.size())) std::abort();
         ::close(fds[1]), ::dup2(fds[0], 0);
     }}},
    {"sparse", {2, [](const Args& a) {  // stdin a file of that size using no disk, at that position
         if (::ftruncate(0, std::stoll(a[0])) || ::fseeko(stdin, std::stoll(a[1]), SEEK_SET)) std::abort();
     }}},
    {"pattern", {1, [](const Args& a) {  // stdin a file of that many bytes, none repeating soon
         std::string data(std::stoul(a[0]), '\0');
         for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 31 + i / 251);
         if (::write(0, data.data(), data.size()) != ssize_t(data.size()) || ::lseek(0, 0, SEEK_SET)) std::abort();
     }}},
    {"fsize", {1, [](const Args& a) {  // no file may grow beyond this
         const rlimit most = {std::stoul(a[0]), std::stoul(a[0])};
         std::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &most);
     }}},
    {"nofiles", {0, [](const Args&) {  // no descriptor to spare (until exit, for the sanitizers)
         static rlimit saved;
         const rlimit none = {3, (::getrlimit(RLIMIT_NOFILE, &saved), saved.rlim_max)};
         ::setrlimit(RLIMIT_NOFILE, &none), std::atexit([] { ::setrlimit(RLIMIT_NOFILE, &saved); });
     }}},
    // Calls that take what a parameter list cannot say
    {"pm_message", {1, [](const Args& a) { pm_message("%s", a[0].c_str()); }}},
    {"pm_error", {1, [](const Args& a) { std::printf("flushed"), pm_error("%s", a[0].c_str()); }}},
    {"pnm_init", {99, [](const Args& a) {  // the rest of the line is argv
         std::vector<char*> argv(a.size() + 1);
         std::transform(a.begin(), a.end(), argv.begin(), [](auto& s) { return strdup(s.c_str()); });
         int argc = int(a.size()), messages;
         pnm_init(&argc, argv.data()), pm_message("hi"), pm_setMessage(0, &messages);
         ShowAll(argv.data(), argc + 1), Item("plain %d messages %d", pm_plain_output, messages);
     }}},
    {"pm_openr_seekable", {1, [](const Args& a) {  // the stream and what is left in it
         FILE* f = pm_openr_seekable(a[0].c_str());
         std::string held;
         for (int c; (c = std::getc(f)) != EOF;) held += char(c);
         Item("%s holding \"%s\"", f == stdin ? "stdin" : "a copy", held.c_str());
     }}},
    {"pm_colorget", {1, [](const Args&) {  // every entry of the dictionary, among its warnings
         FILE* f = pm_openColornameFile(nullptr, 1);
         for (colorfileentry e; (e = pm_colorget(f)).colorname;)
             std::fprintf(stderr, "%d %d %d [%s]\n", e.r, e.g, e.b, e.colorname);
     }}},
    {"ppm_colorhashtocolorhist", {2, [](const Args& a) {  // colours (values 0, 1, ...), maxcolors
         n = int(Samples(a[0]).size() / 3);
         const colorhash cht = ppm_colorrowtocolorhash(Arg<const rgbpixel*>(a[0]), n);
         colorhist h = ppm_colorhashtocolorhist(cht, std::stoi(a[1]));
         if (std::stoi(a[1]) <= 0)
             h[n + 4] = h[0];  // five spares promised; a sanitizer build catches fewer
         ShowAll(h, n);
     }}},
    {"ppm_colorhisttocolorhash", {2, [](const Args& a) {  // colours (values 0, 1, ...), one to look up
         std::vector<colorhistentry> h;
         for (const rgbpixel* p = Arg<const rgbpixel*>(a[0]); h.size() < Samples(a[0]).size() / 3; ++p)
             h.push_back({*p, int(h.size())});
         Show(ppm_lookupcolor(ppm_colorhisttocolorhash(h.data(), int(h.size())), Arg<const rgbpixel*>(a[1])));
     }}},
    {"ppm_addtocolorhist", {5, [](const Args& a) {  // colours (values 0, 1, ...), room, colour, value, position
         std::vector<colorhistentry> h(std::stoul(a[1]));
         const rgbpixel* p = Arg<const rgbpixel*>(a[0]);
         for (n = 0; n < int(Samples(a[0]).size() / 3); ++n)
             h[n] = {p[n], n};
         ppm_addtocolorhist(h.data(), &n, int(h.size()), Arg<const rgbpixel*>(a[2]), std::stoi(a[3]),
                            std::stoi(a[4]));
         ShowAll(h.data(), n);
     }}},
    // Calls whose parameters say it all
    FN(pm_keymatch), FN(pm_arg0toprogname), FN(pm_perror), FN(pm_usage), FN(pm_maxvaltobits),
    FN(pm_bitstomaxval), FN(pm_lcm), FN(pm_openr), FN(pm_openw), FN(fgetc), FN(pm_getc),
    FN(pm_getrawbyte), FN(pm_getuint), FN(pm_readmagicnumber), FN(pm_readbigshort),
    FN(pm_readlittleshort), FN(pm_readbiglong), FN(pm_readlittlelong), FN(pm_writebigshort),
    FN(pm_writelittleshort), FN(pm_writebiglong), FN(pm_writelittlelong), FN(pm_check),
    FN(pbm_check), FN(pgm_check), FN(ppm_check), FN(pnm_check), FN(pnm_nextimage),
    FN(pbm_readpbminit), FN(pgm_readpgminit), FN(ppm_readppminit), FN(pnm_readpnminit),
    FN(pbm_readpbmrow), FN(pbm_readpbmrow_packed), FN(pgm_readpgmrow), FN(ppm_readppmrow),
    FN(pnm_readpnmrow), FN(pbm_writepbminit), FN(pgm_writepgminit), FN(ppm_writeppminit),
    FN(pnm_writepnminit), FN(pbm_writepbmrow), FN(pbm_writepbmrow_packed), FN(pgm_writepgmrow),
    FN(pgm_writerawsample), FN(ppm_writeppmrow), FN(pnm_writepnmrow), FN(ppm_parsecolor),
    FN(pm_rgbnorm), FN(color_from_ycbcr), FN(pm_canonstr), FN(pm_parse_dictionary_name),
    FN(ppm_colorname), FN(ppm_addtocolorrow), FN(ppm_sortcolorrow), FN(ppm_findclosestcolor),
    FN(ppm_colorrowtomapfile), FN(pm_tell), FN(pm_tell2), FN(pm_seek), FN(pm_seek2),
    FN(pm_allocarray), FN(pm_allocrow), FN(pm_close), FN(pm_closer), FN(pm_closew), FN(fputs),
    FN(fflush), FN(fputc), FN(pbm_readpbm), FN(pgm_readpgm), FN(ppm_readppm), FN(pnm_readpnm),
    FN(ppm_computecolorhist), FN(ppm_computecolorrow), FN(ppm_mapfiletocolorrow),
    FN(pm_read_unknown_size), FN(pm_openColornameFile),
};

// Runs the calls of a line in turn, each taking the arguments it needs.
void RunCalls(Args a) {
    while (!a.empty()) {
        const auto it = kCalls.find(a[0]);
        if (it == kCalls.end())
            return (void)std::fprintf(stderr, "no such call: %s\n", a[0].c_str());
        const size_t n = std::min(it->second.first, a.size() - 1);
        it->second.second(Args(a.begin() + 1, a.begin() + 1 + long(n)));
        a.erase(a.begin(), a.begin() + 1 + long(n));
    }
}

// The arguments of a case up to "=>"; a "quoted" one may hold blanks and
// escapes, and the one after "<" is the standard input.
Args Parse(std::istringstream& line, std::string* input) {
    Args args;
    for (std::string word; line >> std::ws && line.peek() != EOF;) {
        if (line.peek() == '"')
            line.get(), std::getline(line, word, '"'), word = Unescape(word);
        else if (!(line >> word) || word == "=>")
            break;
        args.empty() || args.back() != "<" ? args.push_back(word) : (args.pop_back(), void(*input = word));
    }
    return args;
}

// What a case gives: output, messages (not the sanitizers' "==pid==" lines)
// and exit status, each part escaped, or summarised when long; a last blank
// is escaped so that editors keep it.
std::string Observed(const ChildResult& r) {
    std::string s, err;
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
        err += line.starts_with("==") ? "" : line + (lines.eof() ? "" : "\n");
    for (const std::string& part : {r.out, err, r.status ? "[exit " + std::to_string(r.status) + "]" : ""}) {
        size_t count = 0, longest = 0;
        for (size_t at = 0, end; at < part.size(); at = end + 1, ++count)
            longest = std::max(longest, (end = std::min(part.find('\n', at), part.size())) - at);
        char summary[100];
        std::snprintf(summary, sizeof summary, "(%zu bytes in %zu lines of at most %zu, crc %08lx)",
                      part.size(), count, longest, crc32(0, (const Bytef*)part.data(), uInt(part.size())));
        if (!part.empty())
            s += (s.empty() ? "" : " ") + (part.size() <= 400 ? Escape(part) : summary);
    }
    return s.ends_with(' ') ? s.substr(0, s.size() - 1) + "\\x20" : s;
}

TEST(LibraryCases, EveryCaseGivesItsRecordedResult) {
    const std::string path = TARVEX_TEST_DATA_DIR "/library_cases.txt";
    std::istringstream file(ReadFile(path));
    std::string rewritten;
    int cases = 0;
    for (std::string text; std::getline(file, text); rewritten += text + '\n') {
        std::istringstream line(text);
        std::string input, want;
        const Args args = Parse(line, &input);
        if (text.empty() || text[0] == '#' || args.empty())
            continue;
        const size_t arrow = line.eof() ? text.size() : size_t(line.tellg());
        std::getline(line >> std::ws, want);
        const std::string got = Observed(RunChild([&] {
            pm_init("prog");
            if (::chdir(TARVEX_TEST_DATA_DIR) != 0 || ::setenv("RGBDEF", "rgb.txt", 1) != 0)
                std::abort();
            RunCalls(args);
        }, input));
        EXPECT_EQ(got, want) << text;
        text = text.substr(0, arrow) + (got.empty() ? "" : " ") + got;
        ++cases;
    }
    if (std::getenv("TARVEX_REGENERATE") != nullptr)
        std::ofstream(path) << rewritten;
    EXPECT_GT(cases, 300);
}

void* RefuseBlock(size_t) { return nullptr; }

// What the cases cannot say: the layout of arrays, and the thousand-name table.
// One block with the rows back to back and the block after the last row, or
// row by row when the block is refused.
TEST(PmAllocarray, OneBlockOrRowByRow) {
    using Alloc = void* (*)(size_t);
    for (Alloc alloc : {Alloc(std::malloc), Alloc(RefuseBlock)}) {
        pm_arrayblock_alloc = alloc;
        char** rows = static_cast<char**>(pm_allocarray(5, 4, 12));
        EXPECT_EQ(rows[4], alloc == RefuseBlock ? nullptr : rows[0]);
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(alloc == RefuseBlock || rows[r] - rows[0] == r * 60);
            std::memset(rows[r], r, 60);  // sanitizers catch a short row
        }
        pm_freearray(rows, 4), pm_freearray(pm_allocarray(10, 0, 4), 0);
    }
    pm_arrayblock_alloc = std::malloc;
}

// A thousand colours under their first names; one more, even a repeat, is fatal.
TEST(PpmColornames, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7 c" + std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(TempFile(text).c_str(), 1, &cht, &names);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    ppm_freecolornames(names), ppm_freecolorhash(cht);
    const std::string path = TempFile(text + "0 0 7 again\n");
    EXPECT_EQ(Observed(RunChild([&] { pm_init("prog"), ppm_readcolornamefile(path.c_str(), 1, &cht, &names); })),
              "prog: Too many colors in colorname dictionary.  Max allowed is 1000\\n [exit 1]");
}

}  // namespace
