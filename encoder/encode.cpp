// One encoding, step by step: the headers, the texts, the colours of the
// command line, the first pass, the choice of layout and the PNG.
#include "belvane.h"

namespace belvane {

namespace {

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

int encode(const Options& opt, FILE* ifp, FILE* mfp, FILE* tfp) {
    const Source image = open_source(ifp, "image", opt.verbose);
    if (image.cols < 1 || image.rows < 1)
        pm_error("a PNG image needs at least one column and one row, not %d x %d",
                 image.cols, image.rows);
    Source mask;
    if (mfp != nullptr) {
        mask = open_source(mfp, "mask", opt.verbose);
        if (PNM_FORMAT_TYPE(mask.format) == PPM_PLAIN_CODE)
            pm_error("the mask must be a PGM or PBM image, not PPM");
        if (mask.cols != image.cols || mask.rows != image.rows)
            pm_error("the mask is %d x %d, but the image is %d x %d",
                     mask.cols, mask.rows, image.cols, image.rows);
    }
    TextFile texts;
    if (tfp != nullptr)
        texts = read_text_file(tfp, opt.text_file);
    Request rq;
    if ((rq.transparent = opt.transparent != nullptr))
        rq.transparent_color = colorOf(opt.transparent, image);
    if ((rq.background = opt.backstring != nullptr))
        rq.background_color = colorOf(opt.backstring, image);

    const Source* maskP = mfp != nullptr ? &mask : nullptr;
    Census census = take_census(image, maskP, opt.verbose);
    Layout layout = choose_layout(image, maskP, census, rq);
    write_png(stdout, opt, image, maskP, layout, texts);
    if (layout.index != nullptr)
        ppm_freecolorhash(layout.index);
    free_text_file(&texts);
    return 0;
}

}  // namespace belvane
