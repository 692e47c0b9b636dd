// Stepping through a folder over and over must not grow the process: every
// picture and display copy of an image is released when the next one
// replaces it.
#include "tests/win/ProcessResources.h"
#include "tests/win/ViewerTestSupport.h"

namespace {

using namespace viewer_test;
using process_resources::PrivateBytes;

// A PNG with an alpha channel, so the display copy blends.
std::vector<uint8_t> TransparentPng(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit32);
    raster.SetAlpha(AlphaMode::Straight);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x)
            row[4 * x + 3] = uint8_t(x * 255 / width);
    }
    PngImage png = PngFromRaster(raster.ConvertedTo(PixelFormat::Bit24));
    return EncodePng(png);
}

} // namespace

TEST(Leaks, SteppingThroughAFolderDoesNotGrowTheProcess)
{
    auto png = RegisterPngIfMissing();
    TempFolder folder(L"Pixavo leaks");
    WriteBytes(folder / L"a.jpg", EncodeJpeg(Solid(900, 700, 30, 140, 220)));
    WriteBytes(folder / L"b.png", TransparentPng(700, 500));
    WriteBmp(folder / L"c.bmp", 1200, 900);
    std::vector<std::wstring> failures;
    AnswerModals(failures, nullptr);
    {
        TMainForm form({L"/nosplash", folder / L"a.jpg"});
        form.Show();
        Pump();
        ASSERT_EQ(form.FileList.size(), 3u);
        auto cycle = [&] {
            for (int i = 0; i < 3; ++i) {
                form.ShowNextImage();
                form.Image1.Repaint();
                Pump();
            }
        };
        for (int warm = 0; warm < 3; ++warm)
            cycle();
        const SIZE_T bytesBefore = PrivateBytes();
        for (int round = 0; round < 30; ++round)
            cycle();
        const SIZE_T bytesAfter = PrivateBytes();
        ASSERT_GT(bytesBefore, 0u);
        // 90 loads of pictures of 2 to 4 MB each: a leaked picture or display
        // copy per load would add far more than this.
        EXPECT_LT(bytesAfter, bytesBefore + 8 * 1024 * 1024) << bytesBefore << " -> " << bytesAfter;
        form.Hide();
    }
    StopAnsweringModals();
    EXPECT_TRUE(failures.empty());
}
