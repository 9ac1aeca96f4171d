// Runs the conversion driver in a child process on a PNG given as bytes, with
// chosen options, and reads back the portable map it writes.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "corvane.h"
#include "rows.h"
#include "support/child.h"
#include "support/png_builder.h"

namespace corvane_test {

struct Options {
    int alpha = 0;  ///< 0, or 1 for -alpha, 2 for -mix
    const char* background = nullptr;
    float gamma = -1.0f;
    int verbose = 0, mtime = 0, plain = 0;
    std::string text_file{};
    corvane::RowPath path = corvane::RowPath::fast;
};

inline tarvex_test::ChildResult Convert(const std::string& png, const Options& o = {}) {
    return tarvex_test::RunChild(
        [&] {
            pm_init("corvane");
            pm_setMessage(1, nullptr);
            pm_plain_output = o.plain;
            corvane::alpha = o.alpha;
            corvane::verbose = o.verbose;
            corvane::background = o.background != nullptr ? 1 : -1;
            corvane::backstring = o.background;
            corvane::displaygamma = o.gamma;
            corvane::mtime = o.mtime;
            corvane::text = o.text_file.empty() ? 0 : 1;
            corvane::row_path = o.path;
            FILE* tfp = o.text_file.empty() ? nullptr : std::fopen(o.text_file.c_str(), "wb");
            int status = -1;
            corvane::convertpng(stdin, tfp, &status);
            if (tfp != nullptr)
                std::fclose(tfp);
        },
        png);
}

/// A raw portable map read back: magic, size, maxval (1 for PBM) and every
/// sample in order (PBM: 1 for black); `ok` when the raster is complete.
struct Pnm {
    std::string magic;
    unsigned width = 0, height = 0, maxval = 0;
    std::vector<unsigned> samples;
    bool ok = false;
};

inline Pnm ParsePnm(const std::string& s) {
    Pnm p;
    size_t pos = 2;
    auto number = [&] {
        unsigned v = 0;
        while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos])))
            ++pos;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])))
            v = v * 10 + unsigned(s[pos++] - '0');
        return v;
    };
    if (s.size() < 2)
        return p;
    p.magic = s.substr(0, 2);
    p.width = number();
    p.height = number();
    const bool bits = s[1] == '4';
    p.maxval = bits ? 1 : number();
    ++pos;  // the single white-space character before a raw raster
    const size_t count = size_t(p.width) * p.height * (s[1] == '6' ? 3 : 1);
    const size_t bytes = p.maxval > 255 ? 2 : 1, rowbytes = (p.width + 7) / 8;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = bits ? pos + i / p.width * rowbytes + i % p.width / 8 : pos + i * bytes;
        if (at + (bits ? 1 : bytes) > s.size())
            return p;
        const unsigned v = static_cast<unsigned char>(s[at]);
        p.samples.push_back(bits ? v >> (7 - i % p.width % 8) & 1
                                 : bytes == 2 ? v << 8 | static_cast<unsigned char>(s[at + 1]) : v);
    }
    p.ok = true;
    return p;
}

}  // namespace corvane_test
