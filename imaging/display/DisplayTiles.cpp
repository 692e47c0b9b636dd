#include "imaging/display/DisplayTiles.h"

#include <algorithm>
#include <cmath>

#include "imaging/pixels/Levels.h"

void DisplayTiles::SetSource(std::shared_ptr<const DisplaySource> source)
{
    source_ = std::move(source);
    transform_ = source_ ? colours_->TransformFor(source_->Colour().get()) : nullptr;
    tiles_.clear();
}

void DisplayTiles::SetColours(std::shared_ptr<const MonitorColours> colours)
{
    if (!colours || colours == colours_)
        return;
    colours_ = std::move(colours);
    auto transform = source_ ? colours_->TransformFor(source_->Colour().get()) : nullptr;
    if (transform != transform_)
        tiles_.clear();
    transform_ = std::move(transform);
}

void DisplayTiles::SetShownSize(int width, int height)
{
    if (width == shownWidth_ && height == shownHeight_)
        return;
    shownWidth_ = width;
    shownHeight_ = height;
    tiles_.clear();
}

void DisplayTiles::SetBackground(uint8_t red, uint8_t green, uint8_t blue)
{
    const uint8_t colour[3] = {blue, green, red};
    if (std::equal(colour, colour + 3, background_))
        return;
    std::copy(colour, colour + 3, background_);
    if (source_ && source_->Transparent())
        tiles_.clear();
}

void DisplayTiles::TakeTiles(DisplayTiles&& made)
{
    if (!source_ || made.source_ != source_ || made.transform_ != transform_)
        return;
    shownWidth_ = made.shownWidth_;
    shownHeight_ = made.shownHeight_;
    tiles_ = std::move(made.tiles_);
    made.tiles_.clear();
    for (Kept& kept : tiles_)
        kept.lastUse = ++clock_;
    if (source_->Transparent() && !std::equal(background_, background_ + 3, made.background_))
        tiles_.clear();
}

int DisplayTiles::Level() const
{
    if (!source_)
        return 0;
    return LevelFor(source_->Width(), source_->Height(), shownWidth_, shownHeight_);
}

bool DisplayTiles::Enlarged() const
{
    return source_ && shownWidth_ >= source_->Width() && shownHeight_ >= source_->Height();
}

bool DisplayTiles::DrawnStraight() const
{
    return source_ && !transform_ && Enlarged() && source_->HasWhole();
}

void DisplayTiles::Prepare() const
{
    if (source_ && shownWidth_ > 0 && shownHeight_ > 0)
        source_->Prepare(Level());
}

Raster DisplayTiles::MakePart(const PixelRect& part) const
{
    if (!source_ || part.Empty() || shownWidth_ <= 0 || shownHeight_ <= 0 || source_->Width() <= 0 ||
        source_->Height() <= 0)
        return {};
    const int level = Level();
    PixelWindow window;
    int width = source_->Width(), height = source_->Height();
    // A level's last column and row may stand for part of a block only.
    const double extentX = std::ldexp(double(width), -level), extentY = std::ldexp(double(height), -level);
    if (level == 0) {
        window = source_->Region(SourceRectFor(width, height, shownWidth_, shownHeight_, part));
    } else {
        window.pixels = source_->Level(level);
        width = window.pixels.Width();
        height = window.pixels.Height();
    }
    if (window.pixels.Empty())
        return {};
    const bool alpha = window.pixels.Format() == PixelFormat::Bit32 && window.pixels.Alpha() != AlphaMode::None;
    const PixelRect needed = SourceRectFor(width, height, shownWidth_, shownHeight_, part, extentX, extentY);
    // Colours are converted before transparent parts are composed over the
    // background (which is shown as it is), and otherwise where there are
    // fewer pixels: in the part made when it is reduced, in the pixels it is
    // made from when it is enlarged.
    const bool convertFirst =
        transform_ && (alpha || int64_t(needed.width) * needed.height < int64_t(part.width) * part.height);
    if (alpha || convertFirst) {
        // Only the pixels this part is made from are converted and composed.
        Raster pixels = window.pixels.Part({needed.x - window.x, needed.y - window.y, needed.width, needed.height});
        if (convertFirst)
            transform_->Apply(pixels);
        if (alpha)
            pixels = pixels.ComposedOver(background_[2], background_[1], background_[0]);
        window = {std::move(pixels), needed.x, needed.y};
    }
    Raster made = ResampleAreaPart(window, width, height, shownWidth_, shownHeight_, part, extentX, extentY);
    if (transform_ && !convertFirst)
        transform_->Apply(made);
    return made;
}

const Raster& DisplayTiles::Tile(int column, int row)
{
    static const Raster none;
    for (Kept& kept : tiles_)
        if (kept.column == column && kept.row == row) {
            kept.lastUse = ++clock_;
            return kept.pixels;
        }
    const PixelRect part{column * kTileSide, row * kTileSide,
                         std::min(kTileSide, shownWidth_ - column * kTileSide),
                         std::min(kTileSide, shownHeight_ - row * kTileSide)};
    if (!source_ || column < 0 || row < 0 || part.Empty())
        return none;
    Raster pixels = MakePart(part);
    ++tilesMade_;
    if (tiles_.size() >= maxTiles_ && !tiles_.empty()) {
        auto oldest = std::min_element(tiles_.begin(), tiles_.end(),
                                       [](const Kept& a, const Kept& b) { return a.lastUse < b.lastUse; });
        tiles_.erase(oldest);
    }
    tiles_.push_back({column, row, ++clock_, std::move(pixels)});
    return tiles_.back().pixels;
}
