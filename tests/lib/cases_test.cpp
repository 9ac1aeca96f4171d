// The library's functions against the reviewed cases of
// tests/data/library_cases.txt: each line names a call, its arguments and its
// standard input, and holds what the call prints, its messages and its exit
// status when it ends the process (run in a child named "prog").
// After an intended change, rewrite the results and review the diff:
//   TARVEX_REGENERATE=1 build/tests/lib_tests --gtest_filter=LibraryCases.*
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>

#include "pm_internal.h"
#include "pnm.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using Args = std::vector<std::string>;

long N(const std::string& s) { return std::stol(s, nullptr, 0); }

// A format code: "P1" to "P6", or a number.
int Format(const std::string& s) { return s[0] == 'P' ? 'P' * 256 + s[1] : int(N(s)); }

// Samples: "7", "3*7" (three 7s), "2*1/0" (1, 0, 1, 0), "0..9", joined by commas.
std::vector<sampleval> Samples(const std::string& spec) {
    std::vector<sampleval> v;
    std::istringstream items(spec);
    for (std::string item; std::getline(items, item, ',');) {
        const size_t star = item.find('*'), dots = item.find("..");
        if (dots != std::string::npos) {
            for (long i = N(item.substr(0, dots)); i <= N(item.substr(dots + 2)); ++i)
                v.push_back(sampleval(i));
            continue;
        }
        std::istringstream group(star == std::string::npos ? item : item.substr(star + 1));
        std::vector<sampleval> g;
        for (std::string s; std::getline(group, s, '/');)
            g.push_back(sampleval(std::stoul(s, nullptr, 0)));
        for (long n = star == std::string::npos ? 1 : N(item.substr(0, star)); n > 0; --n)
            v.insert(v.end(), g.begin(), g.end());
    }
    return v;
}

std::vector<rgbpixel> Pixels(const std::string& spec) {
    const auto s = Samples(spec);
    std::vector<rgbpixel> p;
    for (size_t i = 0; i + 2 < s.size(); i += 3)
        p.push_back({s[i], s[i + 1], s[i + 2]});
    return p;
}

// Prints one item of a result, a blank before all but the first.
bool first_item = true;
template <typename... T>
void Item(const char* format, T... values) {
    if (!first_item)
        std::putchar(' ');
    first_item = false;
    std::printf(format, values...);
}

void Print(const rgbpixel& p) { Item("%u,%u,%u", p.r, p.g, p.b); }
void Print(sampleval s) { Item("%u", s); }
template <typename T>  // the sizes by reference: read by the call that makes `rows`
void PrintRows(T** rows, const int& cols, const int& nrows) {
    for (int r = 0; r < nrows; ++r)
        for (int c = 0; c < cols; ++c)
            Print(rows[r][c]);
}
void Print(const colorhistentry* h, int n) {
    for (int i = 0; h != nullptr && i < n; ++i)
        Item("%u,%u,%u=%d", h[i].color.r, h[i].color.g, h[i].color.b, h[i].value);
}

int cols, rows, format;
sampleval maxval;
unsigned char row[64];
rgbpixel pixels[64];

using Call = std::function<void(const Args&)>;

// Each call: the arguments it takes, what it does with them (stdin holds the
// input). Modifiers change the surroundings and run the rest of the line.
const std::map<std::string, std::pair<size_t, Call>> kCalls = {
    // Surroundings
    {"env", {1, [](const Args& a) { ::putenv(strdup(a[0].c_str())); }}},
    {"unset", {1, [](const Args& a) { ::unsetenv(a[0].c_str()); }}},
    {"plain", {0, [](const Args&) { pm_plain_output = 1; }}},
    {"pipe", {0, [](const Args&) {  // stdin becomes a pipe holding what it held
         int fds[2];
         const std::string in = ReadFile("/dev/stdin");
         if (::pipe(fds) || ::write(fds[1], in.data(), in.size()) != ssize_t(in.size())) std::abort();
         ::close(fds[1]), ::dup2(fds[0], 0);
     }}},
    {"full", {0, [](const Args&) {  // every write to stdout fails at once
         std::freopen("/dev/full", "w", stdout), std::setvbuf(stdout, nullptr, _IONBF, 0);
     }}},
    {"paths", {4, [](const Args& a) {  // the default dictionaries, when RGBDEF is unset
         for (int i = 0; i < 4; ++i) pm_colorname_paths[i] = strdup(a[i].c_str());
     }}},
    {"writeonly", {0, [](const Args&) { std::freopen("/dev/null", "w", stdin); }}},
    {"messages", {1, [](const Args& a) { pm_setMessage(int(N(a[0])), nullptr); }}},
    // Start-up and messages
    {"proginit", {99, [](const Args& a) {
         std::vector<char*> argv;
         for (auto& s : a) argv.push_back(strdup(s.c_str()));
         argv.push_back(nullptr);
         int argc = int(a.size()), messages;
         pnm_init(&argc, argv.data());
         pm_message("hi");
         pm_setMessage(0, &messages);
         for (int i = 0; i <= argc; ++i) std::printf("%s ", argv[i] ? argv[i] : "|");
         std::printf("%d %d", pm_plain_output, messages);
     }}},
    {"keymatch", {3, [](const Args& a) { Item("%d", pm_keymatch(a[0].c_str(), a[1].c_str(), int(N(a[2])))); }}},
    {"arg0", {1, [](const Args& a) { std::printf("%s", pm_arg0toprogname(a[0].c_str())); }}},
    {"message", {1, [](const Args& a) { pm_message("%s", a[0].c_str()); }}},
    {"error", {1, [](const Args& a) { std::printf("flushed"); pm_error("%s", a[0].c_str()); }}},
    {"noname", {0, [](const Args&) { pm_init(nullptr); }}},
    {"perror", {2, [](const Args& a) { errno = int(N(a[0])); pm_perror(a[1] == "null" ? nullptr : a[1].c_str()); }}},
    {"usage", {1, [](const Args& a) { pm_usage(a[0].c_str()); }}},
    // Numbers, tokens and binary integers
    {"maxvaltobits", {1, [](const Args& a) { Item("%d", pm_maxvaltobits(int(N(a[0])))); }}},
    {"bitstomaxval", {1, [](const Args& a) { Item("%u", pm_bitstomaxval(int(N(a[0])))); }}},
    {"lcm", {4, [](const Args& a) { Item("%u", pm_lcm(N(a[0]), N(a[1]), N(a[2]), N(a[3]))); }}},
    {"getc", {1, [](const Args& a) {
         std::string s;
         for (long i = N(a[0]); i > 0; --i) s += pm_getc(stdin);
         Item("%s", s.c_str());
     }}},
    {"getuint", {0, [](const Args&) { const unsigned v = pm_getuint(stdin); Item("%u then %c", v, std::getchar()); }}},
    {"openr", {1, [](const Args& a) { std::printf("%s", pm_openr(a[0].c_str()) ? "opened" : "null"); }}},
    {"openw", {1, [](const Args& a) { std::printf("%s", pm_openw(a[0].c_str()) ? "opened" : "null"); }}},
    {"rawbyte", {0, [](const Args&) { Item("%d", pm_getrawbyte(stdin)); }}},
    {"magic", {0, [](const Args&) { Item("%#x", pm_readmagicnumber(stdin)); }}},
    {"writeint", {3, [](const Args& a) {  // bytes: 2 or 4, order: big or little
         const bool big = a[1] == "big";
         const int32_t v = int32_t(N(a[2]));
         std::fprintf(stderr, "returns %d",
                      a[0] == "2" ? (big ? pm_writebigshort : pm_writelittleshort)(stdout, int16_t(v))
                                  : (big ? pm_writebiglong : pm_writelittlelong)(stdout, v));
     }}},
    {"readint", {2, [](const Args& a) {
         int32_t l = 99;
         int16_t s = 99;
         const bool big = a[1] == "big";
         const int rc = a[0] == "2" ? (big ? pm_readbigshort : pm_readlittleshort)(stdin, &s)
                                    : (big ? pm_readbiglong : pm_readlittlelong)(stdin, &l);
         Item("%d, returns %d", a[0] == "2" ? s : l, rc);
     }}},
    // Readers and raster checks
    {"read", {1, [](const Args& a) {
         if (a[0] == "pbm") PrintRows(pbm_readpbm(stdin, &cols, &rows), cols, rows);
         if (a[0] == "pgm") PrintRows(pgm_readpgm(stdin, &cols, &rows, &maxval), cols, rows);
         if (a[0] == "ppm") PrintRows(ppm_readppm(stdin, &cols, &rows, &maxval), cols, rows);
         if (a[0] == "pnm") PrintRows(pnm_readpnm(stdin, &cols, &rows, &maxval, &format), cols, rows);
         Item("(%dx%d maxval %u format %#x)", cols, rows, maxval, format);
     }}},
    {"readrow", {4, [](const Args& a) {  // family cols maxval format
         const int n = int(N(a[1]));
         const sampleval m = sampleval(N(a[2]));
         if (a[0] == "pbm") pbm_readpbmrow(stdin, row, n, Format(a[3]));
         if (a[0] == "packed") pbm_readpbmrow_packed(stdin, row, n, Format(a[3]));
         if (a[0] == "pgm") pgm_readpgmrow(stdin, &pixels[0].r, n, m, Format(a[3]));
         if (a[0] == "ppm") ppm_readppmrow(stdin, pixels, n, m, Format(a[3]));
         if (a[0] == "pnm") pnm_readpnmrow(stdin, pixels, n, m, Format(a[3]));
         for (int i = 0; i < (a[0] == "packed" ? int(pbm_packed_bytes(n)) : n); ++i)
             a[0] == "pbm" || a[0] == "packed" ? Print(row[i])
             : a[0] == "pgm" ? Print((&pixels[0].r)[i]) : Print(pixels[i]);
     }}},
    {"readinit", {1, [](const Args& a) {
         if (a[0] == "pbm") pbm_readpbminit(stdin, &cols, &rows, &format);
         if (a[0] == "pgm") pgm_readpgminit(stdin, &cols, &rows, &maxval, &format);
         if (a[0] == "ppm") ppm_readppminit(stdin, &cols, &rows, &maxval, &format);
         Item("%dx%d maxval %u format %#x", cols, rows, maxval, format);
     }}},
    {"checksize", {1, [](const Args& a) {
         int r = -1;
         pm_check(stdin, PM_RASTERCHECK_SIZE, std::stoull(a[0]), &r);
         Item("%d, next %d", r, std::getchar());
     }}},
    {"check", {6, [](const Args& a) {  // family checktype format cols rows maxval
         int r = -1;
         const int t = int(N(a[1])), f = Format(a[2]), c = int(N(a[3])), h = int(N(a[4]));
         const sampleval m = sampleval(N(a[5]));
         if (a[0] == "pbm") pbm_check(stdin, t, f, c, h, &r);
         if (a[0] == "pgm") pgm_check(stdin, t, f, c, h, m, &r);
         if (a[0] == "ppm") ppm_check(stdin, t, f, c, h, m, &r);
         if (a[0] == "pnm") pnm_check(stdin, t, f, c, h, m, &r);
         Item("%d, next %d", r, std::getchar());
     }}},
    // Writers, to stdout
    {"header", {5, [](const Args& a) {  // family cols rows maxval forceplain
         const int c = int(N(a[1])), h = int(N(a[2])), plain = int(N(a[4]));
         const sampleval m = sampleval(N(a[3]));
         if (a[0] == "pbm") pbm_writepbminit(stdout, c, h, plain);
         if (a[0] == "pgm") pgm_writepgminit(stdout, c, h, m, plain);
         if (a[0] == "ppm") ppm_writeppminit(stdout, c, h, m, plain);
         if (a[0][0] == 'P' || a[0][0] == '0') pnm_writepnminit(stdout, c, h, m, Format(a[0]), plain);
     }}},
    {"row", {4, [](const Args& a) {  // family maxval forceplain samples; PNM: its format
         const auto s = Samples(a[3]);
         const auto p = Pixels(a[3]);
         const std::vector<pbmbit> bits(s.begin(), s.end());
         const int plain = int(N(a[2]));
         const sampleval m = sampleval(N(a[1]));
         if (a[0] == "pbm") pbm_writepbmrow(stdout, bits.data(), int(bits.size()), plain);
         if (a[0] == "packed") pbm_writepbmrow_packed(stdout, bits.data(), int(m), plain);
         if (a[0] == "pgm") pgm_writepgmrow(stdout, s.data(), int(s.size()), m, plain);
         if (a[0] == "ppm") ppm_writeppmrow(stdout, p.data(), int(p.size()), m, plain);
         if (a[0][0] == 'P' || a[0][0] == '0')
             pnm_writepnmrow(stdout, p.data(), int(p.size()), m, Format(a[0]), plain);
     }}},
    {"rawsample", {2, [](const Args& a) { pgm_writerawsample(stdout, sampleval(N(a[0])), sampleval(N(a[1]))); }}},
    // Colours
    {"parsecolor", {2, [](const Args& a) { Print(ppm_parsecolor(a[0].c_str(), sampleval(N(a[1])))); }}},
    {"rgbnorm", {3, [](const Args& a) { Item("%d", pm_rgbnorm(int32_t(N(a[0])), int32_t(N(a[1])), unsigned(N(a[2])), "x")); }}},
    {"ycbcr", {3, [](const Args& a) {
         const rgbpixel p = color_from_ycbcr(uint32_t(N(a[0])), int32_t(N(a[1])), int32_t(N(a[2])));
         Item("%d,%d,%d", int(p.r), int(p.g), int(p.b));
     }}},
    {"canonstr", {1, [](const Args& a) { std::string s = a[0]; pm_canonstr(s.data()); std::printf("%s", s.c_str()); }}},
    {"colorget", {0, [](const Args&) {
         FILE* f = pm_openColornameFile(std::getenv("DICT"), 1);
         for (colorfileentry e; (e = pm_colorget(f)).colorname;)
             std::fprintf(stderr, "%d %d %d [%s]\n", e.r, e.g, e.b, e.colorname);
     }}},
    {"dictname", {2, [](const Args& a) {
         int32_t r, g, b;
         pm_parse_dictionary_name(a[0].c_str(), sampleval(N(a[1])), &r, &g, &b);
         Item("%d,%d,%d", r, g, b);
     }}},
    {"opendict", {1, [](const Args& a) { std::printf("%s", pm_openColornameFile(a[0] == "null" ? nullptr : a[0].c_str(), 0) ? "opened" : "none"); }}},
    {"colorname", {3, [](const Args& a) {  // colour maxval hexok
         const auto p = Pixels(a[0]);
         std::printf("%s", ppm_colorname(&p[0], sampleval(N(a[1])), int(N(a[2]))));
     }}},
    {"hist", {2, [](const Args& a) {  // maxcolors pixels (two rows)
         const auto p = Pixels(a[1]);
         const rgbpixel* r[] = {p.data(), p.data() + p.size() / 2};
         int n = -7;
         colorhist h = ppm_computecolorhist(r, int(p.size() / 2), 2, int(N(a[0])), &n);
         Print(h, n), Item("(%d colours)", n);
     }}},
    {"histfile", {1, [](const Args& a) {
         ppm_readppminit(stdin, &cols, &rows, &maxval, &format);
         int n = -7;
         colorhist h = ppm_computecolorhist2(stdin, cols, rows, maxval, format, int(N(a[0])), &n);
         Print(h, n), Item("(%d colours)", n);
     }}},
    {"hashorder", {2, [](const Args& a) {  // maxcolors pixels: values 0, 1, ... in bucket order
         const auto p = Pixels(a[1]);
         colorhash cht = ppm_alloccolorhash();
         for (size_t i = 0; i < p.size(); ++i) ppm_addtocolorhash(cht, &p[i], int(i));
         colorhist h = ppm_colorhashtocolorhist(cht, int(N(a[0])));
         if (N(a[0]) <= 0)
             h[p.size() + 4] = h[0];  // five spares promised; a sanitizer build catches fewer
         Print(h, int(p.size()));
     }}},
    {"histtohash", {2, [](const Args& a) {  // pixels, the one to look up
         std::vector<colorhistentry> h;
         for (const auto& p : Pixels(a[0])) h.push_back({p, int(h.size())});
         Item("%d", ppm_lookupcolor(ppm_colorhisttocolorhash(h.data(), int(h.size())), &Pixels(a[1])[0]));
     }}},
    {"addtohist", {4, [](const Args& a) {  // pixels maxcolors colour position
         std::vector<colorhistentry> h(N(a[1]));
         int n = 0;
         for (const auto& p : Pixels(a[0])) h[n] = {p, n}, ++n;
         ppm_addtocolorhist(h.data(), &n, int(N(a[1])), &Pixels(a[2])[0], 99, int(N(a[3])));
         Print(h.data(), n);
     }}},
    {"colorrow", {2, [](const Args& a) {  // maxcolors pixels (two rows)
         const auto p = Pixels(a[1]);
         const rgbpixel* r[] = {p.data(), p.data() + p.size() / 2};
         int n = -7;
         rgbpixel* c = ppm_computecolorrow(r, int(p.size() / 2), 2, int(N(a[0])), &n);
         for (int i = 0; c && i < n; ++i) Print(c[i]);
         Item("(%d colours)", n);
     }}},
    {"addtorow", {2, [](const Args& a) {  // maxcolors pixels, added in turn
         rgbpixel r[16];
         int n = 0;
         for (const auto& p : Pixels(a[1])) Item("%d", ppm_addtocolorrow(r, &n, int(N(a[0])), &p));
         colorhash cht = ppm_colorrowtocolorhash(r, n);
         for (int i = 0; i < n; ++i) Item("%d", ppm_lookupcolor(cht, &r[i]));
     }}},
    {"sortrow", {1, [](const Args& a) {
         auto p = Pixels(a[0]);
         ppm_sortcolorrow(p.data(), int(p.size()), nullptr);
         for (const auto& c : p) Print(c);
     }}},
    {"closest", {2, [](const Args& a) {  // map colour
         const auto m = Pixels(a[0]);
         Item("%d", ppm_findclosestcolor(m.data(), int(m.size()), &Pixels(a[1])[0]));
     }}},
    {"mapfile", {1, [](const Args& a) {
         int n = -7;
         rgbpixel* c = ppm_mapfiletocolorrow(stdin, int(N(a[0])), &n, &maxval);
         for (int i = 0; c && i < n; ++i) Print(c[i]);
         Item("(%d colours, maxval %u)", n, maxval);
     }}},
    {"tomapfile", {2, [](const Args& a) {
         const auto p = Pixels(a[1]);
         ppm_colorrowtomapfile(stdout, p.data(), int(p.size()), sampleval(N(a[0])));
     }}},
};

void RunCall(Args a) {
    const auto it = kCalls.find(a.at(0));
    if (it == kCalls.end()) {
        std::fprintf(stderr, "no such call\n");
        return;
    }
    const size_t n = std::min(it->second.first, a.size() - 1);
    it->second.second(Args(a.begin() + 1, a.begin() + 1 + long(n)));
    if (a.size() > n + 1)
        RunCall(Args(a.begin() + 1 + long(n), a.end()));
}

// The arguments of a case line up to "=>"; a "quoted" one may hold blanks and
// C escapes, and the one after "<" is the standard input.
Args Parse(std::istringstream& line, std::string* input) {
    Args args;
    for (std::string word; line >> std::ws && line.peek() != EOF;) {
        if (line.peek() == '"') {
            line.get();
            std::getline(line, word, '"');
            while (!word.empty() && word.back() == '\\' && line.peek() != EOF) {
                std::string more;
                std::getline(line, more, '"');
                word += '"' + more;
            }
            word = Unescape(word);
        } else if (!(line >> word) || word == "=>") {
            break;
        }
        if (!args.empty() && args.back() == "<")
            args.pop_back(), *input = word;
        else
            args.push_back(word);
    }
    return args;
}

// One part of a result, escaped, or summarised when long.
std::string Part(const std::string& s) {
    if (s.size() <= 400)
        return Escape(s);
    size_t lines = 0, longest = 0;
    for (size_t at = 0, end; at < s.size(); at = end + 1, ++lines)
        longest = std::max(longest, (end = std::min(s.find('\n', at), s.size())) - at);
    char summary[120];
    std::snprintf(summary, sizeof summary, "(%zu bytes in %zu lines of at most %zu, crc %08lx)",
                  s.size(), lines, longest,
                  crc32(0, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
    return summary;
}

// What a case gives: output, messages and exit status, those there are.
std::string Observed(const ChildResult& r) {
    std::string s;
    for (const std::string& part : {r.out.empty() ? "" : Part(r.out), r.err.empty() ? "" : Part(r.err),
                                    r.status ? "[exit " + std::to_string(r.status) + "]" : ""})
        if (!part.empty())
            s += (s.empty() ? "" : " ") + part;
    return s.ends_with(' ') ? s.substr(0, s.size() - 1) + "\\x20" : s;  // survives editors
}

TEST(LibraryCases, EveryCaseGivesItsRecordedResult) {
    const std::string path = TARVEX_TEST_DATA_DIR "/library_cases.txt";
    std::istringstream file(ReadFile(path));
    std::string rewritten;
    int cases = 0;
    for (std::string text; std::getline(file, text);) {
        std::istringstream line(text);
        std::string input, want;
        const Args args = Parse(line, &input);
        if (text.empty() || text[0] == '#' || args.empty()) {
            rewritten += text + '\n';
            continue;
        }
        const size_t arrow = line.eof() ? text.size() : size_t(line.tellg());
        std::getline(line >> std::ws, want);
        const std::string got = Observed(RunChild([&] {
            pm_init("prog");
            if (::chdir(TARVEX_TEST_DATA_DIR) != 0 || ::setenv("RGBDEF", "rgb.txt", 1) != 0)
                std::abort();
            RunCall(args);
        }, input));
        EXPECT_EQ(got, want) << text;
        rewritten += text.substr(0, arrow) + (got.empty() ? "" : " ") + got + '\n';
        ++cases;
    }
    if (std::getenv("TARVEX_REGENERATE") != nullptr)
        std::ofstream(path) << rewritten;
    EXPECT_GT(cases, 200);
}

}  // namespace
