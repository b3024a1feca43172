#!/usr/bin/python3
"""For tests of the export: prints JSON {file: {...}} of what other programs read in each exported list.
A workbook (.xlsx) is read with openpyxl: its sheet names, every row (the header first) as texts (a date as
"YYYY-MM-DD HH:MM:SS", an empty cell as "") with the Python type of each cell, whether each header cell is
bold, the frozen cell, the filter's range and the column widths. A CSV file is read with the csv module
(UTF-8 after its byte-order mark): its rows and whether it starts with the mark."""

import csv, datetime, io, json, sys  # noqa: E401


def text(value):
    if value is None:
        return ""
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    return str(value)


def read_workbook(path):
    import openpyxl
    from openpyxl.utils import get_column_letter
    book = openpyxl.load_workbook(path)
    sheet = book.active
    rows = [list(row) for row in sheet.iter_rows(values_only=True)]
    return {"sheets": book.sheetnames,
            "rows": [[text(value) for value in row] for row in rows],
            "types": [[type(value).__name__ for value in row] for row in rows],
            "bold": [bool(cell.font.b) for cell in sheet[1]],
            "frozen": sheet.freeze_panes or "",
            "filter": sheet.auto_filter.ref or "",
            "widths": [sheet.column_dimensions[get_column_letter(k + 1)].width for k in range(sheet.max_column)]}


def read_csv(path):
    with open(path, "rb") as file:
        data = file.read()
    bom = data.startswith(b"\xef\xbb\xbf")
    rows = list(csv.reader(io.StringIO(data[3 if bom else 0:].decode("utf-8"), newline="")))
    return {"bom": bom, "rows": rows}


out = {}
for path in sys.argv[1:]:
    try:
        out[path] = read_workbook(path) if path.lower().endswith(".xlsx") else read_csv(path)
    except Exception as error:  # noqa: BLE001 - any failure is reported to the test
        out[path] = {"error": type(error).__name__ + ": " + str(error)}
json.dump(out, sys.stdout, ensure_ascii=False)
