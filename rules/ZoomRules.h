// The zoom arithmetic: the size the image control gets for a picture's
// natural size, by percentage, by auto-fit and by the fit. Pure rules, so a
// load can tell beforehand how large the picture it decodes will be shown.
#pragma once

#include <functional>
#include <utility>

inline constexpr unsigned kMinZoom = 1, kMaxZoom = 10000;

// A width and height in pixels.
struct ShownSize {
    int width = 0, height = 0;
    bool operator==(const ShownSize&) const = default;
};

// W × H at percent (rounded halves to even).
ShownSize PercentSize(double W, double H, unsigned percent);
// Auto-fit in an area of fullWidth × fullHeight: never enlarged, shrunk by
// the larger of the two overhangs.
ShownSize AutoFitSize(double W, double H, double fullWidth, double fullHeight);
// The fit, enlarging as well as shrinking, and its percentage.
std::pair<ShownSize, unsigned> FitSize(double W, double H, double fullWidth, double fullHeight);

// What a zoom application shows a W × H picture at: auto-fit, or the
// percentage when it is in range. A percentage out of range leaves the
// control as it was, which is not known here: the natural size stands in.
struct ZoomState {
    bool autoFit = true;
    unsigned percent = 100;
    int fullWidth = 0, fullHeight = 0;   // the image area with no scroll bars
    bool operator==(const ZoomState&) const = default;
};
ShownSize ShownSizeFor(const ZoomState& zoom, int W, int H);
// The same as a rule a load can be handed: natural size to shown size.
std::function<std::pair<int, int>(int, int)> ShownSizeRuleFor(const ZoomState& zoom);
