#!/bin/sh
# Writes the UTF-8 form of the UTF-16 golden KML files, NAME.kml to NAME-utf8.kml: the XML
# declaration naming UTF-8 and CR LF, then the same text converted by iconv, which drops the
# byte-order mark. The UTF-16 files stay the reference; these follow from them.
set -e
cd "$(dirname "$0")"
for name in folder-empty folder-three single-notice textlist-input textlist-sample workbook-kinds; do
    {
        printf '<?xml version="1.0" encoding="UTF-8"?>\r\n'
        iconv -f UTF-16 -t UTF-8 "$name.kml"
    } >"$name-utf8.kml"
done
