# Writes small flat-ODF spreadsheets, each with one thing on sheet1 that depends on row
# positions (a note, a hyperlink...): make-workbooks.sh turns them into .xls with LibreOffice.
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "."

HEADER = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
"""


def cell(value, extra="", inner=""):
    if isinstance(value, str):
        return (f'<table:table-cell office:value-type="string"{extra}>{inner}'
                f"<text:p>{value}</text:p></table:table-cell>")
    return (f'<table:table-cell office:value-type="float" office:value="{value}"{extra}>{inner}'
            f"<text:p>{value}</text:p></table:table-cell>")


def rows(marked_cell="", row_style=""):
    head = "".join(cell(h) for h in ["经度", "纬度", "标注", "地点描述"])
    body = [f"<table:table-row>{head}</table:table-row>"]
    for r in range(1, 5):
        name = marked_cell if r == 2 and marked_cell else cell(f"点{r}")
        style = row_style if r == 3 else ""
        body.append(f"<table:table-row{style}>{cell(100 + r)}{cell(30 + r)}{name}"
                    f"{cell('描述')}</table:table-row>")
    return "".join(body)


def write(name, table_inner, spreadsheet_before="", spreadsheet_after="", styles=""):
    with open(f"{out}/{name}.fods", "w", encoding="utf-8") as f:
        f.write(HEADER)
        f.write(f"<office:automatic-styles>{styles}</office:automatic-styles>")
        f.write("<office:body><office:spreadsheet>")
        f.write(spreadsheet_before)
        f.write(f'<table:table table:name="sheet1">{table_inner}</table:table>')
        f.write('<table:table table:name="Other"><table:table-row>'
                f'{cell("other sheet")}</table:table-row></table:table>')
        f.write(spreadsheet_after)
        f.write("</office:spreadsheet></office:body></office:document>\n")


note = cell("点2", inner="<office:annotation><text:p>a note</text:p></office:annotation>")
write("note", rows(note))

link = ('<table:table-cell office:value-type="string"><text:p>'
        '<text:a xlink:href="https://example.org/">点2</text:a></text:p></table:table-cell>')
write("hyperlink", rows(link))

write("condformat", rows() +
      '<calcext:conditional-formats><calcext:conditional-format '
      'calcext:target-range-address="sheet1.A2:sheet1.A5">'
      '<calcext:condition calcext:apply-style-name="Accent" calcext:value="&gt;102" '
      'calcext:base-cell-address="sheet1.A2"/></calcext:conditional-format>'
      "</calcext:conditional-formats>")

validated = cell(32, extra=' table:content-validation-name="val1"')
write("validation", rows(validated),
      spreadsheet_before='<table:content-validations><table:content-validation '
      'table:name="val1" table:condition="of:cell-content-is-decimal-number() and '
      'of:cell-content()&gt;0" table:allow-empty-cell="true" '
      'table:base-cell-address="sheet1.C3"/></table:content-validations>')

write("name", rows(),
      spreadsheet_after='<table:named-expressions><table:named-range table:name="Places" '
      'table:base-cell-address="$sheet1.$A$1" '
      'table:cell-range-address="$sheet1.$A$2:.$D$5"/></table:named-expressions>')

write("filter", rows(),
      spreadsheet_after='<table:database-ranges><table:database-range '
      'table:name="__Anonymous_Sheet_DB__0" table:target-range-address="sheet1.A1:sheet1.D5" '
      'table:display-filter-buttons="true"/></table:database-ranges>')

write("pagebreak", rows(row_style=' table:style-name="ro1"'),
      styles='<style:style style:name="ro1" style:family="table-row">'
      '<style:table-row-properties fo:break-before="page"/></style:style>')

# Formulas copied down a column (written as one shared formula) and an array formula.
shared = "".join(
    f"<table:table-row>{cell(100 + r)}{cell(30 + r)}"
    f'<table:table-cell table:formula="of:=[.A{r + 1}]*2" office:value-type="float" '
    f'office:value="{2 * (100 + r)}"><text:p>{2 * (100 + r)}</text:p></table:table-cell>'
    f"</table:table-row>" for r in range(1, 9))
array = ('<table:table-row><table:table-cell table:number-matrix-columns-spanned="1" '
         'table:number-matrix-rows-spanned="2" table:formula="of:=[.A2:.A3]*3" '
         'office:value-type="float" office:value="303"><text:p>303</text:p></table:table-cell>'
         '</table:table-row><table:table-row><table:table-cell office:value-type="float" '
         'office:value="306"><text:p>306</text:p></table:table-cell></table:table-row>')
write("shared", "<table:table-row>" + cell("经度") + cell("纬度") + cell("双倍") +
      "</table:table-row>" + shared + array)
