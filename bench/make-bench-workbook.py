# Writes the benchmark workbook: sheet1 with a heading row and 65,534 rows of longitude,
# latitude, a Chinese name and a description with HTML, all texts distinct. Run with Debian's
# /usr/bin/python3 (python3-xlwt): make-bench-workbook.py OUT.xls
import sys

import xlwt

wb = xlwt.Workbook(encoding="utf-8")
sheet = wb.add_sheet("sheet1")
for c, h in enumerate(["经度", "纬度", "标注", "地点描述"]):
    sheet.write(0, c, h)
for r in range(1, 65535):
    sheet.write(r, 0, 73.5 + (r % 6000) / 100.0 + r / 1e7)
    sheet.write(r, 1, 18.2 + (r % 3500) / 100.0 + r / 1e7)
    sheet.write(r, 2, f"北京市第{r}号地点")
    sheet.write(r, 3, f"<b>地点 {r}</b><br/>位于<i>中国</i>北京市，编号 {r * 7}")
wb.save(sys.argv[1])
