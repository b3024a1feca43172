#!/usr/bin/python3
"""Writes sample Solid Edge documents (compound files with property sets) and a manifest.

Usage:
  generate_samples.py --out DIR [--documents N] [--big K] [--seed S] [--types par,asm,psm,dft]
                      [--model-bytes B] [--version 3|4|mixed] [--nested] [--check]

Writes N documents of mixed kinds, container versions and code pages below DIR (in nested
subfolders with --nested), K of them larger than 7 MB (version 3 with DIFAT sectors unless
--version 4), and DIR/manifest.json: {relative path: [13 texts a correct reader must show]}.
--check reopens every written file with olefile and the reference reader and compares.
A developer tool for tests and benchmarks; not part of the program.
"""

import argparse
import json
import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cfb_writer import write_compound_file  # noqa: E402
from sample_streams import build_document  # noqa: E402
from sample_values import KINDS, plan_document  # noqa: E402

FOLDER_NAMES = ["Projekt Ä", "Baugruppe 12", "Zeichnungen", "Teile", "部品", "Kunde Müller & Co", "v1.2",
                "Archiv.par", "Normteile", "Schweißteile", "2024", "alt", "Übergabe", "Lieferant X"]
FILE_STEMS = ["Welle", "Gehäuse", "Flansch", "Deckel", "Zahnrad", "Baugruppe", "Blech", "Zeichnung", "Part",
              "Lagerbock", "ansi inch part", "歯車", "Träger"]
BIG_MODEL_BYTES = 8_000_000


def _extension(rng, kind):
    r = rng.random()
    return kind.upper() if r < 0.1 else kind.capitalize() if r < 0.2 else kind


def _folders(rng, count):
    """Relative folder paths, depth up to 5, each folder's parents listed before it."""
    folders = [""]
    for _ in range(count):
        parent = rng.choice(folders)
        if parent.count("/") >= 4:
            parent = ""
        name = rng.choice(FOLDER_NAMES)
        path = parent + "/" + name if parent else name
        if path not in folders:
            folders.append(path)
    return folders


def plan_collection(documents, seed=1, big=0, types=KINDS, model_bytes=16384, version="mixed", nested=False):
    """Plans of all documents, with their relative paths, in writing order."""
    rng = random.Random(seed)
    folders = _folders(rng, max(1, documents // 15)) if nested else [""]
    big_indices = set(rng.sample(range(documents), min(big, documents)))
    plans = []
    for index in range(documents):
        kind = types[index % len(types)]
        style = rng.choices(["new", "western", "japanese"], [6, 3, 1])[0]
        if version == "mixed":
            ver = 4 if style == "new" and rng.random() < 0.4 else 3
        else:
            ver = int(version)
        is_big = index in big_indices
        if is_big and version == "mixed":
            ver = 3
        size = BIG_MODEL_BYTES + rng.randrange(1_000_000) if is_big else model_bytes
        plan = plan_document(seed, index, kind, ver, style, size, big=is_big)
        stem = rng.choice(FILE_STEMS)
        name = "%s %05d.%s" % (stem, index, _extension(rng, kind))
        folder = rng.choice(folders)
        plan.relative_path = folder + "/" + name if folder else name
        plans.append(plan)
    return plans


def write_documents(out_dir, plans):
    """Writes every planned document and the manifest; returns the number of bytes written."""
    manifest, total = {}, 0
    made = set()
    for plan in plans:
        path = os.path.join(out_dir, plan.relative_path)
        folder = os.path.dirname(path)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        total += write_compound_file(path, build_document(plan), plan.version)
        manifest[plan.relative_path] = plan.expected_texts()
    with open(os.path.join(out_dir, "manifest.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)
    return total


def check_documents(out_dir, plans):
    """Reopens every document with olefile and the reference reader; returns a list of problems."""
    import olefile

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))
    import read_props

    problems = []
    for plan in plans:
        path = os.path.join(out_dir, plan.relative_path)
        with olefile.OleFileIO(path) as ole:
            for names, stream in build_document(plan).walk():
                if ole.openstream(list(names)).read() != stream.content():
                    problems.append("%s: stream %s differs" % (plan.relative_path, "/".join(names)))
        texts = read_props.thirteen_texts(path)
        if texts != plan.expected_texts():
            problems.append("%s: read %r, expected %r" % (plan.relative_path, texts, plan.expected_texts()))
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description="Writes sample Solid Edge documents and a manifest.")
    parser.add_argument("--out", required=True)
    parser.add_argument("--documents", type=int, default=20)
    parser.add_argument("--big", type=int, default=0, help="documents larger than 7 MB")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--types", default="par,asm,psm,dft")
    parser.add_argument("--model-bytes", type=int, default=16384, help="size of the main model stream")
    parser.add_argument("--version", choices=["3", "4", "mixed"], default="mixed")
    parser.add_argument("--nested", action="store_true", help="spread documents over nested subfolders")
    parser.add_argument("--check", action="store_true", help="verify every written file afterwards")
    args = parser.parse_args(argv)
    types = tuple(t.strip().lower() for t in args.types.split(",") if t.strip())
    if not types or any(t not in KINDS for t in types):
        parser.error("--types takes a comma-separated choice of %s" % ",".join(KINDS))
    if args.documents < 0 or args.big < 0 or args.model_bytes < 0:
        parser.error("counts and sizes must not be negative")

    started = time.monotonic()
    plans = plan_collection(args.documents, args.seed, args.big, types, args.model_bytes, args.version, args.nested)
    os.makedirs(args.out, exist_ok=True)
    total = write_documents(args.out, plans)
    elapsed = time.monotonic() - started
    sys.stderr.write("%d documents, %.1f MB, %.2f s\n" % (len(plans), total / 1e6, elapsed))
    if args.check:
        problems = check_documents(args.out, plans)
        for p in problems[:20]:
            sys.stderr.write(p + "\n")
        if problems:
            sys.stderr.write("%d problems\n" % len(problems))
            return 1
        sys.stderr.write("check passed\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
