#include "imaging/pixels/Levels.h"

#include <algorithm>
#include <cstring>

#include "base/Failure.h"

int LevelSide(int side, int level)
{
    if (side <= 0)
        return 0;
    return int((int64_t(side) + (int64_t(1) << level) - 1) >> level);
}

int LevelFor(int width, int height, int shownWidth, int shownHeight)
{
    int level = 0;
    while (level < kMaxLevel && LevelSide(width, level + 1) >= std::max(shownWidth, 1) &&
           LevelSide(height, level + 1) >= std::max(shownHeight, 1) && (width >> (level + 1)) > 0 &&
           (height >> (level + 1)) > 0)
        ++level;
    return level;
}

LevelMaker::LevelMaker(int width, int height, int level, PixelFormat rowFormat, AlphaMode alpha)
    : width_(width), height_(height), level_(std::clamp(level, 0, kMaxLevel)),
      channels_(rowFormat == PixelFormat::Bit24 ? 3 : 4), alpha_(channels_ == 4 && alpha != AlphaMode::None)
{
    const int outWidth = LevelSide(width_, level_), outHeight = LevelSide(height_, level_);
    if (outWidth <= 0 || outHeight <= 0)
        return;
    // Without alpha the level has colours only, whatever the rows carry.
    out_ = Raster(outWidth, outHeight, alpha_ ? PixelFormat::Bit32 : PixelFormat::Bit24, Raster::Unfilled{});
    out_.SetAlpha(alpha_ ? AlphaMode::Premultiplied : AlphaMode::None);
    sums_.assign(size_t(outWidth) * size_t(alpha_ ? 4 : 3), 0);
}

void LevelMaker::AddRow(const uint8_t* row)
{
    if (out_.Empty() || rowsAdded_ >= height_)
        return;
    const int side = 1 << level_;
    uint32_t* sum = sums_.data();
    if (!alpha_) {
        const int c = channels_;
        for (int x0 = 0; x0 < width_; x0 += side, sum += 3) {
            const int x1 = std::min(width_, x0 + side);
            uint32_t s[4] = {};
            for (const uint8_t* p = row + size_t(x0) * c; p < row + size_t(x1) * c; p += c)
                for (int i = 0; i < 3; ++i)
                    s[i] += p[i];
            for (int i = 0; i < 3; ++i)
                sum[i] += s[i];
        }
    } else {
        // Colours weighed by alpha: the sums hold colour × alpha / 255 (kept
        // to whole numbers of 1/255 steps) and alpha.
        for (int x0 = 0; x0 < width_; x0 += side, sum += 4) {
            const int x1 = std::min(width_, x0 + side);
            uint32_t s[4] = {};
            for (const uint8_t* p = row + size_t(x0) * 4; p < row + size_t(x1) * 4; p += 4) {
                const uint32_t a = p[3];
                for (int i = 0; i < 3; ++i)
                    s[i] += (p[i] * a + 127) / 255;
                s[3] += a;
            }
            for (int i = 0; i < 4; ++i)
                sum[i] += s[i];
        }
    }
    ++rowsAdded_;
    if (++rowsInBlock_ == side || rowsAdded_ == height_)
        EmitRow();
}

void LevelMaker::EmitRow()
{
    const int side = 1 << level_;
    const int blockHeight = rowsInBlock_;
    uint8_t* out = out_.MutableRow(outRow_);
    const int c = alpha_ ? 4 : 3;
    const int outWidth = out_.Width();
    for (int x = 0; x < outWidth; ++x) {
        const int blockWidth = std::min(side, width_ - x * side);
        const uint32_t n = uint32_t(blockWidth) * uint32_t(blockHeight);
        uint32_t* sum = sums_.data() + size_t(x) * c;
        for (int i = 0; i < c; ++i)
            out[size_t(x) * c + i] = uint8_t((sum[i] + n / 2) / n);
    }
    std::fill(sums_.begin(), sums_.end(), 0u);
    rowsInBlock_ = 0;
    ++outRow_;
}

Raster LevelMaker::Finish()
{
    if (out_.Empty() || rowsAdded_ < height_)
        return {};
    return out_;
}

Raster MakeLevel(const Raster& source, int level)
{
    if (level <= 0 || source.Empty())
        return source;
    if (source.Format() == PixelFormat::Bit32 && source.Alpha() == AlphaMode::Premultiplied)
        throw Failure(L"Invalid pixel format");
    const bool direct = source.Format() == PixelFormat::Bit24 || source.Format() == PixelFormat::Bit32;
    LevelMaker maker(source.Width(), source.Height(), level, direct ? source.Format() : PixelFormat::Bit24,
                     direct ? source.Alpha() : AlphaMode::None);
    if (direct) {
        for (int y = 0; y < source.Height(); ++y)
            maker.AddRow(source.Row(y));
        return maker.Finish();
    }
    // Other formats a band of rows at a time through their colours.
    constexpr int kBand = 64;
    for (int y = 0; y < source.Height(); y += kBand) {
        const int rows = std::min(kBand, source.Height() - y);
        Raster band(source.Width(), rows, PixelFormat::Bit24, Raster::Unfilled{});
        for (int r = 0; r < rows; ++r) {
            uint8_t* to = band.MutableRow(r);
            for (int x = 0; x < source.Width(); ++x, to += 3) {
                const PaletteEntry p = source.PixelAt(x, y + r);
                to[0] = p.blue;
                to[1] = p.green;
                to[2] = p.red;
            }
        }
        for (int r = 0; r < rows; ++r)
            maker.AddRow(band.Row(r));
    }
    return maker.Finish();
}
