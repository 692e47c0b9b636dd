#include <gtest/gtest.h>

#include "rules/PrintLayout.h"

TEST(PrintLayout, ScalesToTouchTheRightOrBottomEdge)
{
    const struct {
        int w, h, pw, ph;
        PrintedSize expected;
        const char* what;
    } cases[] = {
        {400, 300, 6600, 4800, {6400, 4800}, "small landscape image enlarged to the page height"},
        {300, 400, 4800, 6600, {4800, 6400}, "small portrait image enlarged to the page width"},
        {10000, 500, 6600, 4800, {6600, 330}, "panorama reduced to the page width"},
        {1000, 1000, 6600, 4800, {4800, 4800}, "square image on a landscape page"},
        {3, 1, 4958, 3508, {4958, 1652}, "1652.67 truncated"},
        {6600, 300, 6600, 4800, {6600, 300}, "exactly page-wide: unscaled"},
        {300, 4800, 6600, 4800, {300, 4800}, "exactly page-high: unscaled"},
        {6600, 4800, 6600, 4800, {6600, 4800}, "the page's own size"},
        {13200, 9600, 6600, 4800, {6600, 4800}, "larger both ways, same proportions"},
        {20000, 30000, 4800, 6600, {4400, 6600}, "larger both ways, reduced to the page height"},
        {2479, 5000, 2479, 3508, {1739, 3508}, "as wide as the page and higher"},
        // Single precision decides these edges: doubles give 2999 and 2970.
        {11, 5, 6600, 4800, {6600, 3000}, "float rounding up"},
        {20, 9, 6600, 4800, {6600, 2969}, "float rounding down"},
        {21, 25, 6600, 4800, {4031, 4800}, "float rounding down, portrait"},
        // A sliver that would truncate to nothing keeps one device pixel.
        {10000, 1, 6600, 4800, {6600, 1}, "0.66 device pixels high"},
        {0, 10, 6600, 4800, {0, 0}, "no image"},
        {10, 10, 0, 4800, {0, 0}, "no page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PrintedSize size = PrintedImageSize(c.w, c.h, c.pw, c.ph);
        EXPECT_EQ(size.width, c.expected.width) << c.w << "x" << c.h << " on " << c.pw << "x" << c.ph;
        EXPECT_EQ(size.height, c.expected.height) << c.w << "x" << c.h << " on " << c.pw << "x" << c.ph;
    }
}
