// Builds PNG files in memory with libpng's writer: any colour type, depth and
// interlace, the ancillary chunks the converter reads, text and time before or
// after the image data, and raw chunks for values libpng would not write.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex_test {

/// Where a text, time or raw chunk goes relative to the image data.
enum class Place { before_image, after_image };

/// A PNG under construction. Samples are given in PNG order (gray; gray,
/// alpha; index; red, green, blue; red, green, blue, alpha), row by row,
/// each at the image's own scale; missing samples are 0.
class PngBuilder {
public:
    PngBuilder(uint32_t width, uint32_t height, int color_type, int bit_depth);

    PngBuilder& Samples(std::vector<uint16_t> samples);
    PngBuilder& Interlaced();
    PngBuilder& Palette(std::vector<png_color> entries);
    /// tRNS of a palette image: one alpha byte per entry.
    PngBuilder& PaletteAlpha(std::vector<uint8_t> alphas);
    /// tRNS of a gray (gray only) or RGB image.
    PngBuilder& TransparentColor(uint16_t red, uint16_t green, uint16_t blue,
                                 uint16_t gray);
    PngBuilder& Background(uint8_t index, uint16_t red, uint16_t green,
                           uint16_t blue, uint16_t gray);
    PngBuilder& SignificantBits(uint8_t red, uint8_t green, uint8_t blue,
                                uint8_t gray, uint8_t alpha);
    PngBuilder& Gamma(double file_gamma);
    PngBuilder& PixelsPerUnit(uint32_t x, uint32_t y);
    /// `compression` is one of libpng's PNG_TEXT_COMPRESSION_NONE (tEXt),
    /// PNG_TEXT_COMPRESSION_zTXt, PNG_ITXT_COMPRESSION_NONE (iTXt).
    PngBuilder& Text(const std::string& key, const std::string& text,
                     int compression = PNG_TEXT_COMPRESSION_NONE,
                     Place place = Place::before_image);
    PngBuilder& Time(uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                     uint8_t minute, uint8_t second,
                     Place place = Place::before_image);
    /// A chunk written as given (name of four letters, data without CRC).
    PngBuilder& RawChunk(const std::string& name, const std::string& data,
                         Place place = Place::before_image);

    /// The PNG file; fails the running test and returns "" if libpng refuses.
    std::string Build() const;

private:
    struct TextChunk { std::string key, text; int compression; Place place; };
    struct RawChunkData { std::string name, data; Place place; };

    uint32_t width_, height_;
    int color_type_, bit_depth_;
    bool interlaced_ = false;
    std::vector<uint16_t> samples_;
    std::vector<png_color> palette_;
    std::vector<uint8_t> palette_alpha_;
    bool has_trns_color_ = false, has_bkgd_ = false, has_sbit_ = false;
    bool has_gamma_ = false, has_phys_ = false, has_time_ = false;
    png_color_16 trns_color_{}, bkgd_{};
    png_color_8 sbit_{};
    double gamma_ = 0;
    uint32_t phys_x_ = 0, phys_y_ = 0;
    png_time time_{};
    Place time_place_ = Place::before_image;
    std::vector<TextChunk> texts_;
    std::vector<RawChunkData> raw_;

    friend struct PngWriteSession;
};

/// The same file with its IHDR declaring another size (CRC recomputed, the
/// image data left as it is).
std::string WithDeclaredSize(const std::string& png, uint32_t width,
                             uint32_t height);

}  // namespace tarvex_test
