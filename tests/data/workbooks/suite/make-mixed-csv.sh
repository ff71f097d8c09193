#!/usr/bin/env bash
# Makes mixed.csv: sheet1 of ../libreoffice-mixed.xls as LibreOffice exports it to CSV (UTF-8,
# comma, double quotes), the same table the suite reads from each workbook format. The file is
# checked in; run this again only to change it. Needs Debian's libreoffice-calc.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
soffice "-env:UserInstallation=file://$tmp/profile" --headless \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
    --outdir "$tmp" ../libreoffice-mixed.xls >/dev/null 2>&1
cp "$tmp/libreoffice-mixed-Sheet1.csv" mixed.csv
