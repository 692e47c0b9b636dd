#include "imaging/pictures/IconGraphic.h"

#include <cstring>

#include "base/Failure.h"
#include "imaging/codecs/IconCodec.h"
#include "imaging/pictures/GdiDrawing.h"

namespace {

// An icon handle from straight-alpha 32-bit pixels: colour bitmap with alpha
// plus an AND mask for the fully transparent pixels.
IconHandle CreateIconFromPixels(const Raster& decoded)
{
    Raster px = decoded.ConvertedTo(PixelFormat::Bit32);
    const int width = px.Width(), height = px.Height();
    if (width <= 0 || height <= 0)
        throw Failure(L"Icon image is not valid");
    const bool hasAlpha = px.Alpha() != AlphaMode::None;
    void* bits = nullptr;
    BitmapHandle colour = CreateSection(width, height, 32, bits);
    const size_t maskStride = ((size_t(width) + 15) / 16) * 2;
    std::vector<uint8_t> mask(maskStride * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = px.Row(y);
        uint8_t* d = static_cast<uint8_t*>(bits) + size_t(y) * px.Stride();
        for (int x = 0; x < width; ++x) {
            const uint8_t a = hasAlpha ? s[4 * x + 3] : 255;
            if (a == 0) {
                std::memset(d + 4 * x, 0, 4);   // black under a set mask bit leaves the background
                mask[size_t(y) * maskStride + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            } else {
                std::memcpy(d + 4 * x, s + 4 * x, 3);
                d[4 * x + 3] = a;
            }
        }
    }
    GdiFlush();
    BitmapHandle maskBitmap(CreateBitmap(width, height, 1, 1, mask.data()));
    if (!maskBitmap)
        throw Failure(L"Out of memory");
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = maskBitmap.Get();
    info.hbmColor = colour.Get();
    IconHandle icon(CreateIconIndirect(&info));
    if (!icon)
        throw Failure(L"Icon image is not valid");
    return icon;
}

} // namespace

struct TIconGraphic::Image {
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;
    IconHandle icon;
    // For surfaces that record rather than show (metafiles): the entry's
    // pixels and their premultiplied copy.
    Raster pixels;
    BitmapHandle premultiplied;
};

int TIconGraphic::Width() const
{
    return image_ ? image_->width : 0;
}

int TIconGraphic::Height() const
{
    return image_ ? image_->height : 0;
}

void TIconGraphic::Draw(HDC dc, const RECT& rect) const
{
    if (!image_)
        return;
    // Surfaces that record and printers get the pixels: some printer drivers
    // never finish icon drawing's mask operations.
    const DWORD type = GetObjectType(dc);
    const bool pixelsOnly =
        type == OBJ_ENHMETADC || type == OBJ_METADC || GetDeviceCaps(dc, TECHNOLOGY) == DT_RASPRINTER;
    if (!pixelsOnly &&
        DrawIconEx(dc, rect.left, rect.top, image_->icon.Get(), image_->width, image_->height, 0, nullptr, DI_NORMAL))
        return;
    BlendSection(dc, RECT{rect.left, rect.top, rect.left + image_->width, rect.top + image_->height},
                 image_->premultiplied.Get(), image_->pixels);
}

void TIconGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    const IconDirectory directory = ParseIcon(bytes);
    if (directory.entries.empty())
        throw Failure(L"Icon image is not valid");
    const IconEntry& entry = directory.entries.at(
        PickIconEntry(directory, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ScreenBitsPerPixel()));
    auto image = std::make_shared<Image>();
    image->pixels = DecodeIconEntry(bytes, entry);
    // The size of the image itself: a directory entry may say otherwise.
    image->width = image->pixels.Width();
    image->height = image->pixels.Height();
    image->icon = CreateIconFromPixels(image->pixels);
    image->premultiplied = PremultipliedSection(image->pixels);
    image->bytes = std::move(bytes);
    image_ = std::move(image);
}

std::vector<uint8_t> TIconGraphic::SaveToBytes(const std::wstring&) const
{
    if (!image_)
        throw Failure(L"Icon image is not valid");
    return image_->bytes;
}

void TIconGraphic::Assign(const TGraphic& source)
{
    if (source.Kind() != GraphicKind::Icon)
        CannotAssign(source);
    image_ = static_cast<const TIconGraphic&>(source).image_;
}
