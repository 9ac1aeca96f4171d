// PNG files for the tests, written with libpng into a string.
#include "support/png_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

namespace tarvex_test {

namespace {

void appendBytes(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(
        reinterpret_cast<const char*>(data), n);
}
void noFlush(png_structp) {}
void quietWarning(png_structp, png_const_charp) {}

unsigned samplesPerPixel(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// Rows in the file's layout: sub-byte samples packed from the high bits,
// 16-bit samples high byte first.
std::vector<png_byte> packRows(const std::vector<uint16_t>& samples, uint32_t width,
                               uint32_t height, int colorType, int depth,
                               size_t* rowbytesP) {
    const size_t perRow = size_t(width) * samplesPerPixel(colorType);
    const size_t rowbytes = (perRow * size_t(depth) + 7) / 8;
    std::vector<png_byte> out(rowbytes * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        png_byte* row = out.data() + y * rowbytes;
        for (size_t i = 0; i < perRow; ++i) {
            const size_t k = y * perRow + i;
            const unsigned v = k < samples.size() ? samples[k] : 0;
            if (depth == 16) {
                row[2 * i] = png_byte(v >> 8);
                row[2 * i + 1] = png_byte(v);
            } else if (depth == 8) {
                row[i] = png_byte(v);
            } else {
                const size_t bit = i * size_t(depth);
                row[bit / 8] |= png_byte((v & ((1u << depth) - 1))
                                         << (8 - depth - bit % 8));
            }
        }
    }
    *rowbytesP = rowbytes;
    return out;
}

}  // namespace

// Holds only plain pointers across libpng's jump point.
struct PngWriteSession {
    static bool Write(const PngBuilder& b, png_bytep* rows, std::string* out);
    static void SetChunks(const PngBuilder& b, png_structp png, png_infop info);
    static void SetTexts(const PngBuilder& b, png_structp png, png_infop info, Place place);
    static void WriteRaw(const PngBuilder& b, png_structp png, Place place);
};

void PngWriteSession::SetChunks(const PngBuilder& b, png_structp png, png_infop info) {
    png_set_IHDR(png, info, b.width_, b.height_, b.bit_depth_, b.color_type_,
                 b.interlaced_ ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!b.palette_.empty())
        png_set_PLTE(png, info, b.palette_.data(), int(b.palette_.size()));
    if (!b.palette_alpha_.empty())
        png_set_tRNS(png, info, b.palette_alpha_.data(), int(b.palette_alpha_.size()),
                     nullptr);
    if (b.has_trns_color_)
        png_set_tRNS(png, info, nullptr, 0, &b.trns_color_);
    if (b.has_bkgd_)
        png_set_bKGD(png, info, &b.bkgd_);
    if (b.has_sbit_)
        png_set_sBIT(png, info, &b.sbit_);
    if (b.has_gamma_)
        png_set_gAMA(png, info, b.gamma_);
    if (b.has_phys_)
        png_set_pHYs(png, info, b.phys_x_, b.phys_y_, PNG_RESOLUTION_METER);
    if (b.has_time_ && b.time_place_ == Place::before_image)
        png_set_tIME(png, info, &b.time_);
    SetTexts(b, png, info, Place::before_image);
}

void PngWriteSession::SetTexts(const PngBuilder& b, png_structp png, png_infop info,
                               Place place) {
    for (const auto& t : b.texts_) {
        if (t.place != place)
            continue;
        png_text pt{};
        pt.compression = t.compression;
        pt.key = const_cast<char*>(t.key.c_str());
        pt.text = const_cast<char*>(t.text.c_str());
        pt.text_length = t.text.size();
        png_set_text(png, info, &pt, 1);
    }
}

void PngWriteSession::WriteRaw(const PngBuilder& b, png_structp png, Place place) {
    for (const auto& c : b.raw_)
        if (c.place == place)
            png_write_chunk(png, reinterpret_cast<png_const_bytep>(c.name.c_str()),
                            reinterpret_cast<png_const_bytep>(c.data.data()),
                            c.data.size());
}

bool PngWriteSession::Write(const PngBuilder& b, png_bytep* rows, std::string* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                              nullptr, quietWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendBytes, noFlush);
    png_set_check_for_invalid_index(png, 0);  // indexes past the palette allowed
    SetChunks(b, png, info);
    png_write_info(png, info);
    WriteRaw(b, png, Place::before_image);
    if (b.interlaced_)
        png_set_interlace_handling(png);
    png_write_image(png, rows);
    SetTexts(b, png, info, Place::after_image);
    if (b.has_time_ && b.time_place_ == Place::after_image)
        png_set_tIME(png, info, &b.time_);
    WriteRaw(b, png, Place::after_image);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

PngBuilder::PngBuilder(uint32_t width, uint32_t height, int color_type, int bit_depth)
    : width_(width), height_(height), color_type_(color_type), bit_depth_(bit_depth) {}

PngBuilder& PngBuilder::Samples(std::vector<uint16_t> samples) {
    samples_ = std::move(samples);
    return *this;
}
PngBuilder& PngBuilder::Interlaced() {
    interlaced_ = true;
    return *this;
}
PngBuilder& PngBuilder::Palette(std::vector<png_color> entries) {
    palette_ = std::move(entries);
    return *this;
}
PngBuilder& PngBuilder::PaletteAlpha(std::vector<uint8_t> alphas) {
    palette_alpha_ = std::move(alphas);
    return *this;
}
PngBuilder& PngBuilder::TransparentColor(uint16_t red, uint16_t green, uint16_t blue,
                                         uint16_t gray) {
    has_trns_color_ = true;
    trns_color_ = png_color_16{0, red, green, blue, gray};
    return *this;
}
PngBuilder& PngBuilder::Background(uint8_t index, uint16_t red, uint16_t green,
                                   uint16_t blue, uint16_t gray) {
    has_bkgd_ = true;
    bkgd_ = png_color_16{index, red, green, blue, gray};
    return *this;
}
PngBuilder& PngBuilder::SignificantBits(uint8_t red, uint8_t green, uint8_t blue,
                                        uint8_t gray, uint8_t alpha) {
    has_sbit_ = true;
    sbit_ = png_color_8{red, green, blue, gray, alpha};
    return *this;
}
PngBuilder& PngBuilder::Gamma(double file_gamma) {
    has_gamma_ = true;
    gamma_ = file_gamma;
    return *this;
}
PngBuilder& PngBuilder::PixelsPerUnit(uint32_t x, uint32_t y) {
    has_phys_ = true;
    phys_x_ = x;
    phys_y_ = y;
    return *this;
}
PngBuilder& PngBuilder::Text(const std::string& key, const std::string& text,
                             int compression, Place place) {
    texts_.push_back({key, text, compression, place});
    return *this;
}
PngBuilder& PngBuilder::Time(uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                             uint8_t minute, uint8_t second, Place place) {
    has_time_ = true;
    time_ = png_time{year, month, day, hour, minute, second};
    time_place_ = place;
    return *this;
}
PngBuilder& PngBuilder::RawChunk(const std::string& name, const std::string& data,
                                 Place place) {
    raw_.push_back({name, data, place});
    return *this;
}

std::string PngBuilder::Build() const {
    size_t rowbytes = 0;
    std::vector<png_byte> pixels =
        packRows(samples_, width_, height_, color_type_, bit_depth_, &rowbytes);
    std::vector<png_bytep> rows(height_);
    for (uint32_t y = 0; y < height_; ++y)
        rows[y] = pixels.data() + y * rowbytes;
    std::string out;
    if (!PngWriteSession::Write(*this, rows.data(), &out)) {
        ADD_FAILURE() << "libpng refused to write the test image";
        return "";
    }
    return out;
}

std::string WithDeclaredSize(const std::string& png, uint32_t width, uint32_t height) {
    // Signature (8), IHDR length and name (8), then width and height.
    std::string out = png;
    if (out.size() < 33)
        return out;
    const uint32_t v[2] = {width, height};
    for (int i = 0; i < 8; ++i)
        out[16 + i] = char(v[i / 4] >> (24 - 8 * (i % 4)));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        out[29 + i] = char(crc >> (24 - 8 * i));
    return out;
}

}  // namespace tarvex_test
