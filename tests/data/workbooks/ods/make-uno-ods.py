# Saves sheets through LibreOffice's own interface (UNO) where a flat .fods cannot carry what
# they hold: a password-protected .ods (the password is "secret"), a sheet1 with a data
# validation (LibreOffice drops the one of ../make-refusals.py's sheet when it converts it),
# merged cells that keep the content of the cells they cover, and times typed into date-time
# cells, as a user makes them.
# Needs Debian's libreoffice-calc and python3-uno. Usage: make-uno-ods.py OUT_DIR
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


out = os.path.abspath(sys.argv[1])


def heading_and_rows(sheet):
    for c, text in enumerate(["经度", "纬度", "标注", "地点描述"]):
        sheet.getCellByPosition(c, 0).String = text
    for r in range(1, 5):
        sheet.getCellByPosition(0, r).Value = 100 + r
        sheet.getCellByPosition(1, r).Value = 30 + r
        sheet.getCellByPosition(2, r).String = f"点{r}"
        sheet.getCellByPosition(3, r).String = "描述"

with tempfile.TemporaryDirectory() as tmp:
    pipe = "kmlmaker_fixture"
    office = subprocess.Popen(["soffice", f"-env:UserInstallation=file://{tmp}/profile",
                               "--headless", "--norestore", f"--accept=pipe,name={pipe};urp;"])
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(100):
            try:
                context = resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:
                time.sleep(0.2)
        desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop",
                                                                    context)

        def new_sheet():
            doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                               (prop("Hidden", True),))
            sheet = doc.Sheets.getByIndex(0)
            sheet.Name = "Sheet1"
            heading_and_rows(sheet)
            return doc, sheet

        def save(doc, name, *extra):
            doc.storeToURL(uno.systemPathToFileUrl(os.path.join(out, name)),
                           (prop("FilterName", "calc8"),) + extra)
            doc.close(True)

        doc, sheet = new_sheet()
        save(doc, "libreoffice-encrypted.ods", prop("Password", "secret"))

        doc, sheet = new_sheet()
        cells = sheet.getCellRangeByName("B3:B4")
        validation = cells.Validation
        validation.Type = uno.Enum("com.sun.star.sheet.ValidationType", "DECIMAL")
        validation.setOperator(uno.Enum("com.sun.star.sheet.ConditionOperator", "GREATER"))
        validation.setFormula1("0")
        cells.Validation = validation
        save(doc, "libreoffice-validation.ods")

        # Merged cells whose covered cells keep a text and a number, as LibreOffice keeps the
        # content of cells hidden under a merge.
        doc, sheet = new_sheet()
        sheet.getCellRangeByName("C2:D2").merge(True)
        sheet.getCellRangeByName("A5:B5").merge(True)
        save(doc, "libreoffice-covered.ods")

        # Date-time cells holding a time typed alone, which LibreOffice writes on its day zero
        # (1899-12-30T12:30:00), midnight of that day, and dates before 1900.
        doc, sheet = new_sheet()
        from com.sun.star.lang import Locale
        date_time = doc.NumberFormats.getStandardFormat(6, Locale("en", "US", ""))
        date_only = doc.NumberFormats.getStandardFormat(2, Locale("en", "US", ""))
        sheet.getCellByPosition(4, 0).String = "时间"
        for row, value, fmt in ((1, 0.5208333333333334, date_time), (2, 0.0, date_time),
                                (3, -5.0, date_only), (4, -18110.75, date_time)):
            cell = sheet.getCellByPosition(4, row)
            cell.Value = value
            cell.NumberFormat = fmt
        save(doc, "libreoffice-day-zero.ods")
        try:
            desktop.terminate()
        except Exception:
            pass
    finally:
        office.wait(timeout=30) if office.poll() is None else None
