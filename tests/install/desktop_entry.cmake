# Checks the installed desktop entry: it validates, it launches the installed editor, and its icon
# is installed under the name it gives, as a 128 x 128 PNG in the hicolor theme.
#
#   PREFIX      the installed prefix
#   BINDIR, DATADIR   the install folders under it
#   VALIDATOR   desktop-file-validate
set(TESSERA_REQUIRED_VARIABLES PREFIX BINDIR DATADIR VALIDATOR)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

set(entry ${PREFIX}/${DATADIR}/applications/tessera.desktop)
if(NOT EXISTS ${entry})
  message(FATAL_ERROR "No desktop entry at ${entry}")
endif()
tessera_run(report ${VALIDATOR} ${entry})
# desktop-file-validate exits 0 on hints and some warnings; any report at all is a fault here.
if(NOT report STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate reports:\n${report}")
endif()

file(STRINGS ${entry} exec REGEX "^Exec=")
file(STRINGS ${entry} icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" exec "${exec}")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
if(NOT EXISTS ${PREFIX}/${BINDIR}/${exec})
  message(FATAL_ERROR "The entry launches '${exec}', which is not installed in ${PREFIX}/${BINDIR}")
endif()

set(icon_file ${PREFIX}/${DATADIR}/icons/hicolor/128x128/apps/${icon}.png)
if(NOT EXISTS ${icon_file})
  message(FATAL_ERROR "The entry names the icon '${icon}', but ${icon_file} is not installed")
endif()
tessera_png_size(size ${icon_file})
if(NOT size STREQUAL "128x128")
  message(FATAL_ERROR "${icon_file} is ${size}, not 128x128")
endif()
