#include "rules/PrintLayout.h"

PrintedSize PrintedImageSize(int imageWidth, int imageHeight, int pageWidth, int pageHeight)
{
    if (imageWidth <= 0 || imageHeight <= 0 || pageWidth <= 0 || pageHeight <= 0)
        return {};
    // Every intermediate is a 32-bit float, as the layout has always been
    // computed; doubles would move some edges by a device pixel.
    const float pw = float(pageWidth), ph = float(pageHeight);
    float w = float(imageWidth), h = float(imageHeight);
    const float ratio = w / h;
    if (pw > w && ph > h) {      // smaller than the page both ways: enlarge
        if (w >= h) {
            w = pw;
            h = w / ratio;
        } else {
            h = ph;
            w = h * ratio;
        }
    }
    if (w > pw) {
        w = pw;
        h = w / ratio;
    }
    if (h > ph) {
        h = ph;
        w = h * ratio;
    }
    // Truncated toward zero; a sliver of a panorama still prints.
    const int width = int(w), height = int(h);
    return {width > 0 ? width : 1, height > 0 ? height : 1};
}
