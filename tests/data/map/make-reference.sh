#!/bin/sh
# Writes the map's reference pictures (china.png, shanghai.png) anew with the program's own
# renderer, after a change to the map's drawing has been looked at and found right:
#   tests/data/map/make-reference.sh BUILD-FOLDER
set -e
KMLMAKER_WRITE_REFERENCE=1 QT_QPA_PLATFORM=offscreen "$1/tests/tst_maprenderer" matchesReference
