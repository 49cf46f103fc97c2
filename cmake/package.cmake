# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build tree
# configured with the prefix /usr (the `package` preset) gives tessera_VERSION_ARCH.deb with the
# editor, the command, the library with its CMake and pkg-config files, the Python module, the
# desktop entry, the manual pages and the bash completion. Dependencies on shared libraries are
# found by dpkg-shlibdeps from the binaries.
#
# Debian's own documents (the copyright file and the changelog a native package carries) are a
# separate install component, left out of a plain `cmake --install` and added to the package only.
set(TESSERA_PACKAGE_MAINTAINER "Tessera maintainers <maintainers@users.noreply.c-seed-4612c04f.example>"
  CACHE STRING "The Maintainer field of the Debian package")

# The changelog is dated when the tree is configured, or by SOURCE_DATE_EPOCH for a reproducible
# package; gzip -n keeps name and time stamp out of the compressed file.
string(TIMESTAMP TESSERA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${PROJECT_BINARY_DIR}/packaging/debian/changelog)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${changelog} @ONLY)
execute_process(COMMAND gzip -9 -n -c ${changelog} OUTPUT_FILE ${changelog}.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${changelog}.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessera
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessera)
set(CPACK_PACKAGE_VENDOR "The Tessera developers")
set(CPACK_PACKAGE_CONTACT "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pixel-art painter and edge-directed pixel-art scaler")
# Debian wants the lines of the long description under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Tessera is a small pixel-art painter that shows its canvas enlarged by
2, 3, 4 or 5 with an edge-directed scaler: diagonals and curves come out
as smooth lines, hard pixel edges are kept everywhere else.

The package also holds tessera-scale, a batch command that enlarges
sprites, sprite sheets and animations (PNG, GIF, WebP and more) the same
way; the scaler as a static C++ library with its header, CMake and
pkg-config files; and the tessera Python module for numpy arrays and
Pillow images.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/package)
# Everything installed by default, then the Debian documents.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TARGET tessera_python)
  # The module is built for one Python version (MAJOR.MINOR); numpy carries its arrays, Pillow
  # its images.
  get_target_property(python_version tessera_python TESSERA_PYTHON_VERSION)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" python_version "${python_version}")
  math(EXPR python_next_minor "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${python_version}~), python3 (<< ${CMAKE_MATCH_1}.${python_next_minor})")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pil")
endif()
include(CPack)
