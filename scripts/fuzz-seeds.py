#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into OUT/<target>/, collected from the test fixtures at
run time: the zip archives and workbooks as they are, the XML parts inside the packages, the text
lists and their coordinates; a write target's seed is a workbook behind a batch of changes (see
fuzz/fuzzsupport.h). Inputs the targets once found faults with (tests/data/fuzz/<target>/) are
seeds too, so that each run tries them again.

Usage: fuzz-seeds.py ROOT OUT"""
import hashlib
import pathlib
import shutil
import sys
import zipfile

ROOT = pathlib.Path(sys.argv[1])
OUT = pathlib.Path(sys.argv[2])
DATA = ROOT / "tests" / "data"
BOOKS = DATA / "workbooks"

# The largest seed of the workbook targets: every fixture but the 2,000-row ones.
MAX_SEED = 64 * 1024

# A batch for the write targets: set B2 to a text, A3 to a number, append a row of three values,
# delete row 4 (a change is its kind, row, column and value; fuzz/fuzzsupport.cpp).
BATCH = bytes([4, 0, 1, 1, 17, 0, 2, 0, 5, 1 | (3 << 2), 0, 0, 20, 2, 3, 0, 0])
# One change only: B2 made empty.
ONE = bytes([1, 0, 1, 1, 0])


def put(target, data, name=None):
    folder = OUT / target
    folder.mkdir(parents=True, exist_ok=True)
    name = name or hashlib.sha1(data).hexdigest()
    (folder / name).write_bytes(data)


def small(paths):
    return [p for p in sorted(paths) if p.stat().st_size <= MAX_SEED]


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    xls = small(BOOKS.glob("*.xls"))
    xlsx = small((BOOKS / "xlsx").glob("*.xlsx"))
    ods = small((BOOKS / "ods").glob("*.ods"))
    zips = small((DATA / "zip").glob("*.zip"))
    texts = small(p for p in (BOOKS / "csv").glob("*") if p.suffix != ".py")

    for p in zips + xlsx + ods:
        put("zip", p.read_bytes())
    for target, files in (("xls", xls), ("xlsx", xlsx), ("ods", ods), ("csv", texts)):
        for p in files:
            put(target + "read", p.read_bytes())
            put(target + "write", BATCH + p.read_bytes())
            put(target + "write", ONE + p.read_bytes())

    for p in xlsx + ods:
        # Some fixtures are damaged on purpose: their parts give what they can.
        try:
            with zipfile.ZipFile(p) as z:
                for info in z.infolist():
                    if info.filename.endswith((".xml", ".rels")) and info.file_size <= MAX_SEED:
                        try:
                            put("xml", z.read(info))
                        except Exception:
                            pass
        except (zipfile.BadZipFile, zipfile.LargeZipFile, OSError):
            pass

    # The text lists: the first byte picks the code set (0 UTF-8, 1 GB18030; fuzz_textlist.cpp).
    lists = [DATA / "textlist-input.txt"]
    for p in lists:
        data = p.read_bytes()
        put("textlist", b"\0" + data)
        text = data.decode("utf-8-sig")
        put("textlist", b"\1" + text.encode("gb18030"))
        put("textlist", b"\0" + text.encode("utf-16"))
        put("textlist", b"\0" + b"\xfe\xff" + text.encode("utf-16-be"))

    # Numbers as the lists and the first page hold them, and the texts around them.
    numbers = {"116.3920388", " -1.5E+10 ", "1,5", "-0", "1E4932", "4.94065645841247E-324",
               "116\n23\n45.5", "-0\n30\n0", "2024/2/29 23:59:59", "#DIV/0!",
               '#,##0.00 [$€-407]', "yyyy-mm-dd hh:mm", "[h]:mm:ss", '"¥"#,##0.00'}
    for line in (DATA / "textlist-input.txt").read_text("utf-8-sig").splitlines():
        if "(" in line and "," in line:
            inside = line.split("(", 1)[1].split(")", 1)[0]
            numbers.update(part for part in inside.split(",") if part)
    for n in sorted(numbers):
        put("numbers", n.encode("utf-8"))

    # Inputs that once found faults.
    found = DATA / "fuzz"
    if found.is_dir():
        for folder in sorted(p for p in found.iterdir() if p.is_dir() and p.name != "open"):
            for p in sorted(folder.iterdir()):
                if p.is_file():
                    put(folder.name, p.read_bytes())


main()
