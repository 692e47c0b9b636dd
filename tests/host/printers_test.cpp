// Failed checks show the program's own types as text: the build includes
// tests/Printers.h in every test source (this one does not include it).
#include <gtest/gtest.h>

#include "imaging/pixels/Raster.h"

TEST(Printers, FailedChecksShowPixelsRectanglesAndEnumerationsAsText)
{
    EXPECT_EQ(testing::PrintToString(PaletteEntry{0, 10, 220, 255}), "rgb(220, 10, 0) reserved 255");
    EXPECT_EQ(testing::PrintToString(PixelRect{1, 2, 30, 40}), "30 x 40 at (1, 2)");
    EXPECT_EQ(testing::PrintToString(PixelFormat::Bit24), "Bit24");
    EXPECT_EQ(testing::PrintToString(AlphaMode::Premultiplied), "2");
}
