// The Windows side of the newer raster formats (imaging/display/RasterFiles):
// saving a picture as one of them, and the system's own decoders (Windows
// Imaging Component) for the formats this program has none of its own for.
#pragma once

#include <span>
#include <string>

#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pictures/PictureUtilUnit.h"

// Writes the graphic as that type to the file (through a temporary file, as
// every save), or fails before anything is written when the type cannot be
// written ("Saving as a GIF image is not supported"); with what the
// graphic's record keeps (EncodeRecordedPicture).
void SaveAsRasterFile(const TGraphic& graphic, RasterFileType type, const std::wstring& fileName);

// The first frame of the file decoded by the system's decoder for its
// content, as stored, with the orientation its metadata gives
// (System.Photo.Orientation) and its ICC colour profile; "No decoder for HEIC
// images is installed on this computer" when the system has none (type names
// the format in that message).
DecodedImage DecodeWithSystem(std::span<const uint8_t> file, RasterFileType type);

// Hands HEIC, HEIF and JPEG XL files to DecodeWithSystem while it lives.
class SystemDecoderRegistration {
public:
    SystemDecoderRegistration() { SetSystemDecoder(DecodeWithSystem); }
    ~SystemDecoderRegistration() { SetSystemDecoder(nullptr); }
};
