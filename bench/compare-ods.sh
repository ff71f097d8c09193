#!/usr/bin/env bash
# Opens and exports the 65,535-row benchmark workbook as LibreOffice saves it (.ods, made by
# bench/make-bench-ods.py) with kmlmaker's own code (bench_workbook), and with ogr2ogr -f KML
# (GDAL's ODS driver) on the same file, side by side in one run; then posts one changed cell
# through the workbook query next to opening the file through it (bench_post).
# Prints the median of 5 runs of each, the ratios, and kmlmaker's peak memory.
# Usage: bench/compare-ods.sh [build dir]   (needs libreoffice-calc, python3-xlwt, gdal-bin)
set -euo pipefail
source "$(dirname "$0")/comparesupport.sh"

/usr/bin/python3 "$root/bench/make-bench-ods.py" "$work/bench.ods"
write_vrt "$work/bench.ods"

# GDAL's ODS driver stops reading this sheet after some 54,000 rows ("Too much accumulated memory
# for row/cell repetition") and writes the placemarks of those only: the counts below say so.

for i in $(seq $runs); do
    time_ogr
    time_ours "$work/bench.ods"
done

take_medians
size=$(stat -c %s "$work/bench.ods")
content=$(unzip -l "$work/bench.ods" content.xml | awk '/content.xml/ { print $1 }')
ours=$(iconv -f UTF-16 -t UTF-8 "$work/ours.kml" | grep -o '<Placemark>' | wc -l)
theirs=$(grep -o '<Placemark>' "$work/ogr.kml" | wc -l)
printf 'workbook: %d bytes (content.xml %d), %d records; medians of %d runs (ms)\n' "$size" \
    "$content" "$records" "$runs"
printf '  placemarks: kmlmaker %d, ogr2ogr %d\n' "$ours" "$theirs"
print_export
printf '  kmlmaker open                       %8.1f\n' "$open"
printf '  kmlmaker peak memory: %d KB = %.1fx content.xml\n' "$peak" \
    "$(echo "$peak * 1024 / $content" | bc -l)"
"$build/bench/bench_post" "$work/bench.ods"
