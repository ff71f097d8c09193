# The layer check: cmake -DROOT=<source root> -DFILES=<file|file|...> [-DSTAMP=<file>] -P
# layercheck.cmake. Fails, naming file, line and the layer it may not reach, when a file's
# #include "..." runs up a layer or across to a sibling (layers.cmake holds the table); touches
# STAMP when every include is allowed. The build runs it over each library's files.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED LAYERS_TABLE)
    set(LAYERS_TABLE ${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
endif()
include(${LAYERS_TABLE})

# The layer of a path from the source root; empty when it is of none.
function(layer_of path out)
    set(layer "")
    set(list ${KML_LAYERS})
    while(list)
        list(POP_FRONT list name pattern)
        if(path MATCHES "${pattern}")
            set(layer ${name})
            break()
        endif()
    endwhile()
    set(${out} ${layer} PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" files "${FILES}")
set(faults "")
foreach(file IN LISTS files)
    cmake_path(RELATIVE_PATH file BASE_DIRECTORY ${ROOT} OUTPUT_VARIABLE relative)
    layer_of(${relative} layer)
    if(NOT layer)
        continue()
    endif()
    cmake_path(GET relative PARENT_PATH folder)
    file(STRINGS ${file} lines)
    set(number 0)
    foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
            continue()
        endif()
        set(written ${CMAKE_MATCH_1})
        set(included ${written})
        # "name.h" is the including file's own folder's.
        if(NOT included MATCHES "/")
            set(included ${folder}/${included})
        endif()
        layer_of(${included} target)
        if(target AND NOT target IN_LIST KML_MAY_INCLUDE_${layer})
            string(JOIN " " allowed ${KML_MAY_INCLUDE_${layer}})
            string(APPEND faults "\n  ${relative}:${number}: includes \"${written}\" of the "
                   "layer ${target}, which the layer ${layer} may not include (it may include: "
                   "${allowed})")
        endif()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "An include runs against the layers (cmake/layers.cmake):${faults}")
endif()
if(STAMP)
    file(TOUCH ${STAMP})
endif()
