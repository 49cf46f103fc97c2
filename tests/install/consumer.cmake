# Builds the example program in consumer/ against an installed prefix, as a separate project of
# someone else's would, runs it and checks what it prints.
#
#   MODE        cmake: through find_package(TesseraScaler CONFIG) and Tessera::scaler;
#               pkgconfig: with the compiler and the flags `pkg-config --cflags --libs` gives
#   PREFIX      the installed prefix
#   LIBDIR      the library folder under it
#   WORK_DIR    the consumer's build folder, emptied first
#   VERSION     the version the installed package must report
#   GENERATOR, CXX, CXX_FLAGS, LINKER_FLAGS, BUILD_TYPE, PKG_CONFIG
#               the installing tree's tools, so that sanitiser builds link alike
set(TESSERA_REQUIRED_VARIABLES MODE PREFIX LIBDIR WORK_DIR VERSION GENERATOR CXX BUILD_TYPE PKG_CONFIG)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

set(source_dir ${CMAKE_CURRENT_LIST_DIR}/consumer)
# The user's code must build cleanly under the project's own warning set.
set(warnings -Wall -Wextra -Wpedantic -Werror)
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
file(REAL_PATH ${PREFIX} prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(MODE STREQUAL "cmake")
  list(JOIN warnings " " warning_flags)
  tessera_run(ignored ${CMAKE_COMMAND} -S ${source_dir} -B ${WORK_DIR} -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} ${warning_flags}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
    -DCMAKE_PREFIX_PATH=${prefix}
    -DTESSERA_VERSION=${VERSION})
  # A package left in a system prefix by an earlier install must not stand in for this one.
  file(STRINGS ${WORK_DIR}/CMakeCache.txt package_dir REGEX "^TesseraScaler_DIR:")
  string(REGEX REPLACE "^[^=]*=" "" package_dir "${package_dir}")
  if(NOT package_dir STREQUAL "${prefix}/${LIBDIR}/cmake/TesseraScaler")
    message(FATAL_ERROR "find_package took the package from '${package_dir}', not from ${prefix}")
  endif()
  tessera_run(ignored ${CMAKE_COMMAND} --build ${WORK_DIR} --config ${BUILD_TYPE})
elseif(MODE STREQUAL "pkgconfig")
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  tessera_run(package_version ${PKG_CONFIG} --modversion tessera-scaler)
  string(STRIP "${package_version}" package_version)
  if(NOT package_version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config reports version '${package_version}', the tree is ${VERSION}")
  endif()
  # The .pc file finds its prefix from where it lies, not from where the tree meant to install.
  tessera_run(package_prefix ${PKG_CONFIG} --variable=prefix tessera-scaler)
  string(STRIP "${package_prefix}" package_prefix)
  file(REAL_PATH ${package_prefix} package_prefix)
  if(NOT package_prefix STREQUAL prefix)
    message(FATAL_ERROR "pkg-config gives the prefix '${package_prefix}', the package is in ${prefix}")
  endif()
  tessera_run(cflags ${PKG_CONFIG} --cflags tessera-scaler)
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  tessera_run(flags ${PKG_CONFIG} --cflags --libs tessera-scaler)
  separate_arguments(flags UNIX_COMMAND "${flags}")

  # The public header on its own, first and only, in a translation unit: it must need nothing else.
  file(WRITE ${WORK_DIR}/header_alone.cpp "#include <tessera/scaler.h>\n")
  tessera_run(ignored ${CXX} ${cxx_flags} ${warnings} -c ${WORK_DIR}/header_alone.cpp ${cflags}
    -o ${WORK_DIR}/header_alone.o)
  tessera_run(ignored ${CXX} ${cxx_flags} ${warnings} ${source_dir}/main.cpp ${flags} ${linker_flags}
    -o ${WORK_DIR}/enlarge)
else()
  message(FATAL_ERROR "MODE must be cmake or pkgconfig, not '${MODE}'")
endif()

file(GLOB_RECURSE program LIST_DIRECTORIES false ${WORK_DIR}/enlarge)
if(NOT program)
  message(FATAL_ERROR "No program 'enlarge' was built in ${WORK_DIR}")
endif()
tessera_run(output ${program})
# A 3 x 2 picture of one colour enlarged by 4: 96 target pixels, each a copy of the colour.
set(expected "96 of 96 pixels are copies\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The example printed '${output}', expected '${expected}'")
endif()
