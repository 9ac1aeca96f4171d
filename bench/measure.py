# SPDX-License-Identifier: MIT
"""The measuring: the inputs of each set, timed runs under GNU time, the
exactness of every PNG written (read back by corvane) and of every map read,
and the JSON file that keeps each (input, tool)'s figures."""

import filecmp
import hashlib
import json
import os
import re
import subprocess
import tempfile
import time

import benchlib
from benchlib import log
from tools import TOOLS, decode_env

TIMEOUT = 1800
MB = 1e6
SYNTH_ENCODE = ["rgb8", "rgb16", "gray8", "palette", "gray1", "rgba8"]
SYNTH_DECODE = ["rgb8", "rgba8", "rgb16", "gray8", "palette", "gray1",
                "adam7", "plain"]


def corvane_type(png):
    """The type corvane writes for a PNG, from its header."""
    _, _, depth, ctype, _, _ = benchlib.png_info(png)
    if ctype == 0 and depth == 1:
        return "P4"
    return "P5" if ctype in (0, 4) else "P6"



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


def describe_group(items):
    return "%d PNGs of %d to %d pixels wide, %d with a mask, %.1f MB" % (
        len(items), min(i["width"] for i in items),
        max(i["width"] for i in items), sum(1 for i in items if i["mask"]),
        sum(os.path.getsize(i["pnm"]) for i in items) / MB)


def jobs_of(sets, names, paths, fetch_first=False):
    """[(kind, key, items or png, meta)] of the SETS, in order; only the
    inputs NAMES when given."""
    jobs = []
    if "synthetic" in sets:
        for i, item in enumerate(synthetic_items(paths, SYNTH_ENCODE)):
            jobs.append(("encode", "synthetic/" + item["name"], [item], {
                "desc": describe_item(item), "category": "synthetic",
                "pixels": item["width"] * item["height"], "order": i}))
        for i, name in enumerate(SYNTH_DECODE):
            png = synthetic_png(name, paths)
            jobs.append(("decode", "synthetic/" + name, png, {
                "desc": describe_png(png), "category": "synthetic",
                "pixels": 0, "decoded": decoded_bytes(png), "order": i}))
    if "real" in sets or "giga" in sets:
        manifest = benchlib.load_manifest(paths.corvane, fetch_first)
    if "real" in sets:
        for i, item in enumerate(manifest["items"]):
            jobs.append(("encode", "real/" + item["name"], [item], {
                "desc": describe_item(item), "category": item["category"],
                "pixels": item["width"] * item["height"], "order": i,
                "source": item["source"]}))
        groups = dict(icons=manifest["icons"], **manifest.get("groups", {}))
        for i, (name, items) in enumerate(groups.items()):
            jobs.append(("encode", "real/" + name, items, {
                "desc": describe_group(items), "group": True,
                "category": items[0]["category"], "pixels": 0,
                "order": 100 + i}))
    if "giga" in sets:
        for i, g in enumerate(manifest["giga"]):
            jobs.append(("decode", "giga/" + g["name"], g["png"], {
                "desc": describe_png(g["png"]), "category": "giga",
                "pixels": g["width"] * g["height"], "order": i,
                "decoded": decoded_bytes(g["png"]), "source": g["source"]}))
    if names:
        jobs = [j for j in jobs if j[1].split("/")[1] in names]
    return jobs


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
        benchlib.save_json(self.path, self.data)


def encode_round(tools, item, paths, check):
    """One run of each tool on ITEM, in turn: {tool: run}, and when CHECK,
    {tool: (PNG size, verdict)} of the runs that succeeded."""
    runs, checked = {}, {}
    out = os.path.join(paths.work, "out.png")
    for tool in tools:
        argv, to_stdout = TOOLS[tool].encode(item, out, paths)
        if os.path.exists(out):
            os.remove(out)
        with open(out if to_stdout else os.devnull, "wb") as sink:
            runs[tool] = timed(argv, sink)
        if runs[tool]["status"] == 0 and not os.path.exists(out):
            runs[tool].update(status=-1, error="exit status 0, no PNG")
        if check and runs[tool]["status"] == 0:
            checked[tool] = (os.path.getsize(out),
                             png_verdict(out, item, paths))
    return runs, checked


def measure_encoding(items, tools, runs, paths):
    """{tool: entry} over ITEMS, each tool's runs summed over the items
    (one item, or a group), the tools in turn on every item. A tool that
    fixes its own number of runs (the slowest) makes at most that many."""
    per_tool = {t: [] for t in tools}
    failed = {}
    sizes = {t: 0 for t in tools}
    inexact = {t: [] for t in tools}
    for r in range(runs):
        now = [t for t in tools if r < (TOOLS[t].runs or runs)]
        totals = {t: {"wall": 0, "cpu": 0, "rss": 0} for t in now}
        for item in items:
            done, checked = encode_round(now, item, paths, r == 0)
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
        for tool in now:
            per_tool[tool].append(totals[tool])
    result = {}
    for tool in tools:
        if tool in failed:
            result[tool] = {"failed": failed[tool]}
            continue
        entry = summarise(per_tool[tool])
        verdicts = inexact[tool]
        if len(items) > 1:
            verdicts = (["no: %d of %d images lost bits (%s)" % (
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
        argv = TOOLS[tool].decode(png, magic, plain, paths)
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


