// SPDX-License-Identifier: MIT
// Writing PBM images, raw and plain. Rows are gathered into blocks and
// written with one fwrite each; any nonzero pbmbit is black.
#include "pbm.h"
#include "pm_internal.h"

namespace {

// Longest line of a plain row, in digits.
constexpr int kPlainLineLength = 70;

// Raw row: eight pixels to a byte, leftmost in the high bit, low bits of the
// last byte 0. `black(c)` says whether pixel c is black.
template <typename Black>
void writeRaw(FILE* file, int cols, Black black) {
    pm_outbuf out(file);
    int c = 0;
    for (; cols - c >= 8; c += 8) {
        unsigned int byte = 0;
        for (int bit = 0; bit < 8; ++bit)
            byte = (byte << 1) | (black(c + bit) ? 1u : 0u);
        pm_outbuf_putc(out, static_cast<char>(byte));
    }
    if (c < cols) {
        unsigned int byte = 0;
        for (int bit = 0; c + bit < cols; ++bit)
            byte |= (black(c + bit) ? 0x80u : 0u) >> bit;
        pm_outbuf_putc(out, static_cast<char>(byte));
    }
    pm_outbuf_flush(out);
}

// Plain row: "1" black, "0" white, a newline after every 70 digits that
// another digit follows, and a newline at the end in every case.
template <typename Black>
void writePlain(FILE* file, int cols, Black black) {
    pm_outbuf out(file);
    int count = 0;
    for (int c = 0; c < cols; ++c) {
        char* p = pm_outbuf_room(out, 2);
        if (count >= kPlainLineLength) {
            *p++ = '\n';
            count = 0;
        }
        *p++ = black(c) ? '1' : '0';
        ++count;
        out.used = static_cast<size_t>(p - out.bytes);
    }
    pm_outbuf_putc(out, '\n');
    pm_outbuf_flush(out);
}

template <typename Black>
void writeRow(FILE* file, int cols, int forceplain, Black black) {
    if (pm_plain_chosen(forceplain))
        writePlain(file, cols, black);
    else
        writeRaw(file, cols, black);
}

}  // namespace

void pbm_writepbminit(FILE* file, int cols, int rows, int forceplain) {
    std::fprintf(file, "P%c\n%d %d\n", pm_plain_chosen(forceplain) ? '1' : '4',
                 cols, rows);
}

void pbm_writepbmrow(FILE* file, const pbmbit* row, int cols, int forceplain) {
    writeRow(file, cols, forceplain, [row](int c) { return row[c] != 0; });
}

void pbm_writepbmrow_zeroblack(FILE* file, const uint32_t* first,
                               size_t stride, int cols, int forceplain) {
    writeRow(file, cols, forceplain, [first, stride](int c) {
        return first[static_cast<size_t>(c) * stride] == 0;
    });
}

void pbm_writepbmrow_packed(FILE* file, const unsigned char* packedBits,
                            int cols, int forceplain) {
    if (pm_plain_chosen(forceplain)) {
        writePlain(file, cols, [packedBits](int c) {
            return (packedBits[c / 8] & (0x80u >> (c % 8))) != 0;
        });
        return;
    }
    if (cols <= 0)
        return;
    const size_t bytes = pbm_packed_bytes(static_cast<unsigned int>(cols));
    if (std::fwrite(packedBits, 1, bytes, file) != bytes)
        pm_error("I/O error writing packed row to raw PBM file.");
}

void pbm_writepbm(FILE* file, const pbmbit* const* bits, int cols, int rows,
                  int forceplain) {
    pbm_writepbminit(file, cols, rows, forceplain);
    for (int r = 0; r < rows; ++r)
        pbm_writepbmrow(file, bits[r], cols, forceplain);
}
