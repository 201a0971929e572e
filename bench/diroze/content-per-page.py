#!/usr/bin/env python3
"""Prints the bytes of a PDF's decompressed page content streams per page."""
import re
import subprocess
import sys
import tempfile

with tempfile.NamedTemporaryFile(suffix=".pdf") as qdf:
    subprocess.run(["qpdf", "--qdf", "--object-streams=disable", sys.argv[1], qdf.name], check=True)
    data = open(qdf.name, "rb").read()
total = pages = 0
for m in re.finditer(rb"%% Contents for page \d+\n(?:%%[^\n]*\n)*\d+ 0 obj\n.*?stream\n", data, re.S):
    end = data.index(b"\nendstream", m.end())
    total += end - m.end()
    pages += 1
print(f"{total // max(pages, 1)} B content stream per page ({pages} pages)")
