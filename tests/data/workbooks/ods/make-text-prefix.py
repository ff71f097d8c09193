# Writes an .ods package whose content part binds the prefix "text" to another vocabulary than
# OpenDocument's text (OpenOffice.org 1.0's), and OpenDocument's text to none: its cells' texts are
# in office:string-value, and a paragraph written as <text:p> there is none that LibreOffice
# reads. Usage: make-text-prefix.py OUT_DIR (see make-ods.sh).
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."
MIME = "application/vnd.oasis.opendocument.spreadsheet"
OFFICE = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
TABLE = "urn:oasis:names:tc:opendocument:xmlns:table:1.0"
OLD_TEXT = "http://openoffice.org/2000/text"
MANIFEST = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"


def row(values):
    cells = []
    for v in values:
        if isinstance(v, str):
            cells.append(f'<table:table-cell office:value-type="string" office:string-value="{v}"/>')
        else:
            cells.append(f'<table:table-cell office:value-type="float" office:value="{v}"/>')
    return f'<table:table-row>{"".join(cells)}</table:table-row>'


table = ('<table:table table:name="Sheet1">' + row(["经度", "纬度", "标注", "地点描述"])
         + row([116.5, 39.5, "点", "述"]) + row([117.25, 40.0, "远", "北"]) + "</table:table>")
content = (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content xmlns:office="{OFFICE}" '
           f'xmlns:table="{TABLE}" xmlns:text="{OLD_TEXT}" office:version="1.2"><office:body>'
           f"<office:spreadsheet>{table}</office:spreadsheet></office:body>"
           "</office:document-content>")
manifest = (f'<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest="{MANIFEST}" '
            f'manifest:version="1.2"><manifest:file-entry manifest:full-path="/" '
            f'manifest:media-type="{MIME}"/><manifest:file-entry manifest:full-path="content.xml" '
            'manifest:media-type="text/xml"/></manifest:manifest>')

with zipfile.ZipFile(f"{out}/crafted-text-prefix.ods", "w") as z:
    z.writestr(zipfile.ZipInfo("mimetype", (2024, 5, 1, 0, 0, 0)), MIME,
               compress_type=zipfile.ZIP_STORED)
    for name, data in (("content.xml", content), ("META-INF/manifest.xml", manifest)):
        z.writestr(zipfile.ZipInfo(name, (2024, 5, 1, 0, 0, 0)), data,
                   compress_type=zipfile.ZIP_DEFLATED)
