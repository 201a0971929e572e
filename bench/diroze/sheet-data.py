#!/usr/bin/env python3
"""Writes COUNT labels to FILE in code page 852: an EAN-13 number and two
text lines each, as the sheet benchmarks print them.

    sheet-data.py COUNT FILE
"""
import sys


def ean(digits):
    s = sum(int(c) * (3 if i % 2 else 1) for i, c in enumerate(digits))
    return digits + str((10 - s % 10) % 10)


with open(sys.argv[2], "wb") as f:
    for i in range(int(sys.argv[1])):
        f.write(f"{ean('859%09d' % i)};Šroubek M6 × 20 č. {i};balení {i % 500} ks\r\n".encode("cp852"))
