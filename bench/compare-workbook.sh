#!/usr/bin/env bash
# Opens and exports a 65,535-row workbook (bench/make-bench-workbook.py) with kmlmaker's own code
# (bench_workbook), and with the peers on the same file, side by side in one run: ogr2ogr -f KML
# (GDAL's XLS driver, which reads with FreeXL) for open + export, and python3-xlrd's
# open_workbook for opening alone.
# Prints the median of 5 runs of each, the ratios, and kmlmaker's peak memory.
# Usage: bench/compare-workbook.sh [build dir]   (needs python3-xlwt, python3-xlrd, gdal-bin)
set -euo pipefail
source "$(dirname "$0")/comparesupport.sh"

/usr/bin/python3 "$root/bench/make-bench-workbook.py" "$work/bench.xls"
write_vrt "$work/bench.xls"
: >"$work/xlrd"
for i in $(seq $runs); do
    time_ogr
    time_python '
import xlrd
def read(path):
    xlrd.open_workbook(path)' xlrd "$work/bench.xls"
    time_ours "$work/bench.xls"
done

take_medians
xlrd=$(median <"$work/xlrd")
size=$(stat -c %s "$work/bench.xls")
printf 'workbook: %d bytes, %d records; medians of %d runs (ms)\n' "$size" "$records" "$runs"
print_export
printf '  xlrd open_workbook                  %8.1f\n' "$xlrd"
printf '  kmlmaker open                       %8.1f   ratio %.1fx\n' "$open" \
    "$(echo "$xlrd / $open" | bc -l)"
printf '  kmlmaker peak memory: %d KB = %.1fx the workbook\n' "$peak" \
    "$(echo "$peak * 1024 / $size" | bc -l)"
