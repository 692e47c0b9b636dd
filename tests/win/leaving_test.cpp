// Leaving and saving a turned picture whose file holds more than one
// picture, or whose format cannot be written: nothing is dropped without a
// question, and nobody is kept from going on.
#include "tests/win/EditingTestSupport.h"

#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "tests/win/RecordSamples.h"

using namespace editing_test;
using namespace record_samples;

namespace {

class Leaving : public EditingTest {};

// Three frames of 400 × 300, 100 ms each, shades 200, 150 and 100.
std::vector<uint8_t> Animation()
{
    return AnimatedWebp({Photo(400, 300, 200), Photo(400, 300, 150), Photo(400, 300, 100)}, {100, 100, 100}, 0, true,
                        {}, {});
}

std::vector<uint8_t> Avif()
{
    return ReadBytes(Widen(PIXAVO_TEST_SAMPLES) + L"/photo.avif");
}

// Every frame of the file turned: 300 × 400, the square top-right.
void ExpectAnimationTurned(const std::vector<uint8_t>& file, int frames, bool lossless)
{
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(ReadWebpInfo(file).lossless, lossless);
    const auto animation = OpenWebpAnimation(std::make_shared<const std::vector<uint8_t>>(file));
    ASSERT_EQ(animation->FrameCount(), frames);
    for (int n = 0; n < frames; ++n) {
        const AnimationFrame& frame = animation->Next();
        EXPECT_EQ(frame.pixels.Width(), 300);
        EXPECT_EQ(MarkedCorner(frame.pixels), "TR");
    }
}

} // namespace

// A picture of 400 × 300 turned, then Next: saved without a question when the
// save keeps all its file holds; else asked with the general wording, and
// each answer does what it says.
TEST_F(Leaving, ATurnedPictureIsLeftWithNothingDroppedAndNobodyStuck)
{
    struct Case {
        const char* what;
        std::wstring name;
        std::vector<uint8_t> bytes;   // none: written as a TIFF of pages here
        std::vector<int> answers;     // the questions' answers in turn; none: no question
        std::wstring typed;           // into the save dialog
        std::wstring message;         // the error box's
        std::wstring current;         // afterwards
        bool written;                 // the file changed
        std::function<void(const std::vector<uint8_t>&)> check;   // of what was written
    };
    const Case cases[] = {
        {"TIFF of pages: saved silently with every page", L"pages.tif", {}, {}, L"", L"", L"next.bmp", true,
         [](const std::vector<uint8_t>& file) {
             ASSERT_EQ(TiffPageCount(file), 2);
             const TiffPage fax = ReadTiffPage(file, 1);
             EXPECT_EQ(fax.Bits(), 1);
             EXPECT_EQ(fax.compression, COMPRESSION_CCITTFAX4);
             for (int n : {0, 1})
                 EXPECT_EQ(MarkedCorner(DecodeTiff(file, n).pixels), "TR");
         }},
        {"animated WebP: saved silently, still animated", L"anim.webp", Animation(), {}, L"", L"", L"next.bmp", true,
         [](const std::vector<uint8_t>& file) { ExpectAnimationTurned(file, 3, true); }},
        {"GIF: Discard Changes", L"anim.gif", AnimatedGif(400, 300, 3), {3}, L"", L"", L"next.bmp", false},
        {"GIF: Yes is refused and the picture stays", L"anim.gif", AnimatedGif(400, 300, 3), {1}, L"",
         L"Saving as a GIF image is not supported", L"anim.gif", false},
        {"GIF: No, saved as a WebP with every frame", L"anim.gif", AnimatedGif(400, 300, 3), {2}, L"anim.webp", L"",
         L"anim.webp", false},
        {"GIF: No, saved as a PNG: Yes to the first frame", L"anim.gif", AnimatedGif(400, 300, 3), {2, 1},
         L"first.png", L"", L"first.png", false},
        {"AVIF: Discard Changes", L"photo.avif", Avif(), {3}, L"", L"", L"next.bmp", false},
        {"AVIF: Yes is refused and the picture stays", L"photo.avif", Avif(), {1}, L"",
         L"Saving as an AVIF image is not supported", L"photo.avif", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Raster photo = Photo(400, 300, 200);
        if (c.bytes.empty())
            WriteTiff(folder / c.name, {{photo, TiffPageSample::Colour, COMPRESSION_LZW, {}, {}},
                                        {photo, TiffPageSample::Bilevel, COMPRESSION_CCITTFAX4, {}, {}}});
        auto form = Open({{c.name, c.bytes.empty() ? ReadBytes(folder / c.name) : c.bytes},
                          {L"next.bmp", EncodeBmp(Marked(10, 10))}},
                         c.name);
        const std::vector<uint8_t> original = ReadBytes(folder / c.name);
        Press('R', ssCtrl);
        prompts.clear();
        promptAnswers.assign(c.answers.begin(), c.answers.end());
        std::vector<std::wstring> messages;
        std::vector<DialogDriver::Step> steps;
        if (!c.typed.empty())
            steps.push_back(TypeAndConfirm(folder / c.typed));
        if (!c.message.empty())
            steps.push_back(AcceptMessage(messages));
        {
            DialogDriver driver(steps);
            Press('N');
            EXPECT_TRUE(driver.Finished());
        }
        ASSERT_EQ(prompts.size(), c.answers.size());
        if (!c.answers.empty()) {
            EXPECT_EQ(prompts[0].caption, L"Overwrite current image file with modified image?");
            EXPECT_EQ(prompts[0].details, kGeneralWording);
        }
        EXPECT_EQ(messages, c.message.empty() ? std::vector<std::wstring>() : std::vector<std::wstring>{c.message});
        EXPECT_EQ(form->TestState().CurrentFileName, c.current);
        // Refused, the turn is still there to be saved otherwise.
        EXPECT_EQ(form->TestState().Modified, c.current == c.name);
        const std::vector<uint8_t> now = ReadBytes(folder / c.name);
        EXPECT_EQ(now != original, c.written);
        if (c.check)
            c.check(now);
        if (!c.typed.empty()) {
            const std::vector<uint8_t> saved = ReadBytes(folder / c.typed);
            if (c.typed.ends_with(L".webp"))
                ExpectAnimationTurned(saved, 3, false);   // a GIF is compressed as any picture
            else
                EXPECT_EQ(Status(*form), c.typed + L" (300x400)");
        }
        for (const std::wstring& name : {c.name, std::wstring(L"next.bmp"), c.typed})
            DeleteFileW((folder / name).c_str());
    }
    EXPECT_TRUE(NothingShown(failures));
}

// An animation turned keeps playing turned; saved as a format of one picture
// (Save As), only its first frame is saved, and only when the user says so.
TEST_F(Leaving, SavingAnAnimationOrPagesAsOnePictureAsksFirst)
{
    auto form = Open({{L"anim.webp", Animation()}}, L"anim.webp");
    Press('R', ssCtrl);
    // Playing: a later frame (shade 150 or 100), turned.
    EXPECT_TRUE(PumpUntil([&] {
        const Raster shown = Shown(*form);
        return shown.Width() == 300 && shown.PixelAt(150, 200).red < 180;
    }, 3000));
    EXPECT_EQ(MarkedCorner(Shown(*form)), "TR");

    for (int answer : {2, 1}) {
        SCOPED_TRACE(answer == 1 ? "Yes" : "No");
        prompts.clear();
        promptAnswers = {answer};
        {
            DialogDriver driver({TypeAndConfirm(folder / L"first.png")});
            ChooseMenu(*form, form->SaveAs1);
            EXPECT_TRUE(driver.Finished());
        }
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, L"Save the first frame only?");
        EXPECT_EQ(prompts[0].headline, L"Only the first frame of this animation can be saved in this file type.");
        EXPECT_EQ(prompts[0].details, (std::vector<std::wstring>{L"The other 2 frames will not be saved.",
                                                                 L"Selecting \"Yes\" will save the first frame only.",
                                                                 L"Selecting \"No\" will save nothing."}));
        EXPECT_EQ(prompts[0].buttons[0], L"Yes");
        EXPECT_EQ(prompts[0].buttons[1], L"No");
        EXPECT_FALSE(prompts[0].secondVisible);   // no "Discard Changes"
        const std::vector<uint8_t> png = ReadBytes(folder / L"first.png");
        EXPECT_EQ(png.empty(), answer == 2);
        EXPECT_EQ(form->TestState().Modified, answer == 2);
    }
    EXPECT_EQ(form->TestState().CurrentFileName, L"first.png");
    EXPECT_EQ(MarkedCorner(Shown(*form)), "TR");

    // The pages of a TIFF saved as a JPEG over another file: "No" leaves
    // both files and the turn as they were.
    form.reset();
    WriteTiff(folder / L"pages.jpg", {{Photo(400, 300, 200), TiffPageSample::Colour, COMPRESSION_LZW, {}, {}},
                                      {Photo(400, 300, 200), TiffPageSample::Grey, COMPRESSION_NONE, {}, {}},
                                      {Photo(400, 300, 200), TiffPageSample::Grey, COMPRESSION_NONE, {}, {}}});
    const std::vector<uint8_t> pages = ReadBytes(folder / L"pages.jpg");
    auto other = Open({{L"pages.tif", pages}}, L"pages.tif");
    Press('R', ssCtrl);
    prompts.clear();
    promptAnswers = {2};
    {
        DialogDriver driver({TypeAndConfirm(folder / L"pages.jpg"), ConfirmReplace()});
        ChooseMenu(*other, other->SaveAs1);
        EXPECT_TRUE(driver.Finished());
    }
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, L"Save the first page only?");
    EXPECT_EQ(prompts[0].headline, L"Only the first page of this image can be saved in this file type.");
    EXPECT_EQ(prompts[0].details[0], L"The other 2 pages will not be saved.");
    EXPECT_EQ(ReadBytes(folder / L"pages.jpg"), pages);
    EXPECT_TRUE(other->TestState().Modified);

    // An AVIF image sequence shows its first frame: saved as a PNG, that
    // frame alone, asked first.
    other.reset();
    auto sequence = Open({{L"frames.avif", ReadBytes(Widen(PIXAVO_TEST_SAMPLES) + L"/photo-sequence.avif")}},
                         L"frames.avif");
    Press('R', ssCtrl);
    prompts.clear();
    promptAnswers = {2};
    {
        DialogDriver driver({TypeAndConfirm(folder / L"frame.png")});
        ChooseMenu(*sequence, sequence->SaveAs1);
        EXPECT_TRUE(driver.Finished());
    }
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, L"Save the first frame only?");
    EXPECT_EQ(prompts[0].details[0], L"The other frame will not be saved.");
    EXPECT_TRUE(ReadBytes(folder / L"frame.png").empty());
    EXPECT_TRUE(NothingShown(failures));
}
