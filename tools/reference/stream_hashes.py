#!/usr/bin/python3
"""Prints JSON {stream path: sha256 hex} for every stream of a compound file.

Usage: stream_hashes.py FILE
Paths join storage and stream names with "/", below the root storage. Tests compare two
such maps to prove that a write changed only the streams it meant to change.
"""

import hashlib
import json
import sys

import olefile


def stream_hashes(path):
    with olefile.OleFileIO(path) as ole:
        return {"/".join(entry): hashlib.sha256(ole.openstream(entry).read()).hexdigest()
                for entry in ole.listdir(streams=True, storages=False)}


def main(argv):
    if len(argv) != 1:
        sys.stderr.write(__doc__)
        return 2
    json.dump(stream_hashes(argv[0]), sys.stdout, indent=1, sort_keys=True)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
