// Text chunks from a file in the layout that "corvane -text" writes: the
// keyword padded with blanks to 15 columns (quoted when it holds a blank),
// one blank, the text; every further line of a text indented by 16 blanks.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "belvane.h"

namespace belvane {

namespace {

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
    unsigned char* w = nullptr;  // where the current text goes on
    int lineno = 0;
    for (unsigned char* line = t.buffer; line < end;) {
        ++lineno;
        auto* nl = static_cast<unsigned char*>(std::memchr(line, '\n', size_t(end - line)));
        unsigned char* eol = nl != nullptr ? nl : end;
        const size_t len = size_t(eol - line);
        unsigned char* text;
        if (len > 0 && line[0] == ' ') {
            if (cur == nullptr || len < 16 || !blanks(line, line + 16))
                pm_error("%s line %d: a continuation line must follow a keyword "
                         "line and start with 16 blanks", name, lineno);
            *w++ = '\n';
            text = line + 16;
        } else {
            const bool quoted = len > 0 && line[0] == '"';
            const unsigned char* k = line + quoted;
            const unsigned char* kend = k;
            while (kend < eol && (quoted ? !(*kend == '"' && (kend + 1 == eol || kend[1] == ' '))
                                         : *kend != ' '))
                ++kend;
            if (quoted && kend == eol)
                pm_error("%s line %d: the quoted keyword has no closing quote", name, lineno);
            const size_t klen = size_t(kend - k);
            if (const char* fault = keywordFault(k, klen))
                pm_error("%s line %d: keyword \"%.*s\" cannot be stored in PNG: %s",
                         name, lineno, int(std::min<size_t>(klen, 79)), k, fault);
            const size_t width = klen + 2 * quoted;
            text = line + std::min(len, std::max<size_t>(16, width + 1));
            if (!blanks(line + width, text))
                pm_error("%s line %d: the text must start in column 17, after the "
                         "keyword and blanks", name, lineno);
            cur = &t.chunks[t.count++];
            std::memcpy(cur->keyword, k, klen);
            cur->keyword[klen] = '\0';
            cur->text = reinterpret_cast<const char*>(text);
            w = text;
        }
        if (std::memchr(text, 0, size_t(eol - text)) != nullptr)
            pm_error("%s line %d: the text holds a NUL byte, which PNG text "
                     "cannot hold", name, lineno);
        std::memmove(w, text, size_t(eol - text));
        w += eol - text;
        cur->textlen = size_t(w - reinterpret_cast<const unsigned char*>(cur->text));
        line = eol + (nl != nullptr);
    }
    return t;
}

void free_text_file(TextFile* t) {
    std::free(t->chunks);
    std::free(t->buffer);
    *t = TextFile{};
}

}  // namespace belvane
