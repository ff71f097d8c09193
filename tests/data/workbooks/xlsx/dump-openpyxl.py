#!/usr/bin/env python3
# Prints every sheet of each .xlsx workbook named as python3-openpyxl reads it, as JSON: one
# list per workbook of [{"name": ..., "cells": [[row, column, type, value], ...]}], rows and
# columns 0-based.
import datetime
import json
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")


def sheets(path):
    book = openpyxl.load_workbook(path, data_only=True)
    out = []
    for sheet in book.worksheets:
        out.append({"name": sheet.title, "cells": cells_of(sheet)})
    return out


def cells_of(sheet):
    cells = []
    for row in sheet.iter_rows():
        for c in row:
            v = c.value
            if v is None:
                continue
            if isinstance(v, bool):
                kind = "bool"
            elif isinstance(v, (int, float)):
                kind, v = "number", float(v)
            elif isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                kind, v = "date", v.isoformat()
            else:
                kind, v = ("error", v) if c.data_type == "e" else ("text", str(v))
            cells.append([c.row - 1, c.column - 1, kind, v])
    return cells


json.dump([sheets(path) for path in sys.argv[1:]], sys.stdout, ensure_ascii=False)
