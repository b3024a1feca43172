"""Serialization of property-set streams the way Solid Edge documents store them.

A value is encoded once into its typed form (type, padding, body, padded to 4 bytes); a
section is a property table with offsets to those encoded values; a stream is the header
followed by one or two sections.
"""

import struct
import uuid

VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BOOL = 0, 1, 2, 3, 5, 0x0B
VT_UI4, VT_LPSTR, VT_LPWSTR, VT_FILETIME, VT_BLOB, VT_CF, VT_CLSID = 0x13, 0x1E, 0x1F, 0x40, 0x41, 0x47, 0x48
VT_VARIANT, VT_VECTOR = 0x0C, 0x1000
PID_DICTIONARY, PID_CODEPAGE, PID_LOCALE = 0, 1, 0x80000000


def codec(codepage):
    return "utf-16-le" if codepage == 1200 else "cp%d" % codepage


def guid_bytes(text):
    return uuid.UUID(text).bytes_le


def _pad(body):
    return body + bytes(-len(body) & 3)


def empty():
    return struct.pack("<I", VT_EMPTY)


def null():
    return struct.pack("<I", VT_NULL)


def i2(v):
    return struct.pack("<Ihxx", VT_I2, v)


def i4(v):
    return struct.pack("<Ii", VT_I4, v)


def ui4(v):
    return struct.pack("<II", VT_UI4, v)


def boolean(v):
    return struct.pack("<Ihxx", VT_BOOL, -1 if v else 0)


def r8(v):
    return struct.pack("<Id", VT_R8, v)


def filetime(ticks):
    return struct.pack("<IQ", VT_FILETIME, ticks)


def clsid(text):
    return struct.pack("<I", VT_CLSID) + guid_bytes(text)


def lpwstr(text):
    """VT_LPWSTR: length in UTF-16 code units with the terminating NUL, padded to 4 bytes."""
    body = text.encode("utf-16-le") + b"\0\0"
    return _pad(struct.pack("<II", VT_LPWSTR, len(body) // 2) + body)


def lpstr(text, codepage):
    """VT_LPSTR: length in bytes with the terminating NUL (two bytes in code page 1200)."""
    body = text.encode(codec(codepage)) + (b"\0\0" if codepage == 1200 else b"\0")
    return _pad(struct.pack("<II", VT_LPSTR, len(body)) + body)


def text_value(text, codepage, wide):
    return lpwstr(text) if wide else lpstr(text, codepage)


def variant_text(text, codepage):
    """A VT_LPSTR element of a vector of variants as Office writes it: type, length, characters
    with the terminating NUL, and no padding to 4 bytes."""
    body = text.encode(codec(codepage)) + (b"\0\0" if codepage == 1200 else b"\0")
    return struct.pack("<II", VT_LPSTR, len(body)) + body


def variant_i4(v):
    return struct.pack("<Ii", VT_I4, v)


def vector_of_variants(elements):
    """VT_VECTOR | VT_VARIANT (e.g. the heading pairs of DocumentSummaryInformation) the way Office
    lays it out: count, then each element with its own type, strings unpadded, and no padding
    behind the last element either (the section's end is padded instead)."""
    return struct.pack("<II", VT_VECTOR | VT_VARIANT, len(elements)) + b"".join(elements)


def blob(data):
    return _pad(struct.pack("<II", VT_BLOB, len(data)) + data)


def clipboard(fmt, data):
    return _pad(struct.pack("<IIi", VT_CF, len(data) + 4, fmt) + data)


def dictionary(names, codepage):
    """Dictionary of (pid, name): code page 1200 pads each entry to 4 bytes, others only the end."""
    parts = [struct.pack("<I", len(names))]
    for pid, name in names:
        if codepage == 1200:
            raw = name.encode("utf-16-le") + b"\0\0"
            parts.append(_pad(struct.pack("<II", pid, len(raw) // 2) + raw))
        else:
            raw = name.encode(codec(codepage)) + b"\0"
            parts.append(struct.pack("<II", pid, len(raw)) + raw)
    return _pad(b"".join(parts))


def section(properties, spare_slots=0):
    """A section from (pid, encoded value) in table order; values follow the table in that order.

    spare_slots leaves room for more table entries between the table and the first value, as
    some writers do."""
    count = len(properties)
    offset = 8 + 8 * (count + spare_slots)
    table, bodies = [], []
    for pid, encoded in properties:
        table.append(struct.pack("<II", pid, offset))
        bodies.append(encoded)
        offset += len(encoded)
    # A last value without padding (as Office leaves a vector of variants) gets the padding of the
    # section's end; the values of this module's other encoders are padded already.
    end_padding = bytes(-offset & 3)
    head = struct.pack("<II", offset + len(end_padding), count) + b"".join(table) + bytes(8 * spare_slots)
    return head + b"".join(bodies) + end_padding


def stream(class_id, system, sections):
    """Property-set stream: header with class id and OS version, then (fmtid, section bytes)."""
    head = struct.pack("<HHI", 0xFFFE, 0, system) + guid_bytes(class_id) + struct.pack("<I", len(sections))
    offset = 28 + 20 * len(sections)
    table = []
    for fmtid, body in sections:
        table.append(guid_bytes(fmtid) + struct.pack("<I", offset))
        offset += len(body)
    return head + b"".join(table) + b"".join(body for _, body in sections)
