# Writes the .ods benchmark workbook: the .xls benchmark workbook's sheet1 (make-bench-workbook.py:
# a heading row and 65,534 rows of longitude, latitude, a Chinese name and a description with
# HTML) as LibreOffice saves it. Needs Debian's libreoffice-calc and python3-xlwt.
# Run with Debian's /usr/bin/python3: make-bench-ods.py OUT.ods
import os
import shutil
import subprocess
import sys
import tempfile

out = os.path.abspath(sys.argv[1])
here = os.path.dirname(os.path.abspath(__file__))
with tempfile.TemporaryDirectory() as tmp:
    xls = os.path.join(tmp, "bench.xls")
    subprocess.run(["/usr/bin/python3", os.path.join(here, "make-bench-workbook.py"), xls],
                   check=True)
    # A profile of its own, so that a LibreOffice already running does not take the conversion.
    subprocess.run(["soffice", f"-env:UserInstallation=file://{tmp}/profile", "--headless",
                    "--convert-to", "ods", "--outdir", tmp, xls],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.move(os.path.join(tmp, "bench.ods"), out)
