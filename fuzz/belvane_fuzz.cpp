// SPDX-License-Identifier: MIT
// Fuzzes the whole encoding of a portable map to PNG. The first byte picks
// -interlace, a compression level (bits 1 and 7), -verbose (with which the
// image is read as from a pipe), -transparent or the image as its own mask,
// and -background; the rest is the image. The PNG goes to /dev/null.
#include "encoder/belvane.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kColors[] = {nullptr, "rgb:ff/80/00", "#123", "0.5,0.2,1"};

void Start() {
    static bool started = false;
    if (started)
        return;
    tarvex_fuzz::QuietStart();
    if (std::freopen("/dev/null", "wb", stdout) == nullptr)
        std::abort();
    setenv("RGBDEF", "/dev/null", 1);
    started = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    Start();
    const uint8_t o = data[0];
    const bool selfMask = (o >> 3) & 1;
    belvane::Options opt;
    opt.workers = 1;  // the bands on this thread, where the sanitizers follow them
    opt.interlace = o & 1;
    // Stored, ISA-L, libdeflate with run lengths and the unfiltered trial,
    // and the top level's entropy filtering.
    static constexpr int kLevels[4] = {0, 1, 3, 9};
    opt.compression = kLevels[((o >> 1) & 1) | ((o >> 6) & 2)];
    opt.verbose = (o >> 2) & 1;
    opt.transparent = selfMask ? nullptr : kColors[(o >> 4) & 3];
    opt.backstring = kColors[(o >> 6) & 1];
    pm_setMessage(opt.verbose, nullptr);
    const int firstFd = tarvex_fuzz::FirstFreeFd();
    // With -verbose, the image comes as from a pipe, through a spool.
    const bool piped = opt.verbose && size > 1;
    FILE* raw = piped ? fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb")
                      : tarvex_fuzz::InputStream(data + 1, size - 1);
    FILE* mask = selfMask ? tarvex_fuzz::InputStream(data + 1, size - 1) : nullptr;
    if (raw == nullptr || (selfMask && mask == nullptr))
        std::abort();
    const belvane::Input image = piped ? belvane::spool_stream(raw) : belvane::Input{raw};
    // After a fatal error the streams' descriptors are closed below.
    static volatile bool encoded;
    encoded = false;
    tarvex_fuzz::RunCatchingFatal([&] {
        belvane::encode(opt, image, belvane::Input{mask}, nullptr);
        encoded = true;
    });
    if (encoded) {
        std::fclose(image.file);
        if (mask != nullptr)
            std::fclose(mask);
    }
    std::fflush(stdout);
    std::clearerr(stdout);
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
