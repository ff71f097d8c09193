#!/usr/bin/python3
# Writes survey.ods: a note on the first sheet, and on the second, "测点", below a title row, a
# table as people make one: headings 名称 纬度 经度 类别 地址, coordinates in degrees, minutes and
# seconds with hemisphere letters, and rows with no, unreadable, out-of-range and swapped
# coordinates, and one at the same place as another.
# The .xlsx is made with openpyxl and converted by LibreOffice:
#   make-survey-ods.py OUT_FOLDER
import os
import subprocess
import sys
import tempfile

import openpyxl

out = sys.argv[1]
book = openpyxl.Workbook()
note = book.active
note.title = "说明"
note["A1"] = "测点在第二张表"
sheet = book.create_sheet("测点")
sheet.append(["测点一览"])
sheet.append(["名称", "纬度", "经度", "类别", "地址"])
rows = [
    ["天安门", "39°54′27″N", "116°23′31″E", "景点", "北京市东城区长安街"],
    ["外滩", "31°14′24″N", "121°29′24″E", "景点", "上海市黄浦区中山东一路"],
    ["白云机场", "23°23′33″N", "113°18′11″E", "交通", "广州市白云区"],
    ["缺经度", "40°04′48″N", None, "交通", "北京市顺义区"],
    ["分钟错", "39°75′N", "116°23′E", "景点", "无"],
    ["西湖", "30°14′N", "120°09′E", "景点", None],
    ["越界", "95°00′N", "116°00′E", "医院", "不存在"],
    ["协和医院", "39°54′49″N", "116°24′52″E", "医院", "北京市东城区帅府园"],
    ["黄鹤楼", "114°18′09″", "30°32′40″", "景点", "武汉市武昌区蛇山"],
    ["人民英雄纪念碑", "39°54′27″N", "116°23′31″E", "景点", "北京市东城区天安门广场"],
]
for row in rows:
    sheet.append(row)
with tempfile.TemporaryDirectory() as work:
    xlsx = os.path.join(work, "survey.xlsx")
    book.save(xlsx)
    subprocess.run(["soffice", "--headless", "--convert-to", "ods", "--outdir", out, xlsx],
                   check=True, stdout=subprocess.DEVNULL)
