#!/usr/bin/env bash
# Makes the money fixtures: one sheet of amounts in a currency format next to the half-way point
# of their fourth decimal (876248.78545 is 876248.785449999966... in binary, 0.03125 a tie), as
# LibreOffice writes it as .xls, .xlsx and .ods. The files are checked in; run this again only to
# change them. Needs Debian's libreoffice-calc.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
lo() { soffice "-env:UserInstallation=file://$tmp/profile" --headless "$@" >/dev/null 2>&1; }

amounts="876248.78545 12345.67895 99999.99995 0.03125 0.09375 -876248.78545"
{
    cat <<'HEAD'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:currency-style style:name="N1"><number:currency-symbol number:language="zh"
  number:country="CN">¥</number:currency-symbol><number:number number:decimal-places="2"
  number:min-integer-digits="1" number:grouping="true"/></number:currency-style>
 <style:style style:name="money" style:family="table-cell" style:data-style-name="N1"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="sheet1">
<table:table-row><table:table-cell office:value-type="string"><text:p>标注</text:p></table:table-cell>
<table:table-cell office:value-type="string"><text:p>金额</text:p></table:table-cell></table:table-row>
HEAD
    for a in $amounts; do
        echo "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>$a</text:p>" \
            "</table:table-cell><table:table-cell table:style-name=\"money\"" \
            "office:value-type=\"currency\" office:currency=\"CNY\" office:value=\"$a\">" \
            "<text:p>$a</text:p></table:table-cell></table:table-row>"
    done
    echo '</table:table></office:spreadsheet></office:body></office:document>'
} >"$tmp/money.fods"

lo --convert-to 'xls:MS Excel 97' --outdir "$tmp/lo" "$tmp/money.fods"
cp "$tmp/lo/money.xls" libreoffice-money.xls
lo --convert-to xlsx --outdir "$tmp/lo" "$tmp/money.fods"
cp "$tmp/lo/money.xlsx" xlsx/libreoffice-money.xlsx
lo --convert-to ods --outdir "$tmp/lo" "$tmp/money.fods"
cp "$tmp/lo/money.ods" ods/libreoffice-money.ods
