// Turning, flipping and resizing whole graphics: every kind becomes a raster.
#include "imaging/PictureUtilUnit.h"

#include "system/Failure.h"

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

} // namespace

std::unique_ptr<TBitmapGraphic> TransformGraphic(const TGraphic& graphic, TransformMode mode)
{
    return std::make_unique<TBitmapGraphic>(TransformRaster(NaturalPixelsOnWhite(graphic), mode));
}

std::unique_ptr<TBitmapGraphic> ResizeGraphic(const TGraphic& graphic, int width, int height)
{
    if (width <= 0 || height <= 0)
        throw Failure(L"Invalid Image Size Constraints");
    switch (graphic.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        return std::make_unique<TBitmapGraphic>(ResizeNearest(graphic.Pixels(), width, height));
    case GraphicKind::Icon:
        // An icon draws only at its natural size.
        return std::make_unique<TBitmapGraphic>(ResizeNearest(NaturalPixelsOnWhite(graphic), width, height));
    case GraphicKind::Png:
    case GraphicKind::Metafile:
        break;
    }
    return std::make_unique<TBitmapGraphic>(DrawOnWhite(graphic, width, height));
}
