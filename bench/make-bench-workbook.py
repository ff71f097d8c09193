# Writes the benchmark workbook with xlwt: sheet1 with a heading row and 65,535 records of
# longitude, latitude, a Chinese label and a description with HTML. Run with Debian's
# /usr/bin/python3 (python3-xlwt).
import sys

import xlwt

wb = xlwt.Workbook(encoding="utf-8")
sheet = wb.add_sheet("sheet1")
for c, h in enumerate(["经度", "纬度", "标注", "地点描述"]):
    sheet.write(0, c, h)
for r in range(1, 65536):
    sheet.write(r, 0, 73.5 + (r * 7919 % 6100) / 100.0 + r / 1e6)
    sheet.write(r, 1, 18.2 + (r * 104729 % 3500) / 100.0)
    sheet.write(r, 2, "地点%d号" % r)
    sheet.write(r, 3, "<b>Point %d</b><br/>Line two &amp; more" % r)
wb.save(sys.argv[1])
