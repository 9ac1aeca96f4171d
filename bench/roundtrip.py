#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Takes the PNGs as distributed (fetch_images.py's list) through corvane and
back through belvane with their masks and texts, checks that corvane reads
the new PNG exactly as it read the original, and reports each one's size
against the original's at each level, into bench/roundtrip.json and the
roundtrip block of bench/README.md.

    /usr/bin/python3 bench/roundtrip.py                 # levels 7 and 9
    /usr/bin/python3 bench/roundtrip.py --levels 7 --belvane PATH
"""

import argparse
import filecmp
import json
import os
import subprocess
import sys

import benchlib
from benchlib import log
import report

DEFAULT_LEVEL = 7


def corvane_views(corvane, png, folder):
    """What corvane makes of PNG: {view: file} for the image, the alpha
    mask (when there is alpha) and the texts; None when it fails."""
    views = {"image": os.path.join(folder, "image.pnm"),
             "text": os.path.join(folder, "text.txt")}
    if benchlib.png_has_alpha(png):
        views["alpha"] = os.path.join(folder, "alpha.pgm")
    runs = [(["-text", views["text"]], "image"), (["-alpha"], "alpha")]
    for options, view in runs:
        if view not in views:
            continue
        with open(views[view], "wb") as out:
            if subprocess.run([corvane, "-quiet", *options, png], stdout=out,
                              stderr=subprocess.DEVNULL).returncode:
                return None
    return views


def round_trip(programs, png, level, views, folder):
    """(size of belvane's PNG, None) when corvane reads it as it read the
    original, else (size or 0, what differs)."""
    corvane, belvane = programs
    new = os.path.join(folder, "new.png")
    argv = [belvane, "-compression", str(level), "-text", views["text"]]
    if "alpha" in views:
        argv += ["-alpha", views["alpha"]]
    with open(new, "wb") as out:
        done = subprocess.run(argv + [views["image"]], stdout=out,
                              stderr=subprocess.PIPE)
    if done.returncode:
        return 0, "belvane: " + done.stderr.decode(errors="replace")[:120]
    again = corvane_views(corvane, new, os.path.join(folder, "again"))
    if again is None:
        return os.path.getsize(new), "corvane cannot read it"
    differ = [v for v in sorted(set(views) | set(again))
              if v not in views or v not in again
              or not filecmp.cmp(views[v], again[v], shallow=False)]
    return os.path.getsize(new), ("differs: " + ", ".join(differ)
                                  if differ else None)


def measure(items, levels, programs, work):
    """{source: entry} over ITEMS: original size, class, kind and, per
    level, the round trip's size (and a problem, if any)."""
    results = {}
    os.makedirs(os.path.join(work, "again"), exist_ok=True)
    for n, item in enumerate(items):
        views = corvane_views(programs[0], item["png"], work)
        entry = {"original": os.path.getsize(item["png"]),
                 "class": item["class"], "kind": item["kind"],
                 "pixels": item["width"] * item["height"], "sizes": {}}
        if views is None:
            entry["problem"] = "corvane cannot read the original"
        else:
            for level in levels:
                size, problem = round_trip(programs, item["png"], level,
                                           views, work)
                entry["sizes"][str(level)] = size
                if problem:
                    entry["problem"] = "-c %d: %s" % (level, problem)
        results[item["source"]] = entry
        if n % 50 == 0:
            log("round trip: %d of %d" % (n, len(items)))
    return results


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--levels", default="%d,9" % DEFAULT_LEVEL)
    p.add_argument("--belvane", help="belvane to measure (default: built)")
    p.add_argument("--results", default=os.path.join(
        benchlib.ROOT, "bench", "roundtrip.json"))
    p.add_argument("--readme", default=os.path.join(
        benchlib.ROOT, "bench", "README.md"))
    p.add_argument("--render-only", action="store_true")
    args = p.parse_args(argv)
    results = {}
    if os.path.exists(args.results):
        with open(args.results) as f:
            results = json.load(f)
    if not args.render_only:
        build = benchlib.build_release(os.path.join(
            benchlib.ROOT, "build-bench"), ["corvane", "belvane"])
        corvane = os.path.join(build, "converter", "corvane")
        belvane = (os.path.abspath(args.belvane) if args.belvane
                   else os.path.join(build, "encoder", "belvane"))
        items = benchlib.load_manifest(corvane)["as_distributed"]
        levels = [int(k) for k in args.levels.split(",")]
        work = os.path.join(benchlib.ROOT, "out", "roundtrip")
        got = measure(items, levels, (corvane, belvane), work)
        for source, entry in got.items():
            old = results.get(source, {}).get("sizes", {})
            entry["sizes"] = dict(old, **entry["sizes"])
            results[source] = entry
        benchlib.save_json(args.results, results)
    report.write_blocks(args.readme, {
        "roundtrip": report.render_round_trip(results, DEFAULT_LEVEL)})
    log("wrote", args.readme)


if __name__ == "__main__":
    main(sys.argv[1:])
