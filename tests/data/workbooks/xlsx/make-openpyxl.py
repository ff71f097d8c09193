# Writes the openpyxl fixtures: see make-xlsx.sh. openpyxl writes no cached formula results, so
# its formulas read as empty cells.
import datetime
import random
import string
import sys

import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.worksheet.datavalidation import DataValidation

out = sys.argv[1] if len(sys.argv) > 1 else "."
HEAD = ["经度", "纬度", "标注", "地点描述"]


def table(sheet, rows=4):
    sheet.append(HEAD)
    for r in range(1, rows + 1):
        sheet.append([116 + r / 10, 39 + r / 10, f"点{r}", f"描述{r}"])


def features():
    """sheet1 second, a sheet whose formulas read it, merged cells, a comment, a data
    validation and a chart on sheet1, the 1904 date system."""
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    first = wb.active
    first.title = "Refs"
    sheet = wb.create_sheet("Sheet1")
    table(sheet)
    sheet["E1"] = "日期"
    sheet["E2"] = datetime.datetime(2024, 5, 1, 13, 30)
    sheet["E2"].number_format = "yyyy-mm-dd hh:mm"
    sheet["E3"] = datetime.date(1904, 1, 2)
    sheet["E3"].number_format = "yyyy/m/d"
    sheet["F2"] = "=A2*2"
    first["A1"] = "=Sheet1!A2+SUM(Sheet1!B2:B5)"
    first["A2"] = "reads sheet1"
    wb.save(f"{out}/openpyxl-1904.xlsx")

    for kind in ("merged", "comment", "validation", "chart"):
        wb = openpyxl.Workbook()
        sheet = wb.active
        sheet.title = "sheet1"
        table(sheet)
        wb.create_sheet("Other")["A1"] = "other"
        if kind == "merged":
            sheet.merge_cells("C3:D3")
        elif kind == "comment":
            sheet["C2"].comment = Comment("注释", "kmlmaker")
        elif kind == "validation":
            dv = DataValidation(type="decimal", operator="between", formula1="0", formula2="180")
            sheet.add_data_validation(dv)
            dv.add("A2:A5")
        elif kind == "chart":
            chart = BarChart()
            chart.add_data(Reference(sheet, min_col=1, min_row=1, max_row=5), titles_from_data=True)
            wb["Other"].add_chart(chart, "C3")
        wb.save(f"{out}/openpyxl-{kind}.xlsx")


def shrinking():
    """sheet1 whose first point has a long description (24,000 letters that hardly compress):
    a post of a short one makes the file shorter, so that a save in place writes the new content
    and then cuts the file to its length."""
    wb = openpyxl.Workbook()
    sheet = wb.active
    sheet.title = "sheet1"
    table(sheet)
    letters = random.Random(12)
    sheet["D2"] = "".join(letters.choice(string.ascii_letters) for _ in range(24000))
    wb.save(f"{out}/openpyxl-shrinking.xlsx")


features()


def iso_times():
    """Dates and times as ISO 8601 text in cells of type "d", as openpyxl writes them when asked
    for ISO dates: times of day alone and a date before 1900 among them."""
    wb = openpyxl.Workbook(iso_dates=True)
    sheet = wb.active
    sheet.title = "sheet1"
    sheet.append(["经度", "纬度", "时间", "日期"])
    sheet.append([116.5, 39.5, datetime.time(10, 10, 10), datetime.datetime(2024, 5, 1, 13, 30)])
    sheet.append([116.6, 39.6, datetime.time(8, 5, 30, 250000), datetime.date(2021, 1, 1)])
    sheet.append([116.7, 39.7, datetime.time(0, 0), datetime.datetime(1850, 5, 30, 6, 0)])
    wb.save(f"{out}/openpyxl-iso-times.xlsx")


iso_times()
shrinking()
