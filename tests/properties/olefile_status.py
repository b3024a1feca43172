#!/usr/bin/python3
"""For tests of the status write: prints JSON {file: {...}} as olefile and the reference decoder
see each file: the text of status, username, security, title and author, the stored type of each
(status_vt, ...), and sha256 per stream (hashes, to prove which streams a write changed)."""

import json, os, sys  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "reference"))
import olefile, oleps, read_props, stream_hashes  # noqa: E401,E402

EXTENDED, SUMMARY = "ExtendedSummaryInformation", "SummaryInformation"
WANTED = {"status": (EXTENDED, 7), "username": (EXTENDED, 8), "security": (SUMMARY, 19), "title": (SUMMARY, 2),
          "author": (SUMMARY, 4)}
out = {}
for path in sys.argv[1:]:
    try:
        with olefile.OleFileIO(path) as ole:
            sets = read_props.load_sets(ole)
        out[path] = {"hashes": stream_hashes.stream_hashes(path)}
        for key, (set_name, pid) in WANTED.items():
            value = sets[set_name].values.get(pid) if sets[set_name] is not None else None
            if value is not None:
                out[path][key], out[path][key + "_vt"] = oleps.value_text(value), value.vt
    except Exception as error:  # noqa: BLE001 - any failure is reported to the test
        out[path] = {"error": str(error)}
json.dump(out, sys.stdout, ensure_ascii=False)
