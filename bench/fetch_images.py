#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Fetches the real-image benchmark sets from Debian packages (apt-get
download, dpkg-deb -x; nothing installed) and converts the chosen files to
the portable maps the encoding comparison reads. Writes set/manifest.json
under the cache folder ($TARVEX_IMAGES, default build-bench/images).

    /usr/bin/python3 bench/fetch_images.py [--corvane PATH]
"""

import argparse
import glob
import json
import os
import subprocess
import sys
import time

import benchlib
from benchlib import log

PACKAGES = ["plasma-workspace-wallpapers", "mate-backgrounds",
            "openclipart-png", "kicad-doc-en", "hedgewars-data",
            "adwaita-icon-theme"]
TOOLS = ["libjpeg-turbo-progs"]  # djpeg

WALL = "usr/share/wallpapers/"
MATE = "usr/share/backgrounds/mate/"
CLIP = "usr/share/openclipart/png/"
KICAD = "usr/share/doc/kicad/help/en/images/"
HOGS = "usr/share/games/hedgewars/Data/"
ICONS = "usr/share/icons/Adwaita/"

# name, category, package, path in it, djpeg options (JPEG only).
CHOSEN = [
    ("photo-volna", "photo", "plasma-workspace-wallpapers",
     WALL + "Volna/contents/images/5120x2880.jpg", []),
    ("photo-elephants", "photo", "mate-backgrounds",
     MATE + "abstract/Elephants_3840x2160.jpg", []),
    ("photo-wood", "photo", "mate-backgrounds", MATE + "nature/Wood.jpg", []),
    ("photo-path-gray", "photo", "plasma-workspace-wallpapers",
     WALL + "Path/contents/images/2560x1600.jpg", ["-grayscale"]),
    ("photo-twowings-gray", "photo", "mate-backgrounds",
     MATE + "nature/TwoWings.jpg", ["-grayscale"]),
    ("drawing-phone", "drawing", "openclipart-png",
     CLIP + "office/telephone/mobile_phone_01.png", None),
    ("drawing-tiger", "drawing", "openclipart-png",
     CLIP + "animals/mammals/big_cats/tiger_graig_ryan_smith_-_01.png", None),
    ("drawing-chess", "drawing", "openclipart-png",
     CLIP + "recreation/games/chess/tamerlane_chess_jonadab_.png", None),
    ("drawing-bavaria", "drawing", "openclipart-png",
     CLIP + "signs_and_symbols/flags/europe/germany/germany_bavaria.png",
     None),
    ("drawing-flag", "drawing", "openclipart-png",
     CLIP + "signs_and_symbols/flags/europe/national_flag_of_the_re_.png",
     None),
    ("screen-gerbview", "screenshot", "kicad-doc-en",
     KICAD + "gerbview_main_screen.png", None),
    ("screen-pcbnew", "screenshot", "kicad-doc-en",
     KICAD + "pcbnew_user_interface.png", None),
    ("game-blizzard-map", "game", "hedgewars-data",
     HOGS + "Maps/Blizzard/map.png", None),
    ("game-cave-mask", "game", "hedgewars-data",
     HOGS + "Maps/Cave/mask.png", None),
    ("game-fort-wood", "game", "hedgewars-data", HOGS + "Forts/WoodL.png",
     None),
]
# Every PNG of these folders is an icon of the set, and so are the few that
# are not RGBA (palette and gray with alpha, at 24 and 48 pixels).
ICON_DIRS = ["512x512", "96x96/legacy", "96x96/places", "96x96/devices"]
ICON_EXTRA = ["48x48/legacy/preferences-system-privacy.png",
              "48x48/legacy/zoom-in.png", "48x48/legacy/system-shutdown.png",
              "24x24/status/image-loading.png",
              "24x24/legacy/input-dialpad.png",
              "24x24/legacy/preferences-system-privacy.png",
              "24x24/legacy/system-shutdown.png",
              "24x24/legacy/view-fullscreen.png"]
# The decoding set: every PNG of these packages over this many pixels.
GIGA_PACKAGES = ["openclipart-png", "hedgewars-data"]
GIGA_PIXELS = 50_000_000


def cache_dir():
    return os.path.abspath(os.environ.get("TARVEX_IMAGES") or os.path.join(
        benchlib.ROOT, "build-bench", "images"))


def wait_for_other_download(cache):
    """Another process may be filling the cache: its download.log ends with
    "done" when it has finished."""
    path = os.path.join(cache, "download.log")
    for _ in range(120):
        if not os.path.exists(path):
            return
        with open(path, errors="replace") as f:
            if "done" in f.read().split():
                return
        log("waiting for the download logged in", path)
        time.sleep(10)


def fetch(cache, package):
    """The package's files, downloaded and extracted once; returns the
    folder they were extracted into."""
    debs = os.path.join(cache, "debs")
    os.makedirs(debs, exist_ok=True)
    found = glob.glob(os.path.join(debs, glob.escape(package) + "_*.deb"))
    if not found:
        log("downloading", package)
        cmd = ["apt-get", "download", "-q", package]
        if subprocess.run(cmd, cwd=debs).returncode:
            subprocess.run(["apt-get", "update", "-qq"], check=True)
            subprocess.run(cmd, cwd=debs, check=True)
        found = glob.glob(os.path.join(debs, glob.escape(package) + "_*.deb"))
    root = os.path.join(cache, "root", package)
    done = os.path.join(root, ".extracted")
    if not os.path.exists(done):
        log("extracting", os.path.basename(sorted(found)[-1]))
        os.makedirs(root, exist_ok=True)
        subprocess.run(["dpkg-deb", "-x", sorted(found)[-1], root], check=True)
        open(done, "w").close()
    return root


def write_once(path, command):
    """Runs COMMAND with its standard output into PATH, unless PATH exists."""
    if os.path.exists(path):
        return
    with open(path + ".tmp", "wb") as out:
        subprocess.run(command, stdout=out, check=True)
    os.replace(path + ".tmp", path)


def extension(path):
    magic = benchlib.read_pnm_header(path)[0]
    return {"P4": ".pbm", "P1": ".pbm", "P5": ".pgm", "P2": ".pgm"}.get(
        magic, ".ppm")


def convert_png(corvane, png, out_base):
    """The PNG as corvane converts it, and its alpha mask when it has one.
    Returns (map, mask or None)."""
    done = [out_base + e for e in (".ppm", ".pgm", ".pbm")
            if os.path.exists(out_base + e)]
    if done:
        final = done[0]
    else:
        write_once(out_base + ".pnm", [corvane, "-quiet", png])
        final = out_base + extension(out_base + ".pnm")
        os.replace(out_base + ".pnm", final)
    mask = None
    if benchlib.png_has_alpha(png):
        mask = out_base + ".mask.pgm"
        write_once(mask, [corvane, "-quiet", "-alpha", png])
    return final, mask


def item(name, category, package, path, pnm, mask, png):
    info = benchlib.read_pnm_header(pnm)
    return {"name": name, "category": category,
            "source": package + ": /" + path, "pnm": pnm, "mask": mask,
            "png": png, "width": info[1], "height": info[2]}


def build_items(roots, corvane, out):
    items = []
    for name, category, package, path, djpeg in CHOSEN:
        src = os.path.join(roots[package], path)
        base = os.path.join(out, name)
        if djpeg is not None:
            pnm = base + (".pgm" if djpeg else ".ppm")
            write_once(pnm, ["djpeg", *djpeg, src])
            mask, png = None, None
        else:
            (pnm, mask), png = convert_png(corvane, src, base), src
        items.append(item(name, category, package, path, pnm, mask, png))
    return items


def icon_paths(root):
    top = os.path.join(root, ICONS)
    paths = [os.path.relpath(p, top) for d in ICON_DIRS
             for p in glob.glob(os.path.join(top, d, "*", "*.png"))
             + glob.glob(os.path.join(top, d, "*.png"))]
    return sorted(set(paths + ICON_EXTRA))


def build_icons(root, corvane, out):
    icons = []
    os.makedirs(os.path.join(out, "icons"), exist_ok=True)
    for rel in icon_paths(root):
        src = os.path.join(root, ICONS, rel)
        name = "icon-" + rel[:-4].replace("/", "-")
        pnm, mask = convert_png(corvane, src,
                                os.path.join(out, "icons", name))
        icons.append(item(name, "icon", "adwaita-icon-theme", ICONS + rel,
                          pnm, mask, src))
    return icons


def find_giga(roots):
    giga = []
    for package in GIGA_PACKAGES:
        for d, _, files in os.walk(roots[package]):
            for f in files:
                p = os.path.join(d, f)
                info = (None if os.path.islink(p) or not f.endswith(".png")
                        else benchlib.png_info(p))
                if info and info[0] * info[1] > GIGA_PIXELS:
                    rel = os.path.relpath(p, roots[package])
                    stem = f[:-4]
                    if stem in ("map", "mask"):  # hedgewars: Maps/NAME/mask
                        stem = os.path.basename(d) + "-" + stem
                    giga.append({"name": "giga-" + stem, "png": p,
                                 "source": package + ": /" + rel,
                                 "width": info[0], "height": info[1]})
    giga.sort(key=lambda g: (-g["width"] * g["height"], g["source"]))
    names = [g["name"] for g in giga]
    for g in giga:  # two packages may hold files of the same name
        if names.count(g["name"]) > 1:
            g["name"] += "-" + g["source"].split(":")[0]
    return giga


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corvane", help="corvane to convert the PNGs with"
                        " (default: built in build-bench/)")
    args = parser.parse_args()
    benchlib.ensure_packages(TOOLS)
    corvane = args.corvane or os.path.join(benchlib.build_release(
        os.path.join(benchlib.ROOT, "build-bench"), ["corvane"]),
        "converter", "corvane")
    cache = cache_dir()
    wait_for_other_download(cache)
    roots = {p: fetch(cache, p) for p in PACKAGES}
    out = os.path.join(cache, "set")
    os.makedirs(out, exist_ok=True)
    manifest = {"items": build_items(roots, corvane, out),
                "icons": build_icons(roots["adwaita-icon-theme"], corvane,
                                     out),
                "giga": find_giga(roots)}
    path = os.path.join(out, "manifest.json")
    with open(path + ".tmp", "w") as f:
        json.dump(manifest, f, indent=1)
    os.replace(path + ".tmp", path)
    log("%d images, %d icons and %d PNGs over %d pixels: %s" % (
        len(manifest["items"]), len(manifest["icons"]), len(manifest["giga"]),
        GIGA_PIXELS, path))


if __name__ == "__main__":
    sys.exit(main())
