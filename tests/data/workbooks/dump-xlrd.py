# Prints every sheet of a workbook as xlrd reads it, as JSON: the write-back tests compare
# this independent reading before and after an edit. Run with Debian's /usr/bin/python3.
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheets = []
for sheet in book.sheets():
    cells = []
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype != xlrd.XL_CELL_EMPTY:
                cells.append([r, c, cell.ctype, cell.value, cell.xf_index])
    sheets.append({"name": sheet.name, "nrows": sheet.nrows, "ncols": sheet.ncols,
                   "cells": cells})
# One write: json.dump writes piece by piece, which costs more than the reading.
sys.stdout.write(json.dumps(sheets, ensure_ascii=False))
