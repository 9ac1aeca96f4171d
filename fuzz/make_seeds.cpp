// Makes the committed seed corpora of the fuzz targets: small PNGs of every
// colour type and depth with the chunks the converter reads, portable maps
// in every format written by the library, colour texts and a dictionary.
// Usage: make_seeds DIR (writes DIR/<target>/<name>).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pnm.h"
#include "support/png_builder.h"

namespace {

namespace fs = std::filesystem;
using tarvex_test::PngBuilder;
using tarvex_test::Place;

fs::path root;

void Put(const std::string& target, const std::string& name,
         const std::string& data) {
    fs::create_directories(root / target);
    std::ofstream(root / target / name, std::ios::binary) << data;
}

// Samples 0, 1, 2, ... of the image's scale, enough for w x h pixels.
std::vector<uint16_t> Ramp(size_t count, unsigned maxval) {
    std::vector<uint16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<uint16_t>((i * 37) % (maxval + 1));
    return s;
}

void PngSeeds() {
    struct Kind { int type, depth, channels; };
    const Kind kinds[] = {{0, 1, 1}, {0, 2, 1}, {0, 4, 1}, {0, 8, 1}, {0, 16, 1},
                          {2, 8, 3}, {2, 16, 3}, {3, 1, 1}, {3, 4, 1}, {3, 8, 1},
                          {4, 8, 2}, {4, 16, 2}, {6, 8, 4}, {6, 16, 4}};
    int n = 0;
    for (const Kind& k : kinds) {
        const unsigned maxval = (1u << k.depth) - 1;
        PngBuilder b(5, 3, k.type, k.depth);
        b.Samples(Ramp(15 * k.channels, k.type == 3 ? 3 : maxval));
        if (k.type == 3) {
            std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0},
                                              {9, 9, 9}, {0, 0, 255}};
            palette.resize(std::min<size_t>(palette.size(), 1u << k.depth));
            b.Palette(palette);
            b.PaletteAlpha({0, 128, 255});
            b.Background(1, 0, 0, 0, 0);
        } else {
            b.Background(0, 1, 2, 3, 1);
            if (!(k.type & 4))
                b.TransparentColor(1, 2, 3, 1);
        }
        if (k.depth == 8)
            b.SignificantBits(5, 6, 5, 5, 4);
        b.Gamma(0.45).PixelsPerUnit(2, 1).Text("Title", "a\nb")
            .Text("Creation Time", "z", PNG_TEXT_COMPRESSION_zTXt)
            .Time(2004, 3, 2, 14, 5, 9, Place::after_image);
        if (n % 2)
            b.Interlaced();
        const std::string options(1, static_cast<char>(n * 37));
        Put("convert", "png" + std::to_string(n++),
            options + std::string(1, static_cast<char>(n)) + b.Build());
    }
}

// One image of each format, written with the library's own writers.
void PnmSeeds() {
    const int cols = 11, rows = 3;
    std::vector<rgbpixel> row(cols);
    for (int c = 0; c < cols; ++c)
        row[c] = {sampleval(c * 20), sampleval(c), sampleval(c % 2)};
    const int formats[] = {PBM_PLAIN_CODE, PGM_PLAIN_CODE, PPM_PLAIN_CODE};
    int n = 0;
    for (int format : formats)
        for (int plain = 0; plain < 2; ++plain)
            for (sampleval maxval : {sampleval(255), sampleval(300)}) {
                FILE* f = std::tmpfile();
                pnm_writepnminit(f, cols, rows, maxval, format, plain);
                for (int r = 0; r < rows; ++r)
                    pnm_writepnmrow(f, row.data(), cols, maxval, format, plain);
                std::string data(static_cast<size_t>(std::ftell(f)), '\0');
                std::rewind(f);
                if (std::fread(data.data(), 1, data.size(), f) != data.size())
                    std::abort();
                std::fclose(f);
                const char mode = static_cast<char>(n * 5);
                Put("pnm_read", "pnm" + std::to_string(n), mode + data);
                Put("mapfile", "map" + std::to_string(n++), "\x03" + data);
            }
}

void TextSeeds() {
    const char* specs[] = {"rgb:ff/00/80", "rgb:f/ff/fff", "rgbi:1/0.5/0",
                           "#f00", "#ffff00000000", "0.5,0.5,0.5", ".5,1,0",
                           "red", "Dark Green", "-1,0,0"};
    int n = 0;
    for (const char* s : specs)
        Put("parsecolor", "colour" + std::to_string(n++), std::string("\x00\xff", 2) + s);
    Put("colordict", "rgb", "! comment\n255 250 250\t\tsnow\n"
                            "47 79 79\t\tdark slate gray\n47 79 79 DarkSlateGray\n"
                            "\n# more\n1 2\n0 0 0 black\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    root = argv[1];
    PngSeeds();
    PnmSeeds();
    TextSeeds();
    return 0;
}
