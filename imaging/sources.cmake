# imaging/ is in rooms, each of which may include its own and those before it:
#   pixels → colour → codecs → display → pictures
# (scripts/check_layers checks it).
foreach(room pixels colour codecs display pictures)
  include(${CMAKE_CURRENT_LIST_DIR}/${room}/sources.cmake)
endforeach()

# The pixel loops (resampling, conversions, turns, codecs' row work) are
# compiled for speed in every build: at -O2 GCC leaves them scalar.
set(PIXEL_LOOP_SOURCES
  imaging/pixels/Raster.cpp
  imaging/codecs/PngCodec.cpp
  imaging/codecs/BmpCodec.cpp
  imaging/pixels/Resample.cpp
  imaging/pixels/Levels.cpp
  imaging/pixels/Transform.cpp
  imaging/codecs/GifCodec.cpp
  imaging/codecs/GifLzw.cpp
  imaging/codecs/TiffCodec.cpp
  imaging/codecs/TiffSamples.cpp
  imaging/pixels/YuvToRgb.cpp
)
set_source_files_properties(${PIXEL_LOOP_SOURCES} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
  PROPERTIES COMPILE_OPTIONS -O3)
