// SPDX-License-Identifier: MIT
// What both programs know of PNG: its colour types, their samples and names,
// the bit sense of bilevel rows, and the layout of the text file that one
// writes and the other reads. Internal to the family's programs; not part of
// the library's interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex::png {

/// The colour types of IHDR.
enum : int { kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgbAlpha = 6 };

/// Samples per pixel: a palette pixel is one index.
constexpr int channels(int colorType) {
    switch (colorType) {
    case kRgb: return 3;
    case kGrayAlpha: return 2;
    case kRgbAlpha: return 4;
    default: return 1;
    }
}

/// Colour samples of a pixel, as sBIT, bKGD and a tRNS key hold them: three
/// for the types with colour (a palette's entries are RGB), one for gray.
constexpr int color_channels(int colorType) {
    return colorType == kRgb || colorType == kPalette || colorType == kRgbAlpha ? 3 : 1;
}

constexpr bool has_alpha(int colorType) {
    return colorType == kGrayAlpha || colorType == kRgbAlpha;
}

/// The colour of a type in messages, without its alpha.
constexpr const char* color_name(int colorType) {
    switch (colorType) {
    case kGray:
    case kGrayAlpha: return "gray";
    case kPalette: return "palette";
    default: return "truecolor";
    }
}

/// The whole name of a type in messages: "gray+alpha" and the like.
constexpr const char* type_name(int colorType) {
    switch (colorType) {
    case kGrayAlpha: return "gray+alpha";
    case kRgbAlpha: return "truecolor+alpha";
    default: return color_name(colorType);
    }
}

/// A bilevel row from one sense to the other: PNG's 1-bit gray stores 1 for
/// white, PBM 1 for black. The padding bits of the last byte come out 0.
/// `in` may be `out`. Returns the bytes of the row.
inline size_t flip_bits(const uint8_t* in, uint8_t* out, uint32_t cols) {
    const size_t n = (size_t(cols) + 7) / 8;
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(~in[i]);
    if (cols % 8 != 0)
        out[n - 1] &= uint8_t(0xff << (8 - cols % 8));
    return n;
}

/// The text file: each chunk's keyword filled with blanks to
/// kKeywordColumns (in quotes, which count, when it holds a blank), one
/// blank and the text; each further line of a text indented by kTextIndent
/// blanks.
constexpr int kKeywordColumns = 15;
constexpr int kTextIndent = kKeywordColumns + 1;

}  // namespace tarvex::png
