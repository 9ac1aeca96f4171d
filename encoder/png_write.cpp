// SPDX-License-Identifier: MIT
// The PNG file around the image data: signature, chunk framing with CRCs,
// and the header, significant-bits, gamma, palette, transparency,
// background, time and text chunks.
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "deflater.h"
#include "image_rows.h"
#include "png_facts.h"
#include "png_out.h"

namespace belvane {

namespace {

namespace png = tarvex::png;

void putBE(uint8_t* p, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        p[i] = uint8_t(v);
}

void record(PngOut& out, const char* type) {
    for (int i = 0; i < out.nseen; ++i)
        if (std::strcmp(out.seen[i].type, type) == 0) {
            ++out.seen[i].count;
            return;
        }
    if (out.nseen < 16) {
        std::memcpy(out.seen[out.nseen].type, type, 5);
        out.seen[out.nseen++].count = 1;
    }
}

// Without a file, only counts.
void writeAll(PngOut& out, const void* data, size_t len) {
    out.bytes += len;
    if (out.file == nullptr || len == 0)
        return;
    if (std::fwrite(data, 1, len, out.file) != len)
        pm_error("cannot write the PNG image: %s", std::strerror(errno));
}

void putHeader(PngOut& out, const Layout& l, const Source& image, int interlace) {
    uint8_t d[13];
    putBE(d, uint32_t(image.cols), 4);
    putBE(d + 4, uint32_t(image.rows), 4);
    d[8] = uint8_t(l.depth);
    d[9] = uint8_t(l.color_type);
    d[10] = d[11] = 0;
    d[12] = uint8_t(interlace);
    put_chunk(out, "IHDR", d, sizeof d);
}

// sBIT when some channel holds fewer bits than it is stored in.
void putSignificantBits(PngOut& out, const Layout& l) {
    const int full = l.color_type == png::kPalette ? 8 : l.depth;
    const int alpha = l.alpha_bits > 0 ? l.alpha_bits : full;
    if (l.bits == full && alpha == full)
        return;
    uint8_t d[4] = {uint8_t(l.bits), uint8_t(l.bits), uint8_t(l.bits)};
    const int colours = png::color_channels(l.color_type);
    d[colours] = uint8_t(alpha);
    put_chunk(out, "sBIT", d, size_t(colours + (l.alpha_bits > 0)));
}

// A colour in the tRNS/bKGD form: the gray alone, or red, green, blue.
void putColor(PngOut& out, const char* type, const uint16_t* c, const Layout& l) {
    uint8_t d[6];
    const int n = png::color_channels(l.color_type);
    for (int i = 0; i < n; ++i)
        putBE(d + 2 * i, n == 1 ? c[2] : c[i], 2);
    put_chunk(out, type, d, size_t(2 * n));
}

void putPalette(PngOut& out, const Layout& l) {
    put_chunk(out, "PLTE", &l.palette[0][0], size_t(3 * l.npalette));
    if (l.ntrns > 0)
        put_chunk(out, "tRNS", l.trns, size_t(l.ntrns));
    if (l.bkgd) {
        const uint8_t index = uint8_t(l.bkgd_color[0]);
        put_chunk(out, "bKGD", &index, 1);
    }
}

// The current time, or SOURCE_DATE_EPOCH's for reproducible files.
void putTime(PngOut& out) {
    time_t now = std::time(nullptr);
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"))
        now = time_t(std::strtoll(epoch, nullptr, 10));
    struct tm t;
    if (gmtime_r(&now, &t) == nullptr)
        pm_error("cannot express the time %lld in UTC", (long long)now);
    uint8_t d[7];
    putBE(d, uint32_t(t.tm_year + 1900), 2);
    d[2] = uint8_t(t.tm_mon + 1);
    d[3] = uint8_t(t.tm_mday);
    d[4] = uint8_t(t.tm_hour);
    d[5] = uint8_t(t.tm_min);
    d[6] = uint8_t(std::min(t.tm_sec, 60));
    put_chunk(out, "tIME", d, sizeof d);
}

// tEXt, or zTXt where compression makes a long text smaller.
void putText(PngOut& out, const TextChunk& t) {
    const size_t klen = std::strlen(t.keyword);
    std::vector<uint8_t> d(t.keyword, t.keyword + klen + 1);
    if (t.textlen > 1024) {
        uLongf zlen = compressBound(uLong(t.textlen));
        std::vector<uint8_t> z(zlen);
        if (compress2(z.data(), &zlen, reinterpret_cast<const Bytef*>(t.text),
                      uLong(t.textlen), 9) == Z_OK && zlen + 1 < t.textlen) {
            d.push_back(0);  // compression method: deflate
            d.insert(d.end(), z.begin(), z.begin() + long(zlen));
            put_chunk(out, "zTXt", d.data(), d.size());
            return;
        }
    }
    d.insert(d.end(), t.text, t.text + t.textlen);
    put_chunk(out, "tEXt", d.data(), d.size());
}

// Writes the parts of the zlib stream that the deflater has finished, each
// as an IDAT chunk.
void putFinished(PngOut& out, Deflater& d) {
    const uint8_t* data;
    size_t len;
    while (take_band(d, &data, &len))
        put_chunk(out, "IDAT", data, len);
}

// The rows, read again from the rasters (once per Adam7 pass), go to the
// deflater; its bands come back as IDAT chunks.
void putImageData(PngOut& out, const Options& opt, const Source& image, const Source* mask,
                  const Layout& l, const KeyTables& keys) {
    ImageRows rows;
    start_rows(rows, image, mask, l, keys, opt.interlace != 0);
    DeflateSetup setup;
    setup.level = opt.compression;
    setup.workers = opt.workers;
    setup.rowbytes = (size_t(image.cols) * size_t(l.channels * l.depth) + 7) / 8;
    setup.bpp = size_t(std::max(1, l.channels * l.depth / 8));
    setup.step = l.depth == 16 ? 2 : 1;
    // Sums say little of filtered indices or packed samples: such rows are
    // filtered only where each band is also tried unfiltered.
    const bool sums = l.color_type != png::kPalette && l.depth >= 8;
    setup.adaptive = l.filtered && (sums || strategy_of(opt.compression).trial);
    setup.total = uint64_t(image.rows) * (setup.rowbytes + 1);
    Deflater d;
    start_deflater(d, setup);
    bool fresh = false;
    while (const size_t n = next_row_bytes(rows, &fresh)) {
        if (fresh)
            start_pass(d, n);
        read_row(rows, next_row(d));
        putFinished(out, d);
    }
    end_deflater(d);
    putFinished(out, d);
    free_deflater(d);
    free_rows(rows);
}

void report(const PngOut& out, const Layout& l, const Source& image, int interlace) {
    // At most 16 chunk types, each with a blank, "x" and ten digits.
    char chunks[16 * 16 + 1] = "";
    size_t used = 0;
    for (int i = 0; i < out.nseen; ++i) {
        used += size_t(std::snprintf(chunks + used, sizeof chunks - used, "%s%s", i ? " " : "",
                                     out.seen[i].type));
        if (out.seen[i].count > 1)
            used += size_t(std::snprintf(chunks + used, sizeof chunks - used, "x%d",
                                         out.seen[i].count));
    }
    char layout[80] = "";
    int at = l.color_type == png::kPalette ? std::snprintf(layout, sizeof layout, " of %d entries", l.npalette)
                               : 0;
    const int full = l.color_type == png::kPalette ? 8 : l.depth;
    if (l.bits < full || (l.alpha_bits > 0 && l.alpha_bits < full)) {
        at += std::snprintf(layout + at, sizeof layout - size_t(at), ", significant bits %d",
                            l.bits);
        if (l.alpha_bits > 0)
            std::snprintf(layout + at, sizeof layout - size_t(at), "/%d", l.alpha_bits);
    }
    pm_message("wrote a %dw x %dh PNG image, %d bit%s %s%s%s: %s, %llu bytes",
               image.cols, image.rows, l.depth, l.depth > 1 ? "s" : "",
               png::type_name(l.color_type), layout,
               interlace ? ", Adam7 interlaced" : "", chunks,
               (unsigned long long)out.bytes);
}

}  // namespace

void put_chunk(PngOut& out, const char* type, const uint8_t* data, size_t len) {
    if (len > 0x7fffffff)
        pm_error("a %s chunk of %zu bytes is too long for PNG", type, len);
    uint8_t head[8];
    putBE(head, uint32_t(len), 4);
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (len > 0)  // crc32_z of a null buffer restarts at 0
        crc = crc32_z(crc, data, len);
    uint8_t tail[4];
    putBE(tail, uint32_t(crc), 4);
    writeAll(out, head, 8);
    writeAll(out, data, len);
    writeAll(out, tail, 4);
    record(out, type);
}

uint64_t write_png(FILE* file, const Options& opt, const Source& image, const Source* mask,
                   const Layout& l, const KeyTables& keys, const TextFile& texts) {
    static const uint8_t kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    PngOut out;
    out.file = file;
    writeAll(out, kSignature, sizeof kSignature);
    putHeader(out, l, image, opt.interlace);
    putSignificantBits(out, l);
    if (opt.image_gamma > 0) {
        uint8_t d[4];
        putBE(d, uint32_t(std::lround(opt.image_gamma * 100000)), 4);
        put_chunk(out, "gAMA", d, 4);
    }
    if (l.color_type == png::kPalette)
        putPalette(out, l);
    if (l.key)
        putColor(out, "tRNS", l.key_color, l);
    if (l.bkgd && l.color_type != png::kPalette)
        putColor(out, "bKGD", l.bkgd_color, l);
    if (opt.mtime)
        putTime(out);
    for (int i = 0; i < texts.count; ++i)
        putText(out, texts.chunks[i]);
    putImageData(out, opt, image, mask, l, keys);
    put_chunk(out, "IEND", nullptr, 0);
    if (opt.verbose)
        report(out, l, image, opt.interlace);
    return out.bytes;
}

}  // namespace belvane
