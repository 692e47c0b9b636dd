# What is shown: a file decoded as far as its zoom needs, and its tiles.
list(APPEND CORE_SOURCES
  imaging/display/DisplaySource.cpp
  imaging/display/DisplayTiles.cpp
  imaging/display/RasterFiles.cpp
)
