#!/usr/bin/python3
"""Reference reader of the thirteen document properties of Solid Edge documents.

Usage: read_props.py [--dump | --json-full | --table] FILE...

Default output: JSON {path: [13 texts]} in the order of the result list's property columns
(document number, revision, status, title, subject, comments, keywords, category, project,
company, author, "Hauptmaße", material). A read that fails for any reason gives "".
--dump prints every property set and property of each file; --json-full prints every decoded
property as text; --table prints one tab-separated line per file for eyeballing.

The container is read with olefile, the property sets with this folder's own decoder (oleps).
"""

import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import olefile  # noqa: E402

import oleps  # noqa: E402

FMTID_SUMMARY = "F29F85E0-4FF9-1068-AB91-08002B27B3D9"
FMTID_DOCSUMMARY = "D5CDD502-2E9C-101B-9397-08002B2CF9AE"
FMTID_CUSTOM = "D5CDD505-2E9C-101B-9397-08002B2CF9AE"
FMTID_PROJECT = "F0D6D0B1-A0D8-11CE-8AA2-08003601E988"
FMTID_EXTENDED = "CC024FA2-6EB5-11CE-8AA2-08003601E988"
FMTID_MECHANICAL = "CC024FCA-6EB5-11CE-8AA2-08003601E988"

# Set name -> (stream name, FMTID of its section).
SETS = {
    "SummaryInformation": ("\x05SummaryInformation", FMTID_SUMMARY),
    "DocumentSummaryInformation": ("\x05DocumentSummaryInformation", FMTID_DOCSUMMARY),
    "Custom": ("\x05DocumentSummaryInformation", FMTID_CUSTOM),
    "ProjectInformation": (oleps.fmtid_stream_name(FMTID_PROJECT), FMTID_PROJECT),
    "ExtendedSummaryInformation": (oleps.fmtid_stream_name(FMTID_EXTENDED), FMTID_EXTENDED),
    "MechanicalModeling": (oleps.fmtid_stream_name(FMTID_MECHANICAL), FMTID_MECHANICAL),
}

# The thirteen reads: set name and property id, or a dictionary name for "Custom".
READS = [
    ("ProjectInformation", 2),
    ("ProjectInformation", 3),
    ("ExtendedSummaryInformation", 7),
    ("SummaryInformation", 2),
    ("SummaryInformation", 3),
    ("SummaryInformation", 6),
    ("SummaryInformation", 5),
    ("DocumentSummaryInformation", 2),
    ("ProjectInformation", 4),
    ("DocumentSummaryInformation", 15),
    ("SummaryInformation", 4),
    ("Custom", "Hauptmaße"),
    ("MechanicalModeling", 3),
]
COMMENTS_INDEX = 5


def join_lines(text):
    """Every CR LF pair becomes ", "; a lone CR or LF stays."""
    return text.replace("\r\n", ", ")


def root_streams(ole):
    """Root-level stream names, lower-cased, mapped to olefile's own spelling."""
    found = {}
    for path in ole.listdir(streams=True, storages=False):
        if len(path) == 1:
            found.setdefault(path[0].lower(), path[0])
    return found


def load_sets(ole):
    """Set name -> Section (or None when the stream or section is missing or malformed)."""
    streams, parsed, sets = root_streams(ole), {}, {}
    for name, (stream, fmtid) in SETS.items():
        key = stream.lower()
        if key not in parsed:
            try:
                parsed[key] = oleps.PropertySetStream(ole.openstream(streams[key]).read()) if key in streams else None
            except Exception:  # a damaged stream or container counts as a missing set
                parsed[key] = None
        sets[name] = parsed[key].section(fmtid) if parsed[key] is not None else None
    return sets


def thirteen_texts(path):
    texts = [""] * len(READS)
    try:
        ole = olefile.OleFileIO(path)
    except Exception:
        return texts
    try:
        sets = load_sets(ole)
    except Exception:
        return texts
    finally:
        ole.close()
    for i, (set_name, key) in enumerate(READS):
        section = sets.get(set_name)
        if section is None:
            continue
        value = section.by_name(key) if isinstance(key, str) else section.values.get(key)
        text = oleps.value_text(value)
        if text is None:
            continue
        texts[i] = join_lines(text) if i == COMMENTS_INDEX else text
    return texts


def _short(value, limit=120):
    if value is None:
        return "None"
    data = value.data
    if isinstance(data, (bytes, bytearray)):
        return "<%d bytes>" % len(data)
    if isinstance(data, tuple):
        return "<clipboard format %d, %d bytes>" % (data[0], len(data[1]))
    if isinstance(data, list):
        return "[" + ", ".join(_short(v, 40) for v in data[:8]) + (", ..." if len(data) > 8 else "") + "]"
    text = repr(data)
    return text if len(text) <= limit else text[:limit] + "...(%d chars)" % len(data)


def dump(path, out):
    out.write("== %s\n" % path)
    try:
        ole = olefile.OleFileIO(path)
    except Exception as e:
        out.write("   not a compound file: %s\n" % e)
        return
    with ole:
        out.write("   sector size %d, root CLSID %s\n" % (ole.sector_size, ole.root.clsid))
        for entry in ole.listdir(streams=True, storages=False):
            name = "/".join(entry)
            out.write("   stream %-40r %9d bytes\n" % (name, ole.get_size(name)))
            if len(entry) != 1 or not entry[0].startswith("\x05"):
                continue
            try:
                stream = oleps.PropertySetStream(ole.openstream(entry).read())
            except Exception as e:
                out.write("      not a property set: %s\n" % e)
                continue
            out.write("      version %d, system 0x%08X, CLSID %s, %d section(s)\n"
                      % (stream.version, stream.system, stream.clsid, len(stream.sections)))
            for s in stream.sections:
                out.write("      section %s at %d, %d bytes, code page %s, %d entries\n"
                          % (s.fmtid, s.offset, s.size, s.codepage, len(s.entries)))
                for pid, off in s.entries:
                    if pid == oleps.PID_DICTIONARY:
                        shown = "dictionary " + repr(s.dictionary) if pid not in s.errors else "ERROR " + s.errors[pid]
                        out.write("        pid 0x%08X @%-6d %s\n" % (pid, off, shown))
                        continue
                    v = s.values.get(pid)
                    if v is None:
                        out.write("        pid 0x%08X @%-6d ERROR %s\n" % (pid, off, s.errors.get(pid)))
                        continue
                    name = s.dictionary.get(pid, "")
                    out.write("        pid 0x%08X @%-6d vt 0x%04X %-12s %s\n"
                              % (pid, off, v.vt, repr(name) if name else "", _short(v)))


def full(path):
    """Every decodable property of every set as {stream: {fmtid: {pid or name: text}}}."""
    result = {}
    try:
        ole = olefile.OleFileIO(path)
    except Exception:
        return result
    with ole:
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) != 1 or not entry[0].startswith("\x05"):
                continue
            try:
                stream = oleps.PropertySetStream(ole.openstream(entry).read())
            except Exception:
                continue
            sets = result.setdefault(entry[0], {})
            for s in stream.sections:
                props = sets.setdefault(s.fmtid, {})
                for pid, v in s.values.items():
                    key = s.dictionary.get(pid, str(pid))
                    props[key] = oleps.value_text(v)
    return result


def main(argv):
    mode = "json"
    files = []
    for arg in argv:
        if arg in ("--dump", "--json-full", "--table"):
            mode = arg[2:]
        elif arg in ("-h", "--help"):
            sys.stdout.write(__doc__)
            return 0
        else:
            files.append(arg)
    if not files:
        sys.stderr.write(__doc__)
        return 2
    out = open(sys.stdout.fileno(), "w", encoding="utf-8", closefd=False)
    if mode == "dump":
        for f in files:
            dump(f, out)
    elif mode == "json-full":
        json.dump({f: full(f) for f in files}, out, ensure_ascii=False, indent=1)
        out.write("\n")
    elif mode == "table":
        for f in files:
            out.write("\t".join([f] + [repr(t) if t.strip() != t or not t else t for t in thirteen_texts(f)]) + "\n")
    else:
        json.dump({f: thirteen_texts(f) for f in files}, out, ensure_ascii=False, indent=1)
        out.write("\n")
    out.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
