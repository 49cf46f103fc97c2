# Install rules: the editor and the batch command, the scaler library with its public header,
# a CMake package (find_package(TesseraScaler CONFIG) gives Tessera::scaler), a pkg-config file
# (tessera-scaler) and the desktop entry with its icon. Test data stays in the source tree.
#
# Both package files locate the prefix relative to themselves, so an install tree can be moved
# or installed with `cmake --install --prefix` into a prefix other than the configured one.
include(CMakePackageConfigHelpers)

if(TARGET tessera)
  install(TARGETS tessera RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET tessera-scale)
  install(TARGETS tessera-scale RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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
