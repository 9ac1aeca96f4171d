#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks what decides the comparison's tables, on tiny made-up inputs:
portable-map headers, the refused-package test, the aims and the README
rewrite between markers."""

import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402
import compare  # noqa: E402


def entry(size, wall, rss=1000, lossless=True):
    return {"size": size, "wall": wall, "cpu": wall, "rss": rss,
            "lossless": lossless, "exact": "yes" if lossless else "no: x"}


class Checks(unittest.TestCase):
    def test_headers(self):
        for data, want in [
                (b"P6\n# made here\n3 2\n255\n", ("P6", 3, 2, 255, 23)),
                (b"P4 10\t2\n", ("P4", 10, 2, 1, 8)),
                (b"P5 3 2 255", None),     # no whitespace after the maxval
                (b"P7\n3 2\n255\n", None), (b"P6 3 2\n", None)]:
            with self.subTest(data=data):
                self.assertEqual(benchlib.pnm_header(data), want)
        for header, want in [(("P4", 10, 3, 1), 6), (("P5", 3, 2, 65535), 12),
                             (("P6", 3, 2, 255), 18), (("P3", 3, 2, 255), 18)]:
            self.assertEqual(benchlib.raster_size(*header), want)

    def test_refusal_by_hash(self):
        decoy = hashlib.sha256(b"decoy").hexdigest()[:16]
        saved, benchlib.REFUSED_HASH = benchlib.REFUSED_HASH, decoy
        try:
            self.assertEqual(benchlib.refused(
                ["libfoo", "decoy:amd64", "decoys"]), ["decoy:amd64"])
        finally:
            benchlib.REFUSED_HASH = saved

    def test_aims(self):
        d, one, nine = (compare.level_tool(k) for k in (7, 1, 9))
        # belvane smaller than the lossless peers but not than Pillow, which
        # lost bits; slower than libvips; level 1 fast enough, 9 too slow.
        entries = {d: entry(100, 2.0, 10), one: entry(105, 0.3),
                   nine: entry(90, 4.0), "vips": entry(200, 1.0, 50),
                   "graphicsmagick": entry(101, 9.0, 200),
                   "pillow": entry(50, 3.0, 60, lossless=False),
                   "optipng": entry(95, 10.0, 20)}
        got = compare.encode_aims(entries, "photo")
        want = {"size": (100 / 101, True, "GraphicsMagick"),
                "wall": (2.0, False, "libvips"), "rss": (0.2, True, "libvips"),
                "l1wall": (0.3, True, "libvips"), "l1size": (1.05, True, "default"),
                "l9size": (90 / 95, True, "optipng"), "l9wall": (0.4, False, "optipng")}
        for aim, (r, met, against) in want.items():
            with self.subTest(aim=aim):
                self.assertAlmostEqual(got[aim][0], r)
                self.assertEqual(got[aim][1:], (met, against))
        self.assertEqual(set(compare.encode_aims(entries, "game")),
                         {"size", "wall", "rss"})
        levels = {compare.level_tool(k): entry(100 - k + (k == 5) * 3, 1)
                  for k in compare.LEVELS}
        self.assertEqual(compare.level_totals([levels])[1], [5])

    def test_blocks(self):
        with tempfile.NamedTemporaryFile("w+", suffix=".md") as f:
            f.write("a\n<!-- compare:x -->\nold\n<!-- /compare:x -->\nb\n")
            f.flush()
            compare.write_blocks(f.name, {"x": "new\n"})
            f.seek(0)
            self.assertEqual(f.read(), "a\n<!-- compare:x -->\nnew\n"
                             "<!-- /compare:x -->\nb\n")


if __name__ == "__main__":
    unittest.main()
