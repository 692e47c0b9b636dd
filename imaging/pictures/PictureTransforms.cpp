#include "imaging/pictures/PictureTransforms.h"

#include "base/Failure.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pixels/Resample.h"

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

// The new raster graphic, in the source's colours, with the source's record
// after the edit.
std::unique_ptr<TBitmapGraphic> WithRecord(Raster raster, const TGraphic& source, const PictureEdit& edit)
{
    auto result = std::make_unique<TBitmapGraphic>();
    result->SetRaster(std::move(raster), source.Colour());
    if (const auto& record = source.Record())
        result->SetRecord(AfterEdit(*record, edit, result->Width(), result->Height()));
    return result;
}

} // namespace

std::unique_ptr<TBitmapGraphic> TransformGraphic(const TGraphic& graphic, TransformMode mode)
{
    const PictureEdit edit{OrientationOf(mode)};
    auto result = WithRecord(TransformKeepingAlpha(NaturalPixelsOnWhite(graphic), edit.turn), graphic, edit);
    if (auto turned = graphic.Turned()) {
        turned->transform = Then(turned->transform, edit.turn);
        turned->prepared.reset();   // made for the layout before
        result->SetTurned(std::move(turned));
    }
    return result;
}

std::unique_ptr<TBitmapGraphic> ResizeGraphic(const TGraphic& graphic, int width, int height)
{
    if (width <= 0 || height <= 0)
        throw Failure(L"Invalid Image Size Constraints");
    const PictureEdit edit{Orientation::Identity, width, height, graphic.Width(), graphic.Height()};
    switch (graphic.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        return WithRecord(ResizeKeepingAlpha(graphic.Pixels(), width, height), graphic, edit);
    case GraphicKind::Icon:
        // An icon draws only at its natural size.
        return WithRecord(ResizeNearest(NaturalPixelsOnWhite(graphic), width, height), graphic, edit);
    case GraphicKind::Png:
    case GraphicKind::Metafile:
        break;
    }
    return WithRecord(DrawOnWhite(graphic, width, height), graphic, edit);
}
