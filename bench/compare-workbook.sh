#!/usr/bin/env bash
# Opens and exports a 65,535-row workbook (bench/make-bench-workbook.py) with kmlmaker's own code
# (bench_workbook), and with the peers on the same file, side by side in one run: ogr2ogr -f KML
# (GDAL's XLS driver, which reads with FreeXL) for open + export, and python3-xlrd's
# open_workbook for opening alone.
# Prints the median of 5 runs of each, the ratios, and kmlmaker's peak memory.
# Usage: bench/compare-workbook.sh [build dir]   (needs python3-xlwt, python3-xlrd, gdal-bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/bench_workbook
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=5

/usr/bin/python3 "$root/bench/make-bench-workbook.py" "$work/bench.xls"
cat >"$work/bench.vrt" <<VRT
<OGRVRTDataSource>
  <OGRVRTLayer name="sheet1">
    <SrcDataSource>$work/bench.xls</SrcDataSource>
    <SrcLayer>sheet1</SrcLayer>
    <GeometryType>wkbPoint</GeometryType>
    <LayerSRS>WGS84</LayerSRS>
    <GeometryField encoding="PointFromColumns" x="经度" y="纬度"/>
  </OGRVRTLayer>
</OGRVRTDataSource>
VRT

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ms() { date +%s%N | awk '{ printf "%.2f", $1 / 1e6 }'; }

: >"$work/ogr" ; : >"$work/xlrd" ; : >"$work/open" ; : >"$work/total" ; : >"$work/process"
for i in $(seq $runs); do
    rm -f "$work/ogr.kml"
    start=$(now_ms)
    ogr2ogr -f KML "$work/ogr.kml" "$work/bench.vrt"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/ogr"

    /usr/bin/python3 -c '
import sys, time, xlrd
t = time.perf_counter()
xlrd.open_workbook(sys.argv[1])
print("%.2f" % ((time.perf_counter() - t) * 1000))' "$work/bench.xls" >>"$work/xlrd"

    # Both programs write a new file: replacing one that is still being written back to disk
    # costs its release, which belongs to neither program's work.
    rm -f "$work/ours.kml"
    start=$(now_ms)
    "$bench" "$work/bench.xls" "$work/ours.kml" 1 >"$work/run"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/process"
    awk '/^open_ms/ { print $2 >> "'"$work/open"'"; print $6 >> "'"$work/total"'" }' "$work/run"
    peak=$(awk '/^peak_rss_kb/ { print $2 }' "$work/run")
    records=$(awk '/^open_ms/ { print $8 }' "$work/run")
done

ogr=$(median <"$work/ogr")
xlrd=$(median <"$work/xlrd")
open=$(median <"$work/open")
total=$(median <"$work/total")
process=$(median <"$work/process")
size=$(stat -c %s "$work/bench.xls")
printf 'workbook: %d bytes, %d records; medians of %d runs (ms)\n' "$size" "$records" "$runs"
printf '  ogr2ogr -f KML (process)          %8.1f\n' "$ogr"
printf '  kmlmaker open + export (process)  %8.1f   ratio %.1fx\n' "$process" \
    "$(echo "$ogr / $process" | bc -l)"
printf '  kmlmaker open + export (in-process) %6.1f   ratio %.1fx\n' "$total" \
    "$(echo "$ogr / $total" | bc -l)"
printf '  xlrd open_workbook                %8.1f\n' "$xlrd"
printf '  kmlmaker open                     %8.1f   ratio %.1fx\n' "$open" \
    "$(echo "$xlrd / $open" | bc -l)"
printf '  kmlmaker peak memory: %d KB = %.1fx the workbook\n' "$peak" \
    "$(echo "$peak * 1024 / $size" | bc -l)"
