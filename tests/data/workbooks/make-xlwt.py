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


mixed()
rows2000()
plain()
merged()
numbers()
