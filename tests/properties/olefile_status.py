#!/usr/bin/python3
"""For tests of the status write: prints JSON {file: {...}} as olefile and the reference
decoder see each file: the text of status, username, security, title and author, the stored
type of the first three (status_vt, ...), and hashes (sha256 per stream, to prove which
streams a write changed); {"error": ...} when the file cannot be read."""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "reference"))

import olefile  # noqa: E402
import oleps  # noqa: E402
import read_props  # noqa: E402
import stream_hashes  # noqa: E402

WANTED = {"status": ("ExtendedSummaryInformation", 7), "username": ("ExtendedSummaryInformation", 8),
          "security": ("SummaryInformation", 19), "title": ("SummaryInformation", 2),
          "author": ("SummaryInformation", 4)}

out = {}
for path in sys.argv[1:]:
    try:
        with olefile.OleFileIO(path) as ole:
            sets = read_props.load_sets(ole)
        seen = {"hashes": stream_hashes.stream_hashes(path)}
        for key, (set_name, pid) in WANTED.items():
            value = sets[set_name].values.get(pid) if sets[set_name] is not None else None
            if value is not None:
                seen[key], seen[key + "_vt"] = oleps.value_text(value), value.vt
        out[path] = seen
    except Exception as error:  # noqa: BLE001 - any failure is reported to the test
        out[path] = {"error": str(error)}
json.dump(out, sys.stdout, ensure_ascii=False)
