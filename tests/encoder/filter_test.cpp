// SPDX-License-Identifier: MIT
// The per-row choice of filter: each kind of row gets the filter that
// flattens it, and comes back from it by a reconstruction from PNG's own
// definition. (Every filter at every pixel size is undone by libpng in the
// tests of bands and round trips.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The predictor of each filter type, as the PNG definition states it, with
// a the byte to the left, b the one above and c the one above-left.
int predict(int type, int a, int b, int c) {
    switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default: return 0;
    }
}

// Undoes filter `type` on `out`, byte by byte, as a decoder does.
Bytes unfilter(int type, const Bytes& out, const Bytes& up, size_t bpp) {
    Bytes raw(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        const int a = i >= bpp ? raw[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
        raw[i] = uint8_t(out[i] + predict(type, a, up[i], c));
    }
    return raw;
}

Bytes noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (auto& v : b)
        v = uint8_t((seed = seed * 1103515245u + 12345u) >> 23);
    return b;
}

// Rows whose best filter is plain: a ramp along the row (Sub, which Paeth
// ties with above a zero row), a row equal to the one above (Up), noise
// (none beats a row of its own values), and for entropy a row of two
// alternating values above the same row (Up makes it all zeros).
TEST(Filter, EachRowTakesTheFilterThatFlattensIt) {
    constexpr size_t kN = 64;
    struct Case {
        const char* what;
        belvane::Choice how;
        Bytes up, row;
        int want;
    };
    Bytes ramp(kN), flat(kN, 200), two(kN);
    for (size_t i = 0; i < kN; ++i) {
        ramp[i] = uint8_t(3 * i);
        two[i] = i % 2 ? 7 : 250;
    }
    const Case cases[] = {
        {"ramp by sums", belvane::Choice::sum, Bytes(kN, 0), ramp, 1},
        {"repeat by sums", belvane::Choice::sum, noise(kN, 5), noise(kN, 5), 2},
        {"ramp unfiltered", belvane::Choice::none, Bytes(kN, 0), ramp, 0},
        {"flat by sums", belvane::Choice::sum, Bytes(kN, 0), flat, 1},
        {"repeat by entropy", belvane::Choice::entropy, two, two, 2},
    };
    for (const Case& k : cases) {
        Bytes raw = k.up;
        raw.insert(raw.end(), k.row.begin(), k.row.end());
        Bytes out(kN + 1), scratch(2 * kN);
        belvane::filter_rows(raw.data(), 1, kN, 1, 1, k.how, out.data(), scratch.data());
        EXPECT_EQ(out[0], k.want) << k.what;
        EXPECT_EQ(unfilter(out[0], Bytes(out.begin() + 1, out.end()), k.up, 1), k.row) << k.what;
    }
}

}  // namespace
