# Host build: the portable core with its tests (sanitized), fuzz targets and benchmarks.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)
find_package(TIFF REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebpdemux libwebpmux libwebp)
pkg_check_modules(DAV1D REQUIRED IMPORTED_TARGET dav1d)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)

set(PIXAVO_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
set(PIXAVO_WARNINGS -Wall -Wextra -Wno-unused-parameter)

# The image libraries: Debian's own builds, the targets the Windows build has.
function(pixavo_host_library name)
  add_library(${name} INTERFACE)
  target_link_libraries(${name} INTERFACE ${ARGN})
endfunction()
pixavo_host_library(pixavo_jpeg JPEG::JPEG)
pixavo_host_library(pixavo_png PNG::PNG)
pixavo_host_library(pixavo_gif GIF::GIF)
pixavo_host_library(pixavo_webp PkgConfig::WEBP)
pixavo_host_library(pixavo_tiff TIFF::TIFF)
pixavo_host_library(pixavo_dav1d PkgConfig::DAV1D)
pixavo_host_library(pixavo_lcms2 PkgConfig::LCMS2)
# Its header declares "register" parameters, which C++17 no longer has.
target_compile_definitions(pixavo_lcms2 INTERFACE CMS_NO_REGISTER_KEYWORD=1)
pixavo_transupp_library(pixavo_jpeg ${PIXAVO_TRANSUPP_DIR}/host)
add_library(pixavo_deps INTERFACE)
target_link_libraries(pixavo_deps INTERFACE pixavo_transupp pixavo_tiff pixavo_webp pixavo_gif pixavo_dav1d
  pixavo_lcms2 pixavo_png pixavo_jpeg)

function(pixavo_core_library name)
  add_library(${name} STATIC ${CORE_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC pixavo_deps)
  target_compile_options(${name} PRIVATE ${PIXAVO_WARNINGS})
endfunction()

# Sanitized core for tests, plain optimised core for benchmarks.
pixavo_core_library(pixavo_core)
target_compile_options(pixavo_core PUBLIC ${PIXAVO_SANITIZE})
target_link_options(pixavo_core PUBLIC ${PIXAVO_SANITIZE})
pixavo_core_library(pixavo_core_fast)
target_compile_options(pixavo_core_fast PRIVATE -O2)

file(GLOB HOST_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
add_executable(pixavo_host_tests ${HOST_TESTS})
target_link_libraries(pixavo_host_tests PRIVATE pixavo_core GTest::gtest GTest::gtest_main)
# Every test source prints the program's types alike in failed checks.
target_compile_options(pixavo_host_tests PRIVATE -include ${CMAKE_SOURCE_DIR}/tests/Printers.h)
target_compile_definitions(pixavo_host_tests PRIVATE
  PIXAVO_JPEG_SRC="${PIXAVO_JPEG_SRC}" PIXAVO_PNG_SRC="${PIXAVO_PNG_SRC}"
  PIXAVO_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
add_test(NAME host_tests COMMAND pixavo_host_tests)

# libFuzzer targets (clang only): one per decoder, fuzz/<name>.cpp.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The core again, with coverage instrumentation for the fuzzer to see inside.
  pixavo_core_library(pixavo_core_fuzz)
  target_compile_options(pixavo_core_fuzz PUBLIC ${PIXAVO_SANITIZE} PRIVATE -fsanitize=fuzzer-no-link)
  target_link_options(pixavo_core_fuzz PUBLIC ${PIXAVO_SANITIZE})
  file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(src ${FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE pixavo_core_fuzz)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

if(benchmark_FOUND)
  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  if(BENCH_SOURCES)
    add_executable(pixavo_bench ${BENCH_SOURCES})
    target_link_libraries(pixavo_bench PRIVATE pixavo_core_fast benchmark::benchmark)
    target_compile_options(pixavo_bench PRIVATE -O2)
  endif()
endif()

# Reading ahead's rules, the save's preparation ahead and their tests alone
# under ThreadSanitizer: they are the parts of the core that run on two threads.
add_executable(pixavo_read_ahead_tsan
  ${CMAKE_SOURCE_DIR}/rules/ReadAhead.cpp
  ${CMAKE_SOURCE_DIR}/imaging/pictures/LosslessAhead.cpp
  ${CMAKE_SOURCE_DIR}/base/Cancellation.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/read_ahead_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/lossless_ahead_test.cpp)
target_include_directories(pixavo_read_ahead_tsan PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(pixavo_read_ahead_tsan PRIVATE -fsanitize=thread -g ${PIXAVO_WARNINGS})
target_link_options(pixavo_read_ahead_tsan PRIVATE -fsanitize=thread)
target_link_libraries(pixavo_read_ahead_tsan PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
