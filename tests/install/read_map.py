# SPDX-License-Identifier: MIT
"""Reads a portable map through the shared library with ctypes alone, the C
interface seen from another language: prints its size, maxval and the first
and last pixels. Usage: read_map.py LIBRARY MAP"""
import ctypes
import sys


class RgbPixel(ctypes.Structure):
    _fields_ = [("r", ctypes.c_uint32), ("g", ctypes.c_uint32),
                ("b", ctypes.c_uint32)]


def main(library, path):
    libc = ctypes.CDLL(None)
    libc.fopen.restype = ctypes.c_void_p
    libc.fopen.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    lib = ctypes.CDLL(library)
    lib.pm_init.argtypes = [ctypes.c_char_p]
    lib.ppm_readppm.restype = ctypes.POINTER(ctypes.POINTER(RgbPixel))
    lib.ppm_readppm.argtypes = [ctypes.c_void_p] + 3 * [ctypes.c_void_p]
    lib.pm_freearray.argtypes = [ctypes.c_void_p, ctypes.c_uint]
    lib.pm_close.argtypes = [ctypes.c_void_p]

    lib.pm_init(b"read_map")
    file = libc.fopen(path.encode(), b"rb")
    cols, rows, maxval = ctypes.c_int(), ctypes.c_int(), ctypes.c_uint32()
    pixels = lib.ppm_readppm(file, ctypes.byref(cols), ctypes.byref(rows),
                             ctypes.byref(maxval))
    first = pixels[0][0]
    last = pixels[rows.value - 1][cols.value - 1]
    print(f"{cols.value} x {rows.value}, maxval {maxval.value}: "
          f"{first.r} {first.g} {first.b} ... {last.r} {last.g} {last.b}")
    lib.pm_freearray(pixels, rows.value)
    lib.pm_close(file)


if __name__ == "__main__":
    main(*sys.argv[1:])
