// The program's entry: start-up, the option loop, the first pass, the
// choice of layout and the writing of the PNG, and the closing of streams.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "belvane.h"

namespace belvane {

int verbose = 0;
const char* alpha_file = nullptr;
const char* transparent = nullptr;
const char* backstring = nullptr;
double image_gamma = 0;
const char* text_file = nullptr;
int mtime = 0;
int interlace = 0;
int compression = 7;

namespace {

[[noreturn]] void badOption() {
    std::fprintf(stderr, "belvane version %s, compiled with zlib version %s\n",
                 BELVANE_VERSION, ZLIB_VERSION);
    pm_usage(kUsage);
}

// The argument after an option that takes a value, whatever it looks like.
const char* valueOf(int argc, char** argv, int* argnP) {
    if (++*argnP >= argc)
        pm_usage(kUsage);
    return argv[*argnP];
}

double gammaOf(const char* text) {
    char* end;
    const double g = std::strtod(text, &end);
    // gAMA holds 100000 times the gamma in 31 bits.
    if (end == text || *end != '\0' || !(g * 100000 >= 0.5 && g * 100000 < 2147483647.0))
        pm_error("-gamma needs a positive number, not '%s'", text);
    return g;
}

int levelOf(const char* text) {
    if (text[0] < '0' || text[0] > '9' || text[1] != '\0')
        pm_error("-compression needs a level from 0 to 9, not '%s'", text);
    return text[0] - '0';
}

// Returns the index of the first argument that is not an option.
int parseOptions(int argc, char** argv) {
    int argn = 1;
    for (; argn < argc && argv[argn][0] == '-' && argv[argn][1] != '\0'; ++argn) {
        const char* a = argv[argn];
        if (pm_keymatch(a, "-verbose", 2))
            verbose = 1;
        else if (pm_keymatch(a, "-alpha", 2))
            alpha_file = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-transparent", 3))
            transparent = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-background", 2))
            backstring = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-gamma", 2))
            image_gamma = gammaOf(valueOf(argc, argv, &argn));
        else if (pm_keymatch(a, "-text", 3))
            text_file = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-time", 3))
            mtime = 1;
        else if (pm_keymatch(a, "-interlace", 2))
            interlace = 1;
        else if (pm_keymatch(a, "-compression", 2))
            compression = levelOf(valueOf(argc, argv, &argn));
        else
            badOption();
    }
    return argn;
}

// A colour of the command line at the image's maxval, then at its stored
// bits; a gray image takes the blue component as its gray, as corvane does.
rgbpixel colorOf(const char* text, const Source& image) {
    const rgbpixel c = ppm_parsecolor(text, image.maxval);
    const sampleval b = significant(image, c.b);
    if (PNM_FORMAT_TYPE(image.format) != PPM_PLAIN_CODE)
        return rgbpixel{b, b, b};
    return rgbpixel{significant(image, c.r), significant(image, c.g), b};
}

}  // namespace

int encode(FILE* ifp, FILE* mfp, FILE* tfp) {
    const Source image = open_source(ifp, "image");
    if (image.cols < 1 || image.rows < 1)
        pm_error("a PNG image needs at least one column and one row, not %d x %d",
                 image.cols, image.rows);
    Source mask;
    if (mfp != nullptr) {
        mask = open_source(mfp, "mask");
        if (PNM_FORMAT_TYPE(mask.format) == PPM_PLAIN_CODE)
            pm_error("the mask must be a PGM or PBM image, not PPM");
        if (mask.cols != image.cols || mask.rows != image.rows)
            pm_error("the mask is %d x %d, but the image is %d x %d",
                     mask.cols, mask.rows, image.cols, image.rows);
    }
    TextFile texts;
    if (tfp != nullptr)
        texts = read_text_file(tfp, text_file);
    Request rq;
    if ((rq.transparent = transparent != nullptr))
        rq.transparent_color = colorOf(transparent, image);
    if ((rq.background = backstring != nullptr))
        rq.background_color = colorOf(backstring, image);

    const Source* maskP = mfp != nullptr ? &mask : nullptr;
    Census census = take_census(image, maskP);
    Layout layout = choose_layout(image, maskP, census, rq);
    write_png(stdout, image, maskP, layout, texts);
    if (layout.index != nullptr)
        ppm_freecolorhash(layout.index);
    free_text_file(&texts);
    return 0;
}

int belvane_main(int argc, char** argv) {
    pnm_init(&argc, argv);
    int argn = parseOptions(argc, argv);
    if (alpha_file != nullptr && transparent != nullptr)
        pm_error("-alpha and -transparent cannot be used together");

    // Both are read twice, so a pipe is copied to a temporary file first.
    FILE* ifp = pm_openr_seekable(argn < argc ? argv[argn++] : "-");
    if (argn < argc)
        pm_usage(kUsage);
    FILE* mfp = alpha_file != nullptr ? pm_openr_seekable(alpha_file) : nullptr;
    FILE* tfp = text_file != nullptr ? pm_openr(text_file) : nullptr;
    const int status = encode(ifp, mfp, tfp);
    if (tfp != nullptr)
        pm_closer(tfp);
    if (mfp != nullptr)
        pm_closer(mfp);
    pm_closer(ifp);
    pm_closew(stdout);
    return status;
}

}  // namespace belvane
