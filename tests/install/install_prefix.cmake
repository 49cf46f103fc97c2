# Installs the build tree into a fresh prefix and checks that exactly the expected files are there:
# every expected file once, and nothing else (the test data and its notices stay in the source tree).
#
#   BUILD_DIR   the build tree to install
#   CONFIG      the configuration to install
#   PREFIX      the prefix, emptied first
#   EXPECTED    a file listing one regular expression per line, matched against paths under PREFIX
set(TESSERA_REQUIRED_VARIABLES BUILD_DIR CONFIG PREFIX EXPECTED)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REMOVE_RECURSE ${PREFIX})
tessera_run(ignored ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --config ${CONFIG})

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
file(STRINGS ${EXPECTED} patterns)
set(faults "")
foreach(pattern IN LISTS patterns)
  set(matches "")
  foreach(path IN LISTS installed)
    if(path MATCHES "^${pattern}$")
      list(APPEND matches ${path})
    endif()
  endforeach()
  list(LENGTH matches count)
  if(NOT count EQUAL 1)
    string(APPEND faults "  ${pattern}: ${count} files (${matches})\n")
  endif()
  list(REMOVE_ITEM installed ${matches})
endforeach()
foreach(path IN LISTS installed)
  string(APPEND faults "  unexpected: ${path}\n")
endforeach()
if(faults)
  message(FATAL_ERROR "The installed files are not the expected ones:\n${faults}")
endif()
