#!/usr/bin/env python3
# Writes workbooks whose zip entries state sizes their data does not bear out, or whose data
# inflates far beyond what a part may hold, from libreoffice-plain.xlsx and .ods beside them:
#   xlsx/crafted-lying-size.xlsx   sheet1's part states 670 MB, more than deflate reaches from
#                                  its few hundred bytes (the shape fuzzing found)
#   xlsx/crafted-lying-strings.xlsx  the shared strings state 1,030 times their compressed size,
#                                  which deflate could reach, but hold some 300 KB
#   xlsx/crafted-bomb.xlsx         styles.xml really inflates to 1 GiB, and says so
#   ods/crafted-lying-size.ods     content.xml states 880 MB
#   ods/crafted-bomb.ods           styles.xml really inflates to 256 MiB, and says so
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


def bomb(path, parts, name, head, filler, tail, size, stated=None):
    """parts with the entry name holding head, filler repeated, tail: size bytes, deflated a
    piece at a time so that the script needs no more memory than a piece."""
    count = (size - len(head) - len(tail)) // len(filler)
    with zipfile.ZipFile(path, "w") as z:
        for old, data in parts:
            info = zipfile.ZipInfo(old.filename, old.date_time)
            if old.filename == "mimetype":
                info.compress_type = zipfile.ZIP_STORED
                z.writestr(info, data)
                continue
            info.compress_type = zipfile.ZIP_DEFLATED
            if old.filename != name:
                z.writestr(info, data)
                continue
            with z.open(info, "w", force_zip64=False) as w:
                w.write(head)
                piece = filler * (1 << 20)
                left = count
                while left:
                    n = min(left, 1 << 20)
                    w.write(piece if n == 1 << 20 else filler * n)
                    left -= n
                w.write(tail)
    if stated is not None:
        state_size(path, name, stated)


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

bomb(f"{here}/xlsx/crafted-bomb.xlsx", xlsx, "xl/styles.xml",
     b'<?xml version="1.0" encoding="UTF-8"?>\n<styleSheet xmlns="http://schemas.'
     b'openxmlformats.org/spreadsheetml/2006/main">', b" " * 256, b"</styleSheet>", 1 << 30)

write(f"{here}/ods/crafted-lying-size.ods", ods, stored_names=("mimetype",))
state_size(f"{here}/ods/crafted-lying-size.ods", "content.xml", 880_000_000)

bomb(f"{here}/ods/crafted-bomb.ods", ods, "styles.xml",
     b'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-styles xmlns:office="urn:oasis:'
     b'names:tc:opendocument:xmlns:office:1.0">', b" " * 256, b"</office:document-styles>",
     256 << 20)
