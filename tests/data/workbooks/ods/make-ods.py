# Writes flat OpenDocument spreadsheets (.fods) that make-ods.sh turns into .ods with
# LibreOffice: sheet1 with every kind of value, and sheets holding one thing each that pins the
# row positions of sheet1 (a chart, a shape anchored to a cell, formulas on another sheet).
# Usage: make-ods.py OUT_DIR
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "."

HEADER = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
"""

STYLES = """<office:automatic-styles>
<number:currency-style style:name="Ncny"><number:currency-symbol number:language="zh"
 number:country="CN">¥</number:currency-symbol><number:number number:decimal-places="2"
 number:min-integer-digits="1" number:grouping="true"/></number:currency-style>
<number:number-style style:name="Nyen"><number:text>¥</number:text><number:number
 number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/>
</number:number-style>
<number:percentage-style style:name="Npct"><number:number number:decimal-places="1"
 number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
<number:date-style style:name="Ndate"><number:year number:style="long"/><number:text>-</number:text>
<number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/>
</number:date-style>
<number:date-style style:name="Nstamp"><number:year number:style="long"/><number:text>-</number:text>
<number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/>
<number:text> </number:text><number:hours number:style="long"/><number:text>:</number:text>
<number:minutes number:style="long"/></number:date-style>
<number:time-style style:name="Ntime"><number:hours number:style="long"/><number:text>:</number:text>
<number:minutes number:style="long"/><number:text>:</number:text><number:seconds number:style="long"/>
</number:time-style>
<number:boolean-style style:name="Nbool"><number:boolean/></number:boolean-style>
<style:style style:name="cny" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Ncny"/>
<style:style style:name="yen" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Nyen"/>
<style:style style:name="pct" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Npct"/>
<style:style style:name="date" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Ndate"/>
<style:style style:name="stamp" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Nstamp"/>
<style:style style:name="time" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Ntime"/>
<style:style style:name="bool" style:family="table-cell" style:parent-style-name="Default"
 style:data-style-name="Nbool"/>
<style:style style:name="yellow" style:family="table-cell" style:parent-style-name="Default">
<style:table-cell-properties fo:background-color="#ffff00"/></style:style>
</office:automatic-styles>"""


def text(t, extra="", inner=""):
    return (f'<table:table-cell office:value-type="string"{extra}>{inner}'
            f"<text:p>{t}</text:p></table:table-cell>")


def num(v, extra=""):
    return (f'<table:table-cell office:value-type="float" office:value="{v}"{extra}>'
            f"<text:p>{v}</text:p></table:table-cell>")


def formula(f, extra=""):
    return f'<table:table-cell table:formula="of:={f}"{extra}/>'


def row(*cells, extra=""):
    return f"<table:table-row{extra}>{''.join(cells)}</table:table-row>"


HEADING = row(*(text(h) for h in ["经度", "纬度", "标注", "地点描述"]))


def write(name, tables, after=""):
    with open(f"{out}/{name}.fods", "w", encoding="utf-8") as f:
        f.write(HEADER + STYLES + "<office:body><office:spreadsheet>")
        for table_name, inner in tables:
            f.write(f'<table:table table:name="{table_name}">{inner}</table:table>')
        f.write(after + "</office:spreadsheet></office:body></office:document>\n")


# Every kind of value on sheet1, which is the second sheet; the first reads it.
kinds_heading = row(*(text(h) for h in [
    "经度", "纬度", "标注", "地点描述", "百分比", "人民币", "符号", "日期", "时刻", "时间",
    "真假", "错误", "缺失", "公式", "文字公式", "空公式"]))
paragraphs = ('<table:table-cell office:value-type="string"><text:p>第一段 <text:span>加粗'
              '</text:span> <text:a xlink:href="https://example.org/">链接</text:a></text:p>'
              '<text:p>二<text:s text:c="2"/>空格<text:tab/>制表<text:line-break/>换行 </text:p>'
              "</table:table-cell>")
kinds = [
    kinds_heading,
    row(num(116.3920388), num(39.91120332), text("紫禁城"), paragraphs,
        '<table:table-cell table:style-name="pct" office:value-type="percentage" '
        'office:value="0.125"><text:p>12.5%</text:p></table:table-cell>',
        '<table:table-cell table:style-name="cny" office:value-type="currency" '
        'office:currency="CNY" office:value="1234.56789"><text:p>¥1,234.57</text:p>'
        "</table:table-cell>",
        num(1234.56789, ' table:style-name="yen"'),
        '<table:table-cell table:style-name="date" office:value-type="date" '
        'office:date-value="2024-05-01"><text:p>2024-05-01</text:p></table:table-cell>',
        '<table:table-cell table:style-name="stamp" office:value-type="date" '
        'office:date-value="2024-05-01T13:30:00"><text:p>2024-05-01 13:30</text:p>'
        "</table:table-cell>",
        '<table:table-cell table:style-name="time" office:value-type="time" '
        'office:time-value="PT13H30M15S"><text:p>13:30:15</text:p></table:table-cell>',
        '<table:table-cell table:style-name="bool" office:value-type="boolean" '
        'office:boolean-value="true"><text:p>TRUE</text:p></table:table-cell>',
        formula("1/0"), formula("NA()"), formula("[.A2]*2"),
        formula("CONCATENATE(&quot;甲&quot;;&quot;乙&quot;)"), formula("&quot;&quot;")),
    # Three equal rows, which LibreOffice writes as one repeated row.
    *[row(num(121.5), num(31.25), text("上海"), text("重复")) for _ in range(3)],
    # One value across four columns, written as one repeated cell.
    row(*[num(7)] * 4),
    # A merged range: the covered cell shows nothing.
    row(num(100.5, ' table:number-columns-spanned="2" table:number-rows-spanned="1"'),
        '<table:covered-table-cell/>', text("合并"), text("")),
    # The 1900 system's leap-year gap: 28 February and 1 March 1900, and a time past a day.
    row('<table:table-cell table:style-name="date" office:value-type="date" '
        'office:date-value="1900-02-28"><text:p>1900-02-28</text:p></table:table-cell>',
        '<table:table-cell table:style-name="date" office:value-type="date" '
        'office:date-value="1900-03-01"><text:p>1900-03-01</text:p></table:table-cell>',
        '<table:table-cell table:style-name="time" office:value-type="time" '
        'office:time-value="PT36H00M00S"><text:p>36:00:00</text:p></table:table-cell>',
        text("a &amp; b &lt;c&gt;")),
]
write("kinds", [
    ("Refs", row(formula("[$Sheet1.A2]*2"), formula("SUM([$Sheet1.A2:.A5])"))),
    ("Sheet1", "".join(kinds)),
])

# A plain sheet1 that nothing refers to, with a yellow column and a styled row after its rows.
plain = [HEADING] + [row(num(116 + r / 10), num(39 + r / 10), text(f"地点{r}"),
                         text(f"描述 {r}", ' table:style-name="yellow"')) for r in range(1, 6)]
write("plain", [("Other", row(text("其他"), num(1))),
                ("sheet1", '<table:table-column table:number-columns-repeated="3"/>'
                 '<table:table-column table:default-cell-style-name="yellow"/>' + "".join(plain))])

# A chart on another sheet whose series are cells of sheet1.
chart = ('<table:table-cell><draw:frame draw:name="Chart1" svg:width="8cm" svg:height="5cm" '
         'svg:x="0cm" svg:y="0cm"><draw:object draw:notify-on-update-of-ranges='
         '"Sheet1.A1:Sheet1.B6"><office:document office:version="1.2" '
         'office:mimetype="application/vnd.oasis.opendocument.chart"><office:body><office:chart>'
         '<chart:chart chart:class="chart:bar" svg:width="8cm" svg:height="5cm">'
         '<chart:plot-area table:cell-range-address="Sheet1.A1:Sheet1.B6" '
         'chart:data-source-has-labels="both"><chart:axis chart:dimension="x" '
         'chart:name="primary-x"/><chart:axis chart:dimension="y" chart:name="primary-y"/>'
         '<chart:series chart:values-cell-range-address="Sheet1.B2:Sheet1.B6" '
         'chart:label-cell-address="Sheet1.B1" chart:class="chart:bar"/></chart:plot-area>'
         "</chart:chart></office:chart></office:body></office:document></draw:object>"
         "</draw:frame></table:table-cell>")
write("chart", [("Sheet1", "".join(plain[:6])), ("Chart", row(chart))])

# A shape anchored to a cell of sheet1: it moves with the cell's row.
shape = ('<table:table-cell office:value-type="string"><draw:rect draw:name="Box" '
         'svg:width="2cm" svg:height="1cm" svg:x="0.5cm" svg:y="0.2cm" '
         'table:end-cell-address="Sheet1.E4" table:end-x="1cm" table:end-y="0.3cm"/>'
         "<text:p>方框</text:p></table:table-cell>")
write("shape", [("Sheet1", "".join(plain[:3]) + row(num(1), num(2), shape))])

# Formulas on another sheet reading sheet1, and formulas on sheet1 itself.
write("formulas", [("Sheet1", "".join(plain[:6]) + row(formula("SUM([.A2:.A6])"))),
                   ("Sums", row(formula("[$Sheet1.A2]+[$Sheet1.B2]")))])
write("otherformulas", [("Sheet1", "".join(plain[:6])),
                        ("Sums", row(formula("[$Sheet1.A2]+[$Sheet1.B2]")))])

# Sheet1 with an empty styled row repeated to the last row, and a column style across 1,024
# columns: what LibreOffice writes once a whole row or column has been formatted.
big = ('<table:table-column table:number-columns-repeated="4"/>'
       '<table:table-column table:default-cell-style-name="yellow" '
       'table:number-columns-repeated="1020"/>' + "".join(plain[:4]) +
       '<table:table-row table:number-rows-repeated="1048572"><table:table-cell '
       'table:style-name="yellow" table:number-columns-repeated="1024"/></table:table-row>')
write("million-rows", [("Sheet1", big)])
