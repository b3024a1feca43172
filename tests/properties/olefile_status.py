#!/usr/bin/python3
"""For tests of the status write: prints JSON {file: {status, username, security,
hashes}} as olefile and the reference decoder see each file (hashes: sha256 per
stream, to prove which streams a write changed)."""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "reference"))

import read_props  # noqa: E402
import stream_hashes  # noqa: E402


def section(full, stream, fmtid):
    for name, sections in full.items():
        if name.lower() == stream.lower():
            return sections.get(fmtid, {})
    return {}


out = {}
for path in sys.argv[1:]:
    try:
        full = read_props.full(path)
        esi = section(full, "\x05C3teagxwOttdbfkuIaamtae3Ie", read_props.FMTID_EXTENDED)
        si = section(full, "\x05SummaryInformation", read_props.FMTID_SUMMARY)
        out[path] = {"status": esi.get("Status"), "username": esi.get("Username"), "security": si.get("19"),
                     "hashes": stream_hashes.stream_hashes(path)}
    except Exception as error:  # noqa: BLE001 - any failure is reported to the test
        out[path] = {"error": str(error)}
json.dump(out, sys.stdout, ensure_ascii=False)
