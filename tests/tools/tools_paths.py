"""Locations shared by the tool tests: the source tree, the tools and the real samples."""

import os
import sys

SOURCE_DIR = os.environ.get("FENDRIK_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
REFERENCE_DIR = os.path.join(SOURCE_DIR, "tools", "reference")
GEN_DIR = os.path.join(SOURCE_DIR, "tools", "gen")
REAL_SAMPLES = os.environ.get("FENDRIK_REAL_SAMPLES") or os.path.abspath(
    os.path.join(SOURCE_DIR, "..", "shared", "samples", "real"))
PYTHON = "/usr/bin/python3"

for _d in (REFERENCE_DIR, GEN_DIR):
    if _d not in sys.path:
        sys.path.insert(0, _d)


def real_sample_files():
    found = []
    for folder, _dirs, files in os.walk(REAL_SAMPLES):
        for name in files:
            if name.lower().endswith((".par", ".asm", ".psm", ".dft")):
                found.append(os.path.join(folder, name))
    return sorted(found)
