// SPDX-License-Identifier: MIT
// The text chunks written to the "-text" file and the modification time
// report of "-time".
#include "corvane.h"
#include "png_facts.h"

namespace corvane {

namespace {

constexpr const char* kMonth[13] = {
    "",     "January", "February", "March",     "April",   "May",     "June",
    "July", "August",  "September", "October", "November", "December"};

void pad(FILE* f, int n) {
    for (int i = 0; i < n; ++i)
        std::fputc(' ', f);
}

// The keyword filled to its columns; one with a blank is quoted.
void writeKeyword(FILE* f, const char* key) {
    int len = 0;
    bool blank = false;
    for (; key[len] != '\0'; ++len)
        blank = blank || key[len] == ' ';
    if (blank) {
        std::fprintf(f, "\"%s\"", key);
        pad(f, tarvex::png::kKeywordColumns - 2 - len);
    } else {
        std::fprintf(f, "%s", key);
        pad(f, tarvex::png::kKeywordColumns - len);
    }
    std::fputc(' ', f);
}

// iTXt texts carry their length in itxt_length, the others in text_length.
size_t textLength(const png_text& t) {
    return t.compression >= PNG_ITXT_COMPRESSION_NONE ? t.itxt_length
                                                      : t.text_length;
}

}  // namespace

const char* month_name(unsigned int m) {
    return m < 13 ? kMonth[m] : "";
}

void save_text(png_const_structrp png_ptr, png_inforp info_ptr, FILE* tfp) {
    png_textp chunks = nullptr;
    const int n = png_get_text(png_ptr, info_ptr, &chunks, nullptr);
    for (int i = 0; i < n; ++i) {
        writeKeyword(tfp, chunks[i].key);
        const size_t len = chunks[i].text != nullptr ? textLength(chunks[i]) : 0;
        for (size_t j = 0; j < len; ++j) {
            std::fputc(chunks[i].text[j], tfp);
            if (chunks[i].text[j] == '\n')
                pad(tfp, tarvex::png::kTextIndent);
        }
        std::fputc('\n', tfp);
    }
}

void show_time(png_const_structrp png_ptr, png_inforp info_ptr) {
    png_timep t = nullptr;
    if (!png_get_valid(png_ptr, info_ptr, PNG_INFO_tIME) ||
        !png_get_tIME(png_ptr, info_ptr, &t))
        return;
    pm_message("modification time: %02d %s %d %02d:%02d:%02d", t->day,
               month_name(t->month), t->year, t->hour, t->minute, t->second);
}

}  // namespace corvane
