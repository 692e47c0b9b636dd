// A picture read from a raster file (imaging/codecs/RasterCodecs), as the
// display reads it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "imaging/codecs/RasterCodecs.h"
#include "imaging/display/DisplaySource.h"

// A picture read from such a file, with what its file said beside its pixels.
class RasterFileSource : public RasterSource {
public:
    explicit RasterFileSource(RasterFile file);
    // The file's picture made ready to be shown from the level levelFor
    // gives for its size. A still, opaque WebP shown reduced keeps its file
    // and that level, decoded straight at the level's size, until its pixels
    // are needed (the file is then let go); anything else is decoded whole.
    // Fails as DecodeRasterFile.
    static std::shared_ptr<const RasterFileSource> ShownFrom(std::vector<uint8_t> bytes,
                                                             const std::function<int(int, int)>& levelFor);
    const RasterFile& File() const { return file_; }
    size_t MemoryUse() const override;

protected:
    Raster DecodePixels() const override;
    Raster MakeLevel(int level) const override;

private:
    RasterFileSource(SharedBytes bytes, RasterFile file, int width, int height, int level, Raster levelPixels);

    RasterFile file_;              // without its pixels, which the raster source holds
    mutable SharedBytes bytes_;    // the file, while its pixels are not decoded
};
