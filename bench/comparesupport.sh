# Shared by compare-workbook.sh, compare-xlsx.sh and compare-ods.sh, which set kmlmaker's open and
# export of one workbook against ogr2ogr -f KML on the same file: the scratch folder, the VRT
# through which GDAL reads sheet1's points, one timed run of each, and the lines that print the
# medians and ratios. Sourced after the script's own `set -euo pipefail`; the script's first
# argument, if any, names the build folder.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
bench=$build/bench/bench_workbook
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=5

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ms() { date +%s%N | awk '{ printf "%.2f", $1 / 1e6 }'; }

# $work/bench.vrt: sheet1 of the workbook as a point layer, from its 经度 and 纬度 columns.
write_vrt() {
    cat >"$work/bench.vrt" <<VRT
<OGRVRTDataSource>
  <OGRVRTLayer name="sheet1">
    <SrcDataSource>$1</SrcDataSource>
    <SrcLayer>sheet1</SrcLayer>
    <GeometryType>wkbPoint</GeometryType>
    <LayerSRS>WGS84</LayerSRS>
    <GeometryField encoding="PointFromColumns" x="经度" y="纬度"/>
  </OGRVRTLayer>
</OGRVRTDataSource>
VRT
    : >"$work/ogr"
    : >"$work/open"
    : >"$work/total"
    : >"$work/process"
}

# One ogr2ogr -f KML of the VRT; its milliseconds go to $work/ogr.
time_ogr() {
    rm -f "$work/ogr.kml"
    local start end
    start=$(now_ms)
    ogr2ogr -f KML "$work/ogr.kml" "$work/bench.vrt"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/ogr"
}

# One bench_workbook open + export of the workbook: the process's milliseconds go to
# $work/process, the in-process open and open + export to $work/open and $work/total; sets
# peak (KB) and records.
time_ours() {
    # Both programs write a new file: replacing one that is still being written back to disk
    # costs its release, which belongs to neither program's work.
    rm -f "$work/ours.kml"
    local start end
    start=$(now_ms)
    "$bench" "$1" "$work/ours.kml" 1 >"$work/run"
    end=$(now_ms)
    echo "$end - $start" | bc >>"$work/process"
    awk '/^open_ms/ { print $2 >> "'"$work/open"'"; print $6 >> "'"$work/total"'" }' "$work/run"
    peak=$(awk '/^peak_rss_kb/ { print $2 }' "$work/run")
    records=$(awk '/^open_ms/ { print $8 }' "$work/run")
}

# One timed run of a Python peer on the workbook $3: the snippet $1 imports what it needs and
# defines read(path); the milliseconds read takes go to $work/$2.
time_python() {
    /usr/bin/python3 -c "
import sys, time
$1
t = time.perf_counter()
read(sys.argv[1])
print('%.2f' % ((time.perf_counter() - t) * 1000))" "$3" >>"$work/$2"
}

# The medians of the runs: ogr, open, total, process.
take_medians() {
    ogr=$(median <"$work/ogr")
    open=$(median <"$work/open")
    total=$(median <"$work/total")
    process=$(median <"$work/process")
}

# The ogr2ogr line and kmlmaker's open + export lines with their ratios to it.
print_export() {
    printf '  ogr2ogr -f KML (process)            %8.1f\n' "$ogr"
    printf '  kmlmaker open + export (process)    %8.1f   ratio %.1fx\n' "$process" \
        "$(echo "$ogr / $process" | bc -l)"
    printf '  kmlmaker open + export (in-process) %8.1f   ratio %.1fx\n' "$total" \
        "$(echo "$ogr / $total" | bc -l)"
}
