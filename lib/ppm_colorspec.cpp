// SPDX-License-Identifier: MIT
// Colour specifications: the X11 hexadecimal ("rgb:") and intensity ("rgbi:")
// forms, the "#" forms, fraction triples and dictionary names.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "ppm.h"

namespace {

// Table value of every character that is not a hex digit. Large enough that
// a component holding one always scales beyond any maxval and is rejected.
constexpr int32_t kInvalidDigit = 1234567890;

void computeHexTable(int32_t table[256]) {
    for (int i = 0; i < 256; ++i)
        table[i] = kInvalidDigit;
    for (int i = 0; i < 10; ++i)
        table['0' + i] = i;
    for (int i = 0; i < 6; ++i) {
        table['a' + i] = 10 + i;
        table['A' + i] = 10 + i;
    }
}

[[noreturn]] void invalidSpecifier(const char* colorname) {
    pm_error("invalid color specifier - \"%s\"", colorname);
}

void checkRange(const char* colorname, int32_t maxval, int32_t r, int32_t g,
                int32_t b) {
    for (int32_t v : {r, g, b})
        if (v < 0 || v > maxval)
            invalidSpecifier(colorname);
}

// Accumulates the hex digits of one "rgb:" component (wrapping modulo 2^32,
// as unsigned arithmetic) and scales it. Every component but the last must
// end in "/"; the end of the text there makes the colour text invalid.
const char* hexComponent(const char* p, bool last, const int32_t* table,
                         int32_t maxval, const char* colorname,
                         int32_t* valueP) {
    uint32_t value = 0;
    unsigned int count = 0;
    for (; *p != '\0' && (last || *p != '/'); ++p, ++count)
        value = value * 16 +
                static_cast<uint32_t>(table[static_cast<unsigned char>(*p)]);
    if (!last && *p != '/')
        invalidSpecifier(colorname);
    *valueP = pm_rgbnorm(static_cast<int32_t>(value), maxval, count, colorname);
    return last ? p : p + 1;
}

void parseNewHexX11(const char* colorname, int32_t maxval, int32_t* rP,
                    int32_t* gP, int32_t* bP) {
    int32_t table[256];
    computeHexTable(table);
    const char* p = colorname + std::strlen("rgb:");
    p = hexComponent(p, false, table, maxval, colorname, rP);
    p = hexComponent(p, false, table, maxval, colorname, gP);
    hexComponent(p, true, table, maxval, colorname, bP);
    checkRange(colorname, maxval, *rP, *gP, *bP);
}

void parseOldX11(const char* colorname, int32_t maxval, int32_t* rP,
                 int32_t* gP, int32_t* bP) {
    int32_t table[256];
    computeHexTable(table);
    const size_t count = std::strlen(colorname) - 1;
    if (count != 3 && count != 6 && count != 9 && count != 12)
        invalidSpecifier(colorname);
    const unsigned int digits = static_cast<unsigned int>(count / 3);
    const unsigned char* p =
        reinterpret_cast<const unsigned char*>(colorname) + 1;
    int32_t* outs[3] = {rP, gP, bP};
    for (int32_t* out : outs) {
        uint32_t value = 0;
        for (unsigned int i = 0; i < digits; ++i)
            value = value * 16 + static_cast<uint32_t>(table[*p++]);
        *out = pm_rgbnorm(static_cast<int32_t>(value), maxval, digits,
                          colorname);
    }
    checkRange(colorname, maxval, *rP, *gP, *bP);
}

// Checks three scanned fractions and scales them to maxval in single
// precision, truncating. NaN fails the range test like any value outside it.
void scaleFractions(const char* colorname, int scanned, const float (&f)[3],
                    int32_t maxval, int32_t* rP, int32_t* gP, int32_t* bP) {
    if (scanned != 3)
        invalidSpecifier(colorname);
    for (float v : f)
        if (!(v >= 0.0f && v <= 1.0f))
            pm_error("invalid color specifier - \"%s\" - values must be "
                     "between 0.0 and 1.0",
                     colorname);
    const float m = static_cast<float>(maxval);
    *rP = static_cast<int32_t>(m * f[0]);
    *gP = static_cast<int32_t>(m * f[1]);
    *bP = static_cast<int32_t>(m * f[2]);
}

void parseNewDecX11(const char* colorname, int32_t maxval, int32_t* rP,
                    int32_t* gP, int32_t* bP) {
    float f[3];
    const int n = std::sscanf(colorname, "rgbi:%f/%f/%f", &f[0], &f[1], &f[2]);
    scaleFractions(colorname, n, f, maxval, rP, gP, bP);
}

void parseOldX11Dec(const char* colorname, int32_t maxval, int32_t* rP,
                    int32_t* gP, int32_t* bP) {
    float f[3];
    const int n = std::sscanf(colorname, "%f,%f,%f", &f[0], &f[1], &f[2]);
    scaleFractions(colorname, n, f, maxval, rP, gP, bP);
}

int64_t nonnegative(int64_t x) { return x < 0 ? 0 : x; }

// Truncates toward zero and keeps the low 32 bits: a negative result is
// stored modulo 2^32. The inputs bound |x| far below 2^63.
sampleval wrapToSample(double x) {
    return static_cast<sampleval>(static_cast<int64_t>(x));
}

}  // namespace

rgbpixel ppm_parsecolor(const char* colorname, sampleval maxval) {
    const int32_t m = static_cast<int32_t>(maxval);
    int32_t r, g, b;
    if (std::strncmp(colorname, "rgb:", 4) == 0) {
        parseNewHexX11(colorname, m, &r, &g, &b);
    } else if (std::strncmp(colorname, "rgbi:", 5) == 0) {
        parseNewDecX11(colorname, m, &r, &g, &b);
    } else if (colorname[0] == '#') {
        parseOldX11(colorname, m, &r, &g, &b);
    } else if ((colorname[0] >= '0' && colorname[0] <= '9') ||
               colorname[0] == '.') {
        parseOldX11Dec(colorname, m, &r, &g, &b);
    } else {
        pm_parse_dictionary_name(colorname, maxval, &r, &g, &b);
        // The dictionary's values are unchecked; a colour outside 0..maxval
        // would corrupt every pixel it is written into.
        checkRange(colorname, m, r, g, b);
    }
    return rgbpixel{static_cast<sampleval>(r), static_cast<sampleval>(g),
                    static_cast<sampleval>(b)};
}

int32_t pm_rgbnorm(int32_t rgb, int32_t maxval, unsigned int hexDigitCount,
                   const char* colorname) {
    double divisor;
    switch (hexDigitCount) {
    case 1: divisor = 15; break;
    case 2: divisor = 255; break;
    case 3: divisor = 4095; break;
    case 4: divisor = 65535; break;
    default: invalidSpecifier(colorname);
    }
    const double v = static_cast<double>(rgb) * maxval / divisor + 0.5;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

rgbpixel color_from_ycbcr(uint32_t y, int32_t cb, int32_t cr) {
    const double yd = y;
    const double red = yd + 1.4022 * cr;
    const double green = yd - 0.7145 * cr - 0.3456 * cb;
    const double blue = yd + 1.771 * cb;
    return rgbpixel{wrapToSample(red),
                    static_cast<sampleval>(
                        nonnegative(static_cast<int64_t>(green))),
                    wrapToSample(blue)};
}
