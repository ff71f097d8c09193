#!/usr/bin/env bash
# The workbook page on .xlsx, side by side with its peers in one run:
#  - a 65,535-row workbook (bench/make-bench-xlsx.py, the .xls benchmark's columns): open +
#    export against ogr2ogr -f KML (GDAL's XLSX driver), open alone against python3-openpyxl
#    loading it read-only and reading every row; medians of 5 runs and the ratios;
#  - posting one edit into it against opening it (postbench);
#  - a 1,000,000-row workbook: open, the grid's first screen, export; times and peak memory
#    against the sheet part's uncompressed size.
# Usage: bench/run-xlsx-bench.sh [build dir]   (needs python3-openpyxl and gdal-bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/workbookbench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=5

/usr/bin/python3 "$root/bench/make-bench-xlsx.py" "$work/bench.xlsx" 65534
cat >"$work/bench.vrt" <<VRT
<OGRVRTDataSource>
  <OGRVRTLayer name="sheet1">
    <SrcDataSource>$work/bench.xlsx</SrcDataSource>
    <SrcLayer>sheet1</SrcLayer>
    <GeometryType>wkbPoint</GeometryType>
    <LayerSRS>WGS84</LayerSRS>
    <GeometryField encoding="PointFromColumns" x="经度" y="纬度"/>
  </OGRVRTLayer>
</OGRVRTDataSource>
VRT

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ms() { date +%s%N | awk '{ printf "%.2f", $1 / 1e6 }'; }

: >"$work/ogr"; : >"$work/openpyxl"; : >"$work/open"; : >"$work/total"; : >"$work/process"
for i in $(seq $runs); do
    rm -f "$work/ogr.kml"
    start=$(now_ms)
    ogr2ogr -f KML "$work/ogr.kml" "$work/bench.vrt"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/ogr"

    /usr/bin/python3 -c '
import sys, time, openpyxl
t = time.perf_counter()
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
for row in book["sheet1"].iter_rows(values_only=True):
    pass
print("%.2f" % ((time.perf_counter() - t) * 1000))' "$work/bench.xlsx" >>"$work/openpyxl"

    rm -f "$work/ours.kml"
    start=$(now_ms)
    "$bench" "$work/bench.xlsx" "$work/ours.kml" 1 >"$work/run"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/process"
    awk '/^open_ms/ { print $2 >> "'"$work/open"'"; print $6 >> "'"$work/total"'" }' "$work/run"
    records=$(awk '/^open_ms/ { print $8 }' "$work/run")
done
ogr=$(median <"$work/ogr")
openpyxl=$(median <"$work/openpyxl")
open=$(median <"$work/open")
total=$(median <"$work/total")
process=$(median <"$work/process")
printf 'workbook: %d bytes, %d records; medians of %d runs (ms)\n' \
    "$(stat -c %s "$work/bench.xlsx")" "$records" "$runs"
printf '  ogr2ogr -f KML (process)            %8.1f\n' "$ogr"
printf '  kmlmaker open + export (process)    %8.1f   ratio %.1fx\n' "$process" \
    "$(echo "$ogr / $process" | bc -l)"
printf '  kmlmaker open + export (in-process) %8.1f   ratio %.1fx\n' "$total" \
    "$(echo "$ogr / $total" | bc -l)"
printf '  openpyxl read-only, every row       %8.1f\n' "$openpyxl"
printf '  kmlmaker open                       %8.1f   ratio %.1fx\n' "$open" \
    "$(echo "$openpyxl / $open" | bc -l)"

echo
"$build/bench/postbench" "$work/bench.xlsx"

echo
/usr/bin/python3 "$root/bench/make-bench-xlsx.py" "$work/big.xlsx" 999999
sheet=$(unzip -l "$work/big.xlsx" | awk '/xl\/worksheets\/sheet1.xml/ { print $1 }')
rm -f "$work/ours.kml"
"$bench" "$work/big.xlsx" "$work/ours.kml" 1 >"$work/run"
"$build/bench/workbook_window_bench" "$work/big.xlsx" "$work/window.kml" >"$work/window"
peak=$(awk '/^peak_rss_kb/ { print $2 }' "$work/run")
printf '1,000,000 records: %d bytes, sheet part %d bytes uncompressed\n' \
    "$(stat -c %s "$work/big.xlsx")" "$sheet"
awk '/^open_ms/ { printf "  open %.0f ms, export %.0f ms, together %.0f ms, records %d\n", $2, $4, $6, $8 }' "$work/run"
cat "$work/window"
printf '  peak memory %d KB = %.2fx the sheet part\n' "$peak" "$(echo "$peak * 1024 / $sheet" | bc -l)"
