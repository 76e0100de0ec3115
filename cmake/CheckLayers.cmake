# Fails when a source file of the program includes a header of a layer that
# comes after its own. Run as a test (app/CMakeLists.txt):
#
#   cmake -DAPP_DIR=<app folder> -DLAYERS=controls,nodes,core,windows,shell -P CheckLayers.cmake
#
# A layer is a folder of APP_DIR, tests and benchmarks included; LAYERS lists
# them bottom up. Only `#include "..."` lines naming a header of some layer
# count (by file name: header names are unique across the program); Qt, the
# standard library and the node runtime are no layer's.
string(REPLACE "," ";" layers "${LAYERS}")

set(rank 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE headers "${APP_DIR}/${layer}/*.h")
  foreach(header IN LISTS headers)
    get_filename_component(name "${header}" NAME)
    set("rank_of_${name}" ${rank})
    set("layer_of_${name}" ${layer})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(violations "")
set(rank 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources "${APP_DIR}/${layer}/*.h" "${APP_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
      get_filename_component(name "${included}" NAME)
      if(DEFINED "rank_of_${name}" AND rank_of_${name} GREATER rank)
        file(RELATIVE_PATH where "${APP_DIR}" "${source}")
        string(APPEND violations "  ${where} (${layer}) includes ${included} (${layer_of_${name}})\n")
      endif()
    endforeach()
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layer order ${LAYERS}:\n${violations}")
endif()
message(STATUS "Every include of app/ follows the layer order ${LAYERS}")
