#!/usr/bin/env bash
# Any table to KMZ side by side with ogr2ogr writing the same rows to KML: a million rows of nine
# columns (make-bench-table.py), kmlmaker reading degrees-minutes-seconds text with hemispheres
# and writing folders, styles, time stamps and extended data, ogr2ogr reading the same rows with
# decimal coordinates, which is all it reads. The two take turns, run after run, so a busy machine
# slows them alike; each prints the median of its runs, in seconds and in MB at its peak, and
# kmlmaker's peak against the input's size. A kmlmaker run that does not write every row stops it.
#   bench/compare-table.sh [ROWS] [RUNS] [WORK_DIR]   (defaults: 1000000 5 /tmp/kmlmaker-bench)
# Needs a build (./scripts/test, or BUILD_DIR=...), python3 and gdal-bin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rows=${1:-1000000}
runs=${2:-5}
work=${3:-${TMPDIR:-/tmp}/kmlmaker-bench}
mkdir -p "$work"

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

/usr/bin/python3 "$root/bench/make-bench-table.py" "$rows" "$work/table-dms.csv" \
    "$work/table-decimal.csv"

ours=() ourpeak=() ogr=() ogrpeak=()
for ((run = 1; run <= runs; run++)); do
    rm -f "$work/table.kmz" "$work/table-ogr.kml"
    /usr/bin/time -f '%e %M' -o "$work/table.time" \
        "$build/app/kmlmaker" table "$work/table-dms.csv" -o "$work/table.kmz" \
        2>"$work/table.said"
    # A run counts only when every row was written: a fast run that left rows out is no figure.
    if ! grep -q "^kmlmaker: $rows placemarks written" "$work/table.said"; then
        cat "$work/table.said" >&2
        exit 1
    fi
    read -r seconds kb <"$work/table.time"
    ours+=("$seconds") ourpeak+=("$((kb / 1024))")

    /usr/bin/time -f '%e %M' -o "$work/table.time" ogr2ogr -f KML "$work/table-ogr.kml" \
        "$work/table-decimal.csv" -oo X_POSSIBLE_NAMES=longitude -oo Y_POSSIBLE_NAMES=latitude \
        -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4326
    read -r seconds kb <"$work/table.time"
    ogr+=("$seconds") ogrpeak+=("$((kb / 1024))")
done

input=$(($(stat -c %s "$work/table-dms.csv") / 1048576))
echo "input ${input} MB, ${rows} rows, medians of ${runs} runs"
echo "kmlmaker table -> KMZ  $(median "${ours[@]}") s  peak $(median "${ourpeak[@]}") MB"
echo "ogr2ogr -> KML         $(median "${ogr[@]}") s  peak $(median "${ogrpeak[@]}") MB"
awk -v a="$(median "${ogr[@]}")" -v b="$(median "${ours[@]}")" \
    'BEGIN {printf "ogr2ogr / kmlmaker: %.2f\n", a / b}'
awk -v p="$(median "${ourpeak[@]}")" -v i="$(stat -c %s "$work/table-dms.csv")" \
    'BEGIN {printf "kmlmaker peak / input: %.2f\n", p * 1048576 / i}'
