# Runs the installed batch command: it reports the tree's version, and it enlarges a PNG file into
# one of the size the factor gives.
#
#   PREFIX, BINDIR   the installed prefix and the program folder under it
#   VERSION     the version the command must report
#   INPUT       a PNG file to enlarge
#   WORK_DIR    a folder for the output, emptied first
set(TESSERA_REQUIRED_VARIABLES PREFIX BINDIR VERSION INPUT WORK_DIR)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

set(command ${PREFIX}/${BINDIR}/tessera-scale)
tessera_run(reported ${command} --version)
string(FIND "${reported}" "${VERSION}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "'tessera-scale --version' printed '${reported}', without the version ${VERSION}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
tessera_run(ignored ${command} --quiet --factor 3 --output ${WORK_DIR}/enlarged.png ${INPUT})
tessera_png_size(input_size ${INPUT})
tessera_png_size(output_size ${WORK_DIR}/enlarged.png)
string(REPLACE "x" ";" input_size "${input_size}")
list(GET input_size 0 width)
list(GET input_size 1 height)
math(EXPR width "${width} * 3")
math(EXPR height "${height} * 3")
if(NOT output_size STREQUAL "${width}x${height}")
  message(FATAL_ERROR "Enlarging ${INPUT} by 3 gave ${output_size}, not ${width}x${height}")
endif()
