"""Locations shared by the tool tests: the source tree, the tools and the real samples."""

import os
import sys

SOURCE_DIR = os.environ.get("FENDRIK_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
REFERENCE_DIR, GEN_DIR = os.path.join(SOURCE_DIR, "tools", "reference"), os.path.join(SOURCE_DIR, "tools", "gen")
REAL_SAMPLES = os.environ.get("FENDRIK_REAL_SAMPLES") or os.path.join(os.path.dirname(SOURCE_DIR), "shared", "samples", "real")
PYTHON = "/usr/bin/python3"
sys.path[:0] = [d for d in (REFERENCE_DIR, GEN_DIR) if d not in sys.path]


def real_sample_files():
    return sorted(os.path.join(folder, name) for folder, _, files in os.walk(REAL_SAMPLES)
                  for name in files if name.lower().endswith((".par", ".asm", ".psm", ".dft")))
