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
        if sector >= min(limit, len(fat)) or sector in used:
            problems.append("%s: sector %d out of range or already used by %s" % (owner, sector, used.get(sector)))
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
    size = 1 << struct.unpack_from("<H", data, 30)[0]
    if (major, size) not in ((3, 512), (4, 4096)):
        return ["version %d with %d-byte sectors" % (major, size)]
    (dir_count, fat_count, dir_start, _, cutoff, minifat_start, minifat_count, difat_start,
     difat_count) = struct.unpack_from("<9I", data, 40)
    if cutoff != 4096 or (major == 3 and dir_count != 0) or len(data) % size:
        problems.append("header fields or file size")
    count, per = len(data) // size - 1, size // 4

    def table(n):
        return list(struct.unpack_from("<%dI" % per, data, (n + 1) * size))

    fat_ids, difat_sectors, next_difat = list(struct.unpack_from("<109I", data, 76)), [], difat_start
    for _ in range(difat_count):
        difat_sectors.append(next_difat)
        entries = table(next_difat)
        fat_ids, next_difat = fat_ids + entries[:-1], entries[-1]
    if next_difat != ENDOFCHAIN:
        problems.append("DIFAT chain does not end")
    listed = [s for s in fat_ids if s != FREESECT]
    if len(listed) != fat_count or any(s != FREESECT for s in fat_ids[fat_count:]):
        problems.append("DIFAT lists %d FAT sectors, header says %d" % (len(listed), fat_count))
    fat = [entry for s in listed for entry in table(s)]
    if len(fat) < count:
        return problems + ["FAT covers %d of %d sectors" % (len(fat), count)]
    used = {}
    for sectors, mark, owner in ((listed, FATSECT, "FAT"), (difat_sectors, DIFSECT, "DIFAT")):
        for s in sectors:
            if fat[s] != mark:
                problems.append("%s sector %d not marked" % (owner, s))
            used[s] = owner
    directory_sectors = _chain(fat, dir_start, "directory", used, problems, count)
    if major == 4 and dir_count != len(directory_sectors):
        problems.append("header counts %d directory sectors, chain has %d" % (dir_count, len(directory_sectors)))
    minifat_sectors = _chain(fat, minifat_start, "mini FAT", used, problems, count)
    if len(minifat_sectors) != minifat_count:
        problems.append("mini FAT sector count")
    directory = b"".join(data[(s + 1) * size:(s + 2) * size] for s in directory_sectors)
    minifat, mini_used = [entry for s in minifat_sectors for entry in table(s)], {}
    for i in range(len(directory) // 128):
        kind = directory[i * 128 + 66]
        start, length = struct.unpack_from("<IQ", directory, i * 128 + 116)
        if kind == 5:
            if len(_chain(fat, start, "mini stream", used, problems, count)) * size < length:
                problems.append("mini stream shorter than the root entry says")
        elif kind == 2 and length >= cutoff:
            if len(_chain(fat, start, "stream %d" % i, used, problems, count)) != (length + size - 1) // size:
                problems.append("stream %d: wrong sector count for %d bytes" % (i, length))
        elif kind == 2 and length > 0:
            if len(_chain(minifat, start, "mini stream %d" % i, mini_used, problems, len(minifat))) != (length + 63) // 64:
                problems.append("stream %d: wrong mini sector count for %d bytes" % (i, length))
    problems += ["sector %d allocated but in no chain" % s for s in range(count) if fat[s] != FREESECT and s not in used][:1]
    return problems
