# Writes the xlwt fixtures: see make-workbooks.sh.
import datetime
import sys

import xlwt

out = sys.argv[1] if len(sys.argv) > 1 else "."

HEAD = ["经度", "纬度", "标注", "地点描述"]


def mixed():
    wb = xlwt.Workbook(encoding="utf-8")
    other = wb.add_sheet("Other")  # sheet1 is not the first sheet
    other.write(0, 0, "not sheet1")
    other.write(1, 0, 42)
    sheet = wb.add_sheet("Sheet1")
    refs = wb.add_sheet("Refs")
    for c, h in enumerate(HEAD + ["Extra"]):
        sheet.write(0, c, h)
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    rows = [
        [116.3920388, 39.91120332, "紫禁城", "中国古代帝王宫殿，位于中国北京市<br/>", 1],
        [121.4965666, 31.23973873, "上海浦东", "", True],
        [0.00005, -33.5, "A&B", "长" * 300, datetime.datetime(2024, 5, 1, 13, 30)],
        [7, 100000000, "整数", "int cells", xlwt.Formula("A2+1")],
    ]
    for r, row in enumerate(rows, start=1):
        for c, v in enumerate(row):
            if isinstance(v, datetime.datetime):
                sheet.write(r, c, v, date)
            else:
                sheet.write(r, c, v)
    refs.write(0, 0, xlwt.Formula("Sheet1!A2*2"))
    refs.write(1, 0, "refers to sheet1")
    wb.save(f"{out}/xlwt-mixed.xls")


def rows2000():
    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("sheet1")
    other = wb.add_sheet("Notes")
    for c, h in enumerate(HEAD):
        sheet.write(0, c, h)
    for r in range(1, 2001):
        sheet.write(r, 0, 100 + r / 1000)
        sheet.write(r, 1, 20 + r / 7)
        sheet.write(r, 2, f"点{r}")
        # Long strings make the shared string table run across CONTINUE records.
        text = ("描述" * 4500) if r % 500 == 0 else ("Latin " * 2000 if r % 700 == 0 else f"第{r}行")
        sheet.write(r, 3, text)
    other.write(0, 0, xlwt.Formula("sheet1!A2+sheet1!B3"))
    other.write(1, 0, "notes")
    wb.save(f"{out}/xlwt-rows2000.xls")


def plain():
    # Nothing refers to sheet1's rows, so rows may be deleted: no formulas, names or merges.
    wb = xlwt.Workbook(encoding="utf-8")
    info = wb.add_sheet("Info")
    info.write(0, 0, "信息")
    info.write(1, 0, 3.25)
    sheet = wb.add_sheet("sheet1")
    later = wb.add_sheet("Later")
    for c, h in enumerate(HEAD):
        sheet.write(0, c, h)
    for r in range(1, 301):
        if r % 37 == 0:
            continue  # gaps between rows
        sheet.write(r, 0, 110 + r / 100)
        sheet.write(r, 1, r)  # integers: RK cells, joined into MULRK with the next
        sheet.write(r, 2, f"地点{r}")
        text = ("长文本" * 3000) if r % 90 == 0 else ("Long text " * 900 if r % 125 == 0 else f"描述 {r} <i>html</i>")
        sheet.write(r, 3, text)
    # A formula without references: its text result follows in a STRING record.
    sheet.write(2, 5, xlwt.Formula('"前"&"后"'))
    later.write(0, 0, "after sheet1")
    later.write(5, 2, 12345.678)
    wb.save(f"{out}/xlwt-plain.xls")


def merged():
    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("sheet1")
    for c, h in enumerate(HEAD):
        sheet.write(0, c, h)
    sheet.write(1, 0, 116.39)
    sheet.write(1, 1, 39.91)
    sheet.write_merge(1, 2, 2, 2, "合并")
    sheet.write(2, 0, 121.49)
    wb.save(f"{out}/xlwt-merged.xls")


def numbers():
    # No text at all: LibreOffice then writes no shared string table.
    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("sheet1")
    for r in range(6):
        sheet.write(r, 0, 116 + r / 10)
        sheet.write(r, 1, 39 + r / 10)
    wb.add_sheet("Empty")
    wb.save(f"{out}/xlwt-numbers.xls")


def kinds():
    """Every kind of cell in a sheet named "SHEET1" whose table starts at B3."""
    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("SHEET1")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    day = xlwt.easyxf(num_format_str="yyyy/m/d")
    money = xlwt.easyxf(num_format_str="¥#,##0.00")
    blank = xlwt.easyxf("pattern: pattern solid, fore_colour yellow")
    head = ["经度", "纬度", "标注", "地点描述", 2024, "", True]
    for c, h in enumerate(head):
        sheet.write(2, 1 + c, h)
    rows = [
        [116.3920388, 39.91120332, "紫禁城", "<b>故宫</b><br/>北京", 1, "x", "y"],
        [121.4965666, 31.23973873, "上海 & 浦东", "", True, None, "#ERR #DIV/0!"],
        [0.00005, 1e15, "1/3", "长" * 300, datetime.datetime(2024, 5, 1, 13, 30), None, None],
        [None, None, None, None, None, None, None],  # an empty row inside the table
        ["文字经度", -33.5, 42, "a \"quoted\" <tag> & text", datetime.datetime(2024, 5, 1), 1, 2],
        [1234.5678, 12345678.9, "money", "日期 time", False, "#ERR #N/A!", None],
    ]
    for r, row in enumerate(rows, start=3):
        for c, v in enumerate(row):
            col = 1 + c
            if v is None:
                sheet.write(r, col, "", blank)  # formatting only: no value
            elif isinstance(v, str) and v.startswith("#ERR "):
                sheet.row(r).set_cell_error(col, v[5:])
            elif isinstance(v, datetime.datetime):
                sheet.write(r, col, v, date if v.hour or v.minute else day)
            elif r == 8 and c < 2:
                sheet.write(r, col, v, money)
            else:
                sheet.write(r, col, v)
    wb.save(f"{out}/xlwt-kinds.xls")


def dates1904():
    wb = xlwt.Workbook(encoding="utf-8")
    wb.dates_1904 = True
    sheet = wb.add_sheet("sheet1")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm")
    for c, h in enumerate(HEAD):
        sheet.write(0, c, h)
    sheet.write(1, 0, datetime.datetime(2024, 5, 1, 13, 30), date)
    sheet.write(1, 1, datetime.datetime(1904, 1, 1), date)
    sheet.write(1, 2, "1904")
    sheet.write(1, 3, datetime.datetime(1999, 12, 31, 23, 59, 59), date)
    wb.save(f"{out}/xlwt-date1904.xls")


def small():
    """A heading row only, three columns, no sheet named sheet1, and an empty sheet1."""
    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("sheet1")
    for c, h in enumerate(HEAD):
        sheet.write(0, c, h)
    wb.save(f"{out}/xlwt-heading-only.xls")

    wb = xlwt.Workbook(encoding="utf-8")
    sheet = wb.add_sheet("Sheet1")
    for c, h in enumerate(HEAD[:3]):
        sheet.write(0, c, h)
    sheet.write(1, 0, 116.5)
    sheet.write(1, 1, 39.5)
    sheet.write(1, 2, "三列")
    sheet.write(2, 0, 117)
    wb.save(f"{out}/xlwt-three-columns.xls")

    wb = xlwt.Workbook(encoding="utf-8")
    wb.add_sheet("Data").write(0, 0, "data")
    wb.add_sheet("Sheet2").write(0, 0, "sheet2")
    wb.save(f"{out}/xlwt-no-sheet1.xls")

    wb = xlwt.Workbook(encoding="utf-8")
    wb.add_sheet("Sheet1")
    wb.add_sheet("Sheet2").write(0, 0, "only here")
    wb.save(f"{out}/xlwt-empty-sheet1.xls")


mixed()
rows2000()
plain()
merged()
numbers()
kinds()
dates1904()
small()
