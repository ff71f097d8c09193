#!/usr/bin/env python3
"""Writes the delimited text fixtures beside this script, as the programs users have write them:
points.csv as Excel's "CSV UTF-8" (a mark, commas, CR LF, quotes only where needed), points.tsv
as Excel's "Unicode text" (UTF-16LE with a mark, tabs, CR LF), quoted.csv as a script quoting
every field (semicolons, LF, no last line end), gb18030.txt in the legacy Chinese code page
(vertical bars, CR), and not-text.bin, bytes that are no text at all.

Usage: make-csv.py"""
import csv
import io
import pathlib

HERE = pathlib.Path(__file__).resolve().parent

ROWS = [
    ["经度", "纬度", "名称", "地点描述"],
    ["116.3920388", "39.91120332", "紫禁城", "中国古代帝王宫殿，位于中国北京市<br/>"],
    ["121.4997", "31.2397", "上海浦东", 'a "quoted" word, and a comma'],
    ["113.2644", "23.1291", "广州", "two\r\nlines"],
]


def text(rows, delimiter, lineterminator, quoting=csv.QUOTE_MINIMAL):
    out = io.StringIO()
    csv.writer(out, delimiter=delimiter, lineterminator=lineterminator,
               quoting=quoting).writerows(rows)
    return out.getvalue()


(HERE / "points.csv").write_bytes(text(ROWS, ",", "\r\n").encode("utf-8-sig"))
(HERE / "points.tsv").write_bytes(text(ROWS, "\t", "\r\n").encode("utf-16"))
quoted = text(ROWS[:3], ";", "\n", csv.QUOTE_ALL)
(HERE / "quoted.csv").write_bytes(quoted[:-1].encode("utf-8"))
(HERE / "gb18030.txt").write_bytes(
    text([r[:3] for r in ROWS[:3]], "|", "\r").encode("gb18030"))
(HERE / "not-text.bin").write_bytes(bytes(range(256)))
