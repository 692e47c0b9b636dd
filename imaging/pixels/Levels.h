// Reduced levels of a picture, for showing it well below its natural size:
// level k is the picture shrunk by 2^k on each side (rounded up), each pixel
// the mean of the 2^k × 2^k block of pixels it stands for (the blocks of the
// last row and column may be cut short). Level 0 is the picture itself.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixels/Raster.h"

// Levels deeper than this are never made: at 2^12 a block stands for 16
// million pixels, more than the sums below may hold.
constexpr int kMaxLevel = 12;

// A side of level k: side / 2^k rounded up.
int LevelSide(int side, int level);

// The deepest level that still has at least shownWidth × shownHeight pixels
// (0 when the picture is shown at its natural size or larger).
int LevelFor(int width, int height, int shownWidth, int shownHeight);

// Makes a level from the picture's rows, given one after the other from the
// top, so a decoder can feed it without ever holding the whole picture. Rows
// are 24-bit (blue, green, red) or 32-bit with straight alpha or none. The
// level is 24-bit without alpha; with alpha it is 32-bit with its colours
// premultiplied (the block's colours weighed by their alpha), so it can be
// composed over any background as the picture would be.
class LevelMaker {
public:
    LevelMaker(int width, int height, int level, PixelFormat rowFormat, AlphaMode alpha);
    void AddRow(const uint8_t* row);
    // The level, once every row has been added (an empty raster before).
    Raster Finish();
    int RowsAdded() const { return rowsAdded_; }

private:
    void EmitRow();

    int width_, height_, level_, channels_;
    bool alpha_;
    int rowsAdded_ = 0, rowsInBlock_ = 0, outRow_ = 0;
    std::vector<uint32_t> sums_;
    Raster out_;
};

// Level k of a raster of any format (indexed and 15/16-bit pixels through
// their colours). Level 0 is the raster itself.
Raster MakeLevel(const Raster& source, int level);
