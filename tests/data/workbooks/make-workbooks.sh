#!/usr/bin/env bash
# Makes the workbook fixtures in this folder. The files are checked in; run this again only to
# change them. Needs Debian's python3-xlwt, gnumeric (ssconvert) and libreoffice-calc.
set -euo pipefail
cd "$(dirname "$0")"
out=$(pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The base workbooks, written by xlwt.
/usr/bin/python3 make-xlwt.py "$out"

# The same workbooks as Gnumeric and LibreOffice write them.
for base in mixed rows2000 plain numbers; do
    # Recalculating gives the plain workbook's text formula its cached result (a STRING record).
    recalc=()
    [ "$base" = plain ] && recalc=(--recalc)
    ssconvert "${recalc[@]}" -T Gnumeric_Excel:excel_biff8 "xlwt-$base.xls" "gnumeric-$base.xls" \
        2>/dev/null
    cp "xlwt-$base.xls" "$tmp/libreoffice-$base.xls"
    soffice --headless --convert-to 'xls:MS Excel 97' --outdir "$tmp/lo" \
        "$tmp/libreoffice-$base.xls" >/dev/null 2>&1
    cp "$tmp/lo/libreoffice-$base.xls" .
done
# An Excel 5.0/95 (BIFF5/7) workbook, and one carrying both Book and Workbook streams.
ssconvert -T Gnumeric_Excel:excel_biff7 xlwt-mixed.xls gnumeric-biff7.xls 2>/dev/null
ssconvert -T Gnumeric_Excel:excel_dsf xlwt-mixed.xls gnumeric-dual.xls 2>/dev/null

# Workbooks whose sheet1 holds one thing that pins row positions, written by LibreOffice.
/usr/bin/python3 make-refusals.py "$tmp"
for kind in note hyperlink condformat validation name filter pagebreak shared; do
    soffice --headless --convert-to 'xls:MS Excel 97' --outdir "$tmp/lo" "$tmp/$kind.fods" \
        >/dev/null 2>&1
    cp "$tmp/lo/$kind.xls" "libreoffice-$kind.xls"
done
