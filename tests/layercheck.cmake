# The layer check's own test: cmake -DCHECK=<cmake/layercheck.cmake> -DWORK=<folder> -P
# layercheck.cmake. Each case writes a tiny tree of one file into WORK, runs the check over it
# and compares its verdict: passes, or fails naming the file, the line and the layer.
cmake_minimum_required(VERSION 3.25)

# name | file | its lines, "~" between two | the message expected, empty when it passes
set(cases
    "format includes the registry|workbook/xls/bad.cpp|// a format~#include \"workbook/formatregistry.h\"|workbook/xls/bad.cpp:2: includes \"workbook/formatregistry.h\" of the layer registry, which the layer xls may not include"
    "format includes another format|workbook/ods/bad.h|#pragma once~~#include \"workbook/xlsx/xlsxreader.h\"|workbook/ods/bad.h:3: includes \"workbook/xlsx/xlsxreader.h\" of the layer xlsx, which the layer ods may not include"
    "bare name of its own folder, then the window|common/bad.h|#include \"savebackup.h\"~#  include \"app/unit1.h\"|common/bad.h:2: includes \"app/unit1.h\" of the layer app, which the layer common may not include"
    "neutral model includes a format|workbook/sheetdata.cpp|#include \"workbook/ods/odsreader.h\"|workbook/sheetdata.cpp:1: includes \"workbook/ods/odsreader.h\" of the layer ods, which the layer workbook may not include"
    "dataset includes a format|sources/bad.cpp|#include \"workbook/xls/xlsformat.h\"|sources/bad.cpp:1: includes \"workbook/xls/xlsformat.h\" of the layer xls, which the layer sources may not include"
    "downward includes pass|sources/good.cpp|#include \"sources/good.h\"~#include \"workbook/formatregistry.h\"~#include \"kml/kmlbuffer.h\"~#include <QString>~#include \"good.moc\"|"
    "registry names the formats|workbook/formatregistry.cpp|#include \"workbook/xls/xlsformat.h\"~#include \"workbook/ods/odsformat.h\"|"
)

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 1 file)
    list(GET fields 2 text)
    list(GET fields 3 expected)
    string(REPLACE "~" "\n" text "${text}")
    math(EXPR index "${index} + 1")
    set(root ${WORK}/case${index})
    file(REMOVE_RECURSE ${root})
    file(WRITE ${root}/${file} "${text}\n")
    set(stamp ${root}/stamp)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DFILES=${root}/${file} -DSTAMP=${stamp} -P ${CHECK}
        RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_VARIABLE output)
    string(REGEX REPLACE "[ \n]+" " " flat "${output}")
    if(expected STREQUAL "")
        if(NOT result EQUAL 0 OR NOT EXISTS ${stamp})
            string(APPEND failures "\n${name}: refused: ${flat}")
        endif()
    else()
        string(FIND "${flat}" "${expected}" at)
        if(result EQUAL 0 OR at EQUAL -1 OR EXISTS ${stamp})
            string(APPEND failures "\n${name}: expected \"${expected}\", got: ${flat}")
        endif()
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "The layer check:${failures}")
endif()
