// SPDX-License-Identifier: MIT
// Row writers on a stream to /dev/null: PBM, PGM and PPM, raw and plain, at
// maxval 255 and 65535, and the PNM writer's grey and bilevel rows, which
// are the converter's output path.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "pnm.h"

namespace {

constexpr int kCols = 4096;

FILE* DevNull() {
    static FILE* f = std::fopen("/dev/null", "wb");
    return f;
}

// Samples spread over 0..maxval, so plain rows have numbers of every length.
std::vector<rgbpixel> Pixels(sampleval maxval) {
    std::vector<rgbpixel> row(kCols);
    uint32_t x = 12345;
    for (auto& p : row) {
        x = x * 1103515245u + 12345u;
        p = {(x >> 8) % (maxval + 1), (x >> 12) % (maxval + 1), (x >> 16) % (maxval + 1)};
    }
    return row;
}

void BM_PbmRow(benchmark::State& state) {
    const int plain = static_cast<int>(state.range(0));
    std::vector<pbmbit> row(kCols);
    for (int i = 0; i < kCols; ++i)
        row[i] = (i * 7 / 3) % 2;
    for (auto _ : state)
        pbm_writepbmrow(DevNull(), row.data(), kCols, plain);
    state.SetItemsProcessed(state.iterations() * kCols);
}
BENCHMARK(BM_PbmRow)->ArgName("plain")->Arg(0)->Arg(1);

void BM_PgmRow(benchmark::State& state) {
    const sampleval maxval = static_cast<sampleval>(state.range(0));
    const int plain = static_cast<int>(state.range(1));
    std::vector<sampleval> row;
    for (const rgbpixel& p : Pixels(maxval))
        row.push_back(p.g);
    for (auto _ : state)
        pgm_writepgmrow(DevNull(), row.data(), kCols, maxval, plain);
    state.SetItemsProcessed(state.iterations() * kCols);
}
BENCHMARK(BM_PgmRow)->ArgNames({"maxval", "plain"})->ArgsProduct({{255, 65535}, {0, 1}});

void BM_PpmRow(benchmark::State& state) {
    const sampleval maxval = static_cast<sampleval>(state.range(0));
    const int plain = static_cast<int>(state.range(1));
    const std::vector<rgbpixel> row = Pixels(maxval);
    for (auto _ : state)
        ppm_writeppmrow(DevNull(), row.data(), kCols, maxval, plain);
    state.SetItemsProcessed(state.iterations() * kCols);
}
BENCHMARK(BM_PpmRow)->ArgNames({"maxval", "plain"})->ArgsProduct({{255, 65535}, {0, 1}});

void BM_PnmRow(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    const sampleval maxval = static_cast<sampleval>(state.range(1));
    const std::vector<rgbpixel> row = Pixels(maxval);
    for (auto _ : state)
        pnm_writepnmrow(DevNull(), row.data(), kCols, maxval, format, 0);
    state.SetItemsProcessed(state.iterations() * kCols);
}
BENCHMARK(BM_PnmRow)
    ->ArgNames({"format", "maxval"})
    ->Args({PBM_RAW_CODE, 1})
    ->Args({PGM_RAW_CODE, 255})
    ->Args({PGM_RAW_CODE, 65535})
    ->Args({PPM_RAW_CODE, 255});

}  // namespace
