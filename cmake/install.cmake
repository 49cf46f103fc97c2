# Install rules: the editor and the batch command with their manual pages and the command's bash
# completion, the scaler library with its public header, a CMake package
# (find_package(TesseraScaler CONFIG) gives Tessera::scaler), a pkg-config file (tessera-scaler)
# and the desktop entry with its icon. Test data stays in the source tree. The Debian package is
# made from these rules (package.cmake, included at the end).
#
# Both package files locate the prefix relative to themselves, so an install tree can be moved
# or installed with `cmake --install --prefix` into a prefix other than the configured one.
include(CMakePackageConfigHelpers)

# Manual pages carry the project's version and are installed compressed, as man and Debian expect
# (-n: no name or time stamp inside, so the same page gives the same bytes).
function(tessera_install_man_page name)
  set(page ${PROJECT_BINARY_DIR}/packaging/man/${name}.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/man/${name}.1 ${page} @ONLY)
  execute_process(COMMAND gzip -9 -n -c ${page} OUTPUT_FILE ${page}.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

if(TARGET tessera)
  install(TARGETS tessera RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tessera_install_man_page(tessera)
endif()
if(TARGET tessera-scale)
  install(TARGETS tessera-scale RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tessera_install_man_page(tessera-scale)
  # Where bash-completion looks for a command's completion when it is first completed.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/tessera-scale
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

install(TARGETS scaler EXPORT TesseraScalerTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessera)

set(TESSERA_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TesseraScaler)
install(EXPORT TesseraScalerTargets
  NAMESPACE Tessera::
  DESTINATION ${TESSERA_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TesseraScalerConfig.cmake.in
  ${PROJECT_BINARY_DIR}/packaging/TesseraScalerConfig.cmake
  INSTALL_DESTINATION ${TESSERA_PACKAGE_DIR})
# The scaler's interface has kept its shape within a major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/TesseraScalerConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/packaging/TesseraScalerConfig.cmake
  ${PROJECT_BINARY_DIR}/packaging/TesseraScalerConfigVersion.cmake
  DESTINATION ${TESSERA_PACKAGE_DIR})

# pkg-config expands ${pcfiledir} to the folder the .pc file was found in; the prefix is
# reached from there, whatever prefix the tree was configured with.
set(TESSERA_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${TESSERA_PKGCONFIG_DIR}")
  set(TESSERA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH TESSERA_PC_UP /prefix/${TESSERA_PKGCONFIG_DIR} /prefix)
  string(REGEX REPLACE "/$" "" TESSERA_PC_UP "${TESSERA_PC_UP}")
  set(TESSERA_PC_PREFIX "\${pcfiledir}/${TESSERA_PC_UP}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(TESSERA_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(TESSERA_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessera-scaler.pc.in
  ${PROJECT_BINARY_DIR}/packaging/tessera-scaler.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/tessera-scaler.pc DESTINATION ${TESSERA_PKGCONFIG_DIR})

# The desktop entry launches the editor, so it is only installed with it.
if(TARGET tessera)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessera.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessera-128.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
    RENAME tessera.png)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
