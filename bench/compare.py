#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Compares belvane with the other tools that write PNG, and corvane with the
tools that read it, on the synthetic inputs, the real images that
fetch_images.py fetches and the PNGs over 50 MP; keeps every figure in a JSON
file per (tool, input), so that a run of some tools keeps the others', and
rewrites the tables of bench/README.md and the frontier plot.

    /usr/bin/python3 bench/compare.py                      # everything
    /usr/bin/python3 bench/compare.py --tools belvane      # belvane again
    /usr/bin/python3 bench/compare.py --tools corvane --sets giga --runs 3
"""

import argparse
import filecmp
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import time

import benchlib
from benchlib import log

PEER_PACKAGES = ["imagemagick", "graphicsmagick", "libvips-tools", "ffmpeg",
                 "python3-pil", "optipng", "time", "python3-matplotlib",
                 "libjpeg-turbo-progs"]
DEFAULT_LEVEL = 7
LEVELS = list(range(10))
ENC_PEERS = ["imagemagick", "graphicsmagick", "vips", "pillow", "ffmpeg"]
DEC_TOOLS = ["corvane", "floor", "imagemagick", "graphicsmagick", "vips",
             "vips-threads", "ffmpeg", "pillow"]
PLAIN_TOOLS = ["corvane", "floor", "imagemagick", "graphicsmagick", "vips"]
LABEL = {"corvane": "corvane", "floor": "floor (libpng)",
         "imagemagick": "ImageMagick", "graphicsmagick": "GraphicsMagick",
         "vips": "libvips", "pillow": "Pillow", "ffmpeg": "ffmpeg",
         "optipng": "optipng -o2", "vips-threads": "libvips, own threads"}
SYNTH_ENCODE = ["rgb8", "rgb16", "gray8", "palette", "gray1", "rgba8"]
SYNTH_DECODE = ["rgb8", "rgba8", "rgb16", "gray8", "palette", "gray1",
                "adam7", "plain"]
SINGLE_THREAD = {"MAGICK_THREAD_LIMIT": "1", "OMP_NUM_THREADS": "1",
                 "VIPS_CONCURRENCY": "1"}
# Peers timed again at their own thread counts, as a user runs them.
OWN_THREADS = {"vips-threads": "vips"}


def decode_env(tool):
    """The environment of a decoding run: one thread unless TOOL is timed
    at its own thread count."""
    if tool in OWN_THREADS:
        return {k: v for k, v in os.environ.items() if k not in SINGLE_THREAD}
    return dict(os.environ, **SINGLE_THREAD)
TIMEOUT = 1800
MB = 1e6

PILLOW = '''import sys
from PIL import Image
image = Image.open(sys.argv[2])
if sys.argv[1] == "encode":
    if len(sys.argv) > 3:
        image.putalpha(Image.open(sys.argv[3]))
    image.save(sys.stdout.buffer, "PNG")
else:
    modes = {"P4": ("1",), "P5": ("L", "I"), "P6": ("RGB",)}[sys.argv[3]]
    if image.mode not in modes:
        image = image.convert(modes[0])
    image.save(sys.stdout.buffer, "PPM")
'''


def level_tool(level):
    return "belvane@%d" % level


def label(tool):
    if tool.startswith("belvane@"):
        level = int(tool[8:])
        return "belvane -c %d%s" % (level, " (default)"
                                    if level == DEFAULT_LEVEL else "")
    return LABEL[tool]


# ---------------------------------------------------------------- commands

class Paths:
    """Where the programs and the scratch files are."""

    def __init__(self, build, work, belvane=None, corvane=None):
        self.build, self.work = build, work
        self.belvane = belvane or os.path.join(build, "encoder", "belvane")
        self.corvane = corvane or os.path.join(build, "converter", "corvane")
        self.floor = os.path.join(build, "bench", "floor")
        self.same_pixels = os.path.join(build, "bench", "same_pixels")
        self.pillow = os.path.join(work, "pillow_convert.py")


def encode_command(tool, item, out, paths):
    """The argv of TOOL writing ITEM as PNG, and whether it writes to
    standard output (else to OUT)."""
    pnm, mask = item["pnm"], item.get("mask")
    if tool.startswith("belvane@"):
        alpha = ["-alpha", mask] if mask else []
        return [paths.belvane, "-compression", tool[8:], *alpha, pnm], True
    if tool == "optipng":  # it reads no mask: then the package's PNG
        return ["/usr/bin/optipng", "-o2", "-quiet", "-clobber", "-out", out,
                item["png"] if mask else pnm], False
    plain = {
        "imagemagick": ["/usr/bin/convert", pnm, "png:-"],
        "graphicsmagick": ["/usr/bin/gm", "convert", pnm, "png:-"],
        "vips": ["/usr/bin/vips", "copy", pnm, ".png"],
        "pillow": [benchlib.PYTHON, paths.pillow, "encode", pnm],
        "ffmpeg": ["/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", pnm,
                   "-f", "image2pipe", "-vcodec", "png", "-"]}
    if not mask:
        return plain[tool], True
    return {
        "imagemagick": ["/usr/bin/convert", pnm, mask, "-alpha", "off",
                        "-compose", "CopyOpacity", "-composite", "png:-"],
        "graphicsmagick": ["/usr/bin/gm", "composite", "-compose",
                           "CopyOpacity", mask, pnm, "png:-"],
        "vips": ["/usr/bin/vips", "bandjoin", pnm + " " + mask, ".png"],
        "pillow": [benchlib.PYTHON, paths.pillow, "encode", pnm, mask],
        "ffmpeg": ["/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", pnm,
                   "-i", mask, "-filter_complex", "alphamerge", "-f",
                   "image2pipe", "-vcodec", "png", "-"]}[tool], True


def decode_command(tool, png, magic, plain, paths):
    """The argv of TOOL converting PNG to the portable map of type MAGIC
    (corvane's choice; the peers are asked for it), or its plain form."""
    ext = {"P4": "pbm", "P5": "pgm"}.get(magic, "ppm")
    tool = OWN_THREADS.get(tool, tool)
    if plain:
        return {"corvane": [paths.corvane, "-plain", png],
                "floor": [paths.floor, "-plain", png],
                "imagemagick": ["/usr/bin/convert", "-limit", "thread", "1",
                                png, "-compress", "none", "pnm:-"],
                "graphicsmagick": ["/usr/bin/gm", "convert", "-limit",
                                   "threads", "1", png, "-quality", "0",
                                   "pnm:-"],
                "vips": ["/usr/bin/vips", "copy", png, ".%s[ascii]" % ext]
                }[tool]
    return {"corvane": [paths.corvane, png], "floor": [paths.floor, png],
            "imagemagick": ["/usr/bin/convert", "-limit", "thread", "1", png,
                            "pnm:-"],
            "graphicsmagick": ["/usr/bin/gm", "convert", "-limit", "threads",
                               "1", png, "pnm:-"],
            "vips": ["/usr/bin/vips", "copy", png, "." + ext],
            "ffmpeg": ["/usr/bin/ffmpeg", "-v", "error", "-nostdin",
                       "-threads", "1", "-i", png, "-threads", "1",
                       "-filter_threads", "1", "-f", "image2pipe", "-c:v",
                       ext, "-"],
            "pillow": [benchlib.PYTHON, paths.pillow, "decode", png, magic]
            }[tool]


def corvane_type(png):
    """The type corvane writes for a PNG, from its header."""
    _, _, depth, ctype, _, _ = benchlib.png_info(png)
    if ctype == 0 and depth == 1:
        return "P4"
    return "P5" if ctype in (0, 4) else "P6"


# ------------------------------------------------------------------ timing

def timed(argv, stdout, env=None):
    """One run under GNU time: wall time (this process's clock), CPU time
    (user + system) and peak RSS in KiB, exit status and the first error
    line."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as tf:
        start = time.perf_counter()
        try:
            done = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o",
                                   tf.name, *argv], stdout=stdout,
                                  stderr=subprocess.PIPE, env=env,
                                  timeout=TIMEOUT)
            status, err = done.returncode, done.stderr
        except subprocess.TimeoutExpired:
            status, err = -1, b"timed out"
        wall = time.perf_counter() - start
        lines = tf.read().split("\n")
    fields = [line for line in lines if re.match(r"^[\d.]+ [\d.]+ \d+$",
                                                 line)]
    user, system, rss = (fields[-1].split() if fields else (0, 0, 0))
    first = err.decode(errors="replace").strip().splitlines()
    return {"status": status, "wall": wall,
            "cpu": float(user) + float(system), "rss": int(rss),
            "error": first[0][:160] if first else ""}


def median(values):
    v = sorted(values)
    n = len(v)
    return None if n == 0 else (v[n // 2] if n % 2
                                else (v[n // 2 - 1] + v[n // 2]) / 2)


def summarise(runs):
    """The medians of a tool's runs on one input (peak RSS: the largest)."""
    return {"wall": median([r["wall"] for r in runs]),
            "cpu": median([r["cpu"] for r in runs]),
            "rss": max(r["rss"] for r in runs), "runs": len(runs),
            "walls": [round(r["wall"], 4) for r in runs]}


# -------------------------------------------------------------- exactness

def pixel_verdict(ref, dec, paths):
    """"yes" when DEC holds REF's bytes, "same pixels, as ..." for the same
    samples in another type or maxval, else "no: ..." with what was lost."""
    if filecmp.cmp(ref, dec, shallow=False):
        return "yes"
    rh, dh = benchlib.read_pnm_header(ref), benchlib.read_pnm_header(dec)
    done = subprocess.run([paths.same_pixels, ref, dec], capture_output=True,
                          text=True)
    said = (done.stdout + done.stderr).strip()
    if done.returncode == 0:
        return "same pixels, as %s maxval %d" % (dh[0], dh[3])
    if dh and rh and (dh[0], dh[3]) != (rh[0], rh[3]):
        return "no: %s maxval %d for %s maxval %d; %s" % (
            dh[0], dh[3], rh[0], rh[3], said)
    return "no: " + said


def png_verdict(png, item, paths):
    """The verdict on one PNG: its image, and its alpha when there is one."""
    dec = os.path.join(paths.work, "decoded.pnm")
    verdicts = []
    for option, ref in (([], item["pnm"]), (["-alpha"], item.get("mask"))):
        if ref is None:
            continue
        with open(dec, "wb") as out:
            done = subprocess.run([paths.corvane, "-quiet", *option, png],
                                  stdout=out, stderr=subprocess.PIPE)
        if done.returncode:
            return "no: corvane %s: %s" % (" ".join(option), done.stderr
                                           .decode(errors="replace")[:120])
        verdicts.append(pixel_verdict(ref, dec, paths))
    os.remove(dec)
    if len(verdicts) == 2 and verdicts != ["yes", "yes"]:
        return "image: %s; alpha: %s" % tuple(verdicts)
    return verdicts[0]


def lossless(verdict):
    return "no:" not in verdict


def pnm_digest(argv, env):
    """Runs a decoder and reads its output: ("P6, maxval 255", the digest
    of its samples, a problem or None). Plain samples are compared number
    by number, so line breaks do not count."""
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env)
    head = proc.stdout.read(1024)
    header = benchlib.pnm_header(head)
    digest, count = hashlib.sha256(), 0
    if header is None:
        proc.stdout.read()
    elif header[0] in ("P1", "P2", "P3"):
        rest = head[header[4]:] + proc.stdout.read()
        tokens = (list(re.sub(rb"\s", b"", rest)) if header[0] == "P1"
                  else rest.split())
        count = len(tokens)
        digest.update(b" ".join(str(t).encode() if isinstance(t, int) else t
                                for t in tokens))
    else:
        rest = head[header[4]:]
        while rest:
            digest.update(rest)
            count += len(rest)
            rest = proc.stdout.read(1 << 20)
    err = proc.stderr.read().decode(errors="replace").strip().splitlines()
    if proc.wait():  # a Python traceback says what went wrong last
        return None, None, "failed (status %d): %s" % (
            proc.returncode, (err[-1] if err and err[0].startswith(
                "Traceback") else err[0] if err else "")[:160])
    if header is None:
        return None, None, "not a portable map"
    want = benchlib.raster_size(*header[:4])
    desc = "%s, maxval %d" % (header[0], header[3])
    problem = (None if count == want else
               "raster holds %d, header declares %d" % (count, want))
    return desc, "%s %d %d %s" % (desc, header[1], header[2],
                                  digest.hexdigest()[:16]), problem


# ------------------------------------------------------------------ inputs

def synthetic_png(name, paths):
    inputs = os.path.join(paths.build, "inputs")
    png = os.path.join(inputs, name + ".png")
    if not os.path.exists(png):
        os.makedirs(inputs, exist_ok=True)
        log("making", png)
        subprocess.run([os.path.join(paths.build, "bench", "make_inputs"),
                        inputs, name], check=True)
    return png


def synthetic_items(paths, names):
    """The synthetic encoding inputs: corvane's maps of the bench PNGs (and
    the mask of the RGBA one)."""
    items = []
    for name in names:
        png = synthetic_png(name, paths)
        base = png[:-4]
        have = [base + e for e in (".ppm", ".pgm", ".pbm")
                if os.path.exists(base + e)]
        if not have:
            tmp = base + ".tmp"
            with open(tmp, "wb") as out:
                subprocess.run([paths.corvane, png], stdout=out, check=True)
            ext = {"P4": ".pbm", "P5": ".pgm"}.get(
                benchlib.read_pnm_header(tmp)[0], ".ppm")
            os.replace(tmp, base + ext)
            have = [base + ext]
        mask = None
        if benchlib.png_has_alpha(png):
            mask = base + ".mask.pgm"
            if not os.path.exists(mask):
                with open(mask + ".tmp", "wb") as out:
                    subprocess.run([paths.corvane, "-alpha", png], stdout=out,
                                   check=True)
                os.replace(mask + ".tmp", mask)
        info = benchlib.read_pnm_header(have[0])
        items.append({"name": name, "category": "synthetic", "pnm": have[0],
                      "mask": mask, "png": png, "width": info[1],
                      "height": info[2], "source": "make_inputs"})
    return items


def load_manifest(fetch_first, corvane):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import fetch_images
    path = os.path.join(fetch_images.cache_dir(), "set", "manifest.json")
    if fetch_first or not os.path.exists(path):
        subprocess.run([benchlib.PYTHON, os.path.join(
            benchlib.ROOT, "bench", "fetch_images.py"), "--corvane", corvane],
            check=True)
    with open(path) as f:
        return json.load(f)


def describe_item(item):
    info = benchlib.read_pnm_header(item["pnm"])
    kind = {"P4": "PBM", "P5": "PGM", "P6": "PPM"}[info[0]]
    depth = "" if info[0] == "P4" else " maxval %d" % info[3]
    return "%dx%d %s%s%s, %.1f MB" % (
        info[1], info[2], kind, depth, " + mask" if item.get("mask") else "",
        os.path.getsize(item["pnm"]) / MB)


def decoded_bytes(png):
    w, h, depth, ctype, _, _ = benchlib.png_info(png)
    channels = {0: 1, 3: 1, 4: 2, 2: 3, 6: 4}[ctype]
    return w * h * channels * (2 if depth == 16 else 1)


def describe_png(png):
    w, h, depth, ctype, interlace, _ = benchlib.png_info(png)
    kind = {0: "gray", 2: "RGB", 3: "palette", 4: "gray+alpha",
            6: "RGBA"}[ctype]
    return "%dx%d %s %d-bit%s, %.1f MB PNG" % (
        w, h, kind, depth, ", Adam7" if interlace else "",
        os.path.getsize(png) / MB)


# ---------------------------------------------------------------- measuring

class Results:
    """The figures of every (input, tool), kept in a JSON file."""

    def __init__(self, path):
        self.path = path
        self.data = {"encode": {}, "decode": {}, "inputs": {}, "tools": {}}
        if os.path.exists(path):
            with open(path) as f:
                self.data.update(json.load(f))

    def put(self, kind, key, tool, entry):
        self.data[kind].setdefault(key, {})[tool] = entry

    def save(self):
        with open(self.path + ".tmp", "w") as f:
            json.dump(self.data, f, indent=1, sort_keys=True)
            f.write("\n")
        os.replace(self.path + ".tmp", self.path)


def encode_round(tools, item, paths, check):
    """One run of each tool on ITEM, in turn: {tool: run}, and when CHECK,
    {tool: (PNG size, verdict)} of the runs that succeeded."""
    runs, checked = {}, {}
    out = os.path.join(paths.work, "out.png")
    for tool in tools:
        argv, to_stdout = encode_command(tool, item, out, paths)
        if os.path.exists(out):
            os.remove(out)
        with open(out if to_stdout else os.devnull, "wb") as sink:
            runs[tool] = timed(argv, sink)
        if check and runs[tool]["status"] == 0:
            checked[tool] = (os.path.getsize(out),
                             png_verdict(out, item, paths))
    return runs, checked


def measure_encoding(items, tools, runs, paths):
    """{tool: entry} over ITEMS, each tool's runs summed over the items
    (one item, or the icons), the tools in turn on every item."""
    per_tool = {t: [] for t in tools}
    failed = {}
    sizes = {t: 0 for t in tools}
    inexact = {t: [] for t in tools}
    for r in range(runs):
        totals = {t: {"wall": 0, "cpu": 0, "rss": 0} for t in tools}
        for item in items:
            done, checked = encode_round(tools, item, paths, r == 0)
            for tool, run in done.items():
                if run["status"]:
                    failed.setdefault(tool, "failed (status %d): %s" % (
                        run["status"], run["error"]))
                t = totals[tool]
                t["wall"] += run["wall"]
                t["cpu"] += run["cpu"]
                t["rss"] = max(t["rss"], run["rss"])
            for tool, (size, verdict) in checked.items():
                sizes[tool] += size
                if not lossless(verdict) or len(items) == 1:
                    inexact[tool].append(verdict)
        for tool in tools:
            per_tool[tool].append(totals[tool])
    result = {}
    for tool in tools:
        if tool in failed:
            result[tool] = {"failed": failed[tool]}
            continue
        entry = summarise(per_tool[tool])
        verdicts = inexact[tool]
        if len(items) > 1:
            verdicts = (["no: %d of %d icons lost bits (%s)" % (
                len(verdicts), len(items), verdicts[0])] if verdicts
                else ["yes"])
        entry.update(size=sizes[tool], exact=verdicts[0],
                     lossless=lossless(verdicts[0]), count=len(items))
        result[tool] = entry
    return result


def measure_decoding(png, tools, runs, paths):
    """{tool: entry} for one PNG: a checking run of each tool (its output's
    type and samples), then RUNS rounds of the tools in turn."""
    magic = corvane_type(png)
    plain = png.endswith("/plain.png")
    argvs, result = {}, {}
    for tool in tools:
        argv = decode_command(tool, png, magic, plain, paths)
        desc, digest, problem = pnm_digest(argv, decode_env(tool))
        if desc is None:
            result[tool] = {"failed": problem}
            continue
        result[tool] = {"output": desc, "digest": digest,
                        "problem": problem}
        argvs[tool] = argv
    timings = {t: [] for t in argvs}
    for _ in range(runs):
        with open(os.devnull, "wb") as null:
            for tool, argv in argvs.items():
                timings[tool].append(timed(argv, null, decode_env(tool)))
    for tool, got in timings.items():
        bad = [g for g in got if g["status"]]
        if bad:
            result[tool] = {"failed": "failed (status %d): %s" % (
                bad[0]["status"], bad[0]["error"])}
        else:
            result[tool].update(summarise(got))
    return result


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def first_line(argv, pattern=None):
    try:
        out = subprocess.run(argv, capture_output=True, text=True).stdout
    except OSError:
        return "?"
    line = out.strip().splitlines()[0] if out.strip() else "?"
    m = re.search(pattern, line) if pattern else None
    return m.group(1) if m else line


def tool_version(tool, paths):
    if tool.startswith("belvane") or tool in ("corvane", "floor"):
        program = {"corvane": paths.corvane, "floor": paths.floor}.get(
            tool, paths.belvane)
        commit = first_line(["git", "-C", benchlib.ROOT, "describe",
                             "--always", "--dirty"])
        built = time.strftime("%Y-%m-%d %H:%M UTC",
                              time.gmtime(os.path.getmtime(program)))
        return "%s, built %s" % (commit, built)
    return {
        "imagemagick": lambda: first_line(["/usr/bin/convert", "-version"],
                                          r"Version: (\S+ \S+ \S+)"),
        "graphicsmagick": lambda: first_line(["/usr/bin/gm", "version"],
                                             r"(GraphicsMagick \S+)"),
        "vips": lambda: first_line(["/usr/bin/vips", "--version"]),
        "ffmpeg": lambda: first_line(["/usr/bin/ffmpeg", "-version"],
                                     r"(ffmpeg version \S+)"),
        "pillow": lambda: "Pillow " + first_line(
            [benchlib.PYTHON, "-c", "import PIL; print(PIL.__version__)"]),
        "optipng": lambda: first_line(["/usr/bin/optipng", "-v"],
                                      r"(OptiPNG version \S+)"),
    }[OWN_THREADS.get(tool, tool)]()


# --------------------------------------------------------------- the aims

def best(entries, tools, field, lossless_only=True):
    """(value, tool) of the lowest FIELD among TOOLS' entries that
    succeeded (and kept every sample), or None."""
    found = [(e[field], t) for t in tools
             for e in [entries.get(t)] if e and "failed" not in e
             and (e.get("lossless", True) or not lossless_only)]
    return min(found) if found else None


def ratio_cell(value, base, limit, strict=False):
    """(ratio, met) of VALUE over BASE against LIMIT."""
    r = value / base if base else float("inf")
    return r, (r < limit if strict else r <= limit)


def encode_aims(entries, category, icons=False):
    """The aims one input meets or misses: {aim: (ratio, met, against)}.
    ENTRIES are its tools' figures; photographs and drawings have aims of
    their own, and the icons are judged by the sum of their sizes only."""
    default = entries.get(level_tool(DEFAULT_LEVEL))
    if not default or "failed" in default:
        return {}
    aims = {}
    size = best(entries, ENC_PEERS, "size")
    if size:
        r, met = ratio_cell(default["size"], size[0], 1.0)
        aims["size"] = (r, met and default["lossless"], LABEL[size[1]])
    if icons:
        return aims
    wall = best(entries, ENC_PEERS, "wall")
    if wall:
        aims["wall"] = ratio_cell(default["wall"], wall[0], 1.0) + (
            LABEL[wall[1]],)
    rss = best(entries, ENC_PEERS, "rss", lossless_only=False)
    if rss:
        aims["rss"] = ratio_cell(default["rss"], rss[0], 1.0, strict=True) + (
            LABEL[rss[1]],)
    one, nine = entries.get(level_tool(1)), entries.get(level_tool(9))
    opti = entries.get("optipng")
    if category == "photo" and one and "failed" not in one and wall:
        aims["l1wall"] = ratio_cell(one["wall"], wall[0], 1 / 3) + (
            LABEL[wall[1]],)
        aims["l1size"] = ratio_cell(one["size"], default["size"], 1.10) + (
            "default",)
    if (category in ("photo", "drawing") and nine and "failed" not in nine
            and opti and "failed" not in opti):
        aims["l9size"] = ratio_cell(nine["size"], opti["size"], 1.0) + (
            "optipng",)
        aims["l9wall"] = ratio_cell(nine["wall"], opti["wall"], 0.25) + (
            "optipng",)
    return aims


ENCODE_AIMS = [
    ("size", "default size ÷ smallest exact peer", "at most 1"),
    ("wall", "default wall ÷ fastest exact peer", "at most 1"),
    ("rss", "default peak RSS ÷ lowest peer", "below 1"),
    ("l1wall", "-c 1 wall ÷ fastest peer (photos)", "at most 0.33"),
    ("l1size", "-c 1 size ÷ default (photos)", "at most 1.10"),
    ("l9size", "-c 9 size ÷ optipng -o2 (photos, drawings)", "at most 1"),
    ("l9wall", "-c 9 wall ÷ optipng -o2 (photos, drawings)", "at most 0.25"),
]


def level_totals(per_input):
    """Each level's total size over the inputs where every level was
    measured, and the levels larger than the level below them."""
    complete = [e for e in per_input
                if all(level_tool(k) in e and "failed" not in e[level_tool(k)]
                       for k in LEVELS)]
    totals = [sum(e[level_tool(k)]["size"] for e in complete) for k in LEVELS]
    larger = [k for k in LEVELS[1:] if complete and totals[k] > totals[k - 1]]
    return totals, larger, len(complete)


def verdict_line(name, limit, judged):
    """One line per aim: met on every input, or the inputs that miss it."""
    if not judged:
        return "- %s (%s): not measured." % (name, limit)
    missed = ["%s (%.4g)" % (k, r) for k, r, met in judged if not met]
    if not missed:
        return "- %s (%s): met on all %d." % (name, limit, len(judged))
    return "- %s (%s): **missed on %d of %d**: %s." % (
        name, limit, len(missed), len(judged), ", ".join(missed))


# --------------------------------------------------------------- rendering

def keys_of(data, kind, set_name):
    keys = [k for k in data[kind] if k.split("/")[0] == set_name]
    return sorted(keys, key=lambda k: data["inputs"].get(
        kind + ":" + k, {}).get("order", 999))


def one_line(text):
    """TEXT fit for a table cell."""
    return " ".join(text.split()).replace("|", "/")


def cell(entry, field, fmt, unit=1):
    if not entry or "failed" in entry or entry.get(field) is None:
        return "-"
    return fmt % (entry[field] / unit)


def render_encode(data, set_name):
    lines = ["| input | tool | PNG (MB) | wall (s) | CPU (s) |"
             " peak RSS (MB) | exact |", "|---|---|---:|---:|---:|---:|---|"]
    tools = [level_tool(DEFAULT_LEVEL)] + ENC_PEERS + ["optipng"]
    for key in keys_of(data, "encode", set_name):
        meta, entries = data["inputs"]["encode:" + key], data["encode"][key]
        first = True
        for tool in tools:
            e = entries.get(tool)
            if e is None:
                continue
            name = "%s (%s)" % (key.split("/")[1], meta["desc"]) if first \
                else ""
            first = False
            who = "**%s**" % label(tool) if tool.startswith("belvane") \
                else label(tool)
            if "failed" in e:
                lines.append("| %s | %s | - | - | - | - | %s |" % (
                    name, who, one_line(e["failed"])))
                continue
            lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
                name, who, cell(e, "size", "%.3f", MB), cell(e, "wall", "%.3f"),
                cell(e, "cpu", "%.2f"), cell(e, "rss", "%.1f", MB / 1024),
                e["exact"]))
    return "\n".join(lines)


def render_levels(data):
    lines = ["| input | " + " | ".join("-c %d" % k for k in LEVELS) + " |",
             "|---|" + "---:|" * len(LEVELS)]
    notes = []
    for set_name in ("synthetic", "real"):
        keys = keys_of(data, "encode", set_name)
        for key in keys:
            e = data["encode"][key]
            lines.append("| %s | %s |" % (key.split("/")[1], " | ".join(
                "%s / %s" % (cell(e.get(level_tool(k)), "size", "%.3f", MB),
                             cell(e.get(level_tool(k)), "wall", "%.2f"))
                for k in LEVELS)))
        totals, larger, n = level_totals([data["encode"][k] for k in keys])
        if n:
            lines.append("| **total, %s (%d)** | %s |" % (set_name, n, " | ".join(
                "%.3f" % (t / MB) for t in totals)))
            notes.append("- Higher level never larger over the %s set: %s." % (
                set_name, "met" if not larger else "**missed**: " + ", ".join(
                    "-c %d is %.2f%% larger than -c %d" % (
                        k, 100 * (totals[k] / totals[k - 1] - 1), k - 1)
                    for k in larger)))
    return "\n".join(lines) + "\n\nCells: PNG MB / wall s.\n\n" + "\n".join(
        notes)


def render_encode_aims(data):
    lines = ["| input | " + " | ".join(a[1] for a in ENCODE_AIMS) + " |",
             "|---|" + "---|" * len(ENCODE_AIMS)]
    judged = {a[0]: [] for a in ENCODE_AIMS}
    for set_name in ("synthetic", "real"):
        for key in keys_of(data, "encode", set_name):
            meta = data["inputs"]["encode:" + key]
            icons = meta["category"] == "icon"
            if meta["pixels"] < 1e6 and not icons:
                continue
            aims = encode_aims(data["encode"][key], meta["category"], icons)
            cells = []
            for aim, _, _ in ENCODE_AIMS:
                if aim not in aims:
                    cells.append("")
                    continue
                r, met, against = aims[aim]
                judged[aim].append((key.split("/")[1], r, met))
                who = " (%s)" % against if aim in ("size", "wall", "rss") \
                    else ""
                fmt = "%.4f" if aim in ("size", "l1size", "l9size") else "%.3f"
                cells.append((fmt + "%s met" if met else "**" + fmt +
                              "%s missed**") % (r, who))
            lines.append("| %s | %s |" % (key.split("/")[1] + (
                " (sum)" if icons else ""), " | ".join(cells)))
    lines.append("")
    lines += [verdict_line(name, limit, judged[aim])
              for aim, name, limit in ENCODE_AIMS]
    return "\n".join(lines)


def compared_with_corvane(entries, tool):
    e, ref = entries[tool], entries.get("corvane")
    note = ""
    if tool != "corvane" and ref and "failed" not in ref:
        if e["digest"] == ref["digest"]:
            note = "same samples"
        elif e["output"] != ref["output"]:
            note = "writes %s (corvane: %s)" % (e["output"], ref["output"])
        else:
            note = "samples differ"
    return "; ".join(x for x in (note, e.get("problem")) if x)


def render_decode(data, set_name):
    lines = ["| input | tool | output | wall (s) | CPU (s) | peak RSS (MiB) |"
             " ÷ floor | compared with corvane |",
             "|---|---|---|---:|---:|---:|---:|---|"]
    for key in keys_of(data, "decode", set_name):
        entries, first = data["decode"][key], True
        floor = entries.get("floor", {}).get("wall")
        for tool in DEC_TOOLS:
            e = entries.get(tool)
            if e is None:
                continue
            name = "%s (%s)" % (key.split("/")[1], data["inputs"][
                "decode:" + key]["desc"]) if first else ""
            first = False
            who = "**corvane**" if tool == "corvane" else label(tool)
            if "failed" in e or "wall" not in e:
                lines.append("| %s | %s | - | - | - | - | - | %s |" % (
                    name, who, one_line(e.get("failed", "not timed"))))
                continue
            lines.append("| %s | %s | %s | %.3f | %.2f | %.0f | %s | %s |" % (
                name, who, e["output"], e["wall"], e["cpu"], e["rss"] / 1024,
                "%.2f" % (e["wall"] / floor) if floor else "-",
                compared_with_corvane(entries, tool)))
    return "\n".join(lines)


def render_decode_aims(data):
    lines = ["| input | corvane ÷ floor | corvane ÷ fastest peer | corvane ÷"
             " libvips | peak RSS ÷ decoded image |", "|---|---:|---|---|---:|"]
    peers = [t for t in DEC_TOOLS if t not in ("corvane", "floor")]
    fastest, giga = [], []
    for set_name in ("synthetic", "giga"):
        for key in keys_of(data, "decode", set_name):
            entries = data["decode"][key]
            meta = data["inputs"]["decode:" + key]
            c = entries.get("corvane")
            if not c or "wall" not in c:
                continue
            name = key.split("/")[1]
            floor = entries.get("floor", {}).get("wall")
            peer = best(entries, peers, "wall", lossless_only=False)
            vips = min((entries.get(t, {}).get("wall") or float("inf")
                        for t in ("vips", "vips-threads")), default=None)
            vips = None if vips == float("inf") else vips
            f_cell = "%.2f" % (c["wall"] / floor) if floor else "-"
            p_cell = v_cell = "-"
            if peer:
                r = c["wall"] / peer[0]
                fastest.append((name, r, r <= 1))
                p_cell = "%.2f (%s)" % (r, LABEL[peer[1]])
            if vips:
                r = c["wall"] / vips
                v_cell = "%.2f %s" % (r, "met" if r <= 1 else "**missed**") \
                    if set_name == "giga" else "%.2f" % r
                if set_name == "giga":
                    giga.append((name, r, r <= 1))
            lines.append("| %s | %s | %s | %s | %.2f |" % (
                name, f_cell, p_cell, v_cell,
                c["rss"] * 1024 / meta["decoded"]))
    lines += ["", verdict_line("corvane no slower than the fastest peer",
                               "at most 1", fastest),
              verdict_line("corvane no slower than libvips on every PNG over"
                           " 50 MP", "at most 1", giga)]
    return "\n".join(lines)


def describe_machine():
    cpu = first_line(["sh", "-c", "lscpu | sed -n 's/^Model name: *//p'"])
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) / 1048576
    try:
        with open("/sys/kernel/mm/transparent_hugepage/enabled") as f:
            thp = re.search(r"\[(\w+)\]", f.read()).group(1)
    except OSError:
        thp = "unknown"
    with open("/etc/debian_version") as f:
        debian = f.read().strip()
    return ("Machine: %d cores (%s), %.0f GiB, Linux %s, Debian %s,"
            " transparent huge pages: %s." % (
                os.cpu_count(), cpu, mem, os.uname().release, debian, thp))


def render_machine(data):
    lines = [describe_machine(), "", "| tool | version | measured | runs |"
             " load average at the start, at the end |", "|---|---|---|---:|---|"]
    shown = set()
    for key in sorted(data["tools"]):
        kind, tool = key.split(":")
        if tool.startswith("belvane@"):
            if tool != level_tool(DEFAULT_LEVEL):
                continue
            tool = "belvane"
        t = data["tools"][key]
        name = "%s (%s)" % (LABEL.get(tool, tool), kind)
        if name in shown:
            continue
        shown.add(name)
        lines.append("| %s | %s | %s | %s | %s; %s |" % (
            name, t["version"], t["when"], t["runs"], t["load"][0],
            t["load"][1]))
    return "\n".join(lines)


def write_blocks(readme, blocks):
    """Replaces what stands between <!-- compare:NAME --> and
    <!-- /compare:NAME --> with each block; fails on a missing marker."""
    with open(readme) as f:
        text = f.read()
    for name, body in blocks.items():
        start, end = "<!-- compare:%s -->" % name, "<!-- /compare:%s -->" % name
        if start not in text or end not in text:
            sys.exit("compare.py: %s lacks %s ... %s" % (readme, start, end))
        head, rest = text.split(start, 1)
        text = head + start + "\n" + body.strip() + "\n" + end + \
            rest.split(end, 1)[1]
    with open(readme, "w") as f:
        f.write(text)


# -------------------------------------------------------------------- plot

CATEGORIES = [("synthetic", "synthetic (24 MP)"), ("photo", "photographs"),
              ("drawing", "drawings"), ("screenshot", "screenshots"),
              ("game", "game images"), ("icon", "icons")]


def frontier(data, category):
    """{tool: (total wall, total MB, every sample kept)} over the inputs of
    CATEGORY on which every tool succeeded."""
    tools = [level_tool(k) for k in LEVELS] + ENC_PEERS + ["optipng"]
    keys = [k for k in data["encode"]
            if data["inputs"]["encode:" + k]["category"] == category]
    keys = [k for k in keys if all(
        t in data["encode"][k] and "failed" not in data["encode"][k][t]
        for t in tools)]
    if not keys:
        return {}
    return {t: (sum(data["encode"][k][t]["wall"] for k in keys),
                sum(data["encode"][k][t]["size"] for k in keys) / MB,
                all(data["encode"][k][t]["lossless"] for k in keys))
            for t in tools}


def plot(data, path):
    import matplotlib
    matplotlib.use("Agg")
    matplotlib.rcParams["svg.hashsalt"] = "tarvex"
    from matplotlib import pyplot
    figure, axes = pyplot.subplots(2, 3, figsize=(13, 8))
    for ax, (category, title) in zip(axes.flat, CATEGORIES):
        points = frontier(data, category)
        ax.set_title(title)
        if not points:
            ax.set_axis_off()
            continue
        shown = LEVELS[1:]  # -c 0 stores: far above every other point
        levels = [points[level_tool(k)] for k in shown]
        ax.plot([p[0] for p in levels], [p[1] for p in levels], "o-",
                color="tab:blue", label="belvane -c 1..9")
        for k, p in zip(shown, levels):
            ax.annotate(str(k), p[:2], textcoords="offset points",
                        xytext=(3, 3), fontsize=7, color="tab:blue")
        for tool in ENC_PEERS + ["optipng"]:
            x, y, kept = points[tool]
            ax.plot([x], [y], "s", color="tab:red",
                    fillstyle="full" if kept else "none")
            ax.annotate(LABEL[tool] + ("" if kept else " (lost bits)"),
                        (x, y), textcoords="offset points", xytext=(3, -9),
                        fontsize=7)
        ax.set_xscale("log")
        ax.set_xlabel("total wall time (s)")
        ax.set_ylabel("total PNG size (MB)")
        ax.grid(True, which="both", alpha=0.3)
    figure.suptitle("PNG size against time, summed over each set (lower"
                    " left is better; blue: belvane -c 1 to 9, red: the"
                    " others)")
    figure.tight_layout()
    figure.savefig(path, format="svg", metadata={"Date": None})
    pyplot.close(figure)


# -------------------------------------------------------------------- main

def expand_tools(names):
    """The --tools list: "belvane" is every level, belvane@N one."""
    known = set(LABEL) | {"belvane"} | {level_tool(k) for k in LEVELS}
    out = []
    for name in names:
        if name not in known:
            sys.exit("compare.py: unknown tool %s (known: %s)" % (
                name, " ".join(sorted(known))))
        out += [level_tool(k) for k in LEVELS] if name == "belvane" \
            else [name]
    return out


def parse_args(argv):
    all_tools = (["belvane"] + ENC_PEERS
                 + ["optipng", "corvane", "floor", "vips-threads"])
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--sets", default="synthetic,real,giga",
                   help="comma-separated: synthetic, real, giga")
    p.add_argument("--tools", default=",".join(all_tools),
                   help="comma-separated (belvane means every level,"
                   " belvane@N one)")
    p.add_argument("--images", help="comma-separated input names only"
                   " (icons: the icon set)")
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


def inputs_of(args, paths):
    """[(set, kind, key, items or png, meta)] of this run, in order."""
    jobs = []
    if "synthetic" in args.sets:
        for i, item in enumerate(synthetic_items(paths, SYNTH_ENCODE)):
            jobs.append(("encode", "synthetic/" + item["name"], [item], {
                "desc": describe_item(item), "category": "synthetic",
                "pixels": item["width"] * item["height"], "order": i}))
        for i, name in enumerate(SYNTH_DECODE):
            png = synthetic_png(name, paths)
            jobs.append(("decode", "synthetic/" + name, png, {
                "desc": describe_png(png), "category": "synthetic",
                "pixels": 0, "decoded": decoded_bytes(png), "order": i}))
    if "real" in args.sets or "giga" in args.sets:
        manifest = load_manifest(args.fetch, paths.corvane)
    if "real" in args.sets:
        for i, item in enumerate(manifest["items"]):
            jobs.append(("encode", "real/" + item["name"], [item], {
                "desc": describe_item(item), "category": item["category"],
                "pixels": item["width"] * item["height"], "order": i,
                "source": item["source"]}))
        icons = manifest["icons"]
        jobs.append(("encode", "real/icons", icons, {
            "desc": "%d icons of %d to %d pixels, %d with a mask, %.1f MB" % (
                len(icons), min(i["width"] for i in icons),
                max(i["width"] for i in icons),
                sum(1 for i in icons if i["mask"]),
                sum(os.path.getsize(i["pnm"]) for i in icons) / MB),
            "category": "icon", "pixels": 0, "order": 100}))
    if "giga" in args.sets:
        for i, g in enumerate(manifest["giga"]):
            jobs.append(("decode", "giga/" + g["name"], g["png"], {
                "desc": describe_png(g["png"]), "category": "giga",
                "pixels": g["width"] * g["height"], "order": i,
                "decoded": decoded_bytes(g["png"]), "source": g["source"]}))
    if args.images:
        jobs = [j for j in jobs if j[1].split("/")[1] in args.images]
    return jobs


def run(args, paths, results):
    jobs = inputs_of(args, paths)
    load_start = load_average()
    for kind, key, what, meta in jobs:
        category = meta["category"]
        tools = [t for t in args.tools
                 if (t in DEC_TOOLS if kind == "decode"
                     else t.startswith("belvane@") or t in ENC_PEERS
                     or t == "optipng")
                 and "%s:%s" % (category, t) not in args.skip]
        if kind == "decode" and key.endswith("/plain"):
            tools = [t for t in tools if t in PLAIN_TOOLS]
        if not tools:
            continue
        log("%s %s: %s" % (kind, key, " ".join(tools)))
        started = time.time()
        if kind == "encode":
            got = measure_encoding(what, tools, args.runs, paths)
        else:
            got = measure_decoding(what, tools, args.runs, paths)
        results.data["inputs"][kind + ":" + key] = meta
        for tool, entry in got.items():
            results.put(kind, key, tool, entry)
        for tool in tools:
            results.data["tools"]["%s:%s" % (kind, tool)] = {
                "version": tool_version(tool, paths), "runs": args.runs,
                "when": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
                "load": [load_start, load_average()]}
        results.save()
        log("  %.0f s" % (time.time() - started))


def render(results, readme):
    data = results.data
    plot(data, os.path.join(os.path.dirname(readme), "frontier.svg"))
    write_blocks(readme, {
        "machine": render_machine(data),
        "encode-synthetic": render_encode(data, "synthetic"),
        "encode-real": render_encode(data, "real"),
        "levels": render_levels(data),
        "encode-aims": render_encode_aims(data),
        "decode-synthetic": render_decode(data, "synthetic"),
        "decode-giga": render_decode(data, "giga"),
        "decode-aims": render_decode_aims(data)})


def main(argv):
    args = parse_args(argv)
    results = Results(args.results)
    if not args.render_only:
        benchlib.ensure_packages(PEER_PACKAGES)
        build = benchlib.build_release(
            os.path.join(benchlib.ROOT, "build-bench"),
            ["corvane", "belvane", "make_inputs", "floor", "same_pixels"])
        work = os.path.join(benchlib.ROOT, "out", "compare")
        os.makedirs(work, exist_ok=True)
        paths = Paths(build, work, belvane=args.belvane and os.path.abspath(
            args.belvane))
        with open(paths.pillow, "w") as f:
            f.write(PILLOW)
        run(args, paths, results)
    render(results, args.readme)
    log("wrote", args.readme)


if __name__ == "__main__":
    main(sys.argv[1:])
