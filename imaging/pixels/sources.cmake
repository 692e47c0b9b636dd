# Pixel work: rasters, turns, resampling, reduced levels, Y'CbCr to RGB.
list(APPEND CORE_SOURCES
  imaging/pixels/Raster.cpp
  imaging/pixels/Resample.cpp
  imaging/pixels/Levels.cpp
  imaging/pixels/Transform.cpp
  imaging/pixels/YuvToRgb.cpp
)
