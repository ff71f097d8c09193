#!/usr/bin/env bash
# The text-list save of a long list side by side with ogr2ogr writing the same points as KML from
# CSV, and with the physical limit (the same bytes built in one buffer and written with one
# call); then the save in each file format (UTF-16 KML, UTF-8 KML, KMZ); then the window's load
# and save of that list.
#   bench/compare-textlist.sh [LINES] [RUNS] [WORK_DIR]   (defaults: 1000000 5 /tmp/kmlmaker-bench)
# Needs a build (./scripts/test, or BUILD_DIR=...) and gdal-bin. The three savers take turns,
# run after run, so a busy machine slows them alike; each prints the median of its runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
lines=${1:-1000000}
runs=${2:-5}
work=${3:-${TMPDIR:-/tmp}/kmlmaker-bench}
bench=$build/bench/bench_textlist
mkdir -p "$work"

# The value of key=value in a RESULT line.
field() { tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p"; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

"$bench" generate "$work" "$lines"

decode=() save=() build_=() write=() limit=() ogr=() peak=() ogrpeak=() kml=0
for ((run = 1; run <= runs; run++)); do
    r=$("$bench" steps "$work" 1 | grep '^RESULT')
    decode+=("$(field decode "$r")") build_+=("$(field build "$r")")
    write+=("$(field write "$r")") save+=("$(field save "$r")") peak+=("$(field peak "$r")")
    kml=$(field kml "$r")

    r=$("$bench" limit "$work" 1 | grep '^RESULT')
    limit+=("$(field save "$r")")

    rm -f "$work/ogr.kml"
    sync
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/ogr.time" ogr2ogr -f KML "$work/ogr.kml" "$work/points.csv" \
        -oo X_POSSIBLE_NAMES=longitude -oo Y_POSSIBLE_NAMES=latitude -oo KEEP_GEOM_COLUMNS=NO \
        -a_srs EPSG:4326
    end=$(date +%s%N)
    ogr+=("$(awk -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", (e - s) / 1e6}')")
    ogrpeak+=("$(awk '{printf "%.1f", $1 / 1024}' "$work/ogr.time")")
    echo "run $run: kmlmaker ${save[-1]} ms, limit ${limit[-1]} ms, ogr2ogr ${ogr[-1]} ms"
done

s=$(median "${save[@]}")
l=$(median "${limit[@]}")
o=$(median "${ogr[@]}")
p=$(printf '%s\n' "${peak[@]}" | sort -g | tail -1)
echo
echo "Medians of $runs runs, $lines lines, KML of $kml MiB:"
echo "  decoding the file into the list   $(median "${decode[@]}") ms"
echo "  cutting and building the document $(median "${build_[@]}") ms"
echo "  writing the file                  $(median "${write[@]}") ms"
echo "  building and saving               $s ms"
echo "  physical limit                    $l ms"
echo "  ogr2ogr -f KML from CSV           $o ms (peak $(median "${ogrpeak[@]}") MiB)"
echo "  ogr2ogr / kmlmaker                $(ratio "$o" "$s") (target at least 6)"
echo "  kmlmaker / physical limit         $(ratio "$s" "$l") (target at most 2)"
echo "  peak memory                       $p MiB, $(ratio "$p" "$kml") x the KML (target below 3)"
echo
echo "The save in each file format, taking turns:"
r=$("$bench" formats "$work" "$runs" | tee /dev/stderr | grep '^RESULT')
echo "  UTF-8 / UTF-16                    $(field utf8ratio "$r") (target at most 1)"
echo "  KMZ / UTF-16                      $(field kmzratio "$r") (target at most 2)"
echo "  writing alone: UTF-16 $(field utf16write "$r") ms, UTF-8 $(field utf8write "$r") ms," \
    "KMZ $(field kmzwrite "$r") ms (building is the same for all three)"

echo
echo "Through the window (Memo3, offscreen unless a display is set):"
"$build/bench/bench_window" "$work" "$runs" 2>/dev/null
