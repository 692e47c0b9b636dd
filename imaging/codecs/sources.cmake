# The formats: their table, and a codec for each that reads (and writes) it.
list(APPEND CORE_SOURCES
  imaging/codecs/ImageFormats.cpp
  imaging/codecs/JpegCodec.cpp
  imaging/codecs/JpegMetadata.cpp
  imaging/codecs/PngCodec.cpp
  imaging/codecs/BmpCodec.cpp
  imaging/codecs/IconCodec.cpp
  imaging/codecs/MetafileFormat.cpp
  imaging/codecs/Animation.cpp
  imaging/codecs/GifCodec.cpp
  imaging/codecs/GifLzw.cpp
  imaging/codecs/WebpCodec.cpp
  imaging/codecs/TiffCodec.cpp
  imaging/codecs/TiffSamples.cpp
  imaging/codecs/AvifContainer.cpp
  imaging/codecs/AvifTracks.cpp
  imaging/codecs/AvifCodec.cpp
  imaging/codecs/RasterCodecs.cpp
)
