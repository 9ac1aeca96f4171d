// SPDX-License-Identifier: MIT
// The ring of bands: rows in, bands compressed in parallel, the zlib stream
// out in order (header in front of the first band, Adler-32 after the last).
#include "deflater.h"

#include <algorithm>
#include <cstring>

#include "pm.h"

namespace belvane {

namespace {

// Waits for the oldest band; it then waits to be taken.
void retire(Deflater& d) {
    Slot& s = d.slots[size_t(d.first)];
    if (s.worker.joinable())
        s.worker.join();
    if (!s.band.ok)
        pm_error("compression of the image data failed");
    d.adler = adler32_combine(d.adler, s.band.adler, z_off_t(s.band.flen));
    s.waiting = true;
    d.first = (d.first + 1) % int(d.slots.size());
    --d.busy;
    ++d.ready;
}

// Hands the filling band to a worker and starts the next one, with the
// band's last row as the row above its first.
void launch(Deflater& d, bool last) {
    Slot& s = d.slots[size_t(d.fill)];
    Band& b = s.band;
    b.last = last;
    if (b.rows == 0 && !last)
        return;
    if (s.waiting)
        pm_error("a compressed band was overwritten before it was written");
    b.first = d.launched++ == 0;
    if (d.workers > 1)
        s.worker = std::thread(compress_band, std::ref(b), d.strategy);
    else
        compress_band(b, d.strategy);
    ++d.busy;
    const int njobs = int(d.slots.size());
    const int next = (d.fill + 1) % njobs;
    if (d.busy == njobs)
        retire(d);
    Band& n = d.slots[size_t(next)].band;
    std::memcpy(n.raw, b.raw + size_t(b.rows) * b.rowbytes, b.rowbytes);
    n.rows = 0;
    n.rowbytes = b.rowbytes;
    d.fill = next;
}

int cores() {
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

void start_deflater(Deflater& d, const DeflateSetup& setup) {
    d = Deflater{};
    d.level = setup.level;
    d.strategy = strategy_of(setup.level);
    const bool adaptive = setup.adaptive && setup.level > 0;
    d.capacity = int(std::clamp<size_t>(kBand / (setup.rowbytes + 1), 1, 1 << 20));
    // Each worker holds one band's buffers and engines: memory grows with
    // the workers, never with the image.
    const uint64_t bands = setup.total / kBand + 1;
    d.workers = int(std::min<uint64_t>(setup.workers > 0 ? setup.workers : cores(), bands));
    d.slots = std::vector<Slot>(size_t(d.workers) + 1);
    d.adler = adler32(0, nullptr, 0);
    for (Slot& s : d.slots) {
        alloc_band(s.band, d.strategy, d.capacity, setup.rowbytes);
        s.band.bpp = setup.bpp;
        s.band.step = setup.step;
        s.band.adaptive = adaptive;
    }
}

void start_pass(Deflater& d, size_t rowbytes) {
    launch(d, false);
    Band& b = d.slots[size_t(d.fill)].band;
    b.rowbytes = rowbytes;
    std::memset(b.raw, 0, rowbytes);
}

uint8_t* next_row(Deflater& d) {
    if (d.slots[size_t(d.fill)].band.rows == d.capacity)
        launch(d, false);
    Band& b = d.slots[size_t(d.fill)].band;
    return b.raw + size_t(++b.rows) * b.rowbytes;
}

void end_deflater(Deflater& d) {
    launch(d, true);
    while (d.busy > 0)
        retire(d);
}

bool take_band(Deflater& d, const uint8_t** data, size_t* len) {
    if (d.ready == 0)
        return false;
    const int njobs = int(d.slots.size());
    Slot& s = d.slots[size_t((d.first - d.ready + njobs) % njobs)];
    --d.ready;
    s.waiting = false;
    uint8_t* p = s.band.out;
    size_t n = s.band.outlen;
    if (!d.started) {
        // CMF: deflate with a 32 KiB window; FLG: the level, and a check.
        const unsigned flevel = d.level < 2 ? 0 : d.level < 6 ? 1 : d.level == 6 ? 2 : 3;
        const unsigned head = 0x78 * 256 + flevel * 64;
        p -= 2;
        p[0] = 0x78;
        p[1] = uint8_t(flevel * 64 + (31 - head % 31) % 31);
        n += 2;
        d.started = true;
    }
    if (s.band.last) {
        for (int i = 0; i < 4; ++i)
            p[n + size_t(i)] = uint8_t(d.adler >> (24 - 8 * i));
        n += 4;
    }
    *data = p;
    *len = n;
    return true;
}

void free_deflater(Deflater& d) {
    for (Slot& s : d.slots) {
        if (s.worker.joinable())
            s.worker.join();
        free_band(s.band);
    }
    d.slots.clear();
}

}  // namespace belvane
