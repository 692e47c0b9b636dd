list(APPEND CORE_SOURCES
  imaging/Raster.cpp
  imaging/ImageFormats.cpp
  imaging/JpegCodec.cpp
  imaging/CmykColour.cpp
  imaging/JpegMetadata.cpp
  imaging/ColourProfile.cpp
  imaging/ColourTransform.cpp
  imaging/LosslessAhead.cpp
  imaging/PngCodec.cpp
  imaging/BmpCodec.cpp
  imaging/IconCodec.cpp
  imaging/Resample.cpp
  imaging/Levels.cpp
  imaging/DisplaySource.cpp
  imaging/DisplayTiles.cpp
  imaging/Transform.cpp
  imaging/MetafileFormat.cpp
  imaging/Animation.cpp
  imaging/GifCodec.cpp
  imaging/GifLzw.cpp
  imaging/WebpCodec.cpp
  imaging/TiffCodec.cpp
  imaging/TiffSamples.cpp
  imaging/AvifContainer.cpp
  imaging/AvifTracks.cpp
  imaging/AvifCodec.cpp
  imaging/YuvToRgb.cpp
  imaging/RasterFiles.cpp
  imaging/PictureRecord.cpp
  imaging/PictureSaves.cpp
)
list(APPEND WIN_SOURCES
  imaging/BitmapGraphic.cpp
  imaging/FileBytes.cpp
  imaging/GdiDrawing.cpp
  imaging/IconGraphic.cpp
  imaging/JpegGraphic.cpp
  imaging/MetafileGraphic.cpp
  imaging/PictureFiles.cpp
  imaging/PictureTransforms.cpp
  imaging/PictureUtilUnit.cpp
  imaging/PngGraphic.cpp
  imaging/RasterFileGraphic.cpp
)

# The pixel loops (resampling, conversions, turns, codecs' row work) are
# compiled for speed in every build: at -O2 GCC leaves them scalar.
set(PIXEL_LOOP_SOURCES
  imaging/Raster.cpp
  imaging/PngCodec.cpp
  imaging/BmpCodec.cpp
  imaging/Resample.cpp
  imaging/Levels.cpp
  imaging/Transform.cpp
  imaging/GifCodec.cpp
  imaging/GifLzw.cpp
  imaging/TiffCodec.cpp
  imaging/TiffSamples.cpp
  imaging/YuvToRgb.cpp
)
set_source_files_properties(${PIXEL_LOOP_SOURCES} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
  PROPERTIES COMPILE_OPTIONS -O3)
