// SPDX-License-Identifier: MIT
// Throughput of the raw PPM and PGM row readers on a 24-megapixel image
// (6000 x 4000), written to a temporary file that the page cache then holds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "pnm.h"

namespace {

constexpr int kCols = 6000;
constexpr int kRows = 4000;

// A raw image with a short header and a raster of varying bytes.
FILE* makeImage(char kind, int bytesPerPixel, int maxval) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        return nullptr;
    std::fprintf(f, "P%c\n%d %d\n%d\n", kind, kCols, kRows, maxval);
    std::vector<unsigned char> row(static_cast<size_t>(kCols) * bytesPerPixel);
    for (int r = 0; r < kRows; ++r) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 7 + r);
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fflush(f);
    return f;
}

template <typename Pixel, typename ReadRow>
void readAll(benchmark::State& state, FILE* f, int bytesPerPixel,
             ReadRow readRow) {
    if (f == nullptr) {
        state.SkipWithError("no temporary file");
        return;
    }
    std::vector<Pixel> row(kCols);
    for (auto _ : state) {
        std::rewind(f);
        int cols, rows, format;
        sampleval maxval;
        ppm_readppminit(f, &cols, &rows, &maxval, &format);
        for (int r = 0; r < rows; ++r)
            readRow(f, row.data(), cols, maxval, format);
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * kCols * kRows);
    state.SetBytesProcessed(state.iterations() * kCols * kRows *
                            static_cast<int64_t>(bytesPerPixel));
}

void BM_ReadRawPpm8(benchmark::State& state) {
    static FILE* f = makeImage('6', 3, 255);
    readAll<rgbpixel>(state, f, 3, ppm_readppmrow);
}
BENCHMARK(BM_ReadRawPpm8)->Unit(benchmark::kMillisecond);

void BM_ReadRawPpm16(benchmark::State& state) {
    static FILE* f = makeImage('6', 6, 65535);
    readAll<rgbpixel>(state, f, 6, ppm_readppmrow);
}
BENCHMARK(BM_ReadRawPpm16)->Unit(benchmark::kMillisecond);

void BM_ReadRawPgm8(benchmark::State& state) {
    static FILE* f = makeImage('5', 1, 255);
    readAll<sampleval>(state, f, 1, pgm_readpgmrow);
}
BENCHMARK(BM_ReadRawPgm8)->Unit(benchmark::kMillisecond);

void BM_ReadRawPgmAsPpm(benchmark::State& state) {
    static FILE* f = makeImage('5', 1, 255);
    readAll<rgbpixel>(state, f, 1, ppm_readppmrow);
}
BENCHMARK(BM_ReadRawPgmAsPpm)->Unit(benchmark::kMillisecond);

}  // namespace
