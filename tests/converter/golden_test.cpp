// SPDX-License-Identifier: MIT
// corvane's whole behaviour against reviewed results: every PngSuite file and
// every image made below, under each option set, plus the command-line cases,
// give the exit status, output header, size and CRC, and the exact messages
// recorded in tests/data/corvane_golden.txt. Both row paths must give them,
// the library's with every image held whole, the fast one streaming its rows
// to files and through pipes.
// Where libpng corrects gamma, the output is compared with libpng's own
// correction instead of a recorded CRC ("as libpng corrects").
// After an intended change, rewrite the file and review its diff:
//   TARVEX_REGENERATE=1 build/tests/converter_tests --gtest_filter='Golden.*'
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "choices.h"
#include "corvane.h"
#include "rows.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;
using Args = std::vector<std::string>;

std::string Be16(uint16_t v) { return {char(v >> 8), char(v)}; }

std::string Text(const std::string& key, const std::string& text) { return Chunk("tEXt", key + '\0' + text); }

// 2 x 1 RGBA with 5 significant bits, a time and a text: the command lines' image.
const std::string kRgba = Png(2, 1, 8, 6, "\0\xff\0\0\xff\0\xff\0\0"s, Chunk("sBIT", "\5\5\5\x08") +
                              Chunk("tIME", "\x07\xd4\3\2\x0e\5\x09") + Text("Title", "Red"));

// Images for the rules the suite does not reach, and for hostile streams.
std::vector<std::pair<std::string, std::string>> Made() {
    const std::string gray = "\0\x80"s, zeros(16 << 20, '\0');
    std::string big(3 << 20, 'a'), many, pal = Chunk("PLTE", "\xff\xff\xff\xc8\x64\x08\x0a\x14\x1e"s);
    for (size_t i = 0; i < big.size(); i += 4099)
        big[i] = char('b' + i % 20);
    for (int i = 0; i < 5000; ++i)
        many += Text("Key" + std::to_string(i), "value");
    const auto size = [](uint32_t w, uint32_t h) { return Png(w, h, 16, 6, std::string(9, 0)); };
    return {
        {"empty", ""}, {"short", "\x89PN"}, {"gif", "GIF89a"},
        {"gray8-trns-sbit5-phys0", Png(4, 1, 8, 0, "\0\x03\x18\x1f\xc8"s,
            Chunk("sBIT", "\x05") + Chunk("tRNS", Be16(3)) + Chunk("pHYs", Be32(0) + Be32(9) + '\1'))},
        {"gray16-trns-sbit8-bkgd", Png(2, 1, 16, 0, "\0\x03\xe8\xff\xff"s,
            Chunk("sBIT", "\x08") + Chunk("tRNS", Be16(1000)) + Chunk("bKGD", Be16(25600)))},
        {"gray8-gamma-trns", Png(3, 1, 8, 0, "\0\x80\x40\xc8"s,
            Chunk("gAMA", Be32(45000)) + Chunk("tRNS", Be16(128)))},
        {"ga16-alpha-sbit3", Png(1, 1, 16, 4, "\0\0\0\xff\xff"s, Chunk("sBIT", "\x10\x03"))},
        {"palette4-sbit5-trns", Png(3, 1, 4, 3, "\0\x01\x20"s,
            Chunk("sBIT", "\5\5\5") + pal + Chunk("tRNS", "\0\xff"s))},
        {"palette8-short-trns", Png(3, 1, 8, 3, "\0\0\1\5"s, pal + Chunk("tRNS", "\0"s))},
        {"palette8-grays", Png(2, 1, 8, 3, "\0\0\1"s, Chunk("PLTE", "\0\0\0\x5a\x5a\x5a"s))},
        {"rgb8-sbit565-trns", Png(2, 1, 8, 2, "\0\xc8\x64\x32\7\7\7"s,
            Chunk("sBIT", "\5\6\5") + Chunk("tRNS", Be16(7) + Be16(7) + Be16(7)))},
        {"rgb16-trns", Png(3, 1, 16, 2, "\0\0\1\0\2\0\3\0\1\0\2\0\4\0\x09\0\2\0\3"s,
            Chunk("tRNS", Be16(1) + Be16(2) + Be16(3)))},
        {"rgba8-sbit5-time-text", kRgba},
        {"gray1-wide", Png(100, 2, 1, 0, '\0' + std::string(13, '\x5a') + '\0' + std::string(13, '\xf0'))},
        {"texts-before-and-after", Png(1, 1, 8, 0, gray,
            Text("Title", "A\nB") + Chunk("zTXt", "Exactly15Chars_\0\0"s + Deflated("x")) +
            Text("LongerThanFifteen", "y") + Text("Creation Time", "") +
            Chunk("iTXt", "Intl\0\0\0\0\0z\n"s),
            Text("Later", "after") + Chunk("tIME", "\x07\xd4\3\2\x0e\5\x09"))},
        {"text-3mib", Png(1, 1, 8, 0, gray, Text("Big", big), Text("Small", "s"))},
        {"text-5000-chunks", Png(1, 1, 8, 0, gray, many)},
        {"idat-16mib", Png(1, 1, 8, 0, zeros)},
        {"ztxt-16mib", Png(1, 1, 8, 0, gray, Chunk("zTXt", "Bomb\0\0"s + Deflated(zeros)))},
        {"size-0x1", size(0, 1)}, {"size-2147483647x1", size(0x7fffffff, 1)},
        {"size-1000000x1000000", size(1000000, 1000000)},  // 8 TB: never allocated
    };
}

ChildResult Corvane(Args args, const std::string& png) {
    args.insert(args.begin(), "corvane");
    return RunMain(corvane::corvane_main, args, png);
}

// Option sets every image is converted with.
const std::vector<Args> kOptionSets = {
    {}, {"-alpha"}, {"-mix"}, {"-mix", "-background", "dark slate gray"}, {"-mix", "-gamma", "2.2"},
    {"-plain", "-verbose", "-time", "-text", "-"}, {"-alpha", "-plain"},
};

// Command lines tried on one image: option matching, values and usage errors.
const std::vector<Args> kCommandLines = {
    {"-VERB", "-a", "-ti", "-te", "-", "-g", "1", "-b", "red"}, {"-m"}, {"-alpha", "-mix"},
    {"-mix", "-alpha"}, {"-gamma", "junk"}, {"-gamma", "0"}, {"-gamma", "-2"}, {"-gamma", "nan"},
    {"-mix", "-background", "rgb:ff/ff"}, {"-"}, {"--QUIET", "-verbose", "-time", "--plain"},
    {"-background"}, {"-gamma"}, {"-text"}, {"-", "x"}, {"-x"}, {"-t"}, {"-help"}, {"-?"},
    {"/nonexistent.png"}, {"-text", "/nonexistent/t.txt"}, {"-version"}, {"-help", "--version"},
};

// The suite's files in name order, then the images made here.
std::vector<std::pair<std::string, std::string>> Inputs() {
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const auto& e : std::filesystem::directory_iterator(TARVEX_PNGSUITE_DIR))
        if (e.path().extension() == ".png")
            inputs.emplace_back(e.path().filename(), ReadFile(e.path()));
    std::sort(inputs.begin(), inputs.end());
    const auto made = Made();
    inputs.insert(inputs.end(), made.begin(), made.end());
    return inputs;
}

// The magic number, size and maxval of a portable map at the start of `out`.
std::string Header(const std::string& out) {
    std::istringstream s(out);
    std::string magic, w, h, maxval;
    if (s >> magic >> w >> h && magic != "P1" && magic != "P4")
        s >> maxval;
    const bool pnm = magic.size() == 2 && magic[0] == 'P';
    return pnm ? magic + ' ' + w + 'x' + h + (maxval.empty() ? "" : " ") + maxval : "-";
}

// Gamma correction is libpng's arithmetic, and it changes with libpng's
// updates, so its results are not frozen here. Instead libpng decodes the
// image itself with the same correction, and the corrected rows and palette
// are built into a PNG without gAMA: converting that without gamma must give
// corvane's bytes. The values corvane corrects on its own (tRNS and bKGD
// colours) are corrected as corvane does it, since that part is its work.
struct Corrected {
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    double file_gamma = 1.0;
    std::string rows, palette, file_palette, alphas;  // alphas: a palette's tRNS
    std::optional<png_color_16> trns, bkgd;
    std::vector<png_bytep> row_pointers;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

// False when libpng rejects the image. Holds no object with a destructor
// across libpng's jumps; `c` lives in the caller's frame.
bool DecodeCorrected(const std::string& file, double display, Corrected* c) {
    FILE* in = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(in);
        return false;
    }
    png_init_io(png, in);
    png_read_info(png, info);
    c->width = png_get_image_width(png, info), c->height = png_get_image_height(png, info);
    c->depth = png_get_bit_depth(png, info), c->type = png_get_color_type(png, info);
    png_get_gAMA(png, info, &c->file_gamma);
    png_colorp palette = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &palette, &n))
        c->file_palette = Bytes(palette, size_t(n) * 3);
    png_set_gamma(png, display, c->file_gamma);  // before libpng would unpack: packed rows as corvane's
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowbytes = png_get_rowbytes(png, info);
    c->rows.assign((rowbytes + 1) * c->height, '\0');  // each row after its filter byte
    for (png_uint_32 y = 0; y < c->height; ++y)
        c->row_pointers.push_back(reinterpret_cast<png_bytep>(&c->rows[y * (rowbytes + 1) + 1]));
    png_read_image(png, c->row_pointers.data());
    if (png_get_PLTE(png, info, &palette, &n))
        c->palette = Bytes(palette, size_t(n) * 3);
    png_bytep alphas = nullptr;
    png_color_16p colour = nullptr;
    if (png_get_tRNS(png, info, &alphas, &n, &colour))
        c->alphas = alphas ? Bytes(alphas, size_t(n)) : "", c->trns = *colour;
    if (png_get_bKGD(png, info, &colour))
        c->bkgd = *colour;
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    return true;
}

// The PNG and the options whose conversion without gamma must give the bytes
// of converting `file` with `args` (which hold "-gamma"); none when libpng
// rejects the image or the display gamma is the file's.
std::optional<std::pair<std::string, Args>> GammaReference(const std::string& file, Args args) {
    const auto at = std::find(args.begin(), args.end(), "-gamma");
    const double display = at + 1 < args.end() ? std::strtod(at[1].c_str(), nullptr) : 0;
    Corrected c;
    if (!(display > 0) || !DecodeCorrected(file, display, &c) || float(display) == float(c.file_gamma))
        return std::nullopt;
    args.erase(at, at + 2);
    // corvane's own correction of the colours it compares and mixes with:
    // its maxval, and no correction where libpng's threshold leaves the samples.
    corvane::maxval = corvane::significant_bits(c.type, c.depth, 2, nullptr, true).maxval;
    const double product = std::floor(std::floor(c.file_gamma * PNG_FP_1 + 0.5) *
                                      std::floor(display * PNG_FP_1 + 0.5) / PNG_FP_1 + 0.5);
    const float total = std::abs(product - PNG_FP_1) > PNG_GAMMA_THRESHOLD_FIXED
                            ? float(double(float(c.file_gamma)) * double(float(display))) : -1.0f;
    const auto correct = [&](unsigned v) { return corvane::gamma_correct(uint16_t(v), total); };
    const bool colour = c.type & PNG_COLOR_MASK_COLOR, palette = c.type == PNG_COLOR_TYPE_PALETTE;
    std::string chunks = c.palette.empty() ? "" : Chunk("PLTE", c.palette);
    if (c.trns)
        chunks += Chunk("tRNS", palette  ? c.alphas
                                : colour ? Be16(correct(c.trns->red)) + Be16(correct(c.trns->green)) +
                                               Be16(correct(c.trns->blue))
                                         : Be16(correct(c.trns->gray)));
    if (c.bkgd && std::find(args.begin(), args.end(), "-background") == args.end()) {
        unsigned rgb[3] = {c.bkgd->red, c.bkgd->green, c.bkgd->blue};
        for (int i = 0; i < 3; ++i)  // a palette's entry as the file has it, not libpng's correction
            rgb[i] = palette ? uint8_t(c.file_palette[c.bkgd->index * 3 + i]) : colour ? rgb[i] : c.bkgd->gray;
        // The corrected colour, exactly, as four hex digits a channel.
        char spec[32];
        const unsigned scale = 65535 / corvane::maxval;
        std::snprintf(spec, sizeof spec, "rgb:%04x/%04x/%04x", correct(rgb[0]) * scale,
                      correct(rgb[1]) * scale, correct(rgb[2]) * scale);
        args.insert(args.end(), {"-background", spec});
    }
    return std::pair{Png(c.width, c.height, c.depth, c.type, c.rows, chunks), args};
}

// One result line: corvane run with `args` on `png` as standard input, from
// and to pipes when `piped` (the executable), else from and to files.
std::string Result(const std::string& name, const Args& args, const std::string& png, bool piped) {
    const ChildResult r = piped ? RunPiped(CORVANE_EXE, args, png) : Corvane(args, png);
    std::string err = r.err;  // the same for every build and checkout with one libpng release
    for (const std::string what : {PNG_LIBPNG_VER_STRING, TARVEX_TEST_DATA_DIR})
        if (const size_t at = err.find(what); at != std::string::npos)
            err.replace(at, what.size(), "(here)");
    if (const size_t at = err.find("Compiled "); at != std::string::npos)
        err.replace(at + 9, err.find('\n', at) - at - 9, "(when, by whom)");
    std::ostringstream line;
    line << name;
    for (const std::string& arg : args)
        line << ' ' << arg;
    line << ": exit " << r.status << ", " << Header(r.out) << ", " << r.out.size() << " bytes ";
    const auto crc = [](const std::string& out) { return crc32(0, (const Bytef*)out.data(), uInt(out.size())); };
    if (const auto reference = r.status == 0 ? GammaReference(png, args) : std::nullopt) {
        const std::string want = Corvane(reference->second, reference->first).out;
        line << (r.out == want ? "as libpng corrects"s : "libpng's " + std::to_string(crc(want)));
    } else {
        line << std::hex << crc(r.out);
    }
    line << ", \"" << Escape(err) << '"';
    return line.str();
}

// The library's row path holds every image whole; the fast one streams the
// rows it can, to a file or, for every other option set, a pipe.
void ExpectGolden(corvane::RowPath path) {
    corvane::row_path = path;  // in the children run from here
    corvane::always_hold = path == corvane::RowPath::library;
    ::setenv("RGBDEF", TARVEX_TEST_DATA_DIR "/rgb.txt", 1);
    std::string got;
    for (const auto& [name, png] : Inputs())
        for (size_t i = 0; i < kOptionSets.size(); ++i)
            got += Result(name, kOptionSets[i], png, !corvane::always_hold && i % 2) + '\n';
    for (size_t i = 0; i < kCommandLines.size(); ++i)
        got += Result("rgba8-sbit5-time-text", kCommandLines[i], kRgba, !corvane::always_hold && i % 2) + '\n';
    corvane::row_path = corvane::RowPath::fast;
    corvane::always_hold = false;
    const std::string file = TARVEX_TEST_DATA_DIR "/corvane_golden.txt";
    if (std::getenv("TARVEX_REGENERATE") != nullptr && path == corvane::RowPath::fast)
        std::ofstream(file) << got;
    std::istringstream wanted(ReadFile(file)), results(got);
    int lines = 0, wrong = 0;
    for (std::string g, w; std::getline(results, g); ++lines)
        if (!std::getline(wanted, w) || (g != w && ++wrong <= 10))
            ADD_FAILURE() << "got:  " << g << "\nwant: " << w;
    EXPECT_EQ(wrong, 0) << "results that differ from " << file;
    EXPECT_GT(lines, 1400);
}

TEST(Golden, FastRowPath) { ExpectGolden(corvane::RowPath::fast); }
TEST(Golden, LibraryRowPath) { ExpectGolden(corvane::RowPath::library); }

}  // namespace
