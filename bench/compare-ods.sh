#!/usr/bin/env bash
# Opens and exports the 65,535-row benchmark workbook as LibreOffice saves it (.ods, made by
# bench/make-bench-ods.py) with kmlmaker's own code (bench_workbook), and with ogr2ogr -f KML
# (GDAL's ODS driver) on the same file, side by side in one run; then posts one changed cell
# through the workbook query next to opening the file through it (bench_post).
# Prints the median of 5 runs of each, the ratios, and kmlmaker's peak memory.
# Usage: bench/compare-ods.sh [build dir]   (needs libreoffice-calc, python3-xlwt, gdal-bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/bench_workbook
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=5

/usr/bin/python3 "$root/bench/make-bench-ods.py" "$work/bench.ods"
cat >"$work/bench.vrt" <<VRT
<OGRVRTDataSource>
  <OGRVRTLayer name="sheet1">
    <SrcDataSource>$work/bench.ods</SrcDataSource>
    <SrcLayer>sheet1</SrcLayer>
    <GeometryType>wkbPoint</GeometryType>
    <LayerSRS>WGS84</LayerSRS>
    <GeometryField encoding="PointFromColumns" x="经度" y="纬度"/>
  </OGRVRTLayer>
</OGRVRTDataSource>
VRT

# GDAL's ODS driver stops reading this sheet after some 54,000 rows ("Too much accumulated memory
# for row/cell repetition") and writes the placemarks of those only: the counts below say so.

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ms() { date +%s%N | awk '{ printf "%.2f", $1 / 1e6 }'; }

: >"$work/ogr" ; : >"$work/open" ; : >"$work/total" ; : >"$work/process"
for i in $(seq $runs); do
    rm -f "$work/ogr.kml"
    start=$(now_ms)
    ogr2ogr -f KML "$work/ogr.kml" "$work/bench.vrt"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/ogr"

    # Both programs write a new file: replacing one that is still being written back to disk
    # costs its release, which belongs to neither program's work.
    rm -f "$work/ours.kml"
    start=$(now_ms)
    "$bench" "$work/bench.ods" "$work/ours.kml" 1 >"$work/run"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/process"
    awk '/^open_ms/ { print $2 >> "'"$work/open"'"; print $6 >> "'"$work/total"'" }' "$work/run"
    peak=$(awk '/^peak_rss_kb/ { print $2 }' "$work/run")
    records=$(awk '/^open_ms/ { print $8 }' "$work/run")
done

ogr=$(median <"$work/ogr")
open=$(median <"$work/open")
total=$(median <"$work/total")
process=$(median <"$work/process")
size=$(stat -c %s "$work/bench.ods")
content=$(unzip -l "$work/bench.ods" content.xml | awk '/content.xml/ { print $1 }')
ours=$(iconv -f UTF-16 -t UTF-8 "$work/ours.kml" | grep -o '<Placemark>' | wc -l)
theirs=$(grep -o '<Placemark>' "$work/ogr.kml" | wc -l)
printf 'workbook: %d bytes (content.xml %d), %d records; medians of %d runs (ms)\n' "$size" \
    "$content" "$records" "$runs"
printf '  placemarks: kmlmaker %d, ogr2ogr %d\n' "$ours" "$theirs"
printf '  ogr2ogr -f KML (process)            %8.1f\n' "$ogr"
printf '  kmlmaker open + export (process)    %8.1f   ratio %.1fx\n' "$process" \
    "$(echo "$ogr / $process" | bc -l)"
printf '  kmlmaker open + export (in-process) %8.1f   ratio %.1fx\n' "$total" \
    "$(echo "$ogr / $total" | bc -l)"
printf '  kmlmaker open                       %8.1f\n' "$open"
printf '  kmlmaker peak memory: %d KB = %.1fx content.xml\n' "$peak" \
    "$(echo "$peak * 1024 / $content" | bc -l)"
"$build/bench/bench_post" "$work/bench.ods"
