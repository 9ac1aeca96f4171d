// SPDX-License-Identifier: MIT
// Makes the committed seed corpora of the fuzz targets: PNGs of the
// conformance suite (every colour type and depth, the chunks the converter
// reads), portable maps of every format written by the library, colour
// texts and a dictionary. Usage: make_seeds DIR (writes DIR/<target>/<name>).
#include <filesystem>
#include <fstream>

#include "pnm.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
fs::path root;

void Put(const std::string& target, const std::string& name, const std::string& data) {
    fs::create_directories(root / target);
    std::ofstream(root / target / name, std::ios::binary) << data;
}

// Two option bytes that vary from seed to seed, then the PNG.
void PngSeeds() {
    int n = 0;
    for (const char* name : {"basn0g01", "basn0g02", "basn0g04", "basn0g08", "basn0g16", "basn2c08",
                             "basn2c16", "basn3p01", "basn3p04", "basn3p08", "basn4a08", "basn4a16",
                             "basn6a08", "basn6a16", "basi0g04", "basi3p02", "basi6a16", "bgai4a08",
                             "tbbn3p08", "tbrn2c08", "cs5n3p08", "ct1n0g04", "ctzn0g04", "cm0n0g04",
                             "cdfn2c08", "g25n2c08"}) {
        const std::string png = tarvex_test::ReadFile(TARVEX_PNGSUITE_DIR "/" + std::string(name) + ".png");
        Put("convert", "png" + std::to_string(n), std::string{char(n * 37), char(n + 1)} + png);
        ++n;
    }
}

// One image of each format, written with the library's own writers after
// the mode byte of the reader target, the limit byte of the map-file target
// or the option byte of the encoder target.
void PnmSeeds() {
    const int cols = 11, rows = 3;
    rgbpixel row[cols];
    for (int c = 0; c < cols; ++c)
        row[c] = {sampleval(c * 20), sampleval(c), sampleval(c % 2)};
    int n = 0;
    for (int format : {PBM_PLAIN_CODE, PGM_PLAIN_CODE, PPM_PLAIN_CODE})
        for (int plain = 0; plain < 2; ++plain)
            for (sampleval maxval : {255u, 300u}) {
                for (const auto& [target, name, first] :
                     {std::tuple{"pnm_read", "pnm", n * 5}, {"mapfile", "map", 3},
                      {"belvane", "pnm", n * 37}}) {
                    Put(target, name + std::to_string(n), std::string(1, char(first)));
                    FILE* f = std::fopen((root / target / (name + std::to_string(n))).c_str(), "ab");
                    pnm_writepnminit(f, cols, rows, maxval, format, plain);
                    for (int r = 0; r < rows; ++r)
                        pnm_writepnmrow(f, row, cols, maxval, format, plain);
                    std::fclose(f);
                }
                ++n;
            }
}

void TextSeeds() {
    int n = 0;
    for (const char* s : {"rgb:ff/00/80", "rgb:f/ff/fff", "rgbi:1/0.5/0", "#f00", "#ffff00000000",
                          "0.5,0.5,0.5", ".5,1,0", "red", "Dark Green", "-1,0,0"})
        Put("parsecolor", "colour" + std::to_string(n++), std::string("\x00\xff", 2) + s);
    Put("colordict", "rgb", "! comment\n255 250 250\t\tsnow\n47 79 79\t\tdark slate gray\n"
                            "47 79 79 DarkSlateGray\n\n# more\n1 2\n0 0 0 black\n");
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
