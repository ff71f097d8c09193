# Writes an .xlsx package whose sheet1 has a row element <row r="2"> holding cells named A1 to D1:
# the reader places each cell by its own name, in the first row, where an editor going by row
# elements would not look for them. Usage: make-misnamed.py OUT_DIR (see make-xlsx.sh).
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "application/vnd.openxmlformats-officedocument.spreadsheetml"


def inline(ref, text):
    return f'<c r="{ref}" t="inlineStr"><is><t>{text}</t></is></c>'


rows = ('<row r="2">' + inline("A1", "经度") + inline("B1", "纬度") + inline("C1", "标注")
        + inline("D1", "地点描述") + "</row>"
        '<row r="3"><c r="A3"><v>116.5</v></c><c r="B3"><v>39.5</v></c>'
        + inline("C3", "点") + inline("D3", "述") + "</row>")
sheet = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="{MAIN}">'
         f'<dimension ref="A1:D3"/><sheetData>{rows}</sheetData></worksheet>')

with zipfile.ZipFile(f"{out}/crafted-misnamed.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml",
               '<?xml version="1.0" encoding="UTF-8"?>\n<Types xmlns="http://schemas.openxmlformats.'
               'org/package/2006/content-types"><Default Extension="rels" ContentType="application/'
               'vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" '
               'ContentType="application/xml"/><Override PartName="/xl/workbook.xml" '
               f'ContentType="{CT}.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" '
               f'ContentType="{CT}.worksheet+xml"/></Types>')
    z.writestr("_rels/.rels", f'<Relationships xmlns="{PKG}"><Relationship Id="rId1" '
               f'Type="{REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
    z.writestr("xl/workbook.xml", f'<?xml version="1.0" encoding="UTF-8"?>\n<workbook xmlns="{MAIN}" '
               f'xmlns:r="{REL}"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>'
               "</workbook>")
    z.writestr("xl/_rels/workbook.xml.rels", f'<Relationships xmlns="{PKG}"><Relationship '
               f'Id="rId1" Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
    z.writestr("xl/worksheets/sheet1.xml", sheet)
