list(APPEND CORE_SOURCES
  imaging/Raster.cpp
  imaging/ImageFormats.cpp
  imaging/JpegCodec.cpp
  imaging/PngCodec.cpp
  imaging/BmpCodec.cpp
  imaging/IconCodec.cpp
  imaging/Resample.cpp
  imaging/MetafileFormat.cpp
  imaging/PrintLayout.cpp
)
list(APPEND WIN_SOURCES
  imaging/PictureUtilUnit.cpp
)
