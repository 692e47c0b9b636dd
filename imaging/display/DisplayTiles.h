// What the image control shows of a raster picture: the picture at its shown
// size, made only where it is seen, a square tile at a time, from the level
// that suits the size (imaging/pixels/Levels.h) and averaged down to it as
// ResampleArea would average the whole picture, in the monitor's colours
// (imaging/colour/ColourTransform.h). Tiles are kept until the picture, its size,
// the colours shown in or (for transparent pictures) the background change,
// the least recently used going first when there are too many.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/colour/ColourTransform.h"
#include "imaging/display/DisplaySource.h"
#include "imaging/pixels/Resample.h"

class DisplayTiles {
public:
    static constexpr int kTileSide = 256;
    // Enough to cover a large screen twice over.
    static constexpr size_t kDefaultMaxTiles = 64;

    explicit DisplayTiles(size_t maxTiles = kDefaultMaxTiles) : maxTiles_(maxTiles) {}

    void SetSource(std::shared_ptr<const DisplaySource> source);
    const std::shared_ptr<const DisplaySource>& Source() const { return source_; }
    // Lets the source go but keeps the tiles made, which Tile still gives
    // (and nothing else) until the next SetSource.
    void Release() { source_.reset(); }
    void SetShownSize(int width, int height);
    int ShownWidth() const { return shownWidth_; }
    int ShownHeight() const { return shownHeight_; }
    // Transparent parts are shown over this colour.
    void SetBackground(uint8_t red, uint8_t green, uint8_t blue);
    // The colours the picture is shown in (MonitorColours::Standard() until
    // set), and the conversion its tiles are made with (null when none).
    void SetColours(std::shared_ptr<const MonitorColours> colours);
    const std::shared_ptr<const ColourTransform>& Transform() const { return transform_; }

    // The level the tiles come from at the shown size.
    int Level() const;
    // Shown at natural size or larger on both sides.
    bool Enlarged() const;
    // Shown from the picture's own pixels, the whole of them stretched, not
    // from tiles: enlarged, when the source can give them (Whole) and its
    // colours need no conversion.
    bool DrawnStraight() const;
    // Decodes what the shown size needs now (failing as the decoder fails).
    void Prepare() const;

    // The tile at column, row: the pixels of the shown picture from
    // (column × kTileSide, row × kTileSide), cut short at its right and
    // bottom edges. Made when it is not kept; empty when it cannot be made
    // (no source). The reference holds until the next call.
    const Raster& Tile(int column, int row);
    // Any part of the shown picture, made afresh (24 or 32 bits, opaque).
    Raster MakePart(const PixelRect& part) const;
    // How many tiles have been made so far.
    int TilesMade() const { return tilesMade_; }
    size_t TilesKept() const { return tiles_.size(); }
    void DropTiles() { tiles_.clear(); }
    // Takes the tiles `made` has of this source, and its shown size (made
    // ahead elsewhere); nothing when its source or conversion is another.
    void TakeTiles(DisplayTiles&& made);

private:
    struct Kept {
        int column, row;
        uint64_t lastUse;
        Raster pixels;
    };

    std::shared_ptr<const DisplaySource> source_;
    std::shared_ptr<const MonitorColours> colours_ = MonitorColours::Standard();
    std::shared_ptr<const ColourTransform> transform_;
    int shownWidth_ = 0, shownHeight_ = 0;
    uint8_t background_[3] = {0, 0, 0};   // blue, green, red
    size_t maxTiles_;
    std::vector<Kept> tiles_;
    uint64_t clock_ = 0;
    int tilesMade_ = 0;
};
