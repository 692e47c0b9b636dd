#include "imaging/PictureTransforms.h"

#include "base/Failure.h"
#include "imaging/GdiDrawing.h"
#include "imaging/Resample.h"

namespace {

// The graphic's pixels at natural size as they show on white: rasters and
// JPEG images as they are, PNG transparency composed over white, icons and
// metafiles drawn onto white.
Raster NaturalPixelsOnWhite(const TGraphic& graphic)
{
    switch (graphic.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        return graphic.Pixels();
    case GraphicKind::Png: {
        Raster pixels = graphic.Pixels();
        return pixels.Alpha() == AlphaMode::None ? pixels : pixels.ComposedOver(255, 255, 255);
    }
    case GraphicKind::Icon:
    case GraphicKind::Metafile:
        break;
    }
    return DrawOnWhite(graphic, graphic.Width(), graphic.Height());
}

// The new raster graphic, in the source's colours, with the source's
// metadata made to fit it.
std::unique_ptr<TBitmapGraphic> WithMetadata(Raster raster, const TGraphic& source, bool turned)
{
    auto result = std::make_unique<TBitmapGraphic>();
    result->SetRaster(std::move(raster), source.Colour());
    if (const auto& metadata = source.Metadata())
        result->SetMetadata(std::make_shared<const JpegMetadata>(
            MetadataForNewPixels(*metadata, result->Width(), result->Height(), turned)));
    return result;
}

} // namespace

std::unique_ptr<TBitmapGraphic> TransformGraphic(const TGraphic& graphic, TransformMode mode)
{
    auto result = WithMetadata(TransformRaster(NaturalPixelsOnWhite(graphic), mode), graphic, true);
    if (auto turned = graphic.Turned()) {
        turned->transform = Then(turned->transform, OrientationOf(mode));
        turned->prepared.reset();   // made for the layout before
        result->SetTurned(std::move(turned));
    }
    return result;
}

std::unique_ptr<TBitmapGraphic> ResizeGraphic(const TGraphic& graphic, int width, int height)
{
    if (width <= 0 || height <= 0)
        throw Failure(L"Invalid Image Size Constraints");
    switch (graphic.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        return WithMetadata(ResizeNearest(graphic.Pixels(), width, height), graphic, false);
    case GraphicKind::Icon:
        // An icon draws only at its natural size.
        return WithMetadata(ResizeNearest(NaturalPixelsOnWhite(graphic), width, height), graphic, false);
    case GraphicKind::Png:
    case GraphicKind::Metafile:
        break;
    }
    return WithMetadata(DrawOnWhite(graphic, width, height), graphic, false);
}
