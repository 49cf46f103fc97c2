# Where the page's build finds libdeflate, giflib and libwebp: the WebAssembly builds that
# scripts/web_deps.sh lays in one prefix, given as TESSERA_WEB_DEPS. The rooms' own find calls
# (pkg_check_modules for libdeflate and libwebp, find_package(GIF)) then work unchanged, and
# find nothing of the build machine's own libraries or headers.
set(TESSERA_WEB_DEPS "" CACHE PATH "Prefix of the WebAssembly codec libraries (scripts/web_deps.sh prints it)")
if(NOT EXISTS "${TESSERA_WEB_DEPS}/lib/pkgconfig/libdeflate.pc")
  message(FATAL_ERROR "TESSERA_WEB_DEPS is not a prefix that scripts/web_deps.sh built: '${TESSERA_WEB_DEPS}'")
endif()
# The emscripten toolchain looks for headers, libraries and packages only under its root paths.
list(APPEND CMAKE_FIND_ROOT_PATH ${TESSERA_WEB_DEPS})
# pkg-config reads this prefix's files alone, here and whenever the build configures itself again.
set(ENV{PKG_CONFIG_LIBDIR} ${TESSERA_WEB_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
