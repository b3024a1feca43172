#!/usr/bin/python3
"""Baseline for the read benchmark: the thirteen properties of every document
below a folder, read with olefile and the reference property-set decoder.
Prints the number of documents read."""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools", "reference"))

import read_props  # noqa: E402

count = 0
for root, _dirs, files in os.walk(sys.argv[1]):
    for name in files:
        if name.lower().endswith((".par", ".asm", ".psm", ".dft")):
            read_props.thirteen_texts(os.path.join(root, name))
            count += 1
print(count)
