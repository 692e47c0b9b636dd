#include "rules/ZoomRules.h"

#include <limits>

#include "base/Numbers.h"

namespace {

// A computed size or percentage, rounded halves to even and kept inside the
// integer it is stored in.
template <class Integer>
Integer Rounded(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= double(std::numeric_limits<Integer>::max()))
        return std::numeric_limits<Integer>::max();
    return Integer(RoundHalfEven(value));
}

ShownSize Scaled(double W, double H, double factor)
{
    return {Rounded<int>(W * factor), Rounded<int>(H * factor)};
}

} // namespace

ShownSize PercentSize(double W, double H, unsigned percent)
{
    return {Rounded<int>(W * percent / 100.0), Rounded<int>(H * percent / 100.0)};
}

ShownSize AutoFitSize(double W, double H, double fullWidth, double fullHeight)
{
    // A picture inside the area keeps its size (rh and rw are 0 then).
    const double rh = H - fullHeight > 0 ? (H - fullHeight) / H : 0.0;
    const double rw = W - fullWidth > 0 ? (W - fullWidth) / W : 0.0;
    const double r = rw > rh ? rw : rh;
    return Scaled(W, H, 1 - r);
}

std::pair<ShownSize, unsigned> FitSize(double W, double H, double fullWidth, double fullHeight)
{
    // r is negative for a small picture: the fit enlarges it.
    const double rh = H == fullHeight ? 0.0 : (H - fullHeight) / H;
    const double rw = W == fullWidth ? 0.0 : (W - fullWidth) / W;
    const double r = rw > rh ? rw : rh;
    return {Scaled(W, H, 1 - r), Rounded<unsigned>((1 - r) * 100)};
}

ShownSize ShownSizeFor(const ZoomState& zoom, int W, int H)
{
    if (zoom.autoFit)
        return AutoFitSize(W, H, zoom.fullWidth, zoom.fullHeight);
    if (zoom.percent >= kMinZoom && zoom.percent <= kMaxZoom)
        return PercentSize(W, H, zoom.percent);
    return {W, H};
}

std::function<std::pair<int, int>(int, int)> ShownSizeRuleFor(const ZoomState& zoom)
{
    return [zoom](int width, int height) {
        const ShownSize size = ShownSizeFor(zoom, width, height);
        return std::pair{size.width, size.height};
    };
}
