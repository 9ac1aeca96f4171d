# SPDX-License-Identifier: MIT
"""What the bench scripts share: installing missing Debian packages (never a
refused one), the Release build, and reading PNG and portable-map headers."""

import hashlib
import os
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3"
# First 16 hex digits of the sha256 of a package that must never come in (it
# would bring a program that does what corvane does).
REFUSED_HASH = "8fc5851bd44569a5"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def log(*words):
    print(*words, file=sys.stderr, flush=True)


def refused(names):
    """The names among NAMES (package names, maybe with :arch) that must not
    be installed."""
    return [n for n in names
            if hashlib.sha256(n.split(":")[0].encode()).hexdigest()[:16]
            == REFUSED_HASH]


def installed_packages():
    out = subprocess.run(
        ["dpkg-query", "-W", "-f", "${Package} ${db:Status-Status}\n"],
        capture_output=True, text=True).stdout
    return {line.split()[0] for line in out.splitlines()
            if line.endswith(" installed")}


def ensure_packages(packages):
    """Installs the missing PACKAGES without recommended ones, after checking
    apt's simulated plan; then checks what is installed. Exits on a refusal."""
    missing = [p for p in packages if p not in installed_packages()]
    if missing:
        log("installing:", " ".join(missing))
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "update", "-qq"], check=True, env=env)
        plan = subprocess.run(
            ["apt-get", "install", "-s", "--no-install-recommends", *missing],
            capture_output=True, text=True, check=True, env=env).stdout
        names = [line.split()[1] for line in plan.splitlines()
                 if line.startswith("Inst ")]
        if refused(names):
            sys.exit("refusing: a package that must not be installed is in"
                     " apt's plan")
        subprocess.run(["apt-get", "install", "-y", "-qq",
                        "--no-install-recommends", *missing],
                       check=True, env=env, stdout=sys.stderr)
    if refused(installed_packages()):
        sys.exit("refusing: a package that must not be installed is"
                 " installed")


def build_release(build_dir, targets):
    """Builds TARGETS in a Release tree; returns the tree's absolute path."""
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "deps.sh")],
                   check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir,
                    "-DCMAKE_BUILD_TYPE=Release", "-DTARVEX_BUILD_TESTS=OFF",
                    "-DTARVEX_WERROR=OFF"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j", "2", "--target",
                    *targets], check=True, stdout=sys.stderr)
    return os.path.abspath(build_dir)


def png_info(path):
    """(width, height, depth, colour type, interlace, has tRNS) of a PNG, or
    None when it is not one."""
    with open(path, "rb") as f:
        head = f.read(33)
        if len(head) < 33 or head[:8] != PNG_SIGNATURE:
            return None
        w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB",
                                                            head[16:29])
        trns = False
        while True:
            chunk = f.read(8)
            if len(chunk) < 8:
                break
            length, kind = struct.unpack(">I4s", chunk)
            if kind in (b"IDAT", b"IEND"):
                break
            trns = trns or kind == b"tRNS"
            f.seek(length + 4, 1)
    return w, h, depth, ctype, interlace, trns


def png_has_alpha(path):
    info = png_info(path)
    return info is not None and (info[3] in (4, 6) or info[5])


def _is_space(c):
    return c in b" \t\n\v\f\r"


def pnm_header(data):
    """(magic, width, height, maxval, header length) of the portable map
    whose first bytes are DATA, or None. Comments may stand wherever the
    format allows them."""
    if len(data) < 3 or data[0:1] != b"P" or data[1:2] not in b"123456":
        return None
    kind = data[1] - ord("0")
    want = 2 if kind in (1, 4) else 3
    p, values = 2, []
    for _ in range(want):
        while p < len(data) and (_is_space(data[p]) or data[p] == ord("#")):
            if data[p] == ord("#"):
                while p < len(data) and data[p] not in b"\r\n":
                    p += 1
            else:
                p += 1
        start = p
        while p < len(data) and 48 <= data[p] <= 57:
            p += 1
        if p == start:
            return None
        values.append(int(data[start:p]))
    if p >= len(data) or not _is_space(data[p]):
        return None
    if want == 2:
        values.append(1)
    return ("P%d" % kind, values[0], values[1], values[2], p + 1)


def raster_size(magic, width, height, maxval):
    """What the raster after the header holds: bytes for raw maps, samples
    (PBM: digits) for plain ones."""
    per = 2 if maxval > 255 else 1
    return {"P4": (width + 7) // 8 * height, "P5": width * height * per,
            "P6": width * height * 3 * per, "P1": width * height,
            "P2": width * height, "P3": width * height * 3}[magic]


def read_pnm_header(path):
    with open(path, "rb") as f:
        return pnm_header(f.read(1024))
