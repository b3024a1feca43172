"""A strict, independent check of a compound file's allocation structures.

olefile forgives much (unmarked FAT sectors, wrong DIFAT contents); the program's own reader
may not, so generated files are held to the letter of the format: the DIFAT lists exactly the
sectors the FAT marks as FAT sectors, DIFAT sectors are marked as such, every chain ends, no
sector belongs to two chains, and no sector is allocated without belonging to one.
"""

import struct

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


def _chain(fat, start, owner, used, problems, limit):
    sectors, sector = [], start
    while sector != ENDOFCHAIN:
        if sector >= limit or sector >= len(fat):
            problems.append("%s: sector %d out of range" % (owner, sector))
            break
        if sector in used:
            problems.append("%s: sector %d already used by %s" % (owner, sector, used[sector]))
            break
        used[sector] = owner
        sectors.append(sector)
        sector = fat[sector]
    return sectors


def check(path):
    """Returns a list of problems (empty when the file is well-formed)."""
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    major, = struct.unpack_from("<H", data, 26)
    shift, = struct.unpack_from("<H", data, 30)
    size = 1 << shift
    if (major, size) not in ((3, 512), (4, 4096)):
        return ["version %d with %d-byte sectors" % (major, size)]
    (dir_count, fat_count, dir_start, _, cutoff, minifat_start, minifat_count, difat_start,
     difat_count) = struct.unpack_from("<IIIIIIIII", data, 40)
    if cutoff != 4096 or (major == 3 and dir_count != 0):
        problems.append("header fields")
    if len(data) % size:
        problems.append("file size %d not a whole number of sectors" % len(data))
    count = len(data) // size - 1
    per = size // 4

    def sector(n):
        return data[(n + 1) * size : (n + 2) * size]

    fat_ids = list(struct.unpack_from("<109I", data, 76))
    difat_sectors, next_difat = [], difat_start
    for _ in range(difat_count):
        difat_sectors.append(next_difat)
        entries = struct.unpack("<%dI" % per, sector(next_difat))
        fat_ids += entries[:-1]
        next_difat = entries[-1]
    if next_difat != ENDOFCHAIN:
        problems.append("DIFAT chain does not end")
    listed = [s for s in fat_ids if s != FREESECT]
    if len(listed) != fat_count or any(s != FREESECT for s in fat_ids[fat_count:]):
        problems.append("DIFAT lists %d FAT sectors, header says %d" % (len(listed), fat_count))
    fat = []
    for s in listed:
        fat += struct.unpack("<%dI" % per, sector(s))
    if len(fat) < count:
        problems.append("FAT covers %d of %d sectors" % (len(fat), count))
    used = {}
    for s in listed:
        if fat[s] != FATSECT:
            problems.append("FAT sector %d not marked" % s)
        used[s] = "FAT"
    for s in difat_sectors:
        if fat[s] != DIFSECT:
            problems.append("DIFAT sector %d not marked" % s)
        used[s] = "DIFAT"
    directory_sectors = _chain(fat, dir_start, "directory", used, problems, count)
    if major == 4 and dir_count != len(directory_sectors):
        problems.append("header counts %d directory sectors, chain has %d" % (dir_count, len(directory_sectors)))
    minifat_sectors = _chain(fat, minifat_start, "mini FAT", used, problems, count)
    if len(minifat_sectors) != minifat_count:
        problems.append("mini FAT sector count")
    directory = b"".join(sector(s) for s in directory_sectors)
    minifat = []
    for s in minifat_sectors:
        minifat += struct.unpack("<%dI" % per, sector(s))
    mini_used = {}
    for i in range(len(directory) // 128):
        entry = directory[i * 128 : (i + 1) * 128]
        kind = entry[66]
        start, length = struct.unpack_from("<IQ", entry, 116)
        if kind == 5:
            root = _chain(fat, start, "mini stream", used, problems, count)
            if len(root) * size < length:
                problems.append("mini stream shorter than the root entry says")
        elif kind == 2 and length >= cutoff:
            chain = _chain(fat, start, "stream %d" % i, used, problems, count)
            if len(chain) != (length + size - 1) // size:
                problems.append("stream %d: %d sectors for %d bytes" % (i, len(chain), length))
        elif kind == 2 and length > 0:
            chain = _chain(minifat, start, "mini stream %d" % i, mini_used, problems, len(minifat))
            if len(chain) != (length + 63) // 64:
                problems.append("stream %d: %d mini sectors for %d bytes" % (i, len(chain), length))
    for s in range(count):
        if fat[s] != FREESECT and s not in used:
            problems.append("sector %d allocated but in no chain" % s)
            break
    return problems
