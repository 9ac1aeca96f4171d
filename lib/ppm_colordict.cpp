// SPDX-License-Identifier: MIT
// The rgb.txt colour-name dictionary: finding and opening it, reading its
// entries, looking a name up and naming the dictionary colour nearest a pixel.
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "pm_internal.h"
#include "ppm.h"

const char* pm_colorname_paths[4] = {
    "/usr/lib/X11/rgb.txt",
    "/usr/openwin/lib/rgb.txt",
    "/usr/X11R6/lib/X11/rgb.txt",
    // Where current distributions install the X Window System's rgb.txt.
    "/usr/share/X11/rgb.txt",
};

namespace {

constexpr const char* kRgbEnv = "RGBDEF";
constexpr int kBufferSize = 200;
constexpr int32_t kNoMatchDistance = 32767;

// Reads since the dictionary was last opened; only the parse message uses it.
int lineNo = 0;

int32_t saturate(int64_t v) {
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// value * mul / div truncated toward zero. Done in 64 bits: dictionary
// values are unchecked, so the product may not fit 32 bits.
int32_t scale(int64_t value, int64_t mul, int64_t div) {
    return saturate(value * mul / div);
}

FILE* openDefault(int mustOpen) {
    const char* envPath = std::getenv(kRgbEnv);
    if (envPath != nullptr) {
        FILE* f = std::fopen(envPath, "r");
        if (f == nullptr && mustOpen)
            pm_error("Can't open the color names dictionary file named %s, "
                     "per the %s environment variable.  errno = %d (%s)",
                     envPath, kRgbEnv, errno, std::strerror(errno));
        return f;
    }
    for (const char* path : pm_colorname_paths) {
        if (FILE* f = std::fopen(path, "r"))
            return f;
    }
    if (mustOpen) {
        pm_error("can't open color names dictionary file named %s, %s, %s, "
                 "or %s and Environment variable %s not set.  Set %s to the "
                 "pathname of your rgb.txt file or don't use color names.",
                 pm_colorname_paths[0], pm_colorname_paths[1],
                 pm_colorname_paths[2], pm_colorname_paths[3], kRgbEnv,
                 kRgbEnv);
    }
    return nullptr;
}

int32_t absDiff(int64_t a, int64_t b) {
    return saturate(a > b ? a - b : b - a);
}

}  // namespace

FILE* pm_openColornameFile(const char* fileName, int mustOpen) {
    lineNo = 0;
    if (fileName == nullptr)
        return openDefault(mustOpen);
    FILE* f = std::fopen(fileName, "r");
    if (f == nullptr && mustOpen)
        pm_error("Can't open the color names dictionary file '%s'.  "
                 "errno = %d (%s)",
                 fileName, errno, std::strerror(errno));
    return f;
}

colorfileentry pm_colorget(FILE* f) {
    static char colorname[kBufferSize];
    char buf[kBufferSize];
    colorfileentry entry = {0, 0, 0, nullptr};
    for (;;) {
        ++lineNo;
        if (std::fgets(buf, sizeof buf, f) == nullptr)
            return entry;
        if (buf[0] == '#' || buf[0] == '!' || buf[0] == '\n' || buf[0] == '\0')
            continue;
        long r, g, b;
        if (std::sscanf(buf, "%ld %ld %ld %199[^\n]", &r, &g, &b, colorname) ==
            4) {
            entry = {saturate(r), saturate(g), saturate(b), colorname};
            return entry;
        }
        buf[std::strcspn(buf, "\n")] = '\0';
        pm_message("can't parse color names dictionary Line %d:  '%s'", lineNo,
                   buf);
    }
}

void pm_canonstr(char* str) {
    char* out = str;
    for (const char* in = str; *in != '\0'; ++in) {
        const char c = *in;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
            c == '\r')
            continue;
        *out++ = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    *out = '\0';
}

void pm_parse_dictionary_name(const char* colorname, sampleval maxval,
                              int32_t* rP, int32_t* gP, int32_t* bP) {
    FILE* f = pm_openColornameFile(nullptr, 1);
    char* wanted = strdup(colorname);
    if (wanted == nullptr)
        pm_error("Unable to allocate space for a copy of the color name "
                 "to look up");
    pm_canonstr(wanted);
    colorfileentry entry = {0, 0, 0, nullptr};
    bool found = false;
    while (!found && (entry = pm_colorget(f)).colorname != nullptr) {
        pm_canonstr(entry.colorname);
        found = std::strcmp(entry.colorname, wanted) == 0;
    }
    std::fclose(f);
    std::free(wanted);
    if (!found)
        pm_error("unknown color - \"%s\"", colorname);
    if (maxval == 255) {
        *rP = entry.r, *gP = entry.g, *bP = entry.b;
    } else {
        *rP = scale(entry.r, maxval, 255);
        *gP = scale(entry.g, maxval, 255);
        *bP = scale(entry.b, maxval, 255);
    }
}

const char* ppm_colorname(const rgbpixel* colorP, sampleval maxval, int hexok) {
    static char colorname[kBufferSize];
    // A maxval of 0 would divide by zero below; no colour is given that way.
    if (maxval == 0)
        pm_error("invalid maxval 0 for a color to be named");
    int32_t r = colorP->r, g = colorP->g, b = colorP->b;
    if (maxval != 255) {
        r = scale(colorP->r, 255, maxval);
        g = scale(colorP->g, 255, maxval);
        b = scale(colorP->b, 255, maxval);
    }
    int32_t best = kNoMatchDistance;
    if (FILE* f = pm_openColornameFile(nullptr, !hexok)) {
        colorfileentry e;
        while ((e = pm_colorget(f)).colorname != nullptr) {
            const int64_t d = int64_t{absDiff(r, e.r)} + absDiff(g, e.g) +
                              absDiff(b, e.b);
            if (d < best) {
                best = static_cast<int32_t>(d);
                std::snprintf(colorname, sizeof colorname, "%s", e.colorname);
            }
        }
        std::fclose(f);
    }
    if (best < kNoMatchDistance && (best == 0 || !hexok))
        return colorname;
    std::snprintf(colorname, sizeof colorname, "#%02x%02x%02x",
                  static_cast<unsigned>(r), static_cast<unsigned>(g),
                  static_cast<unsigned>(b));
    return colorname;
}
