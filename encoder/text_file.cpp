// SPDX-License-Identifier: MIT
// Text chunks from a file in the layout that "corvane -text" writes: the
// keyword padded with blanks to 15 columns (quoted when it holds a blank),
// one blank, the text; every further line of a text indented by 16 blanks.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "belvane.h"
#include "png_facts.h"

namespace belvane {

namespace {

// Where every text line starts: past the keyword's columns and a blank.
constexpr size_t kIndent = tarvex::png::kTextIndent;

// Why `k` cannot be a PNG keyword, or null when it can.
const char* keywordFault(const unsigned char* k, size_t n) {
    if (n == 0)
        return "it is empty";
    if (n > 79)
        return "it is longer than 79 characters";
    if (k[0] == ' ' || k[n - 1] == ' ')
        return "it starts or ends with a blank";
    for (size_t i = 0; i < n; ++i) {
        if (k[i] < 32 || (k[i] > 126 && k[i] < 161))
            return "it holds a character that keywords cannot hold";
        if (k[i] == ' ' && k[i + 1] == ' ')
            return "it holds two blanks in a row";
    }
    return nullptr;
}

bool blanks(const unsigned char* p, const unsigned char* end) {
    return std::all_of(p, end, [](unsigned char c) { return c == ' '; });
}

int chunkLines(const unsigned char* p, const unsigned char* end) {
    int n = 0;
    for (bool start = true; p < end; ++p) {
        n += start && *p != ' ';
        start = *p == '\n';
    }
    return n;
}

// One line of the file, and where the reader is.
struct Line {
    const char* file;
    int number;
    unsigned char *begin, *end;  // without the newline
};

// Reads the keyword line's keyword into `chunk`; returns where its text starts.
unsigned char* keywordLine(const Line& l, TextChunk* chunk) {
    const size_t len = size_t(l.end - l.begin);
    const bool quoted = len > 0 && l.begin[0] == '"';
    const unsigned char* k = l.begin + quoted;
    const unsigned char* kend = k;
    // A quoted keyword ends at the quote before a blank (or the line's end).
    while (kend < l.end && (quoted ? !(*kend == '"' && (kend + 1 == l.end || kend[1] == ' '))
                                   : *kend != ' '))
        ++kend;
    if (quoted && kend == l.end)
        pm_error("%s line %d: the quoted keyword has no closing quote", l.file, l.number);
    const size_t klen = size_t(kend - k);
    if (const char* fault = keywordFault(k, klen))
        pm_error("%s line %d: keyword \"%.*s\" cannot be stored in PNG: %s", l.file,
                 l.number, int(std::min<size_t>(klen, 79)), k, fault);
    const size_t width = klen + 2 * quoted;
    unsigned char* text = l.begin + std::min(len, std::max<size_t>(kIndent, width + 1));
    if (!blanks(l.begin + width, text))
        pm_error("%s line %d: the text must start in column 17, after the keyword and "
                 "blanks", l.file, l.number);
    std::memcpy(chunk->keyword, k, klen);
    chunk->keyword[klen] = '\0';
    chunk->text = reinterpret_cast<const char*>(text);
    return text;
}

}  // namespace

TextFile read_text_file(FILE* file, const char* name) {
    int32_t size = 0;
    TextFile t;
    t.buffer = pm_read_unknown_size(file, &size);
    unsigned char* const end = t.buffer + size;
    t.chunks = static_cast<TextChunk*>(
        std::malloc(sizeof(TextChunk) * size_t(std::max(1, chunkLines(t.buffer, end)))));
    if (t.chunks == nullptr)
        pm_error("out of memory reading %s", name);
    TextChunk* cur = nullptr;
    unsigned char* w = nullptr;  // where the current text goes on, moved left
    Line l{name, 0, t.buffer, t.buffer};
    for (; l.begin < end; l.begin = l.end + (l.end < end)) {
        ++l.number;
        auto* nl = static_cast<unsigned char*>(std::memchr(l.begin, '\n', size_t(end - l.begin)));
        l.end = nl != nullptr ? nl : end;
        unsigned char* text;
        if (l.begin < l.end && l.begin[0] == ' ') {
            if (cur == nullptr || size_t(l.end - l.begin) < kIndent ||
                !blanks(l.begin, l.begin + kIndent))
                pm_error("%s line %d: a continuation line must follow a keyword line and "
                         "start with 16 blanks", name, l.number);
            *w++ = '\n';
            text = l.begin + kIndent;
        } else {
            cur = &t.chunks[t.count++];
            text = w = keywordLine(l, cur);
        }
        if (std::memchr(text, 0, size_t(l.end - text)) != nullptr)
            pm_error("%s line %d: the text holds a NUL byte, which PNG text cannot hold",
                     name, l.number);
        std::memmove(w, text, size_t(l.end - text));
        w += l.end - text;
        cur->textlen = size_t(w - reinterpret_cast<const unsigned char*>(cur->text));
    }
    return t;
}

void free_text_file(TextFile* t) {
    std::free(t->chunks);
    std::free(t->buffer);
    *t = TextFile{};
}

}  // namespace belvane
