#!/usr/bin/env bash
# Makes the .xlsx fixtures in this folder from the .xls fixtures beside it and from openpyxl.
# The files are checked in; run this again only to change them. Needs Debian's
# libreoffice-calc, gnumeric (ssconvert), python3-openpyxl and python3-xlwt.
set -euo pipefail
cd "$(dirname "$0")"
out=$(pwd)
xls=$(cd .. && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The .xls fixtures as LibreOffice and Gnumeric write them as .xlsx.
for base in xlwt-mixed xlwt-kinds xlwt-date1904 xlwt-plain xlwt-three-columns xlwt-no-sheet1 \
    xlwt-empty-sheet1 xlwt-heading-only xlwt-merged; do
    soffice --headless --convert-to xlsx --outdir "$tmp/lo" "$xls/$base.xls" >/dev/null 2>&1
    cp "$tmp/lo/$base.xlsx" "libreoffice-${base#*-}.xlsx"
done
for base in mixed kinds; do
    ssconvert -T Gnumeric_Excel:xlsx2 "$xls/xlwt-$base.xls" "gnumeric-$base.xlsx" 2>/dev/null
done

# Sheets holding one thing each that pins row positions, as LibreOffice writes them.
/usr/bin/python3 "$xls/make-refusals.py" "$tmp"
for kind in note hyperlink condformat validation name filter pagebreak shared; do
    soffice --headless --convert-to xlsx --outdir "$tmp/lo" "$tmp/$kind.fods" >/dev/null 2>&1
    cp "$tmp/lo/$kind.xlsx" "libreoffice-$kind.xlsx"
done

/usr/bin/python3 make-openpyxl.py "$out"

/usr/bin/python3 make-crafted.py "$out"
/usr/bin/python3 make-misnamed.py "$out"
/usr/bin/python3 make-zip64.py "$out"
