# Fails when a source file of the program includes a header of a layer that
# comes after its own. Run as a test (app/CMakeLists.txt):
#
#   cmake -DAPP_DIR=<app folder> -DLAYERS=controls,nodes,core,windows,shell,shell/link,...,testdriver -P CheckLayers.cmake
#
# A layer is a folder of APP_DIR, tests and benchmarks included; LAYERS lists
# them bottom up. A layer may lie inside another (the shell's rooms inside
# the shell): a file belongs to the innermost layer that holds it. Only
# `#include "..."` lines naming a header of some layer count (by file name:
# header names are unique across the program); Qt, the standard library and
# the node runtime are no layer's.
string(REPLACE "," ";" layers "${LAYERS}")

# Each file's layer: the one with the longest folder among those that hold it.
set(files "")
set(rank 0)
foreach(layer IN LISTS layers)
  string(LENGTH "${layer}" depth)
  file(GLOB_RECURSE found "${APP_DIR}/${layer}/*.h" "${APP_DIR}/${layer}/*.cpp")
  foreach(path IN LISTS found)
    if(NOT DEFINED "depth_of_${path}" OR depth GREATER "${depth_of_${path}}")
      set("depth_of_${path}" ${depth})
      set("rank_of_${path}" ${rank})
      set("layer_of_${path}" ${layer})
    endif()
  endforeach()
  list(APPEND files ${found})
  math(EXPR rank "${rank} + 1")
endforeach()
list(REMOVE_DUPLICATES files)

foreach(path IN LISTS files)
  if(path MATCHES "\\.h$")
    get_filename_component(name "${path}" NAME)
    set("rank_of_${name}" ${rank_of_${path}})
    set("layer_of_${name}" ${layer_of_${path}})
  endif()
endforeach()

set(violations "")
foreach(source IN LISTS files)
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    get_filename_component(name "${included}" NAME)
    if(DEFINED "rank_of_${name}" AND rank_of_${name} GREATER rank_of_${source})
      file(RELATIVE_PATH where "${APP_DIR}" "${source}")
      string(APPEND violations "  ${where} (${layer_of_${source}}) includes ${included} (${layer_of_${name}})\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layer order ${LAYERS}:\n${violations}")
endif()
message(STATUS "Every include of app/ follows the layer order ${LAYERS}")
