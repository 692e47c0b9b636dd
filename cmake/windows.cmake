# Windows build: everything, statically linked, Unicode; tests run under Wine.
set(PIXAVO_MINGW_PREFIX "" CACHE PATH "prefix of the image libraries cross-built by scripts/setup")
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -Wno-missing-field-initializers)
add_link_options(-static -static-libgcc -static-libstdc++)

# The image libraries, cross-built by scripts/setup into one prefix.
set(mingw_lib /usr/x86_64-w64-mingw32/lib)
set(prefix_lib ${PIXAVO_MINGW_PREFIX}/lib)
function(pixavo_prefix_library name)
  add_library(${name} INTERFACE)
  target_include_directories(${name} INTERFACE ${PIXAVO_MINGW_PREFIX}/include)
  target_link_libraries(${name} INTERFACE ${ARGN})
endfunction()
pixavo_prefix_library(pixavo_zlib ${mingw_lib}/libz.a)
pixavo_prefix_library(pixavo_jpeg ${prefix_lib}/libjpeg.a)
pixavo_prefix_library(pixavo_png ${prefix_lib}/libpng16.a pixavo_zlib)
pixavo_prefix_library(pixavo_gif ${prefix_lib}/libgif.a)
# Decoder and encoder, demux with the animation decoder, mux with the animation encoder.
pixavo_prefix_library(pixavo_webp ${prefix_lib}/libwebpdemux.a ${prefix_lib}/libwebpmux.a ${prefix_lib}/libwebp.a)
pixavo_prefix_library(pixavo_tiff ${prefix_lib}/libtiff.a pixavo_jpeg pixavo_zlib)
pixavo_prefix_library(pixavo_dav1d ${prefix_lib}/libdav1d.a)
pixavo_prefix_library(pixavo_lcms2 ${prefix_lib}/liblcms2.a)
# Its header declares "register" parameters, which C++17 no longer has.
target_compile_definitions(pixavo_lcms2 INTERFACE CMS_NO_REGISTER_KEYWORD=1)
pixavo_transupp_library(pixavo_jpeg ${PIXAVO_TRANSUPP_DIR}/windows)

add_library(pixavo_deps INTERFACE)
target_link_libraries(pixavo_deps INTERFACE pixavo_transupp pixavo_tiff pixavo_webp pixavo_gif pixavo_dav1d
  pixavo_lcms2 pixavo_png pixavo_jpeg pixavo_zlib)

add_library(pixavo_core STATIC ${CORE_SOURCES})
target_include_directories(pixavo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(pixavo_core PUBLIC pixavo_deps)

add_library(pixavo_win STATIC ${WIN_SOURCES})
target_include_directories(pixavo_win PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(pixavo_win PUBLIC pixavo_core
  comctl32 comdlg32 gdi32 user32 shell32 shlwapi ole32 uuid msimg32 winspool advapi32 uxtheme windowscodecs)

add_executable(pixavo WIN32 app/main.cpp res/pixavo.rc)
# The resources take in the manifest made from res/pixavo.manifest.in.
set_source_files_properties(res/pixavo.rc res/tests.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/pixavo.manifest)
target_link_libraries(pixavo PRIVATE pixavo_win)
target_link_options(pixavo PRIVATE -municode)
# The program is shipped lean: its debug sections go to pixavo.debug beside
# it, which debuggers find through the link left in the program.
add_custom_command(TARGET pixavo POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --only-keep-debug pixavo.exe pixavo.debug
  COMMAND ${CMAKE_STRIP} --strip-debug --strip-unneeded pixavo.exe
  COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=pixavo.debug pixavo.exe
  WORKING_DIRECTORY $<TARGET_FILE_DIR:pixavo>
  VERBATIM)

set(GTEST_ROOT /usr/src/googletest)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_ROOT} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
add_executable(pixavo_win_tests ${WIN_TESTS} res/tests.rc)
target_link_libraries(pixavo_win_tests PRIVATE pixavo_win gtest version)
# Every test source prints the program's types, windows and rectangles alike
# in failed checks.
target_compile_options(pixavo_win_tests PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-include ${CMAKE_SOURCE_DIR}/tests/win/Printers.h>)
target_link_options(pixavo_win_tests PRIVATE -municode)
# Some tests read pixavo.exe beside them.
add_dependencies(pixavo_win_tests pixavo)
target_compile_definitions(pixavo_win_tests PRIVATE PIXAVO_TEST_DATA="Z:${CMAKE_SOURCE_DIR}/tests/data")
# Samples made at build time by Debian's own tools.
set(TEST_SAMPLES ${CMAKE_BINARY_DIR}/test-samples)
add_custom_command(OUTPUT ${TEST_SAMPLES}/photo.avif ${TEST_SAMPLES}/photo-sequence.avif
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TEST_SAMPLES}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/win/make_avif.py ${TEST_SAMPLES}/photo.avif
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/make_avif.py)
add_custom_target(pixavo_test_samples DEPENDS ${TEST_SAMPLES}/photo.avif ${TEST_SAMPLES}/photo-sequence.avif)
add_dependencies(pixavo_win_tests pixavo_test_samples)
target_compile_definitions(pixavo_win_tests PRIVATE PIXAVO_TEST_SAMPLES="Z:${TEST_SAMPLES}")
add_test(NAME win_tests COMMAND pixavo_win_tests)

# Test fixture, not part of the program: a Simple MAPI mail client that
# records the messages it is handed (tests/mailclient), with both entries and
# with the ANSI entry alone.
foreach(variant pixavo_test_mail pixavo_test_mail_ansi)
  add_library(${variant} SHARED tests/mailclient/MailClient.cpp)
  set_target_properties(${variant} PROPERTIES PREFIX "" LINK_OPTIONS "-static;-static-libgcc;-static-libstdc++")
  target_include_directories(${variant} PRIVATE ${CMAKE_SOURCE_DIR})
  add_dependencies(pixavo_win_tests ${variant})
endforeach()
target_compile_definitions(pixavo_test_mail_ansi PRIVATE PIXAVO_ANSI_ONLY)

# Test fixture, not part of the program: drags files with OLE and drops them
# at a point of the screen (tests/droptool).
add_executable(pixavo_test_drop tests/droptool/DropTool.cpp)
target_link_libraries(pixavo_test_drop PRIVATE ole32 shell32 uuid)
target_link_options(pixavo_test_drop PRIVATE -municode -static)
add_dependencies(pixavo_win_tests pixavo_test_drop)

# The benchmarks as shipped: the program's compiler, flags and libraries, run
# under Wine (build/windows/pixavo_bench.exe). Google Benchmark is cross-built
# by scripts/setup.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(BENCH_SOURCES AND EXISTS ${PIXAVO_MINGW_PREFIX}/lib/libbenchmark.a)
  add_executable(pixavo_bench ${BENCH_SOURCES})
  target_compile_definitions(pixavo_bench PRIVATE BENCHMARK_STATIC_DEFINE)
  target_link_libraries(pixavo_bench PRIVATE pixavo_core ${PIXAVO_MINGW_PREFIX}/lib/libbenchmark.a shlwapi)
endif()
