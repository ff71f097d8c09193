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


mixed()
rows2000()
