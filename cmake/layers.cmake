# The layers of the code and which may include which: the table the layer check
# (layercheck.cmake) holds every library's files to. A file's layer is the first whose pattern
# its path from the source root matches; a file of no layer (a generated one) is not checked.
# Layers run one way, app -> sources -> the registry -> the formats -> the workbook's own
# parts -> common; a layer lists itself and what its files include directly.

set(KML_LAYERS
    # The registry, the one unit that names the formats, and the write-back's file-level steps
    # live beside the neutral model in workbook/ yet in layers of their own.
    registry "^workbook/formatregistry\\.(h|cpp)$"
    rewrite  "^workbook/(workbookrewrite|zippackagewriter|readbackcheck)\\.(h|cpp)$"
    xls      "^workbook/xls/"
    xlsx     "^workbook/xlsx/"
    ods      "^workbook/ods/"
    csv      "^workbook/csv/"
    xml      "^workbook/xml/"
    workbook "^workbook/"
    zip      "^common/zip/"
    common   "^common/"
    coords   "^coords/"
    kml      "^kml/"
    sources  "^sources/"
    table    "^table/"
    map      "^map/"
    cli      "^cli/"
    app      "^app/"
    # Built on the rest, included by none of it.
    tests    "^tests/"
    fuzz     "^fuzz/"
    bench    "^bench/"
)

set(KML_MAY_INCLUDE_common   common)
set(KML_MAY_INCLUDE_coords   coords common)
set(KML_MAY_INCLUDE_kml      kml zip common)
set(KML_MAY_INCLUDE_zip      zip common)
# The neutral model: sheets, changes, field texts, the format interface and the messages every
# format gives.
set(KML_MAY_INCLUDE_workbook workbook common)
set(KML_MAY_INCLUDE_xml      xml common)
set(KML_MAY_INCLUDE_rewrite  rewrite workbook zip xml common)
# A format sees the neutral model, the write-back's steps and the zip and XML layers, never
# another format nor the registry.
set(KML_MAY_INCLUDE_xls      xls rewrite workbook zip xml common)
set(KML_MAY_INCLUDE_xlsx     xlsx rewrite workbook zip xml common)
set(KML_MAY_INCLUDE_ods      ods rewrite workbook zip xml common)
set(KML_MAY_INCLUDE_csv      csv rewrite workbook common)
set(KML_MAY_INCLUDE_registry registry xls xlsx ods csv workbook common)
# The dataset and the window reach the formats only through the registry and the interface.
set(KML_MAY_INCLUDE_sources  sources registry workbook kml coords common)
# The table engine reads any workbook through the registry and writes through the KML layer.
set(KML_MAY_INCLUDE_table    table registry workbook kml zip common)
# The map preview's drawing reads a table as the KML is written, without widgets.
set(KML_MAY_INCLUDE_map      map table workbook kml common)
set(KML_MAY_INCLUDE_cli      cli table sources registry workbook kml common)
# The table page reads tables through the table engine and the registry's sheet model; the map
# preview draws them.
set(KML_MAY_INCLUDE_app      app cli sources map table registry workbook kml coords common)
