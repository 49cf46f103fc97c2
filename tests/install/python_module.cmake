# Imports the installed Python module in a fresh interpreter, as a user would after pointing
# PYTHONPATH at the prefix's Python folder: it comes from the prefix, reports the tree's version
# and enlarges an image.
#
#   PREFIX      the installed prefix
#   PYTHON_DIR  the module's folder under it
#   PYTHON      the interpreter the module was built for
#   VERSION     the version the module must report
#   WORK_DIR    an empty folder to start the interpreter in, away from the build tree
#   PRELOAD     libraries the interpreter must preload for the module (the sanitizer runtime), or empty
set(TESSERA_REQUIRED_VARIABLES PREFIX PYTHON_DIR PYTHON VERSION WORK_DIR PRELOAD)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REAL_PATH ${PREFIX}/${PYTHON_DIR} folder)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(environment PYTHONPATH=${folder})
if(PRELOAD)
  list(APPEND environment LD_PRELOAD=${PRELOAD} ASAN_OPTIONS=detect_leaks=0)
endif()
set(check [[
import numpy, tessera
print(tessera.__file__)
print(tessera.__version__)
print(tessera.upscale(numpy.zeros((2, 3, 3), numpy.uint8), 3).shape)
]])
# env -i: nothing of the test's own environment reaches the interpreter; -s: no user site folder.
execute_process(COMMAND env -i ${environment} ${PYTHON} -s -c "${check}"
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The installed module cannot be used (${result}):\n${output}\n${errors}")
endif()
string(REGEX REPLACE "\n$" "" output "${output}")
string(REPLACE "\n" ";" lines "${output}")
list(GET lines 0 file)
list(GET lines 1 reported)
list(GET lines 2 shape)
if(NOT file MATCHES "^${folder}/tessera\\.")
  message(FATAL_ERROR "The module was imported from ${file}, not from ${folder}")
endif()
if(NOT reported STREQUAL VERSION)
  message(FATAL_ERROR "tessera.__version__ is '${reported}', not ${VERSION}")
endif()
if(NOT shape STREQUAL "(6, 9, 3)")
  message(FATAL_ERROR "Enlarging a 3 x 2 RGB image by 3 gave shape ${shape}, not (6, 9, 3)")
endif()
