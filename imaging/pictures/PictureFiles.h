// Pictures and their files: loading a picture from its file (whole, or as
// far as showing it needs), converting it to another kind, and saving a
// graphic as the kind its file name's extension asks for.
#pragma once

#include <memory>
#include <string>

#include "imaging/pictures/PictureUtilUnit.h"

void LoadPictureFromFile(TPicture& picture, const std::wstring& fileName);
// The same for showing the picture at the size the rule gives: a raster kind
// is decoded only as far as that needs (a JPEG at a reduced scale, a PNG into
// a reduced level without keeping its rows), but all of its data is read, so
// data that cannot be decoded fails here with the decoder's message. The rest
// is decoded when something needs it.
void LoadPictureForDisplay(TPicture& picture, const std::wstring& fileName, const ShownSizeRule& shownSize);
// A graphic for a picture prepared from its file (PreparePicture).
std::unique_ptr<TGraphic> GraphicFromPrepared(const PreparedPicture& prepared);
void ConvertPictureToBitmap(TPicture& picture);
void ConvertPictureToMetafile(TPicture& picture);
void ConvertPicture(TPicture& picture, GraphicKind target);
void SaveGraphicToFile(const TGraphic& graphic, const std::wstring& fileName);
