list(APPEND CORE_SOURCES
  imaging/Raster.cpp
  imaging/ImageFormats.cpp
  imaging/JpegCodec.cpp
  imaging/JpegMetadata.cpp
  imaging/PngCodec.cpp
  imaging/BmpCodec.cpp
  imaging/IconCodec.cpp
  imaging/Resample.cpp
  imaging/Transform.cpp
  imaging/MetafileFormat.cpp
  imaging/PrintLayout.cpp
)
list(APPEND WIN_SOURCES
  imaging/PictureUtilUnit.cpp
  imaging/PictureTransforms.cpp
)
