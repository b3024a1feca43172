# Prints every stream directly below the root of compound files as read by
# olefile: for the N-th file given (from 0) a line "= N", then one line per
# stream, "s <name as UTF-16LE hex> <content hex>" (a stream of zero bytes as
# "z<size>", to keep the output short); "! N" when olefile cannot read it.
import sys

import olefile

for index, path in enumerate(sys.argv[1:]):
    try:
        ole = olefile.OleFileIO(path)
        print('= %d' % index)
        for entry in ole.listdir(streams=True, storages=False):
            if len(entry) == 1:
                data = ole.openstream(entry).read()
                content = 'z%d' % len(data) if data.count(0) == len(data) else data.hex()
                print('s', entry[0].encode('utf-16-le').hex(), content)
        ole.close()
    except Exception:  # noqa: BLE001 - any failure means "unreadable"
        print('! %d' % index)
