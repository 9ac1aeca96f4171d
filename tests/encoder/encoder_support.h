// SPDX-License-Identifier: MIT
// What the encoder's tests share: running belvane, corvane and pngcheck,
// and raw portable maps made sample by sample.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/support.h"

namespace encoder_test {

inline tarvex_test::ChildResult Exec(const char* exe, std::vector<std::string> args,
                                     const std::string& in = "") {
    args.insert(args.begin(), exe);
    return tarvex_test::RunMain(nullptr, args, in);
}

// Empty when pngcheck finds nothing at all to say about the PNG.
inline std::string Pngcheck(const std::string& png) {
    const auto r = Exec(PNGCHECK_EXE, {tarvex_test::TempFile(png)});
    const bool ok = r.status == 0 && r.out.starts_with("OK:") && r.out.find('\n') == r.out.size() - 1;
    return ok ? "" : r.out + r.err;
}

// A raw PGM or PPM: `channels` samples a pixel, each f(x, y, channel).
inline std::string Raw(char magic, int cols, int rows, unsigned maxval, int channels,
                       const std::function<unsigned(int, int, int)>& f) {
    std::string s = "P" + std::string(1, magic) + "\n" + std::to_string(cols) + " " +
                    std::to_string(rows) + "\n" + std::to_string(maxval) + "\n";
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < channels; ++c) {
                const unsigned v = f(x, y, c);
                if (maxval > 255)
                    s += char(v >> 8);
                s += char(v);
            }
    return s;
}

}  // namespace encoder_test
