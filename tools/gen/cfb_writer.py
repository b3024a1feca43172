"""A compound-file (OLE structured storage) writer for sample documents.

Writes version 3 (512-byte sectors) or version 4 (4096-byte sectors) files with a FAT, DIFAT
sectors when more than 109 FAT sectors are needed, a mini FAT and mini stream for streams
below 4096 bytes, and a directory whose sibling trees are balanced red-black trees in the
compound-file name order.

A stream is given as its leading bytes and a total size; the rest of it is zeros. Large
files are written with seeks over those zeros, so a 200 MB sample costs little disk and time.
"""

import os
import struct
from array import array

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT, NOSTREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
MINI_CUTOFF, MINI_SECTOR, HEADER_DIFAT = 4096, 64, 109
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
TYPE_STORAGE, TYPE_STREAM, TYPE_ROOT = 1, 2, 5
RED, BLACK = 0, 1
# Files up to this size are assembled in memory and written at once; larger ones with seeks.
IN_MEMORY_LIMIT = 4 << 20


class Stream:
    __slots__ = ("name", "data", "size")

    def __init__(self, name, data=b"", size=None):
        self.name, self.data = name, bytes(data)
        self.size = len(self.data) if size is None else size
        if self.size < len(self.data):
            raise ValueError("stream %r: size below its data" % name)

    def content(self):
        """The whole stream's bytes (data followed by zeros)."""
        return self.data + bytes(self.size - len(self.data))


class Storage:
    __slots__ = ("name", "children", "clsid")

    def __init__(self, name, children=(), clsid=bytes(16)):
        self.name, self.children, self.clsid = name, list(children), clsid

    def walk(self, prefix=()):
        """(path tuple, Stream) for every stream below this storage."""
        for child in self.children:
            if isinstance(child, Storage):
                yield from child.walk(prefix + (child.name,))
            else:
                yield prefix + (child.name,), child


def _upper_char(c):
    u = c.upper()
    return u if len(u) == 1 else c


def name_key(name):
    """Directory order: shorter names first, then by upper-cased UTF-16 code units."""
    units = name.encode("utf-16-le")
    return (len(units), "".join(_upper_char(c) for c in name).encode("utf-16-be"))


def _balanced(entries, ids, depth, full_depth, left, right, color):
    """Links entries[...] as a balanced tree; nodes below the last full level are red. Returns the root id."""
    if not entries:
        return NOSTREAM
    mid = len(entries) // 2
    node = ids[entries[mid]]
    left[node] = _balanced(entries[:mid], ids, depth + 1, full_depth, left, right, color)
    right[node] = _balanced(entries[mid + 1 :], ids, depth + 1, full_depth, left, right, color)
    color[node] = RED if depth >= full_depth else BLACK
    return node


def _sectors(size, unit):
    return (size + unit - 1) // unit


class _Layout:
    """Where everything goes: directory ids, sector numbers, FAT and mini FAT contents."""

    def __init__(self, root, sector_size):
        self.S = sector_size
        self.E = sector_size // 4
        # Directory: root first, then storages breadth first; children of one storage together.
        self.entries = [root]
        queue = [root]
        while queue:
            storage = queue.pop(0)
            for child in sorted(storage.children, key=lambda c: name_key(c.name)):
                self.entries.append(child)
                if isinstance(child, Storage):
                    queue.append(child)
        ids = {id(e): i for i, e in enumerate(self.entries)}
        n = len(self.entries)
        self.left, self.right, self.child = [NOSTREAM] * n, [NOSTREAM] * n, [NOSTREAM] * n
        self.color = [BLACK] * n
        for e in self.entries:
            if isinstance(e, Storage):
                kids = sorted(e.children, key=lambda c: name_key(c.name))
                keys = [id(k) for k in kids]
                if len({name_key(k.name) for k in kids}) != len(kids):
                    raise ValueError("duplicate names below %r" % e.name)
                full_depth = (len(kids) + 1).bit_length() - 1
                self.child[ids[id(e)]] = _balanced(keys, ids, 0, full_depth, self.left, self.right, self.color)
        self.color[0] = BLACK

        # Streams: small ones go into the mini stream, the others into regular sectors.
        self.start, self.small, self.large = [ENDOFCHAIN] * n, [], []
        for i, e in enumerate(self.entries):
            if isinstance(e, Stream) and e.size > 0:
                (self.small if e.size < MINI_CUTOFF else self.large).append(i)
        mini_count = 0
        for i in self.small:
            self.start[i] = mini_count
            mini_count += _sectors(self.entries[i].size, MINI_SECTOR)
        self.mini_count = mini_count
        self.mini_stream_size = mini_count * MINI_SECTOR
        mini_stream_sectors = _sectors(self.mini_stream_size, self.S)
        minifat_sectors = _sectors(mini_count, self.E)
        dir_sectors = _sectors(n * 128, self.S)
        data = dir_sectors + minifat_sectors + mini_stream_sectors + sum(
            _sectors(self.entries[i].size, self.S) for i in self.large)

        fat = 1
        while True:
            difat = 0 if fat <= HEADER_DIFAT else _sectors(fat - HEADER_DIFAT, self.E - 1)
            need = _sectors(data + fat + difat, self.E)
            if need <= fat:
                break
            fat = need
        self.fat_sectors, self.difat_sectors, self.dir_sectors = fat, difat, dir_sectors
        self.minifat_sectors, self.mini_stream_sectors = minifat_sectors, mini_stream_sectors
        self.total_sectors = fat + difat + data

        # Sector numbers in file order: FAT, DIFAT, directory, mini FAT, mini stream, large streams.
        next_sector = fat + difat
        self.dir_start = next_sector
        next_sector += dir_sectors
        self.minifat_start = next_sector if minifat_sectors else ENDOFCHAIN
        next_sector += minifat_sectors
        self.mini_stream_start = next_sector if mini_stream_sectors else ENDOFCHAIN
        next_sector += mini_stream_sectors
        for i in self.large:
            self.start[i] = next_sector
            next_sector += _sectors(self.entries[i].size, self.S)
        self.start[0] = self.mini_stream_start

        self.fat = array("I", [FREESECT]) * (fat * self.E)
        self.fat[0:fat] = array("I", [FATSECT]) * fat
        if difat:
            self.fat[fat : fat + difat] = array("I", [DIFSECT]) * difat
        self._chain(self.fat, self.dir_start, dir_sectors)
        if minifat_sectors:
            self._chain(self.fat, self.minifat_start, minifat_sectors)
        if mini_stream_sectors:
            self._chain(self.fat, self.mini_stream_start, mini_stream_sectors)
        for i in self.large:
            self._chain(self.fat, self.start[i], _sectors(self.entries[i].size, self.S))

        self.minifat = array("I", [FREESECT]) * (minifat_sectors * self.E)
        for i in self.small:
            self._chain(self.minifat, self.start[i], _sectors(self.entries[i].size, MINI_SECTOR))

    @staticmethod
    def _chain(table, start, count):
        table[start : start + count - 1] = array("I", range(start + 1, start + count))
        table[start + count - 1] = ENDOFCHAIN

    def offset(self, sector):
        return (sector + 1) * self.S


def _directory_entry(layout, i):
    e = layout.entries[i]
    name = e.name.encode("utf-16-le")
    if len(name) > 62:
        raise ValueError("name %r longer than 31 characters" % e.name)
    if i == 0:
        kind, start, size = TYPE_ROOT, layout.start[0], layout.mini_stream_size
    elif isinstance(e, Storage):
        kind, start, size = TYPE_STORAGE, 0, 0
    else:
        kind, start, size = TYPE_STREAM, layout.start[i], e.size
    clsid = e.clsid if isinstance(e, Storage) else bytes(16)
    return struct.pack("<64sHBBIII16sIQQIQ", name, len(name) + 2, kind, layout.color[i],
                       layout.left[i], layout.right[i], layout.child[i], clsid, 0, 0, 0, start, size)


_EMPTY_ENTRY = struct.pack("<64sHBBIII16sIQQIQ", b"", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM, bytes(16), 0, 0, 0, 0, 0)


def _header(layout, version):
    fat_ids = list(range(layout.fat_sectors))
    difat = fat_ids[:HEADER_DIFAT] + [FREESECT] * (HEADER_DIFAT - min(HEADER_DIFAT, len(fat_ids)))
    head = struct.pack(
        "<8s16sHHHHH6sIIIIIIIII", SIGNATURE, bytes(16), 0x003E, version, 0xFFFE,
        9 if version == 3 else 12, 6, bytes(6),
        0 if version == 3 else layout.dir_sectors, layout.fat_sectors, layout.dir_start, 0, MINI_CUTOFF,
        layout.minifat_start, layout.minifat_sectors,
        layout.fat_sectors if layout.difat_sectors else ENDOFCHAIN, layout.difat_sectors)
    return head + array("I", difat).tobytes()


def _difat_sectors(layout):
    """The DIFAT sectors: FAT sector ids beyond the header's 109, each sector chained to the next."""
    per = layout.E - 1
    rest = list(range(HEADER_DIFAT, layout.fat_sectors))
    out = []
    for k in range(layout.difat_sectors):
        ids = rest[k * per : (k + 1) * per]
        ids += [FREESECT] * (per - len(ids))
        nxt = layout.fat_sectors + k + 1 if k + 1 < layout.difat_sectors else ENDOFCHAIN
        out.append(array("I", ids + [nxt]).tobytes())
    return b"".join(out)


def _pieces(layout, version):
    """(file offset, bytes) for everything that is not zero, in file order."""
    S = layout.S
    head = _header(layout, version)
    yield 0, head + bytes(S - len(head)) if version == 4 else head
    yield layout.offset(0), layout.fat.tobytes()
    if layout.difat_sectors:
        yield layout.offset(layout.fat_sectors), _difat_sectors(layout)
    n = len(layout.entries)
    directory = b"".join(_directory_entry(layout, i) for i in range(n))
    directory += _EMPTY_ENTRY * (layout.dir_sectors * S // 128 - n)
    yield layout.offset(layout.dir_start), directory
    if layout.minifat_sectors:
        yield layout.offset(layout.minifat_start), layout.minifat.tobytes()
    if layout.mini_stream_sectors:
        parts = []
        for i in layout.small:
            e = layout.entries[i]
            parts.append(e.data)
            parts.append(bytes(_sectors(e.size, MINI_SECTOR) * MINI_SECTOR - len(e.data)))
        yield layout.offset(layout.mini_stream_start), b"".join(parts)
    for i in layout.large:
        data = layout.entries[i].data
        if data:
            yield layout.offset(layout.start[i]), data


def write_compound_file(path, root, version=3):
    """Writes root (a Storage whose clsid becomes the root entry's CLSID) as a compound file at path."""
    if version not in (3, 4):
        raise ValueError("version must be 3 or 4")
    layout = _Layout(root, 512 if version == 3 else 4096)
    total = layout.offset(layout.total_sectors)
    if total <= IN_MEMORY_LIMIT:
        image = bytearray(total)
        for offset, data in _pieces(layout, version):
            image[offset : offset + len(data)] = data
        with open(path, "wb") as f:
            f.write(image)
    else:
        with open(path, "wb") as f:
            for offset, data in _pieces(layout, version):
                f.seek(offset)
                f.write(data)
            f.truncate(total)
    return total
