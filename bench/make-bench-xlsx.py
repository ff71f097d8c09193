# Writes the .xlsx benchmark workbook: the same sheet1 as make-bench-workbook.py (a heading row,
# then longitude, latitude, a Chinese name and a description with HTML, all texts distinct), with
# ROWS records, its texts in a shared strings part as Excel and LibreOffice write them.
# Run with Debian's /usr/bin/python3: make-bench-xlsx.py OUT.xlsx [ROWS]
import sys

from xlsxpackage import MAIN, REL, shared_strings, write_package

out = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 65534


def col(c):
    return "ABCD"[c]


def sheet_and_strings():
    strings = ["经度", "纬度", "标注", "地点描述"]
    parts = [f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="{MAIN}" '
             f'xmlns:r="{REL}"><dimension ref="A1:D{rows + 1}"/><sheetData>'
             '<row r="1" spans="1:4"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
             '<c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c></row>']
    for r in range(1, rows + 1):
        x = 73.5 + (r % 6000) / 100.0 + r / 1e7
        y = 18.2 + (r % 3500) / 100.0 + r / 1e7
        strings.append(f"北京市第{r}号地点")
        strings.append(f"<b>地点 {r}</b><br/>位于<i>中国</i>北京市，编号 {r * 7}")
        n = len(strings)
        parts.append(f'<row r="{r + 1}" spans="1:4"><c r="A{r + 1}"><v>{x!r}</v></c>'
                     f'<c r="B{r + 1}"><v>{y!r}</v></c><c r="C{r + 1}" t="s"><v>{n - 2}</v></c>'
                     f'<c r="D{r + 1}" t="s"><v>{n - 1}</v></c></row>')
    parts.append('</sheetData><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" '
                 'header="0.3" footer="0.3"/></worksheet>')
    return "".join(parts), shared_strings(strings)


sheet, sst = sheet_and_strings()
write_package(out, sheet, sst)
