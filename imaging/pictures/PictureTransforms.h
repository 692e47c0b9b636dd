// Turning, flipping and resizing whole graphics: every kind becomes a raster.
#pragma once

#include <memory>

#include "imaging/pictures/BitmapGraphic.h"
#include "imaging/pixels/Transform.h"

// A new 24-bit raster: the graphic at its natural size on white (transparent
// and undrawn parts white; a raster's own transparency is kept, in 32 bits),
// turned or flipped, with the graphic's record after the turn (its metadata
// made to fit: orientation 1, new size). The graphic is not changed.
std::unique_ptr<TBitmapGraphic> TransformGraphic(const TGraphic& graphic, TransformMode mode);
// A new raster of exactly width × height: rasters and JPEG images stretched
// by dropping or repeating rows and columns, PNG images and metafiles by
// their own stretched drawing onto white, icons drawn on white at natural
// size first (a raster's transparency kept); the graphic's record follows
// with the resize. A side of 0 (or less) fails with "Invalid Image Size
// Constraints". The graphic is not changed.
std::unique_ptr<TBitmapGraphic> ResizeGraphic(const TGraphic& graphic, int width, int height);
