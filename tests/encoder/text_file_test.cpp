// SPDX-License-Identifier: MIT
// The -text file: each layout that corvane writes reads back as its chunks,
// and each line that PNG cannot store ends the program with its number.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "belvane.h"
#include "support/support.h"

namespace {

using namespace std::string_literals;

// The chunks of `file` as "keyword=text" strings.
std::vector<std::string> Read(const std::string& file) {
    FILE* f = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
    belvane::TextFile t = belvane::read_text_file(f, "texts");
    std::fclose(f);
    std::vector<std::string> chunks;
    for (int i = 0; i < t.count; ++i)
        chunks.push_back(t.chunks[i].keyword + "="s +
                         std::string(t.chunks[i].text, t.chunks[i].textlen));
    belvane::free_text_file(&t);
    return chunks;
}

// A keyword line as corvane writes it: the keyword in 15 columns, a blank,
// the text.
std::string Line(const std::string& keyword, const std::string& text) {
    return keyword + std::string(keyword.size() < 15 ? 15 - keyword.size() : 0, ' ') + " " +
           text + "\n";
}

TEST(TextFile, EveryLayoutReadsBackAsItsChunks) {
    const std::string pad(16, ' ');
    struct Case {
        std::string file;
        std::vector<std::string> chunks;
    };
    const Case cases[] = {
        {"", {}},
        {Line("Title", "A title"), {"Title=A title"}},
        {"Title" + std::string(11, ' ') + "no newline", {"Title=no newline"}},
        {Line("Comment", "one") + pad + "two\n" + pad + "  three\n",
         {"Comment=one\ntwo\n  three"}},
        {Line("A", "x") + Line("B", "y"), {"A=x", "B=y"}},
        {Line("\"Two words\"", "quoted"), {"Two words=quoted"}},
        {Line("\"A \"quote\"\"", "inside"), {"A \"quote\"=inside"}},
        {Line("Keyword-of-15ch", "text"), {"Keyword-of-15ch=text"}},
        {Line("Longer-than-the-columns", "text"), {"Longer-than-the-columns=text"}},
        {"Empty\n", {"Empty="}},
        {Line("Empty", "") + pad + "\n", {"Empty=\n"}},
        {Line("Latin1", "caf\xe9"), {"Latin1=caf\xe9"}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(Read(k.file), k.chunks) << tarvex_test::Escape(k.file);
}

TEST(TextFile, LinesPngCannotStoreAreFatalWithTheirNumber) {
    const std::string pad(16, ' ');
    struct Case {
        std::string file, message;
    };
    const Case cases[] = {
        {pad + "orphan\n", "texts line 1: a continuation line must follow a keyword line"},
        {Line("A", "x") + "   short\n", "texts line 2: a continuation line must follow"},
        {"Two  blanks\n", "texts line 1: the text must start in column 17"},
        {Line("\"Two  blanks\"", "x"), "keyword \"Two  blanks\" cannot be stored in PNG: it holds two "
                                  "blanks in a row"},
        {Line("\"open quote", "x"), "texts line 1: the quoted keyword has no closing quote"},
        {Line("\"\"", "x"), "it is empty"},
        {std::string(80, 'k') + " x\n", "it is longer than 79 characters"},
        {Line("Bad\x7f", "x"), "it holds a character that keywords cannot hold"},
        {Line("\" lead\"", "x"), "it starts or ends with a blank"},
        {Line("A", "x") + Line("B", "nul\0here"s),
         "texts line 2: the text holds a NUL byte"},
    };
    for (const Case& k : cases) {
        const auto r = tarvex_test::RunChild([&] { Read(k.file); });
        EXPECT_EQ(r.status, 1) << tarvex_test::Escape(k.file);
        EXPECT_NE(r.err.find(k.message), std::string::npos)
            << tarvex_test::Escape(k.file) << ": " << r.err;
    }
}

}  // namespace
