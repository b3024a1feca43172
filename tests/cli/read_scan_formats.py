#!/usr/bin/python3
"""Reads what fendrik-cli wrote as a spreadsheet or a script would.

read_scan_formats.py CSV JSON prints one JSON object: "bom" (the CSV starts with a
UTF-8 byte-order mark), "crlf" (every line of the CSV ends in CR LF, outside
quoted fields), "csv" (the records, header first, as Python's csv module
reads them) and "json" (the rows as Python's json module reads them, each as
a list of [title, value, type name]).
"""
import csv
import io
import json
import sys

csv_path, json_path = sys.argv[1], sys.argv[2]
raw = open(csv_path, "rb").read()
bom = raw.startswith(b"\xef\xbb\xbf")
text = raw.decode("utf-8-sig")
records = list(csv.reader(io.StringIO(text, newline=""), strict=True))
# Line ends outside quotes: a quote count that is even before each LF.
crlf = True
quoted = False
for i, c in enumerate(text):
    if c == '"':
        quoted = not quoted
    elif c == "\n" and not quoted and (i == 0 or text[i - 1] != "\r"):
        crlf = False
rows = json.load(open(json_path, encoding="utf-8"))
typed = [[[key, value, type(value).__name__] for key, value in row.items()] for row in rows]
json.dump({"bom": bom, "crlf": crlf, "csv": records, "json": typed}, sys.stdout)
