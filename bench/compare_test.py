#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks what decides the comparison's tables, on tiny made-up inputs:
portable-map headers, the refused-package test, the aims, the streaming
floor's skip when the floor refuses it, the optimisers' starting PNG, the
round trip's pick, check and summary, and the README rewrite between
markers."""

import hashlib
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402
import compare  # noqa: E402
import fetch_images  # noqa: E402
import measure  # noqa: E402
import report  # noqa: E402
import roundtrip  # noqa: E402
import tools  # noqa: E402


def entry(size, wall, rss=1000, lossless=True):
    return {"size": size, "wall": wall, "cpu": wall, "rss": rss,
            "lossless": lossless, "exact": "yes" if lossless else "no: x"}


def script(folder, name, body):
    """An executable shell script standing in for a program."""
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body + "\n")
    os.chmod(path, 0o755)
    return path


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

    def test_encode_aims(self):
        d, one, nine = (tools.level_tool(k) for k in (7, 1, 9))
        # belvane smaller than the exact converters but not than Pillow,
        # which lost bits; slower than libvips; level 1 fast enough; level 9
        # smaller than both optimisers, slower than a quarter of optipng and
        # than oxipng.
        entries = {d: entry(100, 2.0, 10), one: entry(105, 0.3),
                   nine: entry(90, 4.0), "vips": entry(200, 1.0, 50),
                   "graphicsmagick": entry(101, 9.0, 200),
                   "pillow": entry(50, 3.0, 60, lossless=False),
                   "optipng": entry(95, 14.0, 20),
                   "oxipng": entry(92, 3.0, 20),
                   "zopflipng": entry(88, 99.0)}
        want = {"size": (100 / 101, True, "GraphicsMagick"),
                "wall": (2.0, False, "libvips"), "rss": (0.2, True, "libvips"),
                "l1wall": (0.3, True, "libvips"),
                "l1size": (1.05, True, "default"),
                "l9size": (90 / 92, True, "oxipng -o2"),
                "l9opti": (4 / 14, False, "optipng"),
                "l9oxi": (4 / 3, False, "oxipng"),
                "anchor": (90 / 88, True, "zopflipng")}
        got = report.encode_aims(entries, "photo")
        self.assertEqual(set(got), set(want))
        for aim, (r, met, against) in want.items():
            with self.subTest(aim=aim):
                self.assertAlmostEqual(got[aim][0], r)
                self.assertEqual(got[aim][1:], (met, against))
        for category, aims in [("screenshot", {"size", "wall", "rss", "l9size",
                                               "l9opti", "l9oxi", "anchor"}),
                               ("icon", {"size", "wall", "rss", "anchor"})]:
            self.assertEqual(set(report.encode_aims(entries, category)), aims)
        self.assertEqual(set(report.encode_aims(entries, "icon", True)),
                         {"size"})
        # Level 5 larger than 4 and slower: off the frontier; 8 gives 7's
        # size, slower: off it too.
        levels = {tools.level_tool(k): entry(
            100 - k + (k == 5) * 3 + (k == 8), 1 + k + (k == 5) * 9)
            for k in tools.LEVELS}
        _, larger, n, off, same = report.level_totals([levels, levels])
        self.assertEqual((larger, n, off), ([5], 2, [5, 8]))
        self.assertEqual([k for k, count in same.items() if count], [8])
        self.assertEqual(same[8], 2)

    def test_decode_aims(self):
        # corvane against the streaming floor (1.05) and its peak RSS (16
        # MiB): met, missed, and not measured without a streaming floor.
        for stream, rss_kib, want in [(1.0, 8000, ["1.00 met", "7.81 MiB met"]),
                                      (0.9, 20000, ["1.11 **missed**",
                                                    "19.53 MiB **missed**"]),
                                      (None, 8000, ["| - |"])]:
            entries = {"corvane": dict(entry(0, 1.0, rss_kib), digest="a",
                                       output="P6"),
                       "floor": dict(entry(0, 1.2), digest="a", output="P6")}
            if stream:
                entries["floor-stream"] = dict(entry(0, stream), digest="a",
                                               output="P6")
            data = {"decode": {"giga/x": entries}, "inputs": {
                "decode:giga/x": {"decoded": 1 << 30, "order": 0}}}
            text = report.render_decode_aims(data)
            with self.subTest(stream=stream):
                for w in want:
                    self.assertIn(w, text)

    def test_floor_stream_skipped_when_refused(self):
        with tempfile.TemporaryDirectory() as work:
            paths = tools.Paths(work, work, belvane=script(
                work, "belvane", "cat >/dev/null; printf PNG"))
            stream = tools.TOOLS["floor-stream"]
            for body, refused in [('echo "floor: usage" >&2; exit 1', True),
                                  ("exit 0", False)]:
                paths.floor = script(work, "floor", body)
                why = stream.refused(paths)
                self.assertEqual(why is not None, refused)
            paths.floor = script(work, "floor", 'echo "floor: usage" >&2;'
                                 ' exit 1')
            args = compare.parse_args(["--tools", "floor-stream,floor",
                                       "--sets", "giga"])
            measured = []
            saved = measure.jobs_of, measure.measure_decoding
            measure.jobs_of = lambda *a: [("decode", "giga/x", "x.png",
                                           {"category": "giga"})]
            measure.measure_decoding = lambda png, names, runs, p: (
                measured.extend(names) or {})
            try:
                results = measure.Results(os.path.join(work, "r.json"))
                compare.run(args, paths, results)
            finally:
                measure.jobs_of, measure.measure_decoding = saved
            self.assertEqual(measured, ["floor"])
            got = results.data["decode"]["giga/x"]["floor-stream"]["failed"]
            self.assertIn("floor -stream refused (floor: usage)", got)

    def test_optimisers_start_from_the_png(self):
        with tempfile.TemporaryDirectory() as work:
            paths = tools.Paths(work, work, belvane=script(
                work, "belvane", 'echo "$@" >"$0.args"; printf stored'))
            pnm = os.path.join(work, "a.ppm")
            for name in tools.named("optimiser"):
                t = tools.TOOLS[name]
                argv, to_stdout = t.encode({"pnm": pnm, "png": "/p/a.png"},
                                           "out.png", paths)
                self.assertIn("/p/a.png", argv)
                self.assertFalse(to_stdout)
                argv, _ = t.encode({"pnm": pnm, "mask": "m.pgm"}, "o", paths)
                stored = pnm + ".stored.png"
                self.assertIn(stored, argv)
                with open(stored) as f:
                    self.assertEqual(f.read(), "stored")
            with open(paths.belvane + ".args") as f:  # made once, stored
                self.assertEqual(f.read().split(),
                                 ["-compression", "0", "-alpha", "m.pgm", pnm])

    def test_round_trip_report(self):
        def one(cls, original, default, nine, problem=None):
            e = {"class": cls, "kind": "icon", "original": original,
                 "sizes": {"7": default, "9": nine}}
            return dict(e, problem=problem) if problem else e
        results = {"p: /a/x.png": one("palette 4-bit", 1000, 2000, 1050),
                   "p: /a/y.png": one("palette 4-bit", 1000, 900, 1200),
                   "p: /a/z.png": one("RGB 8-bit", 4000, 4000, 2900),
                   "q: /b/w.png": one("RGB 8-bit", 10, 10, 10, "-c 7: differs:"
                                      " alpha")}
        text = report.render_round_trip(results, 7)
        for want in ["| -c 7 | 3 of 4 | 1.150 | 1 | 2.00 (a/x.png (p)) |"
                     " 1.50: **1 over** |",
                     "| -c 9 | 3 of 4 | 0.858 | 2 | 1.20 (a/y.png (p)) |"
                     " 1.10: **1 over** |",
                     "| palette 4-bit | 2 | 1.450, 1, 2.00 | 1.125, 2, 1.20 |",
                     "| RGB 8-bit | 2 | 1.000, 0, 1.00 | 0.725, 0, 0.72 |",
                     "missed on 1 of 3**: a/x.png (p) (2)",
                     "- b/w.png (q): -c 7: differs: alpha",
                     "| a/x.png (p) | palette 4-bit | 1000 | 2000 (2.00) |"
                     " 1050 (1.05) |"]:
            self.assertIn(want, text)
        self.assertTrue(report.verdict_line("x", "y", [
            ("a", 2, False), ("b", 3, False), ("c", 1, True)], most=1)
            .endswith("missed on 2 of 3**: a (2), 1 more."))

    def test_round_trip_checks_every_view(self):
        # Stand-ins: corvane "converts" a PNG to its own bytes (its mask:
        # "A" and its bytes; its texts: none); belvane writes the map back,
        # with a byte more at level 9, and another given a mask, so that
        # only an opaque image at level 7 comes back exact.
        rgba = benchlib.PNG_SIGNATURE + struct.pack(
            ">I4sIIBBBBBI", 13, b"IHDR", 1, 1, 8, 6, 0, 0, 0, 0)
        with tempfile.TemporaryDirectory() as work:
            corvane = script(work, "corvane", 'for a; do f=$a; done\n'
                             'case "$*" in *-alpha*) printf A; esac\n'
                             'case "$3" in *.txt) : >"$3"; esac; cat "$f"')
            belvane = script(work, "belvane", 'for a; do f=$a; done\n'
                             'cat "$f"; [ "$2" = 9 ] && printf x\n'
                             'case "$*" in *-alpha*) printf B; esac\n'
                             'exit 0')
            png = os.path.join(work, "a.png")
            for kind, body in [("opaque", b"gray"), ("alpha", rgba)]:
                with open(png, "wb") as f:
                    f.write(body)
                views = roundtrip.corvane_views(corvane, png, work)
                os.makedirs(os.path.join(work, "again"), exist_ok=True)
                want = {"opaque": {7: None, 9: "differs: image"},
                        "alpha": {7: "differs: alpha, image",
                                  9: "differs: alpha, image"}}[kind]
                for level, problem in want.items():
                    with self.subTest(kind=kind, level=level):
                        got = roundtrip.round_trip((corvane, belvane), png,
                                                   level, views, work)
                        self.assertEqual(got[1], problem)

    def test_as_distributed_spread(self):
        # Per package, at most so many of each colour type and depth, none
        # over the pixel cap, one of each set of identical files, no links.
        with tempfile.TemporaryDirectory() as root:
            def png(name, w, h, depth, ctype, extra=b""):
                path = os.path.join(root, name)
                with open(path, "wb") as f:
                    f.write(benchlib.PNG_SIGNATURE + struct.pack(
                        ">I4sIIBBBBBI", 13, b"IHDR", w, h, depth, ctype, 0, 0,
                        0, 0) + extra)
                return path
            for i in range(5):
                png("gray%d.png" % i, 4, 4, 8, 0, bytes([i]))
            png("same.png", 4, 4, 8, 0, b"\0")   # as gray0.png
            os.symlink("gray1.png", os.path.join(root, "link.png"))
            png("pal.png", 4, 4, 4, 3)
            png("huge.png", 5000, 4000, 4, 3)
            saved = (fetch_images.AS_DISTRIBUTED,
                     fetch_images.AS_DISTRIBUTED_PER_CLASS)
            fetch_images.AS_DISTRIBUTED = {"pkg": "icon"}
            picked = {}
            try:
                for cap in (3, 10):
                    fetch_images.AS_DISTRIBUTED_PER_CLASS = cap
                    picked[cap] = fetch_images.pick_as_distributed(
                        {"pkg": root})
            finally:
                (fetch_images.AS_DISTRIBUTED,
                 fetch_images.AS_DISTRIBUTED_PER_CLASS) = saved
        for cap, gray in [(3, 3), (10, 5)]:
            with self.subTest(cap=cap):
                self.assertEqual(sorted(p["class"] for p in picked[cap]),
                                 ["gray 8-bit"] * gray + ["palette 4-bit"])
                names = {os.path.basename(p["png"]) for p in picked[cap]}
                self.assertFalse({"link.png", "huge.png"} & names)

    def test_blocks(self):
        with tempfile.NamedTemporaryFile("w+", suffix=".md") as f:
            f.write("a\n<!-- compare:x -->\nold\n<!-- /compare:x -->\nb\n")
            f.flush()
            report.write_blocks(f.name, {"x": "new\n"})
            f.seek(0)
            self.assertEqual(f.read(), "a\n<!-- compare:x -->\nnew\n"
                             "<!-- /compare:x -->\nb\n")


if __name__ == "__main__":
    unittest.main()
