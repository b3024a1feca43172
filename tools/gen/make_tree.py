#!/usr/bin/python3
"""Makes a large folder tree of empty files for folder-scan benchmarks and tests.

Usage: make_tree.py --out DIR [--entries N] [--seed S]

Creates at least N entries (files and folders) below DIR: nested folders up to depth 6,
empty files with the four document extensions in mixed letter case, and look-alikes that
are not documents (".txt", ".par.bak", a file named exactly "PAR", ".parx", folders named
"x.par"). Prints a JSON summary: folders, files, and file counts per name ending.
"""

import argparse
import json
import os
import random
import sys

DOC_EXTENSIONS = ["par", "asm", "psm", "dft"]
LOOKALIKES = [".txt", ".par.bak", ".PAR.bak", ".parx", ".dft~", ".log", "_par", ".asm.old", ".pdf"]
FOLDER_NAMES = ["Projekt", "Baugruppe", "Teile", "Zeichnungen", "Archiv", "Normteile", "Übergabe", "alt", "部品"]
MAX_DEPTH = 6


class Tree:
    def __init__(self, rng):
        self.rng = rng
        self.folders = 0
        self.files = 0
        self.by_ending = {}

    def _file(self, folder, name, ending):
        fd = os.open(os.path.join(folder, name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.close(fd)
        self.files += 1
        self.by_ending[ending] = self.by_ending.get(ending, 0) + 1

    def _folder(self, parent, name):
        path = os.path.join(parent, name)
        os.mkdir(path)
        self.folders += 1
        return path

    def fill(self, folder, depth, budget):
        """Puts about budget entries into folder and below it."""
        rng = self.rng
        own = budget if depth >= MAX_DEPTH or budget < 40 else min(budget, rng.randrange(8, 30))
        bare = ["PAR", "asm", "Dft", "psm"]
        for k in range(own):
            r = rng.random()
            if r < 0.7:
                ext = rng.choice(DOC_EXTENSIONS)
                ext = ext.upper() if rng.random() < 0.2 else ext.capitalize() if rng.random() < 0.1 else ext
                self._file(folder, "Teil %d.%s" % (k, ext), "." + ext)
            elif r < 0.97:
                ending = rng.choice(LOOKALIKES)
                self._file(folder, "Datei %d%s" % (k, ending), ending)
            elif r < 0.985 and bare:
                self._file(folder, bare.pop(rng.randrange(len(bare))), "(bare name)")
            else:
                self._folder(folder, "Ordner %d.par" % k)
        rest = budget - own
        if rest <= 0:
            return
        count = min(rest, rng.randrange(2, 6))
        share = rest - count
        cuts = sorted(rng.randrange(share + 1) for _ in range(count - 1))
        parts = [b - a for a, b in zip([0] + cuts, cuts + [share])]
        for i, part in enumerate(parts):
            sub = self._folder(folder, "%s %d" % (rng.choice(FOLDER_NAMES), i))
            self.fill(sub, depth + 1, part)


def main(argv):
    parser = argparse.ArgumentParser(description="Makes a large folder tree of empty files.")
    parser.add_argument("--out", required=True)
    parser.add_argument("--entries", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    if os.listdir(args.out):
        parser.error("%s is not empty" % args.out)
    tree = Tree(random.Random(args.seed))
    tree.fill(args.out, 0, args.entries)
    json.dump({"folders": tree.folders, "files": tree.files, "by_ending": tree.by_ending},
              sys.stdout, ensure_ascii=False, indent=1, sort_keys=True)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
