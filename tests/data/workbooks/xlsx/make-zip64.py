#!/usr/bin/env python3
# Writes libreoffice-plain.xlsx again with a zip64 extra field in every local header, as writers
# do that cannot know an entry's size before they have written it (python3's zipfile with
# force_zip64, as here): crafted-zip64.xlsx. The sizes all fit 32 bits; the central directory
# holds them plainly. Usage: make-zip64.py [OUT_DIR]
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."
here = sys.path[0]

with zipfile.ZipFile(f"{here}/libreoffice-plain.xlsx") as source:
    parts = [(info, source.read(info)) for info in source.infolist()]
with zipfile.ZipFile(f"{out}/crafted-zip64.xlsx", "w") as z:
    for old, data in parts:
        info = zipfile.ZipInfo(old.filename, old.date_time)
        info.compress_type = zipfile.ZIP_DEFLATED
        with z.open(info, "w", force_zip64=True) as w:
            w.write(data)
