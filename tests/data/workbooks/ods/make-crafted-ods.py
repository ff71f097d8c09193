# Writes .ods packages that no spreadsheet program writes but a reader must take: a sheet of
# 16,384 columns (LibreOffice's "very large spreadsheets" option) with a value past column 1,024,
# XML with other namespace prefixes than the usual ones, and a password-protected package (its
# manifest says so; its content is a stand-in, XML as every fixture's XML part is, not real
# ciphertext), and the widest sheet's 16,384 headings alike, as one cell repeated, in a file of
# a few hundred bytes. Usage: make-crafted-ods.py OUT_DIR
import sys
import zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "."
MIME = "application/vnd.oasis.opendocument.spreadsheet"

NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "manifest": "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0",
}


def content(body, prefixes=None):
    p = prefixes or {k: k for k in NS}
    decls = " ".join(f'xmlns:{p[k]}="{NS[k]}"' for k in ("office", "table", "text"))
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<{p["office"]}:document-content {decls} '
            f'{p["office"]}:version="1.2"><{p["office"]}:body><{p["office"]}:spreadsheet>'
            f'{body}</{p["office"]}:spreadsheet></{p["office"]}:body>'
            f'</{p["office"]}:document-content>')


def manifest(extra=""):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest='
            f'"{NS["manifest"]}" manifest:version="1.2"><manifest:file-entry '
            f'manifest:full-path="/" manifest:media-type="{MIME}"/><manifest:file-entry '
            'manifest:full-path="content.xml" manifest:media-type="text/xml">'
            f"{extra}</manifest:file-entry></manifest:manifest>")


def package(name, parts):
    with zipfile.ZipFile(f"{out}/{name}", "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2024, 5, 1, 0, 0, 0)), MIME,
                   compress_type=zipfile.ZIP_STORED)
        for part, data in parts:
            info = zipfile.ZipInfo(part, (2024, 5, 1, 0, 0, 0))
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED)


def cells(p, values):
    out = []
    for v in values:
        if isinstance(v, str):
            out.append(f'<{p["table"]}:table-cell {p["office"]}:value-type="string">'
                       f'<{p["text"]}:p>{v}</{p["text"]}:p></{p["table"]}:table-cell>')
        else:
            out.append(f'<{p["table"]}:table-cell {p["office"]}:value-type="float" '
                       f'{p["office"]}:value="{v}"/>')
    return "".join(out)


std = {k: k for k in NS}
heading = f'<table:table-row>{cells(std, ["经度", "纬度", "标注", "地点描述"])}</table:table-row>'
jumbo = ('<table:table table:name="Sheet1"><table:table-column '
         'table:number-columns-repeated="16384"/>' + heading +
         f'<table:table-row>{cells(std, [116.5, 39.5, "远", "列"])}'
         '<table:table-cell table:number-columns-repeated="1196"/>'
         f'{cells(std, ["第1201列"])}<table:table-cell table:number-columns-repeated="15183"/>'
         '</table:table-row><table:table-row table:number-rows-repeated="1048574">'
         '<table:table-cell table:number-columns-repeated="16384"/></table:table-row>'
         "</table:table>")
package("crafted-jumbo.ods", [("content.xml", content(jumbo)),
                              ("META-INF/manifest.xml", manifest())])

odd = {"office": "o", "table": "t", "text": "x", "manifest": "manifest"}
table = (f'<t:table t:name="SHEET1"><t:table-row>{cells(odd, ["经度", "纬度", "标注", "地点描述"])}'
         f'</t:table-row><t:table-row>{cells(odd, [1.5, 2.5, "名", "述"])}</t:table-row>'
         "</t:table>")
package("crafted-prefixes.ods", [("content.xml", content(table, odd)),
                                 ("META-INF/manifest.xml", manifest())])

encryption = ('<manifest:encryption-data manifest:checksum-type="SHA1/1K" '
              'manifest:checksum="AAAA"><manifest:algorithm manifest:algorithm-name='
              '"Blowfish CFB" manifest:initialisation-vector="AAAA"/><manifest:key-derivation '
              'manifest:key-derivation-name="PBKDF2" manifest:key-size="16" '
              'manifest:iteration-count="1024" manifest:salt="AAAA"/></manifest:encryption-data>')
package("crafted-encrypted.ods", [("content.xml", '<?xml version="1.0"?><encrypted/>'),
                                  ("META-INF/manifest.xml", manifest(encryption))])

# A validation on a cell of sheet1 (LibreOffice drops the one of make-refusals.py's sheet when it
# converts it to .ods).
validated = (f'<table:content-validations><table:content-validation table:name="val1" '
             'table:condition="of:cell-content-is-decimal-number() and of:cell-content()&gt;0" '
             'table:allow-empty-cell="true" table:base-cell-address="Sheet1.B3"/>'
             '</table:content-validations><table:table table:name="Sheet1">' + heading +
             "".join(f'<table:table-row>{cells(std, [100 + r, 30 + r, f"点{r}", "述"])}'
                     "</table:table-row>" for r in range(1, 5)) + "</table:table>")
validated = validated.replace('office:value="32"/>',
                              'office:value="32" table:content-validation-name="val1"/>')
package("crafted-validation.ods", [("content.xml", content(validated)),
                                   ("META-INF/manifest.xml", manifest())])

same = ('<table:table table:name="Sheet1"><table:table-row><table:table-cell '
        'table:number-columns-repeated="16384" office:value-type="string"><text:p>名称</text:p>'
        f'</table:table-cell></table:table-row><table:table-row>{cells(std, [1])}'
        '</table:table-row></table:table>')
package("crafted-same-headings.ods", [("content.xml", content(same)),
                                      ("META-INF/manifest.xml", manifest())])

# The longest texts a cell holds, 32,767 characters, written in each way a text is: one
# paragraph, two paragraphs, counted spaces, a string value over the paragraphs; and a text of
# five million characters, which a few kilobytes of package inflate to.
n = 32767
longest = ('<table:table table:name="Sheet1"><table:table-row>'
           f'<table:table-cell office:value-type="string"><text:p>{"名" * n}</text:p>'
           '</table:table-cell><table:table-cell office:value-type="string">'
           f'<text:p>{"a" * (n // 2)}</text:p><text:p>{"b" * (n // 2)}</text:p></table:table-cell>'
           '<table:table-cell office:value-type="string"><text:p>'
           f'<text:s text:c="{n - 1}"/>x</text:p></table:table-cell>'
           f'<table:table-cell office:value-type="string" office:string-value="{"长" * n}">'
           '<text:p>shown</text:p></table:table-cell></table:table-row><table:table-row>'
           f'{cells(std, [116.5, 39.5])}</table:table-row></table:table>')
package("crafted-longest-texts.ods", [("content.xml", content(longest)),
                                      ("META-INF/manifest.xml", manifest())])
huge = ('<table:table table:name="Sheet1"><table:table-row><table:table-cell '
        f'office:value-type="string"><text:p>{"a" * 5000000}</text:p></table:table-cell>'
        '</table:table-row></table:table>')
package("crafted-huge-text.ods", [("content.xml", content(huge)),
                                  ("META-INF/manifest.xml", manifest())])
