#!/usr/bin/env python3
# Writes the table benchmark's two CSV files of the same rows: a table as people make one (name,
# latitude and longitude as degrees-minutes-seconds text with hemispheres, a category of 20
# values, altitude, time and three more columns) for kmlmaker, and the same rows with decimal
# coordinates for ogr2ogr, which reads no DMS.
#   make-bench-table.py ROWS DMS.csv DECIMAL.csv
import random
import sys

rows, dms_out, decimal_out = int(sys.argv[1]), sys.argv[2], sys.argv[3]
rng = random.Random(7)
heading_dms = ["名称", "纬度", "经度", "类别", "海拔", "时间", "编号", "负责人", "备注"]
heading_dec = ["名称", "latitude", "longitude", "类别", "海拔", "时间", "编号", "负责人", "备注"]
categories = [f"类别{i:02d}" for i in range(20)]


def dms(value, positive, negative):
    hemisphere = positive if value >= 0 else negative
    value = abs(value)
    d = int(value)
    m = int((value - d) * 60)
    s = round(((value - d) * 60 - m) * 60, 2)
    if s >= 60:
        s = 59.99
    return f"{d}°{m}′{s}″{hemisphere}", (d + m / 60 + s / 3600) * (1 if hemisphere == positive else -1)


with open(dms_out, "w", encoding="utf-8", newline="") as a, \
        open(decimal_out, "w", encoding="utf-8", newline="") as b:
    a.write(",".join(heading_dms) + "\n")
    b.write(",".join(heading_dec) + "\n")
    for r in range(rows):
        lat_text, lat = dms(rng.uniform(18, 53), "N", "S")
        lon_text, lon = dms(rng.uniform(74, 134), "E", "W")
        rest = [categories[rng.randrange(20)], f"{rng.uniform(0, 5000):.1f}",
                f"2024-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d} "
                f"{rng.randrange(24):02d}:{rng.randrange(60):02d}",
                str(r + 1), f"员工{rng.randrange(1000)}", f"第{r + 1}号点"]
        name = f"站点{r + 1}"
        a.write(",".join([name, lat_text, lon_text] + rest) + "\n")
        b.write(",".join([name, repr(lat), repr(lon)] + rest) + "\n")
