#!/usr/bin/env python3
# Writes workbooks whose zip entries state sizes their data does not bear out, from
# libreoffice-plain.xlsx and .ods beside them:
#   xlsx/crafted-lying-size.xlsx   sheet1's part states 670 MB, more than deflate reaches from
#                                  its few hundred bytes (the shape fuzzing found)
#   xlsx/crafted-lying-strings.xlsx  the shared strings state 1,030 times their compressed size,
#                                  which deflate could reach, but hold some 300 KB
#   ods/crafted-lying-size.ods     content.xml states 880 MB
# Usage: make-oversized.py (writes into xlsx/ and ods/ beside it)
import os
import random
import struct
import zipfile

here = os.path.dirname(os.path.abspath(__file__))


def parts_of(path):
    with zipfile.ZipFile(path) as z:
        return [(i, z.read(i)) for i in z.infolist()]


def write(path, parts, stored_names=()):
    with zipfile.ZipFile(path, "w") as z:
        for old, data in parts:
            info = zipfile.ZipInfo(old.filename, old.date_time)
            info.compress_type = zipfile.ZIP_STORED if old.filename in stored_names \
                else zipfile.ZIP_DEFLATED
            z.writestr(info, data)


def state_size(path, name, size):
    """Writes size as the entry's uncompressed size in its local header and directory record."""
    b = bytearray(open(path, "rb").read())
    with zipfile.ZipFile(path) as z:
        local = z.getinfo(name).header_offset
    struct.pack_into("<I", b, local + 22, size)
    at = b.find(b"PK\x01\x02")
    while at >= 0:
        n = struct.unpack_from("<H", b, at + 28)[0]
        if bytes(b[at + 46:at + 46 + n]) == name.encode():
            struct.pack_into("<I", b, at + 24, size)
        at = b.find(b"PK\x01\x02", at + 4)
    open(path, "wb").write(b)


xlsx = parts_of(f"{here}/xlsx/libreoffice-plain.xlsx")
ods = parts_of(f"{here}/ods/libreoffice-plain.ods")

write(f"{here}/xlsx/crafted-lying-size.xlsx", xlsx)
state_size(f"{here}/xlsx/crafted-lying-size.xlsx", "xl/worksheets/sheet2.xml", 670_000_000)

# Shared strings that deflate can hardly shrink: random letters.
random.seed(7)
letters = "abcdefghijklmnopqrstuvwxyz"
strings = "".join(f"<si><t>{''.join(random.choice(letters) for _ in range(40))}</t></si>"
                  for _ in range(6000))
shared = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="http://schemas.'
          b'openxmlformats.org/spreadsheetml/2006/main" count="6000" uniqueCount="6000">'
          + strings.encode() + b"</sst>")
lying = [(i, shared if i.filename == "xl/sharedStrings.xml" else d) for i, d in xlsx]
write(f"{here}/xlsx/crafted-lying-strings.xlsx", lying)
with zipfile.ZipFile(f"{here}/xlsx/crafted-lying-strings.xlsx") as z:
    compressed = z.getinfo("xl/sharedStrings.xml").compress_size
state_size(f"{here}/xlsx/crafted-lying-strings.xlsx", "xl/sharedStrings.xml", 1030 * compressed)

write(f"{here}/ods/crafted-lying-size.ods", ods, stored_names=("mimetype",))
state_size(f"{here}/ods/crafted-lying-size.ods", "content.xml", 880_000_000)

