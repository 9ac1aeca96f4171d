// SPDX-License-Identifier: MIT
// The conversion driver: libpng set-up and error recovery, the header
// reports, gamma and significant bits, the background colour, the rows
// streamed as they are decoded or the image held whole, and taking back a
// failed conversion's output.
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "choices.h"
#include "chunk_walk.h"
#include "image_block.h"
#include "pm_internal.h"
#include "png_facts.h"
#include "png_input.h"
#include "rows.h"

namespace corvane {

uint16_t maxval = 0;
uint16_t bgr = 0, bgg = 0, bgb = 0;
float totalgamma = -1.0f;
const char* type_string = "";
const char* alpha_string = "";
std::jmp_buf corvane_jmpbuf_struct;

namespace {

// Bytes of the signature read and checked before libpng takes over.
constexpr int kSigRead = 4;

void describeType(int colorType) {
    type_string = tarvex::png::color_name(colorType);
    alpha_string = tarvex::png::has_alpha(colorType) ? "+alpha" : "";
}

void reportHeader(png_structp png, png_infop info) {
    const int depth = png_get_bit_depth(png, info);
    describeType(png_get_color_type(png, info));
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        alpha_string = "+transparency";
    char gammaText[64] = "";
    double g = 0;
    if (png_get_valid(png, info, PNG_INFO_gAMA) && png_get_gAMA(png, info, &g))
        std::snprintf(gammaText, sizeof gammaText, ", image gamma = %4.2f",
                      double(float(g)));
    pm_message("reading a %ldw x %ldh image, %d bit%s %s%s%s%s",
               long(png_get_image_width(png, info)),
               long(png_get_image_height(png, info)), depth,
               depth > 1 ? "s" : "", type_string, alpha_string, gammaText,
               png_get_interlace_type(png, info) ? ", Adam7 interlaced" : "");
    png_color_16p bk = nullptr;
    png_color_16 none{};
    if (!png_get_valid(png, info, PNG_INFO_bKGD) || !png_get_bKGD(png, info, &bk))
        bk = &none;
    pm_message("background {index, gray, red, green, blue} = {%d, %d, %d, %d, %d}",
               bk->index, bk->gray, bk->red, bk->green, bk->blue);
}

// Gamma correction asked of libpng, decided before any message is printed.
struct GammaPlan {
    bool apply = false;
    bool assumed = false; // the image has no gAMA: 1.0 is assumed
    float file = 1.0f;
};

GammaPlan chooseGamma(png_structp png, png_infop info) {
    GammaPlan g;
    if (displaygamma == -1.0f)
        return g;
    double fileGamma = 0;
    if (png_get_valid(png, info, PNG_INFO_gAMA) && png_get_gAMA(png, info, &fileGamma)) {
        g.file = float(fileGamma);
        g.apply = displaygamma != g.file;
    } else {
        g.assumed = true;
        g.apply = displaygamma != 1.0f;
    }
    return g;
}

// libpng leaves the samples alone when the overall exponent is within its
// threshold of 1 (products taken in 1/100000 units); the file values compared
// with those samples must then stay uncorrected too.
bool libpngCorrects(double file, double screen) {
    const double product = std::floor(std::floor(file * 100000 + 0.5) *
                                      std::floor(screen * 100000 + 0.5) / 100000 + 0.5);
    return product < PNG_FP_1 - PNG_GAMMA_THRESHOLD_FIXED ||
           product > PNG_FP_1 + PNG_GAMMA_THRESHOLD_FIXED;
}

void applyGamma(png_structp png, png_infop info, const GammaPlan& g) {
    totalgamma = float(double(g.file) * double(displaygamma));
    if (!libpngCorrects(g.file, displaygamma))
        totalgamma = -1.0f;
    // A display gamma that is not a positive number reaches libpng as 0,
    // which it rejects, instead of a value it would take for a flag.
    const bool usable = std::isfinite(displaygamma) && displaygamma > 0;
    png_set_gamma(png, usable ? double(displaygamma) : 0.0, double(g.file));
    png_set_invalid(png, info, PNG_INFO_sBIT);
}

void reportGamma(const GammaPlan& g) {
    if (!g.apply || !verbose)
        return;
    if (g.assumed)
        pm_message("image gamma assumed 1.0, converted for display gamma of %4.2f",
                   double(displaygamma));
    else
        pm_message("image gamma is %4.2f, converted for display gamma of %4.2f",
                   double(g.file), double(displaygamma));
}

void reportSigBits(const SigBits& s) {
    switch (s.report) {
    case SigBits::different_depths:
        pm_message("different bit depths for color channels not supported");
        pm_message("writing file with %d bit resolution", s.report_bits);
        break;
    case SigBits::bits_per_channel:
        if (verbose)
            pm_message("image has fewer significant bits, "
                       "writing file with %d bits per channel", s.report_bits);
        break;
    case SigBits::bits:
        if (verbose)
            pm_message("image has fewer significant bits, writing file with %d bits",
                       s.report_bits);
        break;
    default: break;
    }
}

// The palette as the file holds it; entries past its size are black.
void copyPalette(png_structp png, png_infop info, png_color out[256]) {
    std::memset(out, 0, 256 * sizeof(png_color));
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_valid(png, info, PNG_INFO_PLTE) && png_get_PLTE(png, info, &pal, &n))
        std::memcpy(out, pal, size_t(n < 0 ? 0 : n > 256 ? 256 : n) * sizeof(png_color));
}

int paletteSize(png_structp png, png_infop info) {
    png_colorp pal = nullptr;
    int n = 0;
    if (!png_get_valid(png, info, PNG_INFO_PLTE) || !png_get_PLTE(png, info, &pal, &n))
        return 0;
    return n > 256 ? 256 : n;
}

void shiftPalette(png_color pal[256], unsigned shift) {
    for (int i = 0; i < 256; ++i) {
        pal[i].red = png_byte(pal[i].red >> shift);
        pal[i].green = png_byte(pal[i].green >> shift);
        pal[i].blue = png_byte(pal[i].blue >> shift);
    }
}

// The palette alpha bytes, or none.
int paletteTrns(png_structp png, png_infop info, png_bytep* transP) {
    int n = 0;
    png_color_16p colour = nullptr;
    *transP = nullptr;
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE ||
        !png_get_valid(png, info, PNG_INFO_tRNS) ||
        !png_get_tRNS(png, info, transP, &n, &colour) || *transP == nullptr)
        return 0;
    return n > 256 ? 256 : n;
}

bool partialAlpha(const png_byte* trans, int n) {
    for (int i = 0; i < n; ++i)
        if (trans[i] != 0 && trans[i] != 255)
            return true;
    return false;
}

uint16_t clamped(unsigned v) {
    return uint16_t(v > maxval ? maxval : v);
}

uint16_t fileValue(unsigned v, unsigned shift) {
    return clamped(gamma_correct(uint16_t(v >> shift), totalgamma));
}

// The image's own background, on the output scale.
void imageBackground(png_structp png, png_infop info, const ImagePlan& plan) {
    png_color_16p bk = nullptr;
    if (!png_get_valid(png, info, PNG_INFO_bKGD) || !png_get_bKGD(png, info, &bk)) {
        bgr = bgg = bgb = maxval;
        return;
    }
    const unsigned shift = plan.mode == 1 ? 0 : plan.shift;
    if (plan.color_type == PNG_COLOR_TYPE_PALETTE) {
        const png_color c = plan.palette[bk->index];
        bgr = fileValue(c.red, 0);
        bgg = fileValue(c.green, 0);
        bgb = fileValue(c.blue, 0);
    } else if (plan.color_type & PNG_COLOR_MASK_COLOR) {
        bgr = fileValue(bk->red, shift);
        bgg = fileValue(bk->green, shift);
        bgb = fileValue(bk->blue, shift);
    } else {
        bgr = bgg = bgb = fileValue(bk->gray, shift);
    }
}

void commandBackground(int colorType) {
    if (background <= -1)
        return;
    const rgbpixel c = ppm_parsecolor(backstring, maxval);
    if (colorType & PNG_COLOR_MASK_COLOR) {
        bgr = clamped(c.r);
        bgg = clamped(c.g);
        bgb = clamped(c.b);
    } else {
        bgr = bgg = bgb = clamped(c.b);
    }
}

void setTransparency(png_structp png, png_infop info, ImagePlan* plan) {
    for (uint16_t& a : plan->palette_alpha)
        a = maxval;
    png_bytep trans = nullptr;
    const int n = paletteTrns(png, info, &trans);
    for (int i = 0; i < n; ++i)
        plan->palette_alpha[i] = clamped(trans[i]);
    png_color_16p c = nullptr;
    if (plan->color_type == PNG_COLOR_TYPE_PALETTE ||
        !png_get_valid(png, info, PNG_INFO_tRNS) ||
        !png_get_tRNS(png, info, nullptr, nullptr, &c) || c == nullptr)
        return;
    plan->has_trns = true;
    plan->trns_gray = gamma_correct(c->gray, totalgamma);
    plan->trns_r = gamma_correct(c->red, totalgamma);
    plan->trns_g = gamma_correct(c->green, totalgamma);
    plan->trns_b = gamma_correct(c->blue, totalgamma);
}

// Mixing an image with nothing transparent writes what mode 0 writes.
int rowMode(const ImagePlan& p) {
    if (alpha != 2 || (p.color_type & PNG_COLOR_MASK_ALPHA))
        return alpha;
    if (p.color_type == PNG_COLOR_TYPE_PALETTE) {
        for (uint16_t a : p.palette_alpha)
            if (a < maxval)
                return 2;
        return 0;
    }
    return p.has_trns ? 2 : 0;
}

void reportAspect(png_structp png, png_infop info) {
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_valid(png, info, PNG_INFO_pHYs) && png_get_pHYs(png, info, &x, &y, &unit))
        report_aspect(x, y);
}

const char* familyName(int format) {
    switch (format) {
    case PBM_PLAIN_CODE: return "PBM";
    case PGM_PLAIN_CODE: return "PGM";
    case PPM_PLAIN_CODE: return "PPM";
    default: return "UNKNOWN!";
    }
}

// What the running conversion holds. It lives outside the frames that a
// libpng error jumps over, so that the error path can release it.
ImageBlock image;
RowWriter writer;
png_bytep streamedRow = nullptr;
size_t decodedRowBytes = 0;
unsigned firstPassShift = 0;

// Adam7's first pass writes into every eighth row; the later passes only
// into rows it has reached.
void rowDecoded(png_structp, png_uint_32 row, int pass) {
    const size_t reached = pass > 0 ? image.mapped
                                    : (size_t(row) << firstPassShift) * decodedRowBytes;
    image_block_reached(&image, reached);
}

// Standard output as the conversion found it. A regular file written from
// its end can be cut back to that length when a streamed conversion fails;
// one written from anywhere else keeps what it held only if nothing is
// written before the image has been decoded.
struct OutputStart {
    bool written = false;     // the conversion has written to it
    bool regular = false;     // a regular file
    bool cuttable = false;    // a regular file written at its end
    off_t size = 0;
};
OutputStart output;

void noteOutputStart() {
    output = OutputStart{};
    struct stat st {};
    const int fd = fileno(stdout);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const int flags = ::fcntl(fd, F_GETFL);
    output.regular = true;
    output.cuttable = (flags != -1 && (flags & O_APPEND)) || ::lseek(fd, 0, SEEK_CUR) == st.st_size;
    output.size = st.st_size;
}

// What is still buffered never goes out; what went out is taken back where
// the file allows it.
void takeBackOutput() {
    if (!output.written)
        return;
    __fpurge(stdout);
    if (output.cuttable && ::ftruncate(fileno(stdout), output.size) != 0)
        pm_message("cannot take back the partial output: %s", std::strerror(errno));
}

[[noreturn]] void giveUp(png_structp png, png_infop info, FILE* ifp,
                         const char* message) {
    takeBackOutput();
    end_rows(&writer);
    std::free(streamedRow);
    streamedRow = nullptr;
    free_image_block(&image);
    drop_read_ahead();
    release_walked_input();
    png_destroy_read_struct(&png, &info, nullptr);
    pm_closer(ifp);
    pm_error("%s", message);
}

// Everything the output needs that is fixed before the rows are read; asks
// libpng for its transformations.
SigBits planImage(png_structp png, png_infop info, ImagePlan* plan,
                  GammaPlan* gamma) {
    plan->width = png_get_image_width(png, info);
    plan->color_type = png_get_color_type(png, info);
    plan->bit_depth = png_get_bit_depth(png, info);
    *gamma = chooseGamma(png, info);
    png_color_8p sbit = nullptr;
    const bool useSbit = !gamma->apply && png_get_valid(png, info, PNG_INFO_sBIT) &&
                         png_get_sBIT(png, info, &sbit);
    png_bytep trans = nullptr;
    const int ntrans = paletteTrns(png, info, &trans);
    const SigBits sb = significant_bits(plan->color_type, plan->bit_depth, alpha,
                                        useSbit ? sbit : nullptr,
                                        partialAlpha(trans, ntrans));
    maxval = sb.maxval;
    if (gamma->apply)
        applyGamma(png, info, *gamma);
    copyPalette(png, info, plan->palette);
    if (plan->color_type == PNG_COLOR_TYPE_PALETTE)
        shiftPalette(plan->palette, sb.shift);
    else
        plan->shift = sb.shift;
    setTransparency(png, info, plan);
    plan->mode = rowMode(*plan);
    // Raw RGB output of an RGBA image takes the colour bytes as they are:
    // libpng drops the alpha while it decodes (a quarter less memory when
    // the image is held), and the rows are written as they come.
    if (plan->color_type == PNG_COLOR_TYPE_RGB_ALPHA && plan->mode == 0 &&
        plan->shift == 0 && row_path == RowPath::fast && !pm_plain_output) {
        png_set_strip_alpha(png);
        plan->color_type = PNG_COLOR_TYPE_RGB;
    }
    if (plan->bit_depth < 8 && !keeps_packed_bits(*plan))
        png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return sb;
}

// The output family, from the palette as the rows see it: libpng corrected
// its own palette when it was told the transformations.
void chooseFormat(png_structp png, png_infop info, ImagePlan* plan, bool gammaApplied) {
    if (gammaApplied)
        copyPalette(png, info, plan->palette);
    png_bytep trans = nullptr;
    const int ntrans = paletteTrns(png, info, &trans);
    plan->format = output_format(plan->color_type, plan->bit_depth, alpha, maxval,
                                 plan->palette, paletteSize(png, info), trans, ntrans);
}

void writeHeader(png_structp png, png_infop info, const ImagePlan& plan) {
    pnm_writepnminit(stdout, int(plan.width), int(png_get_image_height(png, info)), maxval,
                     plan.format, 0);
    start_rows(plan, &writer);
}

void reportWriting(const ImagePlan& plan) {
    if (verbose)
        pm_message("writing a %s file (maxval=%u)", familyName(plan.format), unsigned(maxval));
}

// The reports of the chunks after the image data, in their order; the text
// goes to standard output only ahead of the image.
void reportEnd(png_structp png, png_infop info, FILE* tfp, bool textWritten) {
    if (mtime)
        show_time(png, info);
    if (text && !textWritten)
        save_text(png, info, tfp);
    reportAspect(png, info);
}

// The whole image decoded first, then written: Adam7 needs it, and so does
// an input whose failure could not be known before its rows.
void holdImage(png_structp png, png_infop info, ImagePlan* plan, FILE* tfp, bool gammaApplied) {
    const uint32_t height = png_get_image_height(png, info);
    firstPassShift = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE ? 3 : 0;
    png_set_read_status_fn(png, rowDecoded);
    png_read_image(png, image.rows);
    png_read_end(png, info);
    reportEnd(png, info, tfp, false);
    chooseFormat(png, info, plan, gammaApplied);
    reportWriting(*plan);
    writeHeader(png, info, *plan);
    for (uint32_t y = 0; y < height; ++y)
        write_row(*plan, writer, image.rows[y]);
}

// Each row written as it is decoded. The messages keep their order: those of
// the chunks after the image, and the output type, come after the rows.
void streamImage(png_structp png, png_infop info, ImagePlan* plan, FILE* tfp, bool gammaApplied) {
    const uint32_t height = png_get_image_height(png, info);
    chooseFormat(png, info, plan, gammaApplied);
    output.written = true;
    const bool textFirst = text && tfp == stdout;
    if (textFirst)
        save_text(png, info, tfp);
    writeHeader(png, info, *plan);
    for (uint32_t y = 0; y < height; ++y) {
        png_read_row(png, streamedRow, nullptr);
        write_row(*plan, writer, streamedRow);
    }
    png_read_end(png, info);
    reportEnd(png, info, tfp, textFirst);
    reportWriting(*plan);
}

// Chunks of any length whose contents the conversion does not use are
// skipped, and text chunks are read only for "-text". Besides the work
// saved, libpng allocates and clears the whole declared length of such a
// chunk before it finds the file too short for it: a few bytes declaring a
// gigabyte would cost a gigabyte.
void skipUnusedChunks(png_structp png) {
    static const png_byte unused[] = "sPLT\0pCAL\0sCAL\0eXIf";
    static const png_byte textChunks[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unused, 4);
    if (!text)
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, textChunks, 3);
}

// Rows that can go out as they are decoded: the chunks are whole (so a
// failure can only come from the compressed data), the image is not
// interlaced, texts bound for standard output come before the image, and a
// regular file on standard output can be cut back.
bool streams(const ChunkWalk& walk, FILE* tfp) {
    return !always_hold && streamable(walk) && !(text && tfp == stdout && walk.text_after_data) &&
           (!output.regular || output.cuttable);
}

// Room for the decoded rows: the whole image, or the one row streamed.
bool allocRows(png_structp png, png_infop info, size_t rowbytes, bool streamed) {
    if (!streamed)
        return alloc_image_block(&image, png_get_image_height(png, info), rowbytes);
    streamedRow = rowbytes == 0 ? nullptr : static_cast<png_bytep>(std::malloc(rowbytes));
    return streamedRow != nullptr;
}

void convertImage(png_structp png, png_infop info, FILE* ifp, FILE* tfp) {
    noteOutputStart();
    ChunkWalk walk;
    FILE* input = walked_input(ifp, kSigRead, &walk);
    if (input == nullptr)
        giveUp(png, info, ifp, "couldn't allocate space for the input");
    read_png_input(png, input, kSigRead);
    // The walk checked every CRC; libpng need not check them again.
    if (walk.intact)
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    skipUnusedChunks(png);
    png_read_info(png, info);
    if (verbose)
        reportHeader(png, info);
    using namespace tarvex::png;
    const int ct = png_get_color_type(png, info);
    if (ct != kGray && ct != kRgb && ct != kPalette && ct != kGrayAlpha && ct != kRgbAlpha)
        giveUp(png, info, ifp, "unknown PNG color type");

    ImagePlan plan;
    GammaPlan gamma;
    const SigBits sb = planImage(png, info, &plan, &gamma);
    const size_t rowbytes = decoded_row_bytes(plan);
    if (rowbytes != 0 && rowbytes != png_get_rowbytes(png, info))
        png_error(png, "decoded row size differs from the planned one");
    const bool streamed = streams(walk, tfp);
    if (!allocRows(png, info, rowbytes, streamed))
        giveUp(png, info, ifp, "couldn't allocate space for image");
    reportGamma(gamma);
    reportSigBits(sb);
    imageBackground(png, info, plan);
    commandBackground(ct);

    decodedRowBytes = rowbytes;
    if (streamed)
        streamImage(png, info, &plan, tfp, gamma.apply);
    else
        holdImage(png, info, &plan, tfp, gamma.apply);
    std::fflush(stdout);
    end_rows(&writer);
    std::free(streamedRow);
    streamedRow = nullptr;
    free_image_block(&image);
    release_walked_input();
    png_destroy_read_struct(&png, &info, nullptr);
}

}  // namespace

void corvane_error_handler(png_structp png_ptr, png_const_charp msg) {
    std::fprintf(stderr, "%s:  fatal libpng error: %s\n", pm_progname_or_default(), msg);
    std::fflush(stderr);
    auto* jmpbuf = static_cast<std::jmp_buf*>(png_get_error_ptr(png_ptr));
    if (jmpbuf == nullptr) {
        std::fprintf(stderr, "%s:  EXTREMELY fatal error: jmpbuf unrecoverable; "
                             "terminating.\n", pm_progname_or_default());
        std::fflush(stderr);
        std::exit(99);
    }
    std::longjmp(*jmpbuf, 1);
}

void convertpng(FILE* ifp, FILE* tfp, int* errorlevelP) {
    *errorlevelP = 0;
    type_string = "";
    alpha_string = "";
    png_byte sig[kSigRead];
    if (std::fread(sig, 1, kSigRead, ifp) != kSigRead) {
        pm_closer(ifp);
        pm_error("input file is empty or too short");
    }
    if (png_sig_cmp(sig, 0, kSigRead) != 0) {
        pm_closer(ifp);
        pm_error("input file is not a PNG file");
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &corvane_jmpbuf_struct,
                                             corvane_error_handler, nullptr);
    if (png == nullptr) {
        pm_closer(ifp);
        pm_error("cannot allocate main libpng structure (png_ptr)");
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        pm_closer(ifp);
        pm_error("cannot allocate LIBPNG structures");
    }
    // Only these plain pointers, set before the jump point and never changed
    // after it, are used once libpng has jumped back.
    if (setjmp(corvane_jmpbuf_struct))
        giveUp(png, info, ifp, "setjmp returns error condition");
    convertImage(png, info, ifp, tfp);
}

}  // namespace corvane
