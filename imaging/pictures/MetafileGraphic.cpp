#include "imaging/pictures/MetafileGraphic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "base/Failure.h"
#include "imaging/codecs/MetafileFormat.h"
#include "imaging/pictures/GdiDrawing.h"

namespace {

// value × numerator / denominator, rounded half to even, kept in int range.
int RoundedScale(double value, double numerator, double denominator)
{
    if (denominator <= 0)
        return 0;
    double r = std::nearbyint(value * numerator / denominator);
    return int(std::clamp(r, 0.0, double(std::numeric_limits<int>::max() / 2)));
}

[[noreturn]] void InvalidMetafile()
{
    throw Failure(L"Metafile is not valid");
}

} // namespace

struct TMetafileGraphic::Meta {
    EnhMetaFileHandle handle;
    int width = 0, height = 0;                  // natural size in screen pixels
    std::optional<PlaceableHeader> placeable;   // when loaded from an old-style file
};

namespace {

// A metafile drawing surface; closing it unfinished throws the recording away.
struct RecordingDcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { DeleteEnhMetaFile(CloseEnhMetaFile(dc)); }
};
using RecordingDcHandle = UniqueHandle<HDC, RecordingDcTraits>;

// The natural size of an enhanced metafile: its frame (0.01 mm) in screen pixels.
void SizeFromFrame(HENHMETAFILE handle, int& width, int& height)
{
    ENHMETAHEADER header{};
    if (!GetEnhMetaFileHeader(handle, sizeof header, &header))
        InvalidMetafile();
    const ScreenInfo s = ScreenMetrics();
    width = RoundedScale(double(header.rclFrame.right) - header.rclFrame.left, s.horzRes, s.horzSize * 100.0);
    height = RoundedScale(double(header.rclFrame.bottom) - header.rclFrame.top, s.vertRes, s.vertSize * 100.0);
}

} // namespace

int TMetafileGraphic::Width() const
{
    return meta_ ? meta_->width : 0;
}

int TMetafileGraphic::Height() const
{
    return meta_ ? meta_->height : 0;
}

HENHMETAFILE TMetafileGraphic::Handle() const
{
    return meta_ ? meta_->handle.Get() : nullptr;
}

void TMetafileGraphic::Draw(HDC dc, const RECT& rect) const
{
    if (meta_)
        PlayEnhMetaFile(dc, meta_->handle.Get(), &rect);
}

void TMetafileGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto meta = std::make_shared<Meta>();
    switch (DetectMetafile(bytes)) {
    case MetafileType::Placeable: {
        const PlaceableHeader header = CheckPlaceableMetafile(bytes);
        const double boxWidth = std::abs(int(header.right) - int(header.left));
        const double boxHeight = std::abs(int(header.bottom) - int(header.top));
        METAFILEPICT picture{};
        picture.mm = MM_ANISOTROPIC;
        picture.xExt = RoundedScale(boxWidth, 2540, header.inch);
        picture.yExt = RoundedScale(boxHeight, 2540, header.inch);
        WindowDc screen;
        meta->handle.Reset(SetWinMetaFileBits(UINT(bytes.size() - kPlaceableHeaderSize),
                                              bytes.data() + kPlaceableHeaderSize, screen.Get(), &picture));
        if (!meta->handle)
            InvalidMetafile();
        const ScreenInfo s = ScreenMetrics();
        meta->width = RoundedScale(boxWidth, s.logX, header.inch);
        meta->height = RoundedScale(boxHeight, s.logY, header.inch);
        meta->placeable = header;
        break;
    }
    case MetafileType::Enhanced:
        CheckEnhancedMetafile(bytes);
        meta->handle.Reset(SetEnhMetaFileBits(UINT(bytes.size()), bytes.data()));
        if (!meta->handle)
            InvalidMetafile();
        SizeFromFrame(meta->handle.Get(), meta->width, meta->height);
        break;
    case MetafileType::None:
        InvalidMetafile();
    }
    meta_ = std::move(meta);
}

std::vector<uint8_t> TMetafileGraphic::SaveToBytes(const std::wstring& extension) const
{
    if (!meta_)
        InvalidMetafile();
    HENHMETAFILE handle = meta_->handle.Get();
    if (extension == L".wmf") {
        WindowDc screen;
        const UINT size = GetWinMetaFileBits(handle, 0, nullptr, MM_ANISOTROPIC, screen.Get());
        if (size == 0)
            InvalidMetafile();
        PlaceableHeader box;
        if (meta_->placeable) {
            box = *meta_->placeable;
        } else {
            box.right = int16_t(std::min(meta_->width, 0x7FFF));
            box.bottom = int16_t(std::min(meta_->height, 0x7FFF));
            box.inch = 96;
        }
        std::vector<uint8_t> out = MakePlaceableHeader(box);
        const size_t at = out.size();
        out.resize(at + size);
        if (GetWinMetaFileBits(handle, size, out.data() + at, MM_ANISOTROPIC, screen.Get()) != size)
            InvalidMetafile();
        return out;
    }
    const UINT size = GetEnhMetaFileBits(handle, 0, nullptr);
    if (size == 0)
        InvalidMetafile();
    std::vector<uint8_t> out(size);
    if (GetEnhMetaFileBits(handle, size, out.data()) != size)
        InvalidMetafile();
    return out;
}

void TMetafileGraphic::Assign(const TGraphic& source)
{
    if (source.Kind() != GraphicKind::Metafile)
        CannotAssign(source);
    meta_ = static_cast<const TMetafileGraphic&>(source).meta_;
}

TMetafileGraphic TMetafileGraphic::Record(const TGraphic& source)
{
    const ScreenInfo s = ScreenMetrics();
    WindowDc screen;
    // The frame is passed explicitly: left out, some systems take the bounds
    // of what was drawn instead of the display area.
    const RECT frame{0, 0, s.horzSize * 100, s.vertSize * 100};
    RecordingDcHandle dc(CreateEnhMetaFileW(screen.Get(), nullptr, &frame, nullptr));
    if (!dc)
        throw Failure(L"Out of system resources");
    source.Draw(dc.Get(), RECT{0, 0, source.Width(), source.Height()});
    auto meta = std::make_shared<Meta>();
    meta->handle.Reset(CloseEnhMetaFile(dc.Release()));
    if (!meta->handle)
        throw Failure(L"Out of system resources");
    SizeFromFrame(meta->handle.Get(), meta->width, meta->height);
    TMetafileGraphic result;
    result.meta_ = std::move(meta);
    return result;
}
