"""Decoding of property-set streams (the OLE property-set serialization format).

This module is deliberately independent of the program's C++ code and of olefile's own
property parser: it is the second opinion that tests compare the program against.
Everything it reads is bounds-checked; a malformed stream raises PropertySetError.
"""

import datetime
import struct
import uuid

VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR = 0, 1, 2, 3, 4, 5, 6, 7, 8
VT_ERROR, VT_BOOL, VT_VARIANT, VT_DECIMAL = 0x0A, 0x0B, 0x0C, 0x0E
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17
VT_LPSTR, VT_LPWSTR, VT_FILETIME, VT_BLOB, VT_CF, VT_CLSID = 0x1E, 0x1F, 0x40, 0x41, 0x47, 0x48
VT_VECTOR = 0x1000

PID_DICTIONARY, PID_CODEPAGE, PID_LOCALE, PID_BEHAVIOR = 0, 1, 0x80000000, 0x80000003
CP_UTF16 = 1200

# Fixed-size scalar types: struct format of the value that follows the 4-byte type field.
_SCALARS = {
    VT_I2: "<h", VT_I4: "<i", VT_R4: "<f", VT_R8: "<d", VT_CY: "<q", VT_DATE: "<d", VT_ERROR: "<I",
    VT_BOOL: "<h", VT_I1: "<b", VT_UI1: "<B", VT_UI2: "<H", VT_UI4: "<I", VT_I8: "<q", VT_UI8: "<Q",
    VT_INT: "<i", VT_UINT: "<I", VT_FILETIME: "<Q",
}
INTEGER_TYPES = {VT_I2, VT_I4, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT}
TEXT_TYPES = {VT_LPSTR, VT_LPWSTR, VT_BSTR}

# Scalar types that take fewer than 4 bytes are still padded to 4 in the stream.
_MAX_VECTOR = 1 << 20


class PropertySetError(ValueError):
    pass


def python_codec(codepage):
    """Python codec name for a Windows code page, or None if Python has none."""
    if codepage == CP_UTF16:
        return "utf-16-le"
    if codepage == 65001:
        return "utf-8"
    if codepage == 10000:
        return "mac_roman"
    name = "cp%d" % codepage
    try:
        "".encode(name)
    except LookupError:
        return None
    return name


def decode_codepage_bytes(raw, codepage):
    """Text of a code-page string: cut at the first NUL, decoded strictly.

    Windows maps the five bytes that code page 1252 leaves undefined to the C1 control
    characters of the same value; so does this function. Anything else undecodable raises.
    """
    codec = python_codec(codepage)
    if codec is None:
        raise PropertySetError("unsupported code page %d" % codepage)
    if codepage == CP_UTF16:
        raw = raw[: len(raw) & ~1]
        for i in range(0, len(raw), 2):
            if raw[i] == 0 and raw[i + 1] == 0:
                raw = raw[:i]
                break
    else:
        nul = raw.find(b"\0")
        if nul >= 0:
            raw = raw[:nul]
    try:
        return raw.decode(codec)
    except UnicodeDecodeError:
        if codepage == 1252:
            return "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252") for b in raw)
        raise PropertySetError("bytes not valid in code page %d" % codepage)


def decode_utf16(raw):
    """Text of a UTF-16LE string, cut at the first NUL character; unpaired surrogates raise."""
    raw = raw[: len(raw) & ~1]
    for i in range(0, len(raw), 2):
        if raw[i] == 0 and raw[i + 1] == 0:
            raw = raw[:i]
            break
    try:
        return raw.decode("utf-16-le")
    except UnicodeDecodeError:
        raise PropertySetError("invalid UTF-16 text")


def guid_text(raw16):
    return str(uuid.UUID(bytes_le=bytes(raw16))).upper()


def filetime_text(ticks):
    """A FILETIME (100 ns since 1601-01-01 UTC) as 'YYYY-MM-DD HH:MM:SS' UTC."""
    try:
        moment = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
    except OverflowError:
        raise PropertySetError("FILETIME out of range")
    return moment.strftime("%Y-%m-%d %H:%M:%S")


class Value:
    """One typed property value: vt is the full type (VECTOR flag included), data the decoded form.

    data is str for texts, int for integers and FILETIME ticks, float for reals, bool for VT_BOOL,
    bytes for BLOB, (format, bytes) for clipboard data, a list of Value for vectors, None for EMPTY/NULL.
    """

    __slots__ = ("vt", "data", "size")

    def __init__(self, vt, data, size):
        self.vt, self.data, self.size = vt, data, size

    def __repr__(self):
        return "Value(0x%04X, %r)" % (self.vt, self.data)


class _Reader:
    """Bounds-checked little-endian reads inside one section's bytes."""

    def __init__(self, buf, codepage):
        self.buf, self.codepage = buf, codepage

    def unpack(self, fmt, off):
        n = struct.calcsize(fmt)
        if off < 0 or off + n > len(self.buf):
            raise PropertySetError("read of %d bytes at %d outside %d" % (n, off, len(self.buf)))
        return struct.unpack_from(fmt, self.buf, off)[0]

    def bytes(self, off, n):
        if n < 0 or off < 0 or off + n > len(self.buf):
            raise PropertySetError("span of %d bytes at %d outside %d" % (n, off, len(self.buf)))
        return self.buf[off : off + n]

    def value(self, off):
        """The TypedPropertyValue at off: Value and the offset just behind it (padded to 4)."""
        vt = self.unpack("<H", off)
        if vt & VT_VECTOR:
            count = self.unpack("<I", off + 4)
            if count > _MAX_VECTOR:
                raise PropertySetError("vector of %d elements" % count)
            pos, items = off + 8, []
            for _ in range(count):
                item, pos = self.element(vt & ~VT_VECTOR, pos)
                items.append(item)
            pos = _pad4(pos)
            return Value(vt, items, pos - off), pos
        if vt == VT_VARIANT:
            raise PropertySetError("bare VT_VARIANT")
        item, pos = self.element(vt, off + 4)
        pos = _pad4(pos)
        return Value(vt, item.data, pos - off), pos

    def element(self, vt, off):
        """One value of type vt without the type field (a vector element or a scalar's body)."""
        if vt in (VT_EMPTY, VT_NULL):
            return Value(vt, None, 0), off
        if vt in _SCALARS:
            fmt = _SCALARS[vt]
            n = struct.calcsize(fmt)
            data = self.unpack(fmt, off)
            if vt == VT_BOOL:
                data = data != 0
            return Value(vt, data, n), off + n
        if vt in (VT_LPSTR, VT_BSTR):
            size = self.unpack("<I", off)
            raw = self.bytes(off + 4, size)
            return Value(vt, decode_codepage_bytes(raw, self.codepage), size), _pad4(off + 4 + size)
        if vt == VT_LPWSTR:
            chars = self.unpack("<I", off)
            raw = self.bytes(off + 4, chars * 2)
            return Value(vt, decode_utf16(raw), chars), _pad4(off + 4 + chars * 2)
        if vt == VT_BLOB:
            size = self.unpack("<I", off)
            return Value(vt, self.bytes(off + 4, size), size), _pad4(off + 4 + size)
        if vt == VT_CF:
            size = self.unpack("<I", off)
            if size < 4:
                raise PropertySetError("clipboard data of %d bytes" % size)
            fmt = self.unpack("<i", off + 4)
            return Value(vt, (fmt, self.bytes(off + 8, size - 4)), size), _pad4(off + 4 + size)
        if vt == VT_CLSID:
            return Value(vt, guid_text(self.bytes(off, 16)), 16), off + 16
        if vt == VT_DECIMAL:
            return Value(vt, self.bytes(off, 16), 16), off + 16
        if vt == VT_VARIANT:
            return self.value(off)
        raise PropertySetError("unsupported type 0x%04X" % vt)


def _pad4(n):
    return (n + 3) & ~3


class Section:
    """One property set (section): FMTID, code page, dictionary and the values by property id.

    entries keeps the property table in stream order as (pid, offset) for dumping;
    values maps pid to Value (the first entry wins when an id repeats); errors maps pid to the
    reason a value could not be decoded.
    """

    def __init__(self, fmtid, offset, buf):
        self.fmtid, self.offset, self.size = fmtid, offset, len(buf)
        self.entries, self.values, self.errors, self.dictionary = [], {}, {}, {}
        self.codepage = None
        self._parse(buf)

    def _parse(self, buf):
        r = _Reader(buf, 1252)
        count = r.unpack("<I", 4)
        if 8 + 8 * count > len(buf):
            raise PropertySetError("property table of %d entries does not fit" % count)
        self.entries = [(r.unpack("<I", 8 + 8 * i), r.unpack("<I", 12 + 8 * i)) for i in range(count)]
        offsets = dict(reversed(self.entries))
        if PID_CODEPAGE in offsets:
            cp = r.value(offsets[PID_CODEPAGE])[0]
            if cp.vt != VT_I2:
                raise PropertySetError("code page property of type 0x%04X" % cp.vt)
            self.codepage = cp.data & 0xFFFF
        r.codepage = self.codepage if self.codepage is not None else 1252
        for pid, off in self.entries:
            if pid in self.values or pid in self.errors:
                continue
            if pid == PID_DICTIONARY:
                try:
                    self.dictionary = self._dictionary(r, off)
                except PropertySetError as e:
                    self.errors[pid] = str(e)
                continue
            try:
                self.values[pid] = r.value(off)[0]
            except PropertySetError as e:
                self.errors[pid] = str(e)

    def _dictionary(self, r, off):
        count = r.unpack("<I", off)
        pos, names = off + 4, {}
        unicode = r.codepage == CP_UTF16
        if count > len(r.buf):
            raise PropertySetError("dictionary of %d entries" % count)
        for _ in range(count):
            pid = r.unpack("<I", pos)
            length = r.unpack("<I", pos + 4)
            if unicode:
                name = decode_utf16(r.bytes(pos + 8, length * 2))
                pos = _pad4(pos + 8 + length * 2)
            else:
                name = decode_codepage_bytes(r.bytes(pos + 8, length), r.codepage)
                pos = pos + 8 + length
            names.setdefault(pid, name)
        return names

    def by_name(self, name):
        """Value of the property whose dictionary name matches name regardless of case, else None."""
        wanted = name.lower()
        for pid, entry in self.dictionary.items():
            if entry.lower() == wanted:
                return self.values.get(pid)
        return None


class PropertySetStream:
    """A whole property-set stream: header fields and its sections in stream order."""

    def __init__(self, data):
        if len(data) < 28:
            raise PropertySetError("stream of %d bytes is too short" % len(data))
        byte_order, self.version, self.system = struct.unpack_from("<HHI", data, 0)
        if byte_order != 0xFFFE:
            raise PropertySetError("byte order mark 0x%04X" % byte_order)
        self.clsid = guid_text(data[8:24])
        count = struct.unpack_from("<I", data, 24)[0]
        if count > 16 or 28 + 20 * count > len(data):
            raise PropertySetError("%d sections do not fit" % count)
        self.sections = []
        for i in range(count):
            fmtid = guid_text(data[28 + 20 * i : 44 + 20 * i])
            offset = struct.unpack_from("<I", data, 44 + 20 * i)[0]
            if offset + 8 > len(data):
                raise PropertySetError("section at %d outside the stream" % offset)
            size = struct.unpack_from("<I", data, offset)[0]
            if size < 8 or offset + size > len(data):
                raise PropertySetError("section of %d bytes at %d outside the stream" % (size, offset))
            self.sections.append(Section(fmtid, offset, data[offset : offset + size]))

    def section(self, fmtid):
        for s in self.sections:
            if s.fmtid == fmtid.upper():
                return s
        return None


def fmtid_stream_name(fmtid):
    """Stream name of a property set: "\\x05" and the FMTID as 26 five-bit letters, lowest bits first."""
    alphabet = "abcdefghijklmnopqrstuvwxyz012345"
    number = int.from_bytes(uuid.UUID(fmtid).bytes_le, "little")
    return "\x05" + "".join(alphabet[(number >> (5 * i)) & 31] for i in range(26))


def value_text(value):
    """A value as text the way a variant converts: texts unchanged, integers as decimal digits,
    EMPTY as the empty text. Returns None where the conversion fails (NULL, vectors, binary data).
    The forms for reals, booleans and times are this tool's own choice."""
    if value is None:
        return None
    vt, data = value.vt, value.data
    if vt & VT_VECTOR or vt in (VT_NULL, VT_BLOB, VT_CF, VT_DECIMAL, VT_CLSID, VT_ERROR):
        return None
    if vt == VT_EMPTY:
        return ""
    if vt in TEXT_TYPES:
        return data
    if vt in INTEGER_TYPES:
        return str(data)
    if vt == VT_BOOL:
        return "True" if data else "False"
    if vt in (VT_R4, VT_R8):
        return repr(float(data)) if vt == VT_R8 else "%.7g" % data
    if vt == VT_CY:
        return str(data / 10000)
    if vt == VT_FILETIME:
        return filetime_text(data)
    if vt == VT_DATE:
        try:
            return (datetime.datetime(1899, 12, 30) + datetime.timedelta(days=data)).strftime("%Y-%m-%d %H:%M:%S")
        except OverflowError:
            return None
    return None
