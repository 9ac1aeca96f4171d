// SPDX-License-Identifier: MIT
// PNG's four predictors over whole rows, and the per-row choice among them.
#include "filter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace belvane {

namespace {

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The row loops are built twice, for AVX2 and for the baseline; the loader
// picks the one the processor runs.
#define TARVEX_WIDE_VECTORS [[gnu::target_clones("avx2", "default")]]

TARVEX_WIDE_VECTORS uint64_t sumCost(const uint8_t* p, size_t n, size_t step) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; i += step)
        sum += uint64_t(std::abs(int(int8_t(p[i]))));
    return sum;
}

// The bits of `n` bytes coded by their own histogram, in 1/16 bits. Finds
// the rows of drawings where few values repeat, which sums misjudge.
uint64_t entropyCost(const uint8_t* p, size_t n) {
    uint32_t count[256] = {};
    for (size_t i = 0; i < n; ++i)
        ++count[p[i]];
    double bits = 0;
    for (const uint32_t c : count)
        if (c != 0)
            bits += double(c) * std::log2(double(n) / double(c));
    return uint64_t(bits * 16);
}

uint64_t cost(Choice how, const uint8_t* p, size_t n, size_t step) {
    return how == Choice::entropy ? entropyCost(p, n) : sumCost(p, n, step);
}

}  // namespace

// The first `bpp` bytes have no left neighbour (nor an upper-left one),
// which counts as 0.
TARVEX_WIDE_VECTORS void filter_row(int type, const uint8_t* raw, const uint8_t* up, size_t n,
                                    size_t bpp, uint8_t* out) {
    const size_t head = std::min(n, bpp);
    switch (type) {
    case 0:
        std::memcpy(out, raw, n);
        break;
    case 1:
        std::memcpy(out, raw, head);
        for (size_t i = head; i < n; ++i)
            out[i] = uint8_t(raw[i] - raw[i - bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i)
            out[i] = uint8_t(raw[i] - up[i]);
        break;
    case 3:
        for (size_t i = 0; i < head; ++i)
            out[i] = uint8_t(raw[i] - up[i] / 2);
        for (size_t i = head; i < n; ++i)
            out[i] = uint8_t(raw[i] - (raw[i - bpp] + up[i]) / 2);
        break;
    default:
        for (size_t i = 0; i < head; ++i)
            out[i] = uint8_t(raw[i] - up[i]);
        for (size_t i = head; i < n; ++i)
            out[i] = uint8_t(raw[i] - paeth(raw[i - bpp], up[i], up[i - bpp]));
    }
}

void filter_rows(const uint8_t* raw, int rows, size_t n, size_t bpp, size_t step,
                 Choice how, uint8_t* out, uint8_t* scratch) {
    for (int y = 0; y < rows; ++y, out += n + 1) {
        const uint8_t* up = raw + size_t(y) * n;
        const uint8_t* row = up + n;
        out[0] = 0;
        if (how == Choice::none) {
            std::memcpy(out + 1, row, n);
            continue;
        }
        if (how >= Choice::sub) {
            out[0] = uint8_t(int(how) - int(Choice::sub) + 1);
            filter_row(out[0], row, up, n, bpp, out + 1);
            continue;
        }
        // Each trial goes to the free one of two rows; the best so far is
        // the other one, or the row itself while no filter beats it.
        uint8_t* trial = scratch;
        uint8_t* best = scratch + n;
        uint64_t least = cost(how, row, n, step);
        for (int t = 1; t <= 4; ++t) {
            filter_row(t, row, up, n, bpp, trial);
            if (const uint64_t c = cost(how, trial, n, step); c < least) {
                least = c;
                out[0] = uint8_t(t);
                std::swap(trial, best);
            }
        }
        std::memcpy(out + 1, out[0] == 0 ? row : best, n);
    }
}

}  // namespace belvane
