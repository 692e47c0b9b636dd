// Where a printed image goes on the page: scaled with its proportions kept
// to the largest size that fits the printable area, at its top-left corner.
#pragma once

struct PrintedSize {
    int width = 0, height = 0;   // device pixels
    bool operator==(const PrintedSize&) const = default;
};

// The size of an image of imageWidth × imageHeight pixels printed on a
// printable area of pageWidth × pageHeight device pixels. The arithmetic is
// single precision throughout and the result is truncated, so the image
// touches the right or the bottom edge of the area: a smaller image is
// enlarged, a larger one reduced, and one exactly as wide (or as high) as
// the area and smaller the other way prints one pixel per device pixel.
// A side that would truncate to nothing keeps one device pixel; a zero or
// negative size on either side gives 0 × 0.
PrintedSize PrintedImageSize(int imageWidth, int imageHeight, int pageWidth, int pageHeight);
