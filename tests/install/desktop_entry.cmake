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
# A PNG opens with an 8-byte signature and the IHDR chunk: length, type, then width and height as
# big-endian 32-bit words at bytes 16 and 20.
file(READ ${icon_file} head LIMIT 24 HEX)
string(SUBSTRING "${head}" 0 16 signature)
string(SUBSTRING "${head}" 24 8 chunk)
string(SUBSTRING "${head}" 32 16 size)
if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
  message(FATAL_ERROR "${icon_file} is not a PNG file")
endif()
if(NOT size STREQUAL "0000008000000080")
  message(FATAL_ERROR "${icon_file} is not 128 x 128 (IHDR size ${size})")
endif()
