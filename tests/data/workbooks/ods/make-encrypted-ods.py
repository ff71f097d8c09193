# Saves a small sheet as LibreOffice writes a password-protected .ods (the password is "secret").
# Needs Debian's libreoffice-calc and python3-uno. Usage: make-encrypted-ods.py OUT.ods
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
        doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                           (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        sheet.Name = "Sheet1"
        for c, text in enumerate(["经度", "纬度", "标注", "地点描述"]):
            sheet.getCellByPosition(c, 0).String = text
        sheet.getCellByPosition(0, 1).Value = 116.39
        sheet.getCellByPosition(1, 1).Value = 39.91
        sheet.getCellByPosition(2, 1).String = "故宫"
        doc.storeToURL(uno.systemPathToFileUrl(out),
                       (prop("FilterName", "calc8"), prop("Password", "secret")))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass
    finally:
        office.wait(timeout=30) if office.poll() is None else None
