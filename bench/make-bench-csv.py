# Writes the delimited text benchmark and the .xlsx of the same rows: a heading row, then
# longitude, latitude, a Chinese name and a description, all texts distinct, ROWS records; the
# CSV as Excel's "CSV UTF-8" writes it (a mark, commas, CR LF), about 60 bytes a record; the
# .xlsx with its texts in a shared strings part, as make-bench-xlsx.py writes it.
# Run with Debian's /usr/bin/python3: make-bench-csv.py OUT.csv OUT.xlsx [ROWS]
import sys

from xlsxpackage import MAIN, REL, shared_strings, write_package

csv_out, xlsx_out = sys.argv[1], sys.argv[2]
rows = int(sys.argv[3]) if len(sys.argv) > 3 else 1000000

heading = ["经度", "纬度", "名称", "描述"]
records = []
for r in range(1, rows + 1):
    x = round(73.5 + (r % 6000) / 100.0 + r / 1e7, 7)
    y = round(18.2 + (r % 3500) / 100.0 + r / 1e7, 7)
    records.append((x, y, f"第{r}号地点", f"编号 {r * 7}, 北京"))

with open(csv_out, "wb") as f:
    lines = [",".join(heading)]
    lines += [f'{x!r},{y!r},{name},"{desc}"' for x, y, name, desc in records]
    f.write(("\ufeff" + "\r\n".join(lines) + "\r\n").encode("utf-8"))

strings = list(heading)
parts = [f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="{MAIN}" '
         f'xmlns:r="{REL}"><dimension ref="A1:D{rows + 1}"/><sheetData>'
         '<row r="1" spans="1:4"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
         '<c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c></row>']
for r, (x, y, name, desc) in enumerate(records, start=1):
    strings += [name, desc]
    n = len(strings)
    parts.append(f'<row r="{r + 1}" spans="1:4"><c r="A{r + 1}"><v>{x!r}</v></c>'
                 f'<c r="B{r + 1}"><v>{y!r}</v></c><c r="C{r + 1}" t="s"><v>{n - 2}</v></c>'
                 f'<c r="D{r + 1}" t="s"><v>{n - 1}</v></c></row>')
parts.append("</sheetData></worksheet>")
write_package(xlsx_out, "".join(parts), shared_strings(strings))
