// SPDX-License-Identifier: MIT
// One encoding, step by step: the headers, the texts, the colours of the
// command line, the first pass, the choice of layout and the PNG.
#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <cstdlib>
#include <cstring>

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

// The PNG of an input whose end no pass has reached yet waits in memory,
// so that a pipe cut short writes nothing, as a file does.
struct Output {
    FILE* file;
    FILE* final;  // where the PNG goes in the end
    char* held = nullptr;
    size_t len = 0;
};

Output openOutput(bool hold, FILE* file) {
    Output o{file, file};
    if (hold && (o.file = open_memstream(&o.held, &o.len)) == nullptr)
        pm_error("cannot hold the PNG image in memory: %s", std::strerror(errno));
    return o;
}

void release(Output& o) {
    if (o.file == o.final)
        return;
    if (std::fclose(o.file) != 0)
        pm_error("cannot hold the PNG image in memory: %s", std::strerror(errno));
    if (std::fwrite(o.held, 1, o.len, o.final) != o.len)
        pm_error("cannot write the PNG image: %s", std::strerror(errno));
    std::free(o.held);
}

// The smallest PNG a trial wrote, kept so that it is not compressed again.
struct Smallest {
    char* png = nullptr;
    size_t len = 0;
};

// The layout that gives the smallest PNG: the one with fewer raw bytes as
// it stands or, where a trial is worth it, each layout filtered and not
// written in turn to memory, the smallest kept in `kept`. A trial reads the
// rasters again, which a piped input still recording allows.
Layout& cheapest(const Options& opt, const Source& image, const Source* mask,
                 Layouts& layouts, const KeyTables& keys, const TextFile& texts, Smallest& kept) {
    if (!layouts.trial || opt.compression < 2)
        return layouts.layout[0];
    Options quiet = opt;
    quiet.verbose = 0;
    int best = 0;
    bool filtered = layouts.layout[0].filtered;
    for (int i = 0; i < layouts.count; ++i)
        for (const bool f : {layouts.layout[i].filtered, !layouts.layout[i].filtered}) {
            layouts.layout[i].filtered = f;
            Smallest t;
            FILE* mem = open_memstream(&t.png, &t.len);
            if (mem == nullptr)
                pm_error("cannot hold the PNG image in memory: %s", std::strerror(errno));
            write_png(mem, quiet, image, mask, layouts.layout[i], keys, texts);
            if (std::fclose(mem) != 0)
                pm_error("cannot hold the PNG image in memory: %s", std::strerror(errno));
            if (kept.png == nullptr || t.len < kept.len) {
                std::swap(kept, t);
                best = i;
                filtered = f;
            }
            std::free(t.png);
        }
    layouts.layout[best].filtered = filtered;
    return layouts.layout[best];
}

}  // namespace

int encode(const Options& opt, const Input& imageIn, const Input& maskIn, FILE* tfp,
           FILE* file) {
    const Source image = open_source(imageIn, "image", opt.verbose);
    if (image.cols < 1 || image.rows < 1)
        pm_error("a PNG image needs at least one column and one row, not %d x %d",
                 image.cols, image.rows);
    Source mask;
    if (maskIn.file != nullptr) {
        mask = open_source(maskIn, "mask", opt.verbose);
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

    const Source* maskP = maskIn.file != nullptr ? &mask : nullptr;
    const KeyTables keys = key_tables(image, maskP);
    Census census = take_census(image, maskP, keys, opt.verbose);
    Layouts layouts = choose_layouts(image, maskP, census, rq);
    Smallest kept;
    const Layout& layout = cheapest(opt, image, maskP, layouts, keys, texts, kept);
    // Adam7 reads the rasters seven times: a pipe is then kept whole.
    if (!opt.interlace) {
        stop_recording(image.spool);
        stop_recording(mask.spool);
    }
    if (kept.png != nullptr) {
        // Every pass has read the input to its end: the PNG goes out whole.
        if (opt.verbose)
            write_png(nullptr, opt, image, maskP, layout, keys, texts);
        if (std::fwrite(kept.png, 1, kept.len, file) != kept.len)
            pm_error("cannot write the PNG image: %s", std::strerror(errno));
        std::free(kept.png);
    } else {
        Output out = openOutput(
            !census.whole && (image.spool != nullptr || mask.spool != nullptr), file);
        write_png(out.file, opt, image, maskP, layout, keys, texts);
        release(out);
    }
    for (int i = 0; i < layouts.count; ++i)
        free_layout(layouts.layout[i]);
    free_text_file(&texts);
    return 0;
}

}  // namespace belvane
