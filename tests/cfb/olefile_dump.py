# Prints every stream directly below the root of a compound file as read by
# olefile: one line per stream, "<name as UTF-16LE hex> <content hex>"; a large
# stream of zero bytes is written "z<size>" to keep the output short.
# Exit status 1 (and the reason on stderr) when olefile cannot read the file.
# With --many FILE...: a line "= N" before the streams of the N-th file (from
# 0), and "! N" instead when olefile cannot read it; exit status 0.
import sys

import olefile


def dump(path):
    ole = olefile.OleFileIO(path)
    for entry in ole.listdir(streams=True, storages=False):
        if len(entry) == 1:
            data = ole.openstream(entry).read()
            if len(data) > 65536 and data.count(0) == len(data):
                print(entry[0].encode('utf-16-le').hex(), 'z%d' % len(data))
            else:
                print(entry[0].encode('utf-16-le').hex(), data.hex())
    ole.close()


if sys.argv[1] != '--many':
    try:
        dump(sys.argv[1])
    except Exception as error:  # noqa: BLE001 - any failure means "unreadable"
        print(error, file=sys.stderr)
        sys.exit(1)
else:
    for index, path in enumerate(sys.argv[2:]):
        try:
            print('= %d' % index)
            dump(path)
        except Exception:  # noqa: BLE001 - any failure means "unreadable"
            print('! %d' % index)
