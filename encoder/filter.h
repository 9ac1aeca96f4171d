// SPDX-License-Identifier: MIT
// PNG's row filters, and the choice of one per row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace belvane {

/// Filters `n` bytes of `raw` with filter `type` (0 to 4) into `out`, with
/// `up` the row above and `bpp` bytes to the left neighbour.
void filter_row(int type, const uint8_t* raw, const uint8_t* up, size_t n, size_t bpp,
                uint8_t* out);

/// How each row's filter is chosen.
enum class Choice {
    none,     ///< every row unfiltered
    sum,      ///< the smallest sum of the filtered bytes taken as signed
    entropy,  ///< the fewest bits for the filtered bytes' own histogram
    sub,      ///< every row by the one filter: Sub,
    up,       ///< Up,
    average,  ///< Average,
    paeth,    ///< or Paeth
};

/// Filters `rows` rows of `n` bytes that follow the row above them in `raw`
/// into `out`, each preceded by its filter type, chosen by `how` (sums count
/// every `step`th byte). `scratch` holds two rows.
void filter_rows(const uint8_t* raw, int rows, size_t n, size_t bpp, size_t step,
                 Choice how, uint8_t* out, uint8_t* scratch);

}  // namespace belvane
