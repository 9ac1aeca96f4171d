// SPDX-License-Identifier: MIT
// Fuzzes the whole conversion of a PNG. The first byte picks the alpha mode,
// "-text", "-plain", "-time", "-verbose" and a display gamma; the second a
// "-background" colour or none, and whether the PNG comes from a file or
// from a stream that can be read only once; the rest is the PNG. The
// portable map and the text go to /dev/null.
#include "converter/corvane.h"
#include "fuzz_support.h"

constexpr float kGammas[] = {-1.0f, 2.2f, 1.0f, 0.45f};
constexpr const char* kBackgrounds[] = {nullptr, "rgb:ff/80/00", "#123", "0.5,0.2,1",
                                        "rgbi:1/0/.5", "darkgreen", "#fffffffff000", "rgb:1/22/333"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = (tarvex_fuzz::QuietStart(), setenv("RGBDEF", "/dev/null", 1),
                                 std::freopen("/dev/null", "wb", stdout) != nullptr);
    if (!started)
        std::abort();
    if (size < 2)
        return 0;
    corvane::alpha = data[0] % 3;
    corvane::text = (data[0] >> 2) & 1;
    pm_plain_output = (data[0] >> 3) & 1;
    corvane::mtime = (data[0] >> 4) & 1;
    corvane::verbose = (data[0] >> 5) & 1;
    corvane::displaygamma = kGammas[data[0] >> 6];
    corvane::backstring = kBackgrounds[data[1] % 8];
    corvane::background = corvane::backstring != nullptr ? 1 : -1;
    pm_setMessage(corvane::verbose, nullptr);
    const int firstFd = tarvex_fuzz::FirstFreeFd();
    // A stream in memory is no regular file: the converter keeps its own copy.
    FILE* png = data[1] & 8 ? fmemopen(const_cast<uint8_t*>(data + 2), size - 2, "rb")
                            : tarvex_fuzz::InputStream(data + 2, size - 2);
    FILE* textFile = std::fopen("/dev/null", "wb");
    if (png == nullptr || textFile == nullptr)
        std::abort();
    // A fatal error may have closed the input already (the driver closes it
    // before reporting), so the streams are closed only after a success;
    // after a failure their descriptors are closed below.
    static volatile bool converted;
    converted = false;
    tarvex_fuzz::RunCatchingFatal([&] {
        int status = 1;
        corvane::convertpng(png, textFile, &status);
        converted = true;
    });
    if (converted)
        std::fclose(png), std::fclose(textFile);
    std::fflush(stdout);
    std::clearerr(stdout);
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
