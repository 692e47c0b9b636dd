#include "dialogs/NewAboutFrmUnit.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "imaging/codecs/JpegCodec.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pixels/Resample.h"
#include "pixavo_version.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kLink = RGB(0, 0, 255);
const wchar_t kSans[] = L"MS Shell Dlg 2";

// The photograph stored in the program's resources, drawn for the display
// that shows it width pixels wide: the artwork made for that width, or the
// smallest one wider (reduced to it), or the widest.
std::span<const uint8_t> SplashResource(int width)
{
    const struct {
        int width, id;
    } artwork[] = {{321, IDR_SPLASH_JPEG}, {401, IDR_SPLASH_JPEG_125}, {482, IDR_SPLASH_JPEG_150},
                   {642, IDR_SPLASH_JPEG_200}};
    int id = artwork[std::size(artwork) - 1].id;
    for (const auto& a : artwork)
        if (a.width >= width) {
            id = a.id;
            break;
        }
    HINSTANCE instance = Application::Instance();
    HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info)
        return {};
    HGLOBAL data = LoadResource(instance, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes)
        return {};
    return {static_cast<const uint8_t*>(bytes), size_t(SizeofResource(instance, info))};
}

TLabel& Styled(TLabel& label, COLORREF color)
{
    label.SetColor(color);
    return label;
}

} // namespace

// ---------------------------------------------------------------- TSplashImage

TSplashImage::TSplashImage(TWindow& parent, int left, int top, int width, int height) : TGraphicControl(parent)
{
    SetBounds(left, top, width, height);
}

void TSplashImage::LoadJpeg(std::span<const uint8_t> file)
{
    try {
        Raster decoded = DecodeJpeg(file);
        picture_ = decoded.Format() == PixelFormat::Bit24 ? decoded : decoded.ConvertedTo(PixelFormat::Bit24);
        shown_ = picture_.Width() == Width() && picture_.Height() == Height()
                     ? picture_
                     : ResampleArea(picture_, Width(), Height());
    } catch (const Failure&) {
        picture_ = Raster();
        shown_ = Raster();
    }
    Invalidate();
}

void TSplashImage::Rescale(int newDpi, int oldDpi)
{
    TGraphicControl::Rescale(newDpi, oldDpi);
    LoadJpeg(SplashResource(Width()));
}

void TSplashImage::Paint(HDC dc)
{
    RECT r = BoundsRect();
    if (shown_.Empty()) {
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return;
    }
    DrawRaster(dc, r, shown_);   // same size: a plain copy
}

// ---------------------------------------------------------------- TNewAboutBox

const wchar_t* const TNewAboutBox::kSupportAddress = L"corvane.com/pixavo";
const wchar_t* const TNewAboutBox::kSupportUrl = L"https://corvane.com/pixavo";

std::function<void(const std::wstring&)>& TNewAboutBox::OpenAddressHook()
{
    static std::function<void(const std::wstring&)> hook;
    return hook;
}

TNewAboutBox::TNewAboutBox()
    : TForm(L"About", Border::None, Scale(484), Scale(243), WS_EX_TOPMOST),
      Panel1(*this, 0, 0, Scale(484), Scale(243)),
      ImgSplash(Panel1, Scale(1), Scale(1), Scale(321), Scale(241)),
      LblPixavo(Panel1, Scale(96), 0, L"Pixavo", MakeFont(InstalledFace({L"Comic Sans MS", L"Comic Neue"}), Scale(43))),
      LblImageBrowser(Panel1, 0, Scale(16), L"Image Browser " PIXAVO_VERSION_SHORT_TEXT, MakeFont(kSans, Scale(32), true)),
      LblByCorvane(Panel1, 0, Scale(56), L"by Corvane, Inc", MakeFont(kSans, Scale(13), true)),
      LblBuild(Panel1, 0, Scale(72), L"Build " PIXAVO_VERSION_TEXT, MakeFont(kSans, Scale(11), true)),
      LblCopyright(Panel1, Scale(241), Scale(208), L"Copyright \u00A9 2026 Corvane, Inc.",
                   MakeFont(kSans, Scale(11), true)),
      LblComments(Panel1, Scale(218), Scale(224), L"For updates and support, visit"),
      Label1(Panel1, Scale(360), Scale(224), kSupportAddress, MakeFont(kSans, Scale(11), false, true)),
      LblPhotoCredit(Panel1, Scale(2), Scale(230), L"Photo: Corvane", MakeFont(L"Arial", Scale(9))),
      SBtnClose(Panel1, Scale(318), Scale(176), Scale(65), Scale(25), L"Close")
{
    SetColor(kWhite);
    Panel1.SetColor(kWhite);
    Panel1.SetBevel(TPanel::Bevel::Raised, 2);
    Panel1.SetBorderWidth(1);
    ImgSplash.LoadJpeg(SplashResource(ImgSplash.Width()));

    Styled(LblPixavo, kWhite);
    for (TLabel* right : {&LblImageBrowser, &LblByCorvane, &LblBuild})
        Styled(*right, kBlack).SetRightEdge(Scale(474));
    FitTitle();
    // The address follows the sentence that leads to it, one blank after it
    // however wide the font sets the sentence.
    {
        WindowDc screen;
        SelectedObject font(screen.Get(), DefaultFont());
        SIZE blank{};
        GetTextExtentPoint32W(screen.Get(), L" ", 1, &blank);
        const int after = LblComments.Left() + LblComments.Width() + blank.cx;
        Label1.SetBounds(std::max(Label1.Left(), after), Label1.Top(), Label1.Width(), Label1.Height());
        // A font wider than designed (at some display scales) would push
        // the address past the right edge: the line moves left instead.
        const int over = Label1.Left() + Label1.Width() - Scale(474);
        if (over > 0)
            for (TLabel* part : {&LblComments, &Label1})
                part->SetBounds(part->Left() - over, part->Top(), part->Width(), part->Height());
    }
    Styled(Label1, kLink).SetCursor(LoadCursorW(nullptr, IDC_HAND));
    Label1.onClick = [this] { Label1Click(); };
    Styled(LblPhotoCredit, kWhite);

    SBtnClose.onClick = [this] { SBtnCloseClick(); };
    AutoCloseTimer.SetInterval(1000);
    AutoCloseTimer.onTimer = [this] { AutoCloseTimerTimer(); };
}

void TNewAboutBox::FitTitle()
{
    // "Pixavo" and the product name read as one line: where a font sets the
    // name too wide to end at its right edge and still clear "Pixavo", the
    // name's type is made smaller until it does.
    const int clear = LblPixavo.Left() + LblPixavo.Width() + Scale(8);
    for (int size = Scale(32); size > Scale(20) && LblImageBrowser.Left() < clear;)
        LblImageBrowser.SetFont(MakeFont(kSans, --size, true));
}

TNewAboutBox::~TNewAboutBox()
{
    AutoCloseTimer.SetEnabled(false);
    DestroyHandle();
}

bool TNewAboutBox::SplashWanted(const std::vector<std::wstring>& arguments)
{
    return arguments.empty() || arguments.front() != L"/nosplash";
}

void TNewAboutBox::StartUp(const std::vector<std::wstring>& arguments)
{
    if (SplashWanted(arguments))
        ShowWithTimer();
}

void TNewAboutBox::ShowWithTimer()
{
    AutoCloseTimer.SetEnabled(true);
    SBtnClose.SetVisible(false);
    Show();
    SetAlwaysOnTop(true);
    // Paint at once: the event loop only runs once the main window is made.
    Repaint();
}

ModalAnswer TNewAboutBox::ShowModal()
{
    AutoCloseTimer.SetEnabled(false);
    SBtnClose.SetVisible(true);
    if (Modal())
        return ModalAnswer::None;
    if (IsWindowVisible(Handle()))
        Hide();   // the splash: comes back below as the modal about window
    return TForm::ShowModal();
}

void TNewAboutBox::AutoCloseTimerTimer() { Close(); }
void TNewAboutBox::SBtnCloseClick() { Close(); }

void TNewAboutBox::Label1Click()
{
    if (auto& hook = OpenAddressHook()) {
        hook(kSupportUrl);
        return;
    }
    ShellExecuteW(nullptr, L"open", kSupportUrl, nullptr, nullptr, SW_SHOWNORMAL);   // failure ignored
}

void TNewAboutBox::FormClose()
{
    SBtnClose.SetVisible(true);
    AutoCloseTimer.SetEnabled(false);
}
