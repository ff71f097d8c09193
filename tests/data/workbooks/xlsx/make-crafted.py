# Writes .xlsx packages part by part, for what the programs at hand do not write: inline and
# rich text, cells and rows without positions, a prefixed main namespace, every cell type, a
# calculation chain, 16,384 headings alike. See make-xlsx.sh.
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def package(name, sheets, shared=None, styles=None, workbook_extra="", chain=None, prefix="",
            workbook_before=""):
    """sheets: [(name, xml of the worksheet)], sheet1's part deliberately not sheet1.xml."""
    p = f"{prefix}:" if prefix else ""
    ns = f'xmlns:{prefix}="{MAIN}"' if prefix else f'xmlns="{MAIN}"'
    types = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">',
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>',
             '<Default Extension="xml" ContentType="application/xml"/>',
             '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>']
    rels = [f'<Relationships xmlns="{PKG}">']
    sheet_list = []
    files = {}
    for i, (sheet_name, xml) in enumerate(sheets):
        part = f"worksheets/part{len(sheets) - i}.xml"
        files[f"xl/{part}"] = xml
        types.append(f'<Override PartName="/xl/{part}" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>')
        rels.append(f'<Relationship Id="rId{i + 1}" Type="{REL}/worksheet" Target="{part}"/>')
        sheet_list.append(f'<{p}sheet name="{sheet_name}" sheetId="{i + 1}" r:id="rId{i + 1}"/>')
    if shared is not None:
        files["xl/sharedStrings.xml"] = shared
        types.append('<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>')
        rels.append(f'<Relationship Id="rId90" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/>')
    if styles is not None:
        files["xl/styles.xml"] = styles
        types.append('<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>')
        rels.append(f'<Relationship Id="rId91" Type="{REL}/styles" Target="/xl/styles.xml"/>')
    if chain is not None:
        files["xl/calcChain.xml"] = chain
        types.append('<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>')
        rels.append(f'<Relationship Id="rId92" Type="{REL}/calcChain" Target="calcChain.xml"/>')
    types.append("</Types>")
    rels.append("</Relationships>")
    files["xl/workbook.xml"] = (f'<?xml version="1.0" encoding="UTF-8"?>\n<{p}workbook {ns} xmlns:r="{REL}">'
                                f'{workbook_before}<{p}sheets>{"".join(sheet_list)}</{p}sheets>{workbook_extra}</{p}workbook>')
    files["xl/_rels/workbook.xml.rels"] = "".join(rels)
    with zipfile.ZipFile(f"{out}/{name}", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "".join(types))
        z.writestr("_rels/.rels", f'<Relationships xmlns="{PKG}"><Relationship Id="rId1" '
                   f'Type="{REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
        for part, xml in files.items():
            z.writestr(part, xml)


def sheet(rows, prefix="", before="", after=""):
    p = f"{prefix}:" if prefix else ""
    ns = f'xmlns:{prefix}="{MAIN}"' if prefix else f'xmlns="{MAIN}"'
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<{p}worksheet {ns} xmlns:r="{REL}">'
            f'{before}<{p}sheetData>{rows}</{p}sheetData>{after}</{p}worksheet>')


STYLES = (f'<styleSheet xmlns="{MAIN}"><numFmts count="2"><numFmt numFmtId="164" formatCode="&quot;¥&quot;#,##0.00"/>'
          '<numFmt numFmtId="165" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts>'
          '<cellXfs count="6"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/>'
          '<xf numFmtId="31"/><xf numFmtId="8"/></cellXfs></styleSheet>')

SHARED = (f'<sst xmlns="{MAIN}" count="4" uniqueCount="4"><si><t>经度</t></si><si><t>纬度</t></si>'
          '<si><r><rPr><b/></rPr><t>富</t></r><r><t xml:space="preserve"> 文本</t></r>'
          '<rPh sb="0" eb="1"><t>ふ</t></rPh><phoneticPr fontId="0"/></si>'
          '<si><t>line_x000D_break &amp; more</t></si></sst>')

HEAD = ('<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
        '<c r="C1" t="inlineStr"><is><t>标注</t></is></c><c r="D1" t="inlineStr"><is><r><t>地点</t></r><r><t>描述</t></r></is></c>')


def kinds():
    rows = (f'<row r="1">{HEAD}</row>'
            # no r on the cells: their places follow one another
            '<row r="2"><c><v>116.5</v></c><c s="0"><v>39.25</v></c><c t="s"><v>2</v></c><c t="s"><v>3</v></c></row>'
            # no r on this row: it follows the one before
            '<row><c r="A3" s="2"><v>1234.56789</v></c><c r="B3" s="1"><v>45413</v></c>'
            '<c r="C3" t="b"><v>1</v></c><c r="D3" t="e"><v>#DIV/0!</v></c><c r="E3" s="3"><v>45413.5</v></c></row>'
            '<row r="5"><c r="A5" t="str"><f>"前"&amp;"后"</f><v>前后</v></c><c r="B5"><f>1/0</f></c>'
            '<c r="C5" t="d"><v>2024-05-01T13:30:00</v></c><c r="D5" s="4"><v>45413</v></c><c r="E5" s="5"><v>-2.5</v></c></row>')
    package("crafted-kinds.xlsx", [("Other", sheet('<row r="1"><c r="A1"><v>1</v></c></row>')),
                                   ("SHEET1", sheet(rows))],
            shared=SHARED, styles=STYLES)


def prefixed():
    rows = ('<x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>经度</x:t></x:is></x:c></x:row>'
            '<x:row r="2"><x:c r="A2"><x:v>116</x:v></x:c></x:row>')
    package("crafted-prefixed.xlsx",
            [("sheet1", sheet(rows, prefix="x", before='<x:dimension ref="A1:A2"/>'))], prefix="x")


def chain():
    rows = (f'<row r="1">{HEAD}</row>'
            '<row r="2" spans="1:4"><c r="A2"><v>116</v></c><c r="B2"><v>39</v></c>'
            '<c r="C2"><f>A2+B2</f><v>155</v></c><c r="D2"><f>A2*2</f><v>232</v></c></row>')
    package("crafted-chain.xlsx", [("sheet1", sheet(rows, before='<dimension ref="A1:D2"/>'))],
            shared=SHARED, chain=f'<calcChain xmlns="{MAIN}"><c r="C2" i="1"/><c r="D2"/></calcChain>')


def full():
    rows = '<row r="1048576"><c r="A1048576"><v>1</v></c></row>'
    package("crafted-full.xlsx", [("sheet1", sheet(f'<row r="1">{HEAD}</row>' + rows))], shared=SHARED)


kinds()
prefixed()
chain()
full()


def utf16():
    """sheet1's part in UTF-16, as the package format allows."""
    rows = "".join(f'<row r="{r + 1}"><c r="A{r + 1}"><v>{r}</v></c></row>' for r in range(5))
    xml = sheet(rows).replace('encoding="UTF-8"', 'encoding="UTF-16"')
    package("crafted-utf16.xlsx", [("sheet1", "\ufeff" + xml)])
    # zipfile wrote the text as UTF-8: write the part again in UTF-16.
    with zipfile.ZipFile(f"{out}/crafted-utf16.xlsx") as z:
        parts = {i.filename: z.read(i.filename) for i in z.infolist()}
    parts["xl/worksheets/part1.xml"] = xml.encode("utf-16")
    with zipfile.ZipFile(f"{out}/crafted-utf16.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(name, data)


utf16()


def shared():
    """Shared formulas as Excel writes them: a master with the range, dependents with its index."""
    rows = (f'<row r="1">{HEAD}</row>'
            '<row r="2"><c r="A2"><v>116</v></c><c r="B2"><v>39</v></c>'
            '<c r="C2"><f t="shared" ref="C2:C4" si="0">A2*2</f><v>232</v></c></row>'
            '<row r="3"><c r="A3"><v>117</v></c><c r="B3"><v>40</v></c>'
            '<c r="C3"><f t="shared" si="0"/><v>234</v></c></row>'
            '<row r="4"><c r="A4"><v>118</v></c><c r="B4"><v>41</v></c>'
            '<c r="C4"><f t="shared" si="0"/><v>236</v></c></row>')
    package("crafted-shared.xlsx", [("sheet1", sheet(rows, before='<dimension ref="A1:D4"/>'))],
            shared=SHARED)


shared()


def same_headings():
    """The widest sheet's 16,384 headings all alike, in a file of a few kilobytes."""
    heading = '<c t="inlineStr"><is><t>名称</t></is></c>' * 16384
    rows = f'<row r="1">{heading}</row><row r="2"><c r="A2"><v>1</v></c></row>'
    package("crafted-same-headings.xlsx", [("sheet1", sheet(rows))])


same_headings()


def excel_1904():
    """The 1904 date system as Excel 2013 and later write it: <workbookPr date1904="1"/>, and in
    the extension list at the end a second workbookPr of Excel's own namespace, which sets no
    date system."""
    x15 = "http://schemas.microsoft.com/office/spreadsheetml/2010/11/main"
    before = ('<fileVersion appName="xl" lastEdited="7" lowestEdited="7" rupBuild="22228"/>'
              '<workbookPr date1904="1" defaultThemeVersion="166925"/>'
              '<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
              '<mc:Choice Requires="x15"><x15ac:absPath url="C:\\Users\\" '
              'xmlns:x15ac="http://schemas.microsoft.com/office/spreadsheetml/2010/11/ac"/>'
              '</mc:Choice></mc:AlternateContent>'
              '<bookViews><workbookView xWindow="-120" yWindow="-120" windowWidth="29040" '
              'windowHeight="15840"/></bookViews>')
    after = ('<calcPr calcId="191029"/><extLst><ext uri="{140A7794-F4A3-4f5a-A4D3-A8F2B5B76ABF}" '
             f'xmlns:x15="{x15}"><x15:workbookPr chartTrackingRefBase="1"/></ext></extLst>')
    rows = (f'<row r="1">{HEAD}</row>'
            '<row r="2"><c r="A2"><v>116.5</v></c><c r="B2"><v>39.5</v></c>'
            '<c r="C2" s="1"><v>42735</v></c><c r="D2" s="3"><v>42735.5</v></c></row>')
    package("crafted-excel-1904.xlsx", [("sheet1", sheet(rows))], shared=SHARED, styles=STYLES,
            workbook_before=before, workbook_extra=after)


excel_1904()


def line_ends():
    """Line ends as Excel writes a formula's text result holding a carriage return and a line
    feed, "abc" _x000D_ and a literal CR LF, "def" (XML reads a literal CR LF, and a lone CR, as
    a line feed), beside texts with a lone CR, a CR written as a reference, and literal CR LFs in
    an inline and a shared string."""
    shared = (f'<sst xmlns="{MAIN}" count="1" uniqueCount="1">'
              '<si><t xml:space="preserve">abc_x000D_\r\ndef</t></si></sst>')
    rows = ('<row r="1"><c r="A1" t="str"><f>"abc"&amp;CHAR(13)&amp;CHAR(10)&amp;"def"</f>'
            '<v>abc_x000D_\r\ndef</v></c>'
            '<c r="B1" t="str"><f>"one"&amp;CHAR(10)&amp;"two"</f><v>one\rtwo</v></c>'
            '<c r="C1" t="str"><f>"x"&amp;CHAR(13)&amp;"y"</f><v>x&#13;y</v></c>'
            '<c r="D1" t="inlineStr"><is><t>in\r\nline</t></is></c>'
            '<c r="E1" t="s"><v>0</v></c></row>'
            '<row r="2"><c r="A2"><v>116.5</v></c><c r="B2"><v>39.5</v></c></row>')
    package("crafted-line-ends.xlsx", [("sheet1", sheet(rows))], shared=shared)


line_ends()


def long_texts():
    """The longest texts a cell holds, 32,767 characters, in each place a text is written: a
    shared string (one of them written with Excel's escapes, seven characters for each), an
    inline string and a formula's text result; and a shared string of five million characters,
    which a few kilobytes of package inflate to."""
    n = 32767
    shared = (f'<sst xmlns="{MAIN}" count="2" uniqueCount="2"><si><t>{"长" * n}</t></si>'
              f'<si><r><t>{"_x0041_" * (n - 1)}</t></r><r><t>B</t></r></si></sst>')
    rows = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
            f'<c r="C1" t="inlineStr"><is><t>{"名" * n}</t></is></c>'
            f'<c r="D1" t="str"><f>REPT("x",{n})</f><v>{"x" * n}</v></c></row>'
            '<row r="2"><c r="A2"><v>116.5</v></c><c r="B2"><v>39.5</v></c></row>')
    package("crafted-longest-texts.xlsx", [("sheet1", sheet(rows))], shared=shared)
    huge = f'<sst xmlns="{MAIN}" count="1" uniqueCount="1"><si><t>{"a" * 5000000}</t></si></sst>'
    rows = '<row r="1"><c r="A1" t="s"><v>0</v></c></row>'
    package("crafted-huge-text.xlsx", [("sheet1", sheet(rows))], shared=huge)


long_texts()
