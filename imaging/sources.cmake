list(APPEND CORE_SOURCES
  imaging/Raster.cpp
  imaging/ImageFormats.cpp
)
list(APPEND WIN_SOURCES
)
