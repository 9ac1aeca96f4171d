// SPDX-License-Identifier: MIT
// The deflate engines belvane could run, measured on its own filtered rows:
// each band deflated alone on one thread, ending on a byte boundary so that
// the bands join into one stream, every joined stream inflated back and
// compared before its figures count. Sizes and CPU time per image and group.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>
#include <zopfli/deflate.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deflater.h"
#include "filter.h"
#include "pnm.h"

namespace {

// ---- The engines -----------------------------------------------------------------

// One engine at one setting. deflate() writes `len` bytes as blocks none of
// which is final, ending on a byte boundary; it returns 0 when they do not
// fit in `cap` or the engine fails.
struct Coder {
    std::string name;
    double joinSeconds = 0;  // of the last image, spent making a band joinable
    explicit Coder(std::string n) : name(std::move(n)) {}
    virtual ~Coder() = default;
    virtual size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) = 0;
};

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct ZlibCoder : Coder {
    z_stream zs{};
    ZlibCoder(const char* name, int level, int strategy) : Coder(name) {
        if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
            pm_error("zlib refuses level %d", level);
    }
    ~ZlibCoder() override { deflateEnd(&zs); }
    size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) override {
        deflateReset(&zs);
        zs.next_in = const_cast<uint8_t*>(in);
        zs.avail_in = uInt(len);
        zs.next_out = out;
        zs.avail_out = uInt(cap);
        const int ret = ::deflate(&zs, Z_SYNC_FLUSH);
        return ret == Z_OK && zs.avail_in == 0 && zs.avail_out > 0 ? cap - zs.avail_out : 0;
    }
};

// As belvane runs it: a whole stream per band, then continued (whose cost,
// an inflate of the band's output, is counted apart too).
struct LibdeflateCoder : Coder {
    libdeflate_compressor* c;
    LibdeflateCoder(const char* name, int level)
        : Coder(name), c(libdeflate_alloc_compressor(level)) {
        if (c == nullptr)
            pm_error("libdeflate refuses level %d", level);
    }
    ~LibdeflateCoder() override { libdeflate_free_compressor(c); }
    size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) override {
        size_t n = libdeflate_deflate_compress(c, in, len, out, cap - 8);
        const double t = cpuSeconds();
        const bool joined = n > 0 && belvane::continue_deflate(out, &n);
        joinSeconds += cpuSeconds() - t;
        return joined ? n : 0;
    }
};

// igzip's own sync flush ends the band with an empty stored block.
struct IsalCoder : Coder {
    int level;
    std::vector<uint8_t> levelBuf;
    isal_zstream s{};
    IsalCoder(const char* name, int l) : Coder(name), level(l) {
        static const size_t kBuf[4] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT,
                                       ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
        levelBuf.resize(kBuf[l]);
    }
    size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) override {
        isal_deflate_init(&s);
        s.level = uint32_t(level);
        s.level_buf = levelBuf.empty() ? nullptr : levelBuf.data();
        s.level_buf_size = uint32_t(levelBuf.size());
        s.flush = SYNC_FLUSH;
        s.end_of_stream = 0;
        s.next_in = const_cast<uint8_t*>(in);
        s.avail_in = uint32_t(len);
        s.next_out = out;
        s.avail_out = uint32_t(cap);
        if (isal_deflate(&s) != COMP_OK || s.avail_in != 0 || s.avail_out == 0)
            return 0;
        return cap - s.avail_out;
    }
};

// Zopfli's blocks without the final bit, then the empty stored block that a
// sync flush would write.
struct ZopfliCoder : Coder {
    ZopfliOptions o;
    ZopfliCoder(const char* name, int iterations) : Coder(name) {
        ZopfliInitOptions(&o);
        o.numiterations = iterations;
    }
    size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) override {
        unsigned char bp = 0, *z = nullptr;
        size_t n = 0;
        ZopfliDeflatePart(&o, 2, 0, in, 0, len, &bp, &z, &n);
        const size_t total = n + (bp == 0 || bp > 5 ? 1 : 0) + 4;
        if (total > cap) {
            std::free(z);
            return 0;
        }
        std::memcpy(out, z, n);
        std::free(z);
        // Zopfli leaves the unused bits of its last byte clear: the stored
        // block's three header bits go there when they fit.
        if (bp == 0 || bp > 5)
            out[n++] = 0;
        static const uint8_t kEmpty[4] = {0, 0, 0xff, 0xff};
        std::memcpy(out + n, kEmpty, 4);
        return n + 4;
    }
};

// Two engines on each band, the smaller output kept, as belvane's levels
// from 2 up run libdeflate and zlib's run lengths.
struct PairCoder : Coder {
    std::unique_ptr<Coder> a, b;
    std::vector<uint8_t> spare;
    PairCoder(const char* name, std::unique_ptr<Coder> x, std::unique_ptr<Coder> y)
        : Coder(name), a(std::move(x)), b(std::move(y)) {}
    size_t deflate(const uint8_t* in, size_t len, uint8_t* out, size_t cap) override {
        spare.resize(cap);
        const size_t m = a->deflate(in, len, out, cap);
        const size_t n = b->deflate(in, len, spare.data(), cap);
        if (n == 0 || (m > 0 && m <= n))
            return m;
        std::memcpy(out, spare.data(), n);
        return n;
    }
};

std::vector<std::unique_ptr<Coder>> allCoders() {
    std::vector<std::unique_ptr<Coder>> v;
    v.push_back(std::make_unique<ZlibCoder>("zlib 1", 1, Z_DEFAULT_STRATEGY));
    v.push_back(std::make_unique<ZlibCoder>("zlib 6", 6, Z_DEFAULT_STRATEGY));
    v.push_back(std::make_unique<ZlibCoder>("zlib 9", 9, Z_DEFAULT_STRATEGY));
    v.push_back(std::make_unique<ZlibCoder>("zlib rle", 9, Z_RLE));
    static const char* const kLd[] = {"libdeflate 1", "libdeflate 3", "libdeflate 6",
                                      "libdeflate 7", "libdeflate 9", "libdeflate 10",
                                      "libdeflate 12"};
    static const int kLdLevel[] = {1, 3, 6, 7, 9, 10, 12};
    for (int i = 0; i < 7; ++i)
        v.push_back(std::make_unique<LibdeflateCoder>(kLd[i], kLdLevel[i]));
    static const char* const kIsal[] = {"igzip 0", "igzip 1", "igzip 2", "igzip 3"};
    for (int l = 0; l < 4; ++l)
        v.push_back(std::make_unique<IsalCoder>(kIsal[l], l));
    v.push_back(std::make_unique<PairCoder>(
        "libdeflate 1 + rle", std::make_unique<LibdeflateCoder>("", 1),
        std::make_unique<ZlibCoder>("", 9, Z_RLE)));
    v.push_back(std::make_unique<PairCoder>(
        "igzip 1 + rle", std::make_unique<IsalCoder>("", 1),
        std::make_unique<ZlibCoder>("", 9, Z_RLE)));
    v.push_back(std::make_unique<ZopfliCoder>("zopfli 1", 1));
    v.push_back(std::make_unique<ZopfliCoder>("zopfli 5", 5));
    v.push_back(std::make_unique<ZopfliCoder>("zopfli 15", 15));
    return v;
}

bool isZopfli(const Coder& c) { return c.name.rfind("zopfli", 0) == 0; }

// ---- The input ---------------------------------------------------------------------

// An image's rows as belvane filters them, and its bands.
struct Image {
    std::string name, group;
    std::vector<uint8_t> filtered;
    size_t band;  // filtered bytes per band
};

// "photo-wood" of ".../photo-wood.ppm".
std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    return std::string(base, std::strcspn(base, "."));
}

Image load(const char* path) {
    FILE* f = pm_openr(path);
    int cols, rows, format;
    sampleval maxval;
    pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    if (maxval != 255 || (format != PGM_RAW_CODE && format != PPM_RAW_CODE))
        pm_error("%s: only raw PGM and PPM of maxval 255 are measured", path);
    const size_t bpp = format == PPM_RAW_CODE ? 3 : 1;
    const size_t n = size_t(cols) * bpp;
    // The row above the first is zeros, as PNG has it.
    std::vector<uint8_t> raw((size_t(rows) + 1) * n, 0);
    if (std::fread(raw.data() + n, n, size_t(rows), f) != size_t(rows))
        pm_error("%s: short raster", path);
    pm_close(f);
    Image im;
    im.name = baseName(path);
    im.group.assign(im.name, 0, im.name.find('-'));
    im.filtered.resize(size_t(rows) * (n + 1));
    std::vector<uint8_t> scratch(2 * n + 1);
    belvane::filter_rows(raw.data(), rows, n, bpp, 1, belvane::Choice::sum, im.filtered.data(),
                         scratch.data());
    im.band = std::clamp<size_t>(belvane::kBand / (n + 1), 1, 1 << 20) * (n + 1);
    return im;
}

// ---- Measuring ---------------------------------------------------------------------

size_t bandBound(size_t len) {
    return std::max(libdeflate_deflate_compress_bound(nullptr, len),
                    size_t(deflateBound(nullptr, uLong(len)))) + 64;
}

// The bands joined, closed by an empty final block, inflate to the image.
void check(const Image& im, const Coder& c, std::vector<uint8_t> stream) {
    stream.push_back(0x03);
    stream.push_back(0x00);
    std::vector<uint8_t> back(im.filtered.size() + 1);
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = stream.data();
    zs.avail_in = uInt(stream.size());
    zs.next_out = back.data();
    zs.avail_out = uInt(back.size());
    const int ret = inflate(&zs, Z_FINISH);
    const bool same = ret == Z_STREAM_END && zs.avail_in == 0 &&
                      zs.total_out == im.filtered.size() &&
                      std::memcmp(back.data(), im.filtered.data(), im.filtered.size()) == 0;
    inflateEnd(&zs);
    if (!same)
        pm_error("%s: %s's output does not inflate to its input", im.name.c_str(),
                 c.name.c_str());
}

struct Figures {
    size_t bytes = 0;
    std::vector<double> seconds, joinSeconds;
};

// One image through one engine, band by band; checked the first time.
void measure(const Image& im, Coder& c, Figures& fig, std::vector<uint8_t>& out) {
    const size_t len = im.filtered.size();
    size_t pos = 0;
    c.joinSeconds = 0;
    const double t0 = cpuSeconds();
    for (size_t at = 0; at < len; at += im.band) {
        const size_t n = std::min(im.band, len - at);
        const size_t got = c.deflate(im.filtered.data() + at, n, out.data() + pos,
                                     bandBound(n));
        if (got == 0)
            pm_error("%s: %s failed on a band", im.name.c_str(), c.name.c_str());
        pos += got;
    }
    fig.seconds.push_back(cpuSeconds() - t0);
    fig.joinSeconds.push_back(c.joinSeconds);
    if (fig.bytes == 0)
        check(im, c, std::vector<uint8_t>(out.begin(), out.begin() + long(pos)));
    else if (fig.bytes != pos)
        pm_error("%s: %s changed its output", im.name.c_str(), c.name.c_str());
    fig.bytes = pos;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// ---- Reporting ---------------------------------------------------------------------

struct Total {
    double bytes = 0, in = 0, seconds = 0;
    bool complete = true;
};

using FigureMap = std::map<std::pair<size_t, size_t>, Figures>;

// Engine `c` over the images that `in` selects.
Total sum(const std::vector<Image>& images, size_t c, const FigureMap& figs,
          const std::vector<bool>& in) {
    Total t;
    for (size_t i = 0; i < images.size(); ++i) {
        if (!in[i])
            continue;
        auto it = figs.find({i, c});
        if (it == figs.end()) {
            t.complete = false;
            continue;
        }
        t.bytes += double(it->second.bytes);
        t.in += double(images[i].filtered.size());
        t.seconds += median(it->second.seconds);
    }
    return t;
}

// Rows: engines; columns: the groups (and "zopfli set", the images zopfli
// ran on); cells: compressed MB and MB of filtered input per CPU second.
void report(const std::vector<Image>& images, const std::vector<std::unique_ptr<Coder>>& coders,
            const FigureMap& figs) {
    std::vector<std::string> groups;
    std::vector<std::vector<bool>> members;
    for (const Image& im : images)
        if (std::find(groups.begin(), groups.end(), im.group) == groups.end())
            groups.push_back(im.group);
    for (const std::string& g : groups) {
        members.emplace_back();
        for (const Image& im : images)
            members.back().push_back(im.group == g);
    }
    std::vector<bool> zset(images.size(), false);
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t z = 0; z < coders.size(); ++z)
            zset[i] = zset[i] || (isZopfli(*coders[z]) && figs.count({i, z}) > 0);
    if (std::find(zset.begin(), zset.end(), true) != zset.end()) {
        groups.push_back("zopfli set");
        members.push_back(zset);
    }
    std::printf("\n| engine |");
    for (const std::string& g : groups)
        std::printf(" %s MB | MB/s |", g.c_str());
    std::printf("\n|---|");
    for (size_t g = 0; g < groups.size(); ++g)
        std::printf("---:|---:|");
    for (size_t c = 0; c < coders.size(); ++c) {
        std::printf("\n| %s |", coders[c]->name.c_str());
        for (const std::vector<bool>& in : members) {
            const Total t = sum(images, c, figs, in);
            if (!t.complete || t.in == 0)
                std::printf(" - | - |");
            else
                std::printf(" %.3f | %.1f |", t.bytes / 1e6, t.in / 1e6 / t.seconds);
        }
    }
    std::printf("\n");
}

void reportImages(const std::vector<Image>& images,
                  const std::vector<std::unique_ptr<Coder>>& coders,
                  const FigureMap& figs) {
    std::printf("image\tengine\tfiltered\tbytes\tcpu_s\tjoin_s\tMB/s\n");
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t c = 0; c < coders.size(); ++c) {
            auto it = figs.find({i, c});
            if (it == figs.end())
                continue;
            const double s = median(it->second.seconds);
            std::printf("%s\t%s\t%zu\t%zu\t%.4f\t%.4f\t%.1f\n", images[i].name.c_str(),
                        coders[c]->name.c_str(), images[i].filtered.size(), it->second.bytes,
                        s, median(it->second.joinSeconds),
                        double(images[i].filtered.size()) / 1e6 / s);
        }
}

struct Options {
    int rounds = 3;
    double zopfliMax = 8;  // MB of filtered rows
    int zopfliRounds = 1;  // its time is far from every other engine's
    std::string only;      // ",name,name,": the engines to run; all when empty
};

// The options before the maps; `*a` is left at the first map.
Options parse(int argc, char** argv, int* a) {
    static const char kUsage[] =
        "[-rounds N] [-zopfli-max MB] [-zopfli-rounds N] [-only ENGINE,...] map...";
    Options o;
    for (*a = 1; *a + 1 < argc && argv[*a][0] == '-'; *a += 2) {
        const char* name = argv[*a];
        const char* value = argv[*a + 1];
        if (std::strcmp(name, "-rounds") == 0)
            o.rounds = std::max(1, std::atoi(value));
        else if (std::strcmp(name, "-zopfli-max") == 0)
            o.zopfliMax = std::atof(value);
        else if (std::strcmp(name, "-zopfli-rounds") == 0)
            o.zopfliRounds = std::atoi(value);
        else if (std::strcmp(name, "-only") == 0)
            o.only = std::string(",") + value + ",";
        else
            pm_usage(kUsage);
    }
    if (*a == argc)
        pm_usage(kUsage);
    return o;
}

// Round by round, every engine in turn on each image, so that a change in
// the machine's load weighs on all of them alike.
FigureMap run(const Options& o, const std::vector<Image>& images,
              const std::vector<std::unique_ptr<Coder>>& coders) {
    size_t most = 0;
    for (const Image& im : images)
        most = std::max(most, im.filtered.size() / im.band * bandBound(im.band) +
                                  bandBound(im.band));
    std::vector<uint8_t> out(most);
    FigureMap figs;
    for (int r = 0; r < o.rounds; ++r) {
        for (size_t i = 0; i < images.size(); ++i)
            for (size_t c = 0; c < coders.size(); ++c) {
                const double mb = double(images[i].filtered.size()) / 1e6;
                if (isZopfli(*coders[c]) && (r >= o.zopfliRounds || mb > o.zopfliMax))
                    continue;
                measure(images[i], *coders[c], figs[{i, c}], out);
            }
        std::fprintf(stderr, "engines: round %d of %d done\n", r + 1, o.rounds);
    }
    return figs;
}

}  // namespace

int main(int argc, char** argv) {
    pnm_init(&argc, argv);
    int a;
    const Options o = parse(argc, argv, &a);
    std::vector<Image> images;
    for (; a < argc; ++a)
        images.push_back(load(argv[a]));
    auto coders = allCoders();
    if (!o.only.empty())
        std::erase_if(coders, [&](const std::unique_ptr<Coder>& c) {
            return o.only.find("," + c->name + ",") == std::string::npos;
        });
    if (coders.empty())
        pm_error("no engine of that name");
    const FigureMap figs = run(o, images, coders);
    reportImages(images, coders, figs);
    report(images, coders, figs);
    return 0;
}
