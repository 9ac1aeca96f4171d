// SPDX-License-Identifier: MIT
// The per-row choice of filter: each kind of row gets the filter that
// flattens it, and is flattened exactly. (Every filter at every pixel size
// is undone by libpng in the tests of bands and round trips.)
#include <gtest/gtest.h>

#include <vector>

#include "filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

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
        Bytes filtered;
    };
    Bytes ramp(kN), flat(kN, 200), two(kN);
    for (size_t i = 0; i < kN; ++i) {
        ramp[i] = uint8_t(3 * i);
        two[i] = i % 2 ? 7 : 250;
    }
    const auto steps = [](uint8_t first, uint8_t rest) { Bytes b(kN, rest); b[0] = first; return b; };
    const Case cases[] = {
        {"ramp by sums", belvane::Choice::sum, Bytes(kN, 0), ramp, 1, steps(0, 3)},
        {"repeat by sums", belvane::Choice::sum, noise(kN, 5), noise(kN, 5), 2, Bytes(kN, 0)},
        {"ramp unfiltered", belvane::Choice::none, Bytes(kN, 0), ramp, 0, ramp},
        {"flat by sums", belvane::Choice::sum, Bytes(kN, 0), flat, 1, steps(200, 0)},
        {"repeat by entropy", belvane::Choice::entropy, two, two, 2, Bytes(kN, 0)},
    };
    for (const Case& k : cases) {
        Bytes raw = k.up;
        raw.insert(raw.end(), k.row.begin(), k.row.end());
        Bytes out(kN + 1), scratch(2 * kN);
        belvane::filter_rows(raw.data(), 1, kN, 1, 1, k.how, out.data(), scratch.data());
        EXPECT_EQ(out[0], k.want) << k.what;
        EXPECT_EQ(Bytes(out.begin() + 1, out.end()), k.filtered) << k.what;
    }
}

}  // namespace
