// E-mailing the current image: the size dialog, the attachment written into
// C:\temp\pixavo and the message that the real MAPI32.DLL hands to the test
// mail client, the failures that leave the dialog open, and the clean-up
// when the main window closes.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "imaging/BmpCodec.h"
#include "imaging/JpegCodec.h"
#include "imaging/PngCodec.h"
#include "tests/win/MailTestSupport.h"
#include "tests/win/ViewerTestSupport.h"

namespace {

using namespace mail_test;
using namespace viewer_test;

const std::wstring kTemp = L"C:\\temp";
const std::wstring kAttachments = L"C:\\temp\\pixavo";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

// C:\temp absent for the test, as on a machine that never had one; whatever
// was there is moved aside and comes back afterwards.
class NoTempFolder {
public:
    NoTempFolder()
    {
        RemoveTree(kSaved);
        if (Exists(kTemp))
            saved_ = MoveFileW(kTemp.c_str(), kSaved.c_str());
    }
    ~NoTempFolder()
    {
        RemoveTree(kTemp);
        if (saved_)
            MoveFileW(kSaved.c_str(), kTemp.c_str());
    }

private:
    const std::wstring kSaved = L"C:\\temp kept aside by the e-mail tests";
    bool saved_ = false;
};

// Ctrl+E as the keyboard delivers it to the focused control.
void PressCtrlE()
{
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    std::memcpy(state, saved, sizeof(state));
    state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    SetKeyboardState(state);
    PostMessageW(GetFocus(), WM_KEYDOWN, 'E', LPARAM(1 | MapVirtualKeyW('E', MAPVK_VK_TO_VSC) << 16));
    Pump();
    SetKeyboardState(saved);
}

// A picture with a red left half and a blue right half.
Raster RedBlue(int width, int height)
{
    Raster raster = Solid(width, height, 220, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = 220, p[1] = 0, p[2] = 0;
        }
    return raster;
}

void WriteImage(const std::wstring& path, const Raster& raster)
{
    const std::wstring ext = LowerAscii(ExtractExtension(path));
    if (ext == L".jpeg" || ext == L".jpg")
        WriteBytes(path, EncodeJpeg(raster));
    else if (ext == L".png")
        WriteBytes(path, EncodePng(PngFromRaster(raster)));
    else if (ext == L".ico")
        WriteBytes(path, ReadBytes(PIXAVO_TEST_DATA L"/sample.ico"));
    else if (ext == L".bmp")
        WriteBytes(path, EncodeBmp(raster));
    else
        SaveGraphicToFile(TBitmapGraphic(raster), path);   // the metafile kinds
}

std::wstring ExpectedBody()
{
    return L"\r\n\r\n\r\n" + std::wstring(69, L'-') +
           L"\r\nSending pictures to friends is as easy as \"P-I-X-A-V-O\" with Pixavo Image Browser.\r\n"
           L"Find out more by downloading a free copy of Pixavo Image Browser at https://corvane.com/pixavo\r\n";
}

// What the size dialog is told to do each time it waits for the user.
enum class Step { Small, Medium, Large, Cancel, Escape };

class Email : public testing::Test {
protected:
    void SetUp() override
    {
        png_ = RegisterPngIfMissing();
        Application::ModalShownHook() = [this](TForm& form) {
            if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
                failures.push_back(error->MmoError.Text());
                openDuringFailure.push_back(form_ && form_->EmailSizeDlg->Visible());
                PostClick(error->SbtnOkay.Handle());
                if (onFailure)
                    onFailure();
                NextStep();   // the size dialog is still open: the next choice
            } else if (dynamic_cast<TEmailSizeDlg*>(&form)) {
                ++dialogShown;
                NextStep();
            }
        };
    }
    void TearDown() override
    {
        StopAnsweringModals();
        form_.reset();
        png_.reset();
    }

    // The main window, its e-mail size dialog, and the image opened.
    TMainForm& Open(const std::wstring& name, const Raster& raster)
    {
        WriteImage(folder / name, raster);
        form_ = std::make_unique<TMainForm>(std::vector<std::wstring>{L"/nosplash"});
        form_->EmailSizeDlg = std::make_unique<TEmailSizeDlg>(*form_);
        form_->Show();
        form_->OpenImageFolder(folder / name);
        Pump();
        EXPECT_EQ(form_->CurrentFileName, name);
        form_->SetKeyFocus();
        Pump();
        return *form_;
    }

    void NextStep()
    {
        if (steps.empty())
            return;
        TEmailSizeDlg& dialog = *form_->EmailSizeDlg;
        const Step step = steps.front();
        steps.pop_front();
        switch (step) {
        case Step::Small: PostClick(dialog.SBtnSmall.Handle()); break;
        case Step::Medium: PostClick(dialog.SbtnMedium.Handle()); break;
        case Step::Large: PostClick(dialog.SbtnLarge.Handle()); break;
        case Step::Cancel: PostClick(dialog.SBtnCancel.Handle()); break;
        case Step::Escape: {
            UINT scan = MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC);
            PostMessageW(dialog.SBtnSmall.Handle(), WM_KEYDOWN, VK_ESCAPE, LPARAM(1 | (scan << 16)));
            break;
        }
        }
    }

    MailClientRegistration client;
    NoTempFolder noTemp;
    TempFolder folder{L"Pixavo e-mail"};
    std::unique_ptr<TMainForm> form_;
    std::deque<Step> steps;
    std::vector<std::wstring> failures;
    std::vector<bool> openDuringFailure;
    std::function<void()> onFailure;
    int dialogShown = 0;

private:
    std::unique_ptr<PngFormatRegistration> png_;
};

} // namespace

TEST_F(Email, SizeDialogLayoutTextsAndClosingWithoutSending)
{
    TMainForm& form = Open(L"Photo.jpeg", RedBlue(40, 20));
    TEmailSizeDlg& dialog = *form.EmailSizeDlg;
    EXPECT_EQ(dialog.Text(), L"Email Image");
    EXPECT_EQ(dialog.ClientWidth(), Scale(286));
    EXPECT_EQ(dialog.ClientHeight(), Scale(185));
    EXPECT_EQ(dialog.GetBorder(), TForm::Border::Dialog);
    EXPECT_EQ(dialog.Color(), RGB(255, 255, 255));
    EXPECT_TRUE(dialog.KeyPreview());
    struct Control {
        TButton& button;
        int left, top, width;
        const wchar_t *caption, *hint;
    };
    const Control buttons[] = {
        {dialog.SBtnSmall, 8, 32, 75, L"Small", L"Small|One-fourth of the Current Image's Dimensions"},
        {dialog.SbtnMedium, 104, 32, 75, L"Medium", L"Medium|One-half of the Current Image's Dimensions"},
        {dialog.SbtnLarge, 200, 32, 75, L"Large", L"Large|Retain Current Image's Dimensions"},
        {dialog.SBtnCancel, 104, 152, 73, L"Cancel", L""},
    };
    for (const Control& c : buttons) {
        SCOPED_TRACE(Narrow(c.caption));
        const RECT r = BoundsIn(c.button, dialog);
        EXPECT_EQ(r.left, Scale(c.left));
        EXPECT_EQ(r.top, Scale(c.top));
        EXPECT_EQ(r.right - r.left, Scale(c.width));
        EXPECT_EQ(r.bottom - r.top, Scale(25));
        EXPECT_EQ(c.button.Text(), c.caption);
        EXPECT_EQ(c.button.Hint(), c.hint);
    }
    EXPECT_EQ(dialog.Label1.Caption(), L"Which size would you like to send the current image as?");
    EXPECT_EQ(dialog.Label1.Left(), Scale(8));
    EXPECT_EQ(dialog.Label1.Top(), Scale(8));
    const RECT frame = dialog.StaticText1Frame.BoundsRect();
    EXPECT_EQ(frame.left, Scale(8));
    EXPECT_EQ(frame.top, Scale(64));
    EXPECT_EQ(frame.right - frame.left, Scale(265));
    EXPECT_EQ(frame.bottom - frame.top, Scale(81));
    // The explanation wraps inside its frame.
    const RECT text = dialog.StaticText1.BoundsRect();
    EXPECT_GT(text.left, frame.left);
    EXPECT_LT(text.right, frame.right);
    EXPECT_GT(text.bottom - text.top, 3 * Scale(13)) << "several lines";
    EXPECT_LT(text.bottom, frame.bottom);
    EXPECT_EQ(dialog.StaticText1.Caption().substr(0, 47), L"Images can take a long time to send via email. ");

    // Esc and Cancel close the dialog, the same dialog each time, and
    // nothing is written or sent; the keys go to the main window again.
    steps = {Step::Escape};
    ClickButton(form.SBtnEmail);
    steps = {Step::Cancel};
    PressCtrlE();
    EXPECT_EQ(dialogShown, 2);
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
    EXPECT_TRUE(client.Calls().empty());
    EXPECT_FALSE(Exists(kTemp));
    EXPECT_TRUE(failures.empty());
}

TEST_F(Email, EachSizeAndKindReachesTheMailClientThroughTheRealLibrary)
{
    struct Case {
        const wchar_t* file;
        int width, height;
        Step size;
        const wchar_t* sentAs;
        GraphicKind kind;
        int sentWidth, sentHeight;   // 0: a metafile, whose frame is the screen's
    };
    const Case cases[] = {
        {L"Photo.jpeg", 1001, 601, Step::Large, L"Photo.jpeg", GraphicKind::Jpeg, 1001, 601},
        {L"Photo.jpeg", 1001, 601, Step::Medium, L"Photo.jpeg", GraphicKind::Jpeg, 500, 300},
        {L"Scan.bmp", 1001, 601, Step::Small, L"Scan.jpg", GraphicKind::Jpeg, 250, 150},
        {L"Beach.BMP", 64, 48, Step::Large, L"Beach.jpg", GraphicKind::Jpeg, 64, 48},
        {L"App.ico", 32, 32, Step::Medium, L"App.jpg", GraphicKind::Jpeg, 16, 16},   // the sample icon's 32 x 32
        {L"Chart.png", 401, 203, Step::Medium, L"Chart.png", GraphicKind::Png, 200, 101},
        {L"Plan.emf", 120, 80, Step::Small, L"Plan.emf", GraphicKind::Metafile, 0, 0},
        {L"Plan.wmf", 120, 80, Step::Large, L"Plan.wmf", GraphicKind::Metafile, 0, 0},
        {L"\u6D77\u306E\u5199\u771F.bmp", 100, 60, Step::Medium, L"\u6D77\u306E\u5199\u771F.jpg", GraphicKind::Jpeg,
         50, 30},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        TMainForm& form = Open(c.file, RedBlue(c.width, c.height));
        steps = {c.size};
        // The toolbar button once, the key otherwise.
        if (first)
            ClickButton(form.SBtnEmail);
        else
            PressCtrlE();
        first = false;
        EXPECT_FALSE(form.EmailSizeDlg->Visible());
        EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
        EXPECT_EQ(form.EmailTempFolder, kAttachments);

        const std::wstring attachment = kAttachments + L"\\" + c.sentAs;
        std::vector<MailCall> calls = client.Calls();
        client.ClearCalls();
        ASSERT_EQ(calls.size(), 1u);
        const MailCall& call = calls[0];
        EXPECT_EQ(call.entry, "MAPISendMailW");
        EXPECT_EQ(call.flags, 11u);
        EXPECT_EQ(call.subject, c.sentAs);
        EXPECT_EQ(call.body, ExpectedBody());
        EXPECT_TRUE(call.recipients.empty());
        ASSERT_EQ(call.files.size(), 1u);
        EXPECT_EQ(call.files[0].path, attachment);
        EXPECT_EQ(call.files[0].name, c.sentAs);
        EXPECT_EQ(call.files[0].position, 0xFFFFFFFFu);

        TPicture sent;
        LoadPictureFromFile(sent, attachment);
        ASSERT_NE(sent.Graphic(), nullptr);
        EXPECT_EQ(sent.Graphic()->Kind(), c.kind);
        const std::vector<uint8_t> bytes = ReadBytes(attachment);
        if (c.kind == GraphicKind::Metafile) {
            const bool placeable = bytes.size() > 4 && bytes[0] == 0xD7 && bytes[1] == 0xCD && bytes[2] == 0xC6;
            EXPECT_EQ(placeable, std::wstring(c.sentAs).ends_with(L".wmf"));
            continue;
        }
        EXPECT_EQ(sent.Width(), c.sentWidth);
        EXPECT_EQ(sent.Height(), c.sentHeight);
        // The picture itself, red on the left and blue on the right (the
        // icon is the sample icon, drawn on white).
        if (std::wstring(c.file) != L"App.ico") {
            const Raster pixels = sent.Graphic()->Pixels();
            const PaletteEntry left = pixels.PixelAt(1, c.sentHeight / 2);
            const PaletteEntry right = pixels.PixelAt(c.sentWidth - 2, c.sentHeight / 2);
            EXPECT_GT(left.red, 180);
            EXPECT_LT(left.blue, 60);
            EXPECT_GT(right.blue, 180);
            EXPECT_LT(right.red, 60);
        }
        // An unchanged JPEG sent at its own size is the file itself.
        if (c.size == Step::Large && c.kind == GraphicKind::Jpeg && std::wstring(c.file).ends_with(L".jpeg")) {
            EXPECT_EQ(bytes, ReadBytes(folder / c.file));
        }
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(Email, FailuresAreReportedAndTheDialogStaysOpenForAnotherChoice)
{
    TMainForm& form = Open(L"Tiny.png", RedBlue(3, 2));
    // "\pixavo" cannot be made while a file has its name.
    ASSERT_TRUE(CreateDirectoryW(kTemp.c_str(), nullptr));
    WriteBytes(kAttachments, {1, 2, 3});
    onFailure = [] { DeleteFileW(kAttachments.c_str()); };
    client.SetAnswer(1);   // the user cancels the compose window
    MessageBoxWatcher boxes;
    steps = {Step::Large, Step::Small, Step::Medium};
    PressCtrlE();

    EXPECT_EQ(failures, (std::vector<std::wstring>{L"Cannot create C:\\temp\\pixavo", L"Invalid Image Size Constraints"}));
    EXPECT_EQ(openDuringFailure, (std::vector<bool>{true, true}));
    EXPECT_EQ(dialogShown, 1);
    // The third choice was sent; the mail program's cancel is reported with
    // its code, and the dialog closes as the send returns.
    std::vector<MailCall> calls = client.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].subject, L"Tiny.png");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Error sending mail (1).");
    EXPECT_FALSE(form.EmailSizeDlg->Visible());
    // The attachment stays until the program closes.
    TPicture sent;
    LoadPictureFromFile(sent, kAttachments + L"\\Tiny.png");
    EXPECT_EQ(sent.Width(), 1);
    EXPECT_EQ(sent.Height(), 1);
}

TEST_F(Email, ClosingDeletesTheAttachmentsAndTheFolderButNothingElse)
{
    // The first e-mail makes C:\temp and C:\temp\pixavo.
    steps = {Step::Large};
    PressCtrlE();   // no image yet: no dialog
    EXPECT_EQ(dialogShown, 0);
    TMainForm* form = &Open(L"Scan.bmp", RedBlue(30, 20));
    steps = {Step::Large};
    PressCtrlE();
    ASSERT_TRUE(Exists(kAttachments + L"\\Scan.jpg"));
    WriteImage(kAttachments + L"\\Other.png", RedBlue(4, 4));
    WriteBytes(kAttachments + L"\\notes.txt", {'h', 'i'});
    WriteImage(kAttachments + L"\\hidden.png", RedBlue(4, 4));
    SetFileAttributesW((kAttachments + L"\\hidden.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryW((kAttachments + L"\\sub.png").c_str(), nullptr);

    // Closing deletes the plain image files only; the folder stays while
    // anything else is in it.
    form->Close();
    EXPECT_FALSE(Exists(kAttachments + L"\\Scan.jpg"));
    EXPECT_FALSE(Exists(kAttachments + L"\\Other.png"));
    EXPECT_TRUE(Exists(kAttachments + L"\\notes.txt"));
    EXPECT_TRUE(Exists(kAttachments + L"\\hidden.png"));
    EXPECT_TRUE(Exists(kAttachments + L"\\sub.png"));

    // Empty apart from the attachments: the folder goes, C:\temp stays.
    RemoveTree(kAttachments);
    form = &Open(L"Scan.bmp", RedBlue(30, 20));
    steps = {Step::Small};
    PressCtrlE();
    ASSERT_TRUE(Exists(kAttachments + L"\\Scan.jpg"));
    form->Close();
    EXPECT_FALSE(Exists(kAttachments));
    EXPECT_TRUE(Exists(kTemp));
    EXPECT_EQ(client.Calls().size(), 2u);
    EXPECT_TRUE(failures.empty());
}
