// Pixels and GDI: rasters drawn onto a surface, graphics drawn into a
// raster, DIB sections for blending, and what the screen reports.
#pragma once

#include <windows.h>

#include "base/Handles.h"
#include "imaging/pixels/Raster.h"

class TGraphic;

// What the screen (the reference device of metafiles) reports; the
// fallbacks stand for a 96-dpi display when there is none.
struct ScreenInfo {
    int horzRes = 1280, vertRes = 1024;   // pixels
    int horzSize = 339, vertSize = 271;   // millimetres
    int logX = 96, logY = 96;             // pixels per inch
    int bits = 32;
};
ScreenInfo ScreenMetrics();

// The screen's bits per pixel.
int ScreenBitsPerPixel();
// Draws the raster's pixels stretched into the rectangle (rows and columns
// dropped or repeated; halftoned onto a surface of 8 bits or fewer that has
// fewer bits than the raster).
void DrawRaster(HDC dc, const RECT& rect, const Raster& raster);
// The graphic drawn stretched into a new white 24-bit raster of width ×
// height (an icon at its natural size in the top-left corner); empty when a
// side is not positive.
Raster DrawOnWhite(const TGraphic& graphic, int width, int height);

// A top-down DIB section of the given bit depth (24 or 32).
BitmapHandle CreateSection(int width, int height, int bits, void*& pixels);
// A 32-bit DIB section with the pixels premultiplied by their alpha, as
// AlphaBlend wants them.
BitmapHandle PremultipliedSection(const Raster& straight);
// Blends a premultiplied 32-bit section stretched into the rectangle; a
// surface that cannot blend (mirrored rectangle, some printers) gets the
// straight-alpha pixels composed over white instead.
void BlendSection(HDC dc, const RECT& rect, HBITMAP premultiplied, const Raster& straight);
