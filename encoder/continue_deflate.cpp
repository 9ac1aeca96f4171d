// SPDX-License-Identifier: MIT
// Where a raw deflate stream's final block starts and where its data ends:
// a walk over the blocks that decodes their codes without making their
// data, so that a band's stream can be continued by the next band's.
#include <bit>
#include <cstring>

#include "band_strategy.h"

namespace belvane {

namespace {

// Reads the stream's bits from the least significant end of each byte, a
// word at a time; past the end of the data it reads zeros, and says so.
struct Bits {
    const uint8_t* p;
    size_t bytes;
    size_t next = 0;   ///< the next byte to load
    uint64_t buf = 0;  ///< loaded bits, the next one lowest
    int count = 0;     ///< how many of them are the stream's

    // At least 56 bits in `buf`.
    void refill() {
        if (next + 8 <= bytes) {
            uint64_t v;
            std::memcpy(&v, p + next, 8);
            if constexpr (std::endian::native == std::endian::big)
                v = __builtin_bswap64(v);
            buf |= v << count;
            next += size_t(63 - count) / 8;
            count |= 56;
            return;
        }
        for (; count <= 56; count += 8, ++next)
            buf |= uint64_t(next < bytes ? p[next] : 0) << count;
    }
    unsigned take(int n) {
        if (count < n)
            refill();
        const unsigned v = unsigned(buf & ((uint64_t(1) << n) - 1));
        drop(n);
        return v;
    }
    void drop(int n) {
        buf >>= n;
        count -= n;
    }
    size_t pos() const { return next * 8 - size_t(count); }
    bool over() const { return pos() > bytes * 8; }
};

constexpr int kMaxBits = 15;
constexpr int kFastBits = 12;

// A canonical Huffman code: a table for codes of up to kFastBits bits, and
// the counts and sorted symbols for the longer ones.
struct Code {
    uint16_t fast[1 << kFastBits];  ///< symbol << 4 | length; 0: look further
    uint16_t count[kMaxBits + 1];
    uint16_t symbol[288];
};

// False when the lengths give more codes than bits allow.
bool build(Code& c, const uint8_t* lengths, int n) {
    std::memset(c.count, 0, sizeof c.count);
    for (int s = 0; s < n; ++s)
        ++c.count[lengths[s]];
    c.count[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = left * 2 - c.count[len];
        if (left < 0)
            return false;
    }
    uint16_t offset[kMaxBits + 2] = {};
    for (int len = 1; len <= kMaxBits; ++len)
        offset[len + 1] = uint16_t(offset[len] + c.count[len]);
    for (int s = 0; s < n; ++s)
        if (lengths[s] != 0)
            c.symbol[offset[lengths[s]]++] = uint16_t(s);
    std::memset(c.fast, 0, sizeof c.fast);
    unsigned code = 0;
    int index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
        for (int k = 0; k < c.count[len]; ++k, ++code, ++index) {
            // The stream holds codes from their first bit; the table is
            // indexed by the bits as read.
            unsigned reversed = 0;
            for (int i = 0; i < len; ++i)
                reversed |= ((code >> i) & 1u) << (len - 1 - i);
            for (unsigned r = reversed; r < (1u << kFastBits); r += 1u << len)
                c.fast[r] = uint16_t(c.symbol[index] << 4 | len);
        }
        code <<= 1;
    }
    return true;
}

// The next symbol, or -1 for a code the lengths do not hold; `in` holds at
// least 15 bits.
int decode(const Code& c, Bits& in) {
    const uint64_t bits = in.buf;
    if (const uint16_t e = c.fast[bits & ((1u << kFastBits) - 1)]; e != 0) {
        in.drop(e & 15);
        return e >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        code |= int((bits >> (len - 1)) & 1);
        const int count = c.count[len];
        if (code - first < count) {
            in.drop(len);
            return c.symbol[index + code - first];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The litlen and distance codes of a dynamic block's header.
bool readCodes(Bits& in, Code& lit, Code& dist) {
    const int nlit = int(in.take(5)) + 257, ndist = int(in.take(5)) + 1;
    const int nlen = int(in.take(4)) + 4;
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint8_t lengths[320] = {};
    for (int i = 0; i < nlen; ++i)
        lengths[kOrder[i]] = uint8_t(in.take(3));
    Code lencode;
    if (nlit > 286 || ndist > 30 || !build(lencode, lengths, 19))
        return false;
    std::memset(lengths, 0, 19);
    for (int i = 0; i < nlit + ndist;) {
        in.refill();
        const int s = decode(lencode, in);
        if (s < 0 || in.over())
            return false;
        if (s < 16) {
            lengths[i++] = uint8_t(s);
            continue;
        }
        int repeat = 0;
        uint8_t value = 0;
        if (s == 16) {
            if (i == 0)
                return false;
            value = lengths[i - 1];
            repeat = 3 + int(in.take(2));
        } else {
            repeat = s == 17 ? 3 + int(in.take(3)) : 11 + int(in.take(7));
        }
        if (i + repeat > nlit + ndist)
            return false;
        while (repeat-- > 0)
            lengths[i++] = value;
    }
    return lengths[256] != 0 && build(lit, lengths, nlit) && build(dist, lengths + nlit, ndist);
}

// Skips a Huffman block's codes up to its end-of-block code.
bool skipCodes(Bits& in, const Code& lit, const Code& dist) {
    for (;;) {
        // Enough for a length, its distance and their extra bits.
        if (in.count < 48) {
            if (in.over())
                return false;
            in.refill();
        }
        const int s = decode(lit, in);
        if (s < 256) {
            if (s < 0)
                return false;
            continue;
        }
        if (s == 256)
            return true;
        if (s > 285)
            return false;
        in.drop(kLengthExtra[s - 257]);
        const int d = decode(dist, in);
        if (d < 0 || d > 29)
            return false;
        in.drop(kDistanceExtra[d]);
    }
}

void fixedCodes(Code& lit, Code& dist) {
    uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    build(lit, lengths, 288);
    std::memset(lengths, 5, 30);
    build(dist, lengths, 30);
}

}  // namespace

bool continue_deflate(uint8_t* p, size_t* n) {
    Bits in{p, *n};
    thread_local Code lit, dist;
    size_t lastStart = 0;
    for (bool final = false; !final;) {
        lastStart = in.pos();
        final = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (type == 0) {
            in.drop(in.count % 8);
            const unsigned len = in.take(16), complement = in.take(16);
            if (len != (~complement & 0xffff))
                return false;
            // The stored bytes start on a byte boundary: skip them, and
            // load again after them.
            in.next = in.pos() / 8 + len;
            in.buf = 0;
            in.count = 0;
        } else if (type == 1) {
            fixedCodes(lit, dist);
            if (!skipCodes(in, lit, dist))
                return false;
        } else if (type != 2 || !readCodes(in, lit, dist) || !skipCodes(in, lit, dist)) {
            return false;
        }
        if (in.over())
            return false;
    }
    const size_t end = in.pos();
    if (end + 8 <= *n * 8)
        return false;  // bytes after the final block
    p[lastStart / 8] &= uint8_t(~(1u << (lastStart % 8)));
    // A stored block's three header bits, then a byte boundary, then its
    // length 0 and the length's complement.
    if (end % 8 != 0)
        p[end / 8] &= uint8_t((1u << (end % 8)) - 1);
    if (*n * 8 - end < 3)
        p[(*n)++] = 0;
    static const uint8_t kEmpty[4] = {0, 0, 0xff, 0xff};
    std::memcpy(p + *n, kEmpty, 4);
    *n += 4;
    return true;
}

}  // namespace belvane
