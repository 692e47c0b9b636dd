// Stepping through a folder over and over must not grow the process: every
// picture and display copy of an image is released when the next one
// replaces it.
#include "tests/win/ProcessResources.h"
#include "tests/win/ViewerTestSupport.h"

namespace {

using namespace viewer_test;
using process_resources::PrivateBytes;

// An RGBA PNG whose alpha runs from 0 to 255 across it, so the display copy
// blends it over the background.
std::vector<uint8_t> TransparentPng(int width, int height)
{
    PngImage png;
    png.width = uint32_t(width);
    png.height = uint32_t(height);
    png.bitDepth = 8;
    png.colorType = 6;   // RGB with alpha
    png.rowBytes = size_t(width) * 4;
    png.rows.resize(png.rowBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = png.rows.data() + size_t(y) * png.rowBytes + size_t(x) * 4;
            p[0] = 40;
            p[1] = uint8_t(y);
            p[2] = 200;
            p[3] = uint8_t(x * 255 / width);
        }
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
        ASSERT_EQ(form.TestState().FileList.size(), 3u);
        int blended = 0;
        auto cycle = [&] {
            for (int i = 0; i < 3; ++i) {
                form.ShowNextImage();
                form.Image1.Repaint();
                Pump();
                // The PNG goes through the blending path: its pixels carry alpha.
                if (form.TestState().CurrentFileName == L"b.png" && form.Image1.Picture().Graphic()->Pixels().Alpha() ==
                                                            AlphaMode::Straight)
                    ++blended;
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
        EXPECT_EQ(blended, 33);
        form.Hide();
    }
    StopAnsweringModals();
    EXPECT_TRUE(NothingShown(failures));
}
