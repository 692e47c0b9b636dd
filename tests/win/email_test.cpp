// E-mailing the current image: the size dialog, the attachment written into
// C:\temp\pixavo and the message that the real MAPI32.DLL hands to the test
// mail client, failures that leave the dialog open, and the clean-up when the
// main window closes.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "imaging/codecs/JpegCodec.h"
#include "tests/FormatSamples.h"
#include "tests/win/MailTestSupport.h"
#include "tests/win/ViewerTestSupport.h"

namespace {

using namespace mail_test;
using namespace viewer_test;

const std::wstring kTemp = L"C:\\temp", kAttachments = L"C:\\temp\\pixavo";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    for (bool more = bool(find); more; more = FindNextFileW(find.Get(), &data)) {
        const std::wstring name = data.cFileName, full = path + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(full.c_str());
        else if (name != L"." && name != L"..")
            RemoveTree(full);
    }
    find.Reset();
    RemoveDirectoryW(path.c_str());
}

// C:\temp is missing during the test, as on a machine that never had one;
// one that was there is moved aside and comes back afterwards.
struct NoTempFolder {
    const std::wstring saved = L"C:\\temp kept aside by the e-mail tests";
    NoTempFolder() { MoveFileW(kTemp.c_str(), saved.c_str()); }
    ~NoTempFolder()
    {
        RemoveTree(kTemp);
        MoveFileW(saved.c_str(), kTemp.c_str());
    }
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

// What the test mail client records for an e-mailed attachment.
std::wstring SentMessage(const std::wstring& name, unsigned answer = 0)
{
    return L"MAPISendMailW flags=11 parent=none account=none answer=" + std::to_wstring(answer) + L"\nsubject=" +
           name + L"\nbody=\\r\\n\\r\\n\\r\\n" + std::wstring(69, L'-') +
           L"\\r\\nSending pictures to friends is as easy as \"P-I-X-A-V-O\" with Pixavo Image Browser.\\r\\n"
           L"Find out more by downloading a free copy of Pixavo Image Browser at https://corvane.com/pixavo\\r\\n\n"
           L"file -1 C:\\temp\\pixavo\\" + name + L" | " + name + L"\n";
}

// What the size dialog is made to do each time it waits for the user.
enum class Step { Small, Medium, Large, Cancel, Escape };

class Email : public testing::Test {
protected:
    void SetUp() override
    {
        png_ = RegisterPngIfMissing();
        Application::ModalShownHook() = [this](TForm& form) {
            if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
                failures.push_back(error->MmoError.Text() + (form_->EmailSizeDlg->Visible() ? L" (open)" : L""));
                PostClick(error->SbtnOkay.Handle());
                DeleteFileW(kAttachments.c_str());   // the file that kept "\pixavo" from being made
            } else if (dynamic_cast<TEmailSizeDlg*>(&form)) {
                ++dialogShown;
            } else {
                return;
            }
            NextStep();
        };
    }
    void TearDown() override
    {
        StopAnsweringModals();
        form_.reset();
    }

    // A main window with its e-mail size dialog, showing the image.
    TMainForm& Open(const std::wstring& name, int width, int height)
    {
        const Raster raster = Solid(width, height, 220, 0, 0);
        const std::wstring path = folder / name;
        if (name.ends_with(L".ico"))
            WriteBytes(path, ReadBytes(PIXAVO_TEST_DATA L"/sample.ico"));   // 16 x 16 and 32 x 32
        else if (name.ends_with(L".GIF"))
            WriteBytes(path, format_samples::TwoFrameGif());   // 8 x 6
        else if (name.ends_with(L".jpeg"))
            WriteBytes(path, EncodeJpeg(raster));
        else
            SaveGraphicToFile(TBitmapGraphic(raster), path);
        form_ = std::make_unique<TMainForm>(std::vector<std::wstring>{L"/nosplash"});
        form_->EmailSizeDlg = std::make_unique<TEmailSizeDlg>(*form_);
        form_->Show();
        form_->OpenImageFolder(path);
        form_->SetKeyFocus();
        Pump();
        EXPECT_EQ(form_->TestState().CurrentFileName, name);
        return *form_;
    }

    void NextStep()
    {
        if (steps.empty())
            return;
        TEmailSizeDlg& dialog = *form_->EmailSizeDlg;
        TButton* buttons[] = {&dialog.SBtnSmall, &dialog.SbtnMedium, &dialog.SbtnLarge, &dialog.SBtnCancel};
        const Step step = steps.front();
        steps.pop_front();
        if (step == Step::Escape)
            PostMessageW(dialog.SBtnSmall.Handle(), WM_KEYDOWN, VK_ESCAPE, 1 | MapVirtualKeyW(VK_ESCAPE, 0) << 16);
        else
            PostClick(buttons[int(step)]->Handle());
    }

    MailClientRegistration client;
    NoTempFolder noTemp;
    TempFolder folder{L"Pixavo e-mail"};
    std::unique_ptr<TMainForm> form_;
    std::deque<Step> steps;
    std::vector<std::wstring> failures;
    int dialogShown = 0;
    std::unique_ptr<PngFormatRegistration> png_;
};

} // namespace

TEST_F(Email, SizeDialogTextFrameAndClosingWithoutSending)
{
    TMainForm& form = Open(L"Photo.jpeg", 40, 20);
    TEmailSizeDlg& dialog = *form.EmailSizeDlg;
    EXPECT_EQ(dialog.Text(), L"Email Image");
    EXPECT_EQ(dialog.ClientWidth(), Scale(286));
    EXPECT_EQ(dialog.ClientHeight(), Scale(185));
    EXPECT_EQ(dialog.Color(), RGB(255, 255, 255));
    EXPECT_EQ(dialog.Label1.BoundsRect().top, Scale(8));
    const RECT frame = dialog.StaticText1Frame.BoundsRect(), text = dialog.StaticText1.BoundsRect();
    EXPECT_EQ(frame.left, Scale(8));
    EXPECT_EQ(frame.top, Scale(64));
    EXPECT_EQ(frame.right - frame.left, Scale(265));
    EXPECT_EQ(frame.bottom - frame.top, Scale(81));
    // The explanation wraps into several lines inside its frame.
    EXPECT_TRUE(text.left > frame.left && text.right < frame.right && text.bottom < frame.bottom);
    EXPECT_GT(text.bottom - text.top, 3 * Scale(13));

    // Esc and Cancel close the same dialog, nothing is written or sent, and
    // the keys go to the main window again.
    steps = {Step::Escape};
    ClickButton(form.SBtnEmail);
    steps = {Step::Cancel};
    PressCtrlE();
    EXPECT_EQ(dialogShown, 2);
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
    EXPECT_TRUE(client.TakeCalls().empty());
    EXPECT_FALSE(Exists(kTemp));
}

TEST_F(Email, EachSizeAndKindReachesTheMailClientThroughTheRealLibrary)
{
    const std::tuple<const wchar_t*, int, int, Step, const wchar_t*, GraphicKind, int, int> cases[] = {
        {L"Photo.jpeg", 1001, 601, Step::Large, L"Photo.jpeg", GraphicKind::Jpeg, 1001, 601},
        {L"Photo.jpeg", 1001, 601, Step::Medium, L"Photo.jpeg", GraphicKind::Jpeg, 500, 300},
        {L"Scan.bmp", 1001, 601, Step::Small, L"Scan.jpg", GraphicKind::Jpeg, 250, 150},
        {L"Beach.BMP", 64, 48, Step::Large, L"Beach.jpg", GraphicKind::Jpeg, 64, 48},
        {L"App.ico", 0, 0, Step::Medium, L"App.jpg", GraphicKind::Jpeg, 16, 16},
        {L"Chart.png", 401, 203, Step::Medium, L"Chart.png", GraphicKind::Png, 200, 101},
        {L"Clip.GIF", 8, 6, Step::Medium, L"Clip.jpg", GraphicKind::Jpeg, 4, 3},
        {L"Clip.webp", 64, 48, Step::Medium, L"Clip.webp", GraphicKind::Raster, 32, 24},
        {L"Plan.emf", 120, 80, Step::Small, L"Plan.emf", GraphicKind::Metafile, 0, 0},
        {L"Plan.wmf", 120, 80, Step::Large, L"Plan.wmf", GraphicKind::Metafile, 0, 0},
        {L"\u6D77\u306E\u5199\u771F.bmp", 100, 60, Step::Medium, L"\u6D77\u306E\u5199\u771F.jpg", GraphicKind::Jpeg,
         50, 30},
    };
    for (const auto& [file, width, height, size, sentAs, kind, sentWidth, sentHeight] : cases) {
        SCOPED_TRACE(Narrow(file));
        TMainForm& form = Open(file, width, height);
        steps = {size};
        if (size == Step::Small)
            ClickButton(form.SBtnEmail);
        else
            PressCtrlE();
        EXPECT_FALSE(form.EmailSizeDlg->Visible());
        EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
        EXPECT_EQ(form.TestState().EmailTempFolder, kAttachments);
        EXPECT_EQ(client.TakeCalls(), std::vector<std::wstring>{SentMessage(sentAs)});

        // The attachment in its format and size; a metafile's own size is
        // the screen's, and .wmf is the placeable old-style kind.
        const std::wstring attachment = kAttachments + L"\\" + sentAs;
        TPicture sent;
        LoadPictureFromFile(sent, attachment);
        ASSERT_NE(sent.Graphic(), nullptr);
        EXPECT_EQ(sent.Graphic()->Kind(), kind);
        const std::vector<uint8_t> bytes = ReadBytes(attachment);
        if (kind == GraphicKind::Metafile) {
            EXPECT_EQ(bytes.size() > 1 && bytes[0] == 0xD7 && bytes[1] == 0xCD, std::wstring(sentAs).ends_with(L".wmf"));
        } else {
            EXPECT_EQ(sent.Width(), sentWidth);
            EXPECT_EQ(sent.Height(), sentHeight);
        }
        // An unchanged JPEG sent at its own size is the file itself.
        if (size == Step::Large && kind == GraphicKind::Jpeg && std::wstring(file).ends_with(L".jpeg")) {
            EXPECT_EQ(bytes, ReadBytes(folder / file));
        }
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Email, FailuresAreReportedAndTheDialogStaysOpenForAnotherChoice)
{
    TMainForm& form = Open(L"Tiny.png", 3, 2);
    // "\pixavo" cannot be made while a file has its name (deleted once reported).
    ASSERT_TRUE(CreateDirectoryW(kTemp.c_str(), nullptr));
    WriteBytes(kAttachments, {1, 2, 3});
    client.SetAnswer(1);   // the user cancels the compose window
    MessageBoxWatcher boxes;
    steps = {Step::Large, Step::Small, Step::Medium};
    PressCtrlE();

    EXPECT_EQ(failures, (std::vector<std::wstring>{L"Cannot create C:\\temp\\pixavo (open)",
                                                   L"Invalid Image Size Constraints (open)"}));
    EXPECT_EQ(dialogShown, 1);
    // The third choice is sent; the cancel is reported with its code and
    // the dialog closes as the send returns. The attachment stays.
    EXPECT_EQ(client.TakeCalls(), std::vector<std::wstring>{SentMessage(L"Tiny.png", 1)});
    EXPECT_EQ(boxes.boxes, std::vector<std::wstring>{L"Error sending mail (1). [OK] error icon"});
    EXPECT_FALSE(form.EmailSizeDlg->Visible());
    TPicture sent;
    LoadPictureFromFile(sent, kAttachments + L"\\Tiny.png");
    EXPECT_EQ(sent.Width(), 1);
    EXPECT_EQ(sent.Height(), 1);
}

TEST_F(Email, ClosingDeletesTheAttachmentsAndTheFolderButNothingElse)
{
    // The first e-mail makes C:\temp and C:\temp\pixavo.
    TMainForm* form = &Open(L"Scan.bmp", 30, 20);
    steps = {Step::Large};
    PressCtrlE();
    ASSERT_TRUE(Exists(kAttachments + L"\\Scan.jpg"));
    const std::wstring others[] = {L"Other.PNG", L"notes.txt", L"hidden.png", L"sub.png"};
    for (const std::wstring& name : others)
        WriteBytes(kAttachments + L"\\" + name, {1});
    SetFileAttributesW((kAttachments + L"\\hidden.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
    DeleteFileW((kAttachments + L"\\sub.png").c_str());
    CreateDirectoryW((kAttachments + L"\\sub.png").c_str(), nullptr);

    // Closing deletes the plain image files; the folder stays while anything
    // else is in it.
    form->Close();
    for (std::wstring name : {L"Scan.jpg", L"Other.PNG", L"notes.txt", L"hidden.png", L"sub.png"})
        EXPECT_EQ(Exists(kAttachments + L"\\" + name), name != L"Scan.jpg" && name != L"Other.PNG") << Narrow(name);

    // With nothing else in it the folder goes too; C:\temp stays.
    RemoveTree(kAttachments);
    form = &Open(L"Scan.bmp", 30, 20);
    steps = {Step::Small};
    PressCtrlE();
    ASSERT_TRUE(Exists(kAttachments + L"\\Scan.jpg"));
    form->Close();
    EXPECT_FALSE(Exists(kAttachments));
    EXPECT_TRUE(Exists(kTemp));
    EXPECT_EQ(client.TakeCalls().size(), 2u);
    EXPECT_TRUE(NothingShown(failures));
}

namespace {

// The attachment records in the attachment folder.
std::vector<std::wstring> Records()
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((kAttachments + L"\\~pixavo-attachments-*.lst").c_str(), &data));
    for (bool more = bool(find); more; more = FindNextFileW(find.Get(), &data))
        found.push_back(kAttachments + L"\\" + data.cFileName);
    return found;
}

// A file that a run holds open for writing.
std::vector<uint8_t> ReadShared(const std::wstring& path)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    std::vector<uint8_t> bytes(4096);
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    return bytes;
}

// A record as a run writes it: the names, one a line, UTF-16.
void WriteRecord(const std::wstring& path, const std::vector<std::wstring>& names)
{
    std::wstring text;
    for (const std::wstring& name : names)
        text += name + L"\n";
    std::vector<uint8_t> bytes(text.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.data(), bytes.size());
    WriteBytes(path, bytes);
}

} // namespace

TEST_F(Email, AttachmentsLeftByARunThatDidNotCloseGoAtTheNextStart)
{
    // A run e-mails Scan.bmp and ends without closing: what it wrote is
    // named in its record, which cannot be deleted while the run lives.
    Open(L"Scan.bmp", 30, 20);
    steps = {Step::Large};
    PressCtrlE();
    ASSERT_EQ(Records().size(), 1u);
    const std::wstring record = Records().front();
    const std::vector<uint8_t> written = ReadShared(record);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(written.data()), written.size() / sizeof(wchar_t)),
              L"Scan.jpg\n");
    EXPECT_FALSE(DeleteFileW(record.c_str()));
    // As the run ended abnormally: its record stays behind (copied before
    // the window goes, which removes its own).
    WriteBytes(kAttachments + L"\\~pixavo-attachments-1-1.lst", written);

    // Beside it, another dead run's record and a living run's (held open as
    // a run holds it), and files of the user's.
    const struct {
        const wchar_t* path;      // relative to C:\temp
        bool deadLists, livingLists, stays;
    } files[] = {
        {L"pixavo\\Scan.jpg", true, false, false},
        {L"pixavo\\Old.PNG", true, false, false},
        {L"pixavo\\Mine.png", false, false, true},        // never named by a run
        {L"pixavo\\notes.txt", true, false, true},        // no image
        {L"pixavo\\Shared.jpg", true, true, true},        // a living run wrote it again
        {L"escape.jpg", true, false, true},               // "..\escape.jpg": not in the folder
    };
    std::vector<std::wstring> dead = {L"..\\escape.jpg", L"C:\\temp\\escape.jpg", L"Gone.png"}, living;
    for (const auto& f : files) {
        WriteBytes(kTemp + L"\\" + f.path, {1});
        const std::wstring name = std::wstring(f.path).substr(std::wstring(f.path).find_last_of(L'\\') + 1);
        if (f.deadLists && name != L"escape.jpg")
            dead.push_back(name);
        if (f.livingLists)
            living.push_back(name);
    }
    WriteRecord(kAttachments + L"\\~pixavo-attachments-2-2.lst", dead);
    const std::wstring livingRecord = kAttachments + L"\\~pixavo-attachments-3-3.lst";
    WriteRecord(livingRecord, living);
    form_.reset();
    {
        FileHandle held(CreateFileW(livingRecord.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    0, nullptr));
        ASSERT_TRUE(held);

        // The next start removes what the dead runs named, and their records.
        Open(L"Next.bmp", 30, 20);
        for (const auto& f : files)
            EXPECT_EQ(Exists(kTemp + L"\\" + f.path), f.stays) << Narrow(f.path);
        EXPECT_EQ(Records(), std::vector<std::wstring>{livingRecord});
        form_.reset();
    }
    // The living run has ended too, and the user's files are gone: the next
    // start takes the rest and the folder.
    for (const wchar_t* name : {L"Mine.png", L"notes.txt"})
        DeleteFileW((kAttachments + L"\\" + name).c_str());
    Open(L"Last.bmp", 30, 20);
    EXPECT_FALSE(Exists(kAttachments));
    EXPECT_TRUE(Exists(kTemp + L"\\escape.jpg"));
    EXPECT_TRUE(NothingShown(failures));
}
