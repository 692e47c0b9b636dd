# Pictures: the graphic kinds, what a picture was read with, saves, GDI drawing.
list(APPEND CORE_SOURCES
  imaging/pictures/LosslessAhead.cpp
  imaging/pictures/PictureRecord.cpp
  imaging/pictures/PictureSaves.cpp
)
list(APPEND WIN_SOURCES
  imaging/pictures/BitmapGraphic.cpp
  imaging/pictures/FileBytes.cpp
  imaging/pictures/GdiDrawing.cpp
  imaging/pictures/IconGraphic.cpp
  imaging/pictures/JpegGraphic.cpp
  imaging/pictures/MetafileGraphic.cpp
  imaging/pictures/PictureFiles.cpp
  imaging/pictures/PictureTransforms.cpp
  imaging/pictures/PictureUtilUnit.cpp
  imaging/pictures/PngGraphic.cpp
  imaging/pictures/RasterFileGraphic.cpp
)
