#!/usr/bin/env bash
# Makes the .ods fixtures in this folder: the .xls fixtures beside it and flat OpenDocument
# sheets (make-ods.py, ../make-refusals.py) as LibreOffice and Gnumeric write them, and a few
# packages made by hand (make-crafted-ods.py). The files are checked in; run this again only to
# change them. Needs Debian's libreoffice-calc, gnumeric (ssconvert), python3 and python3-uno.
set -euo pipefail
cd "$(dirname "$0")"
xls=$(cd .. && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A profile of its own, so that a LibreOffice already running does not take the conversions.
lo() { soffice "-env:UserInstallation=file://$tmp/profile" --headless "$@" >/dev/null 2>&1; }

# The .xls fixtures as LibreOffice and Gnumeric write them as .ods.
for base in xlwt-mixed xlwt-kinds xlwt-plain xlwt-three-columns xlwt-no-sheet1 \
    xlwt-empty-sheet1 xlwt-heading-only xlwt-merged xlwt-date1904; do
    lo --convert-to ods --outdir "$tmp/lo" "$xls/$base.xls"
    cp "$tmp/lo/$base.ods" "libreoffice-xls-${base#*-}.ods"
done
for base in mixed kinds; do
    ssconvert -T Gnumeric_OpenCalc:odf "$xls/xlwt-$base.xls" "gnumeric-xls-$base.ods" 2>/dev/null
done

# Sheets of our own, and those holding one thing each that pins row positions.
/usr/bin/python3 make-ods.py "$tmp"
/usr/bin/python3 "$xls/make-refusals.py" "$tmp"
for kind in kinds plain chart shape formulas otherformulas million-rows \
    note hyperlink condformat name filter pagebreak shared; do
    lo --convert-to ods --outdir "$tmp/lo" "$tmp/$kind.fods"
    cp "$tmp/lo/$kind.ods" "libreoffice-$kind.ods"
done
# Gnumeric's writing of the same sheets.
for kind in kinds plain; do
    ssconvert -T Gnumeric_OpenCalc:odf "libreoffice-$kind.ods" "gnumeric-$kind.ods" 2>/dev/null
done

/usr/bin/python3 make-crafted-ods.py .
/usr/bin/python3 make-text-prefix.py .
# A password-protected package and a validation, saved through LibreOffice's UNO interface.
/usr/bin/python3 make-uno-ods.py .
