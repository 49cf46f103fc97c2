# The scaler built for WebAssembly and run under Node, outside the page: its tests (tests/scaler),
# so that every build of the pass the module carries, with and without SIMD, is checked against
# the reference scaler and the block patterns as the native builds are; and its timing on the
# sprite sheet (bench/pass_speed.sh). Neither is part of the page's build: web/tests/run.sh builds
# the tests and runs them through ctest. Both read the sprites from the source tree through Node's
# own file system.
set(node_program_options -sNODERAWFS=1 -sENVIRONMENT=node -sSINGLE_FILE=1 -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=2GB)

add_library(bench_images STATIC EXCLUDE_FROM_ALL ${tessera_root}/bench/source_image.cpp)
target_include_directories(bench_images SYSTEM PRIVATE ${TESSERA_STB_INCLUDE_DIR})
target_link_libraries(bench_images PUBLIC scaler PRIVATE tessera_warnings)
add_executable(pass_speed EXCLUDE_FROM_ALL ${tessera_root}/bench/pass_speed.cpp)
target_include_directories(pass_speed PRIVATE ${tessera_root}/scaler/src)
target_link_libraries(pass_speed PRIVATE bench_images tessera_warnings)
target_link_options(pass_speed PRIVATE ${node_program_options})

# GoogleTest from Debian's googletest sources, built here for WebAssembly.
set(TESSERA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "Debian's googletest sources")
if(NOT EXISTS ${TESSERA_GOOGLETEST_SOURCE}/CMakeLists.txt)
  return()
endif()
enable_testing()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Single-threaded, as the pass runs in one worker.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${TESSERA_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)

set(TESSERA_TEST_DATA ${tessera_root}/tests/data/pixelart)
add_subdirectory(${tessera_root}/tests/scaler tests/scaler EXCLUDE_FROM_ALL)
target_link_options(scaler_tests PRIVATE ${node_program_options})
# One Node process for the whole suite (about ten seconds).
add_test(NAME scaler_tests_wasm COMMAND node $<TARGET_FILE:scaler_tests>)
set_tests_properties(scaler_tests_wasm PROPERTIES TIMEOUT 600)
