# Prints every stream directly below the root of a compound file as read by
# olefile: one line per stream, "<name as UTF-16LE hex> <content hex>"; a large
# stream of zero bytes is written "z<size>" to keep the output short.
# Exit status 1 (and the reason on stderr) when olefile cannot read the file.
import sys

import olefile

try:
    ole = olefile.OleFileIO(sys.argv[1])
    for entry in ole.listdir(streams=True, storages=False):
        if len(entry) == 1:
            data = ole.openstream(entry).read()
            if len(data) > 65536 and data.count(0) == len(data):
                print(entry[0].encode('utf-16-le').hex(), 'z%d' % len(data))
            else:
                print(entry[0].encode('utf-16-le').hex(), data.hex())
except Exception as error:  # noqa: BLE001 - any failure means "unreadable"
    print(error, file=sys.stderr)
    sys.exit(1)
