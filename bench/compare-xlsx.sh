#!/usr/bin/env bash
# The workbook page on .xlsx, side by side with its peers in one run:
#  - a 65,535-row workbook (bench/make-bench-xlsx.py, the .xls benchmark's columns): open +
#    export against ogr2ogr -f KML (GDAL's XLSX driver), open alone against python3-openpyxl
#    loading it read-only and reading every row; medians of 5 runs and the ratios;
#  - posting one edit into it against opening it (bench_post);
#  - a 1,000,000-row workbook: open, the grid's first screen, export; times and peak memory
#    against the sheet part's uncompressed size.
# Usage: bench/compare-xlsx.sh [build dir]   (needs python3-openpyxl and gdal-bin)
set -euo pipefail
source "$(dirname "$0")/comparesupport.sh"

/usr/bin/python3 "$root/bench/make-bench-xlsx.py" "$work/bench.xlsx" 65534
write_vrt "$work/bench.xlsx"
: >"$work/openpyxl"
for i in $(seq $runs); do
    time_ogr
    time_python '
import openpyxl
def read(path):
    book = openpyxl.load_workbook(path, read_only=True)
    for row in book["sheet1"].iter_rows(values_only=True):
        pass' openpyxl "$work/bench.xlsx"
    time_ours "$work/bench.xlsx"
done
take_medians
openpyxl=$(median <"$work/openpyxl")
printf 'workbook: %d bytes, %d records; medians of %d runs (ms)\n' \
    "$(stat -c %s "$work/bench.xlsx")" "$records" "$runs"
print_export
printf '  openpyxl read-only, every row       %8.1f\n' "$openpyxl"
printf '  kmlmaker open                       %8.1f   ratio %.1fx\n' "$open" \
    "$(echo "$openpyxl / $open" | bc -l)"

echo
"$build/bench/bench_post" "$work/bench.xlsx"

echo
/usr/bin/python3 "$root/bench/make-bench-xlsx.py" "$work/big.xlsx" 999999
sheet=$(unzip -l "$work/big.xlsx" | awk '/xl\/worksheets\/sheet1.xml/ { print $1 }')
rm -f "$work/ours.kml"
"$bench" "$work/big.xlsx" "$work/ours.kml" 1 >"$work/run"
"$build/bench/bench_workbookwindow" "$work/big.xlsx" "$work/window.kml" >"$work/window"
peak=$(awk '/^peak_rss_kb/ { print $2 }' "$work/run")
printf '1,000,000 records: %d bytes, sheet part %d bytes uncompressed\n' \
    "$(stat -c %s "$work/big.xlsx")" "$sheet"
awk '/^open_ms/ { printf "  open %.0f ms, export %.0f ms, together %.0f ms, records %d\n", $2, $4, $6, $8 }' "$work/run"
cat "$work/window"
printf '  peak memory %d KB = %.2fx the sheet part\n' "$peak" "$(echo "$peak * 1024 / $sheet" | bc -l)"
