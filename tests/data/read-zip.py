#!/usr/bin/env python3
"""Prints a zip archive as python3's zipfile reads it, as JSON: for each member its name,
compression method, sizes, CRC, date and time, flags and content (base64), and whether the
archive ends with zip64 records. Exits 1 with the reason when zipfile finds a fault; testzip()
checks every member's CRC."""
import base64
import json
import sys
import zipfile

path = sys.argv[1]
with zipfile.ZipFile(path) as archive:
    bad = archive.testzip()
    if bad is not None:
        sys.exit("bad CRC in " + bad)
    members = [
        {
            "name": info.filename,
            "method": info.compress_type,
            "size": info.file_size,
            "compressed": info.compress_size,
            "crc": info.CRC,
            "date_time": list(info.date_time),
            "flags": info.flag_bits,
            "data": base64.b64encode(archive.read(info)).decode(),
        }
        for info in archive.infolist()
    ]
with open(path, "rb") as f:
    f.seek(0, 2)
    f.seek(max(0, f.tell() - 200))
    tail = f.read()
json.dump({"members": members, "zip64": b"PK\x06\x06" in tail}, sys.stdout)
