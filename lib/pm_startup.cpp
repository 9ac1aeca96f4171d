// SPDX-License-Identifier: MIT
// Program start-up: the program name, the common options "-quiet",
// "-version", "-help" and "-plain", the version report, and option matching.
#include <cstring>

#include "pnm.h"
#include "pm_internal.h"
#include "tarvex_build.h"

int pm_plain_output = 0;

namespace {

const char* progname = nullptr;

// Messages issued before start-up name the library instead.
constexpr const char* kUnsetProgname = "libtarvex";

constexpr const char* kRgbEnv = "RGBDEF";

void showVersion() {
    pm_message("Using libtarvex from Tarvex Version: %s", "Tarvex 10.18.11");
    pm_message("Compiled %s by user \"%s\"", TARVEX_BUILD_DATE,
               TARVEX_BUILD_USER);
    pm_message("BSD defined");
    pm_message("RGB_ENV='%s'", kRgbEnv);
    const char* value = std::getenv(kRgbEnv);
    if (value != nullptr)
        pm_message("RGBENV= '%s' (env vbl set to '%s')", kRgbEnv, value);
    else
        pm_message("RGBENV= '%s' (env vbl is unset)", kRgbEnv);
}

// Only A to Z fold, whatever locale a program of the family may set.
char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Removes argv[i], moving the later arguments and the null pointer down.
void removeArg(int* argcP, char** argv, int i) {
    for (int j = i; j < *argcP; ++j)
        argv[j] = argv[j + 1];
    --*argcP;
}

}  // namespace

const char* pm_progname_or_default() {
    return progname != nullptr ? progname : kUnsetProgname;
}

#ifdef TARVEX_FUZZING
std::jmp_buf* pm_fuzz_exit_jump = nullptr;
#endif

void pm_exit(int status) {
#ifdef TARVEX_FUZZING
    if (pm_fuzz_exit_jump != nullptr)
        std::longjmp(*pm_fuzz_exit_jump, status + 1);
#endif
    std::exit(status);
}

void pm_init(const char* name) {
    pm_setMessage(0, nullptr);
    progname = name;
}

void pm_proginit(int* argcP, char** argv) {
    // A program started with an empty vector has no name to take.
    const char* arg0 = *argcP > 0 ? argv[0] : nullptr;
    const char* slash = arg0 != nullptr ? std::strrchr(arg0, '/') : nullptr;
    pm_init(slash != nullptr ? slash + 1 : arg0);

    int showmessages = 1;
    int showversion = 0;
    int showhelp = 0;
    pm_plain_output = 0;

    for (int i = 1; i < *argcP;) {
        const char* arg = argv[i];
        if (pm_keymatch(arg, "-quiet", 6) || pm_keymatch(arg, "--quiet", 7))
            showmessages = 0;
        else if (pm_keymatch(arg, "-version", 8) ||
                 pm_keymatch(arg, "--version", 9))
            showversion = 1;
        else if (pm_keymatch(arg, "-help", 5) ||
                 pm_keymatch(arg, "--help", 6) || pm_keymatch(arg, "-?", 2))
            showhelp = 1;
        else if (pm_keymatch(arg, "-plain", 6) ||
                 pm_keymatch(arg, "--plain", 7))
            pm_plain_output = 1;
        else {
            ++i;
            continue;
        }
        removeArg(argcP, argv, i);
    }

    pm_setMessage(showmessages, nullptr);
    if (showversion) {
        showVersion();
        pm_exit(0);
    }
    if (showhelp)
        pm_error("Use 'man %s' for help.", pm_progname_or_default());
}

void pbm_init(int* argcP, char** argv) { pm_proginit(argcP, argv); }
void pgm_init(int* argcP, char** argv) { pbm_init(argcP, argv); }
void ppm_init(int* argcP, char** argv) { pgm_init(argcP, argv); }
void pnm_init(int* argcP, char** argv) { ppm_init(argcP, argv); }

int pm_keymatch(const char* str, const char* keyword, int minchars) {
    const size_t len = std::strlen(str);
    if (minchars > 0 && len < static_cast<size_t>(minchars))
        return 0;
    for (size_t i = 0; i < len; ++i) {
        if (keyword[i] == '\0')
            return 0;
        if (foldCase(str[i]) != foldCase(keyword[i]))
            return 0;
    }
    return 1;
}

char* pm_arg0toprogname(const char* arg0) {
    static char name[64 + 1];
    const char* slash = std::strrchr(arg0, '/');
    const char* base = slash != nullptr ? slash + 1 : arg0;
    std::strncpy(name, base, 64);
    name[64] = '\0';
    const size_t len = std::strlen(name);
    if (len >= 4 && std::strcmp(name + len - 4, ".exe") == 0)
        name[len - 4] = '\0';
    return name;
}
