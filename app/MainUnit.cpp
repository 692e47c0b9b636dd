#include "app/MainUnit.h"

#include <windowsx.h>

#include <algorithm>

#include "imaging/ImageFormats.h"
#include "imaging/Resample.h"
#include "system/Failure.h"
#include "system/Numbers.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {

const wchar_t kMainCaption[] = L"Pixavo Image Browser by Corvane, Inc.";
const wchar_t kLoadingText[] = L"Loading Image, Please Wait...";
const wchar_t kNoImagesText[] = L"Press [Ctrl+O] or Click Here to open an image folder to browse.";

// Display copies larger than this are not kept; such an enlargement is drawn
// straight from the picture, only where it is visible.
constexpr uint64_t kMaxDisplayCopyPixels = uint64_t(1) << 25;

HCURSOR CursorFor(PointerShape shape)
{
    switch (shape) {
    case PointerShape::Hourglass: return LoadCursorW(nullptr, IDC_WAIT);
    case PointerShape::Hidden: return nullptr;
    case PointerShape::Default: break;
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The "bits" of a top-down DIB for a raster of 24 or 32 bits per pixel.
BITMAPINFOHEADER DibHeader(const Raster& raster)
{
    return {sizeof(BITMAPINFOHEADER), raster.Width(), -raster.Height(), 1, WORD(raster.Bits()), BI_RGB};
}

} // namespace

// ---------------------------------------------------------------- TPointerWindow

void TPointerWindow::SetPointer(PointerShape shape)
{
    pointer_ = shape;
    POINT p;
    if (handle_ && GetCursorPos(&p) && WindowFromPoint(p) == handle_)
        ::SetCursor(CursorFor(shape));
}

LRESULT TPointerWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == handle_) {
        ::SetCursor(CursorFor(pointer_));
        return TRUE;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- TImageView

TImageView::TImageView(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"Image1", parent.Handle(), 0, 0, 0, 0);
}

void TImageView::SetPicture(const TPicture& picture)
{
    picture_ = picture;
    DropDisplayCopy();
    Invalidate(false);
}

void TImageView::SetBackground(COLORREF color)
{
    if (color == background_)
        return;
    background_ = color;
    DropDisplayCopy();
    Invalidate(false);
}

void TImageView::DropDisplayCopy()
{
    copyValid_ = false;
    scaled_ = Raster();
    drawn_.Reset();
}

bool TImageView::MakeDisplayCopy(int width, int height)
{
    if (copyValid_ && copyWidth_ == width && copyHeight_ == height)
        return true;
    DropDisplayCopy();
    copyWidth_ = width;
    copyHeight_ = height;
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0 ||
        uint64_t(width) * uint64_t(height) > kMaxDisplayCopyPixels)
        return false;
    Raster pixels = graphic->Pixels();
    if (!pixels.Empty()) {
        if (pixels.Format() == PixelFormat::Bit32 && pixels.Alpha() == AlphaMode::Straight)
            pixels = pixels.ComposedOver(GetRValue(background_), GetGValue(background_), GetBValue(background_));
        scaled_ = ResampleArea(pixels, width, height);
    } else {
        // Icons and metafiles draw themselves, once, over the background.
        WindowDc screen;
        BitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
        MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
        if (!bitmap || !dc)
            return false;
        SelectedObject keep(dc.Get(), bitmap.Get());
        BrushHandle brush(CreateSolidBrush(background_));
        RECT all{0, 0, width, height};
        FillRect(dc.Get(), &all, brush.Get());
        graphic->Draw(dc.Get(), all);
        drawn_ = std::move(bitmap);
    }
    copyValid_ = true;
    ++copiesMade_;
    return true;
}

LRESULT TImageView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The display copy goes straight to the screen: a back buffer would only
    // add a second copy of the same pixels to every paint.
    if (message == WM_PAINT) {
        PaintDc paint(handle_);
        PaintWindow(paint.Get(), paint.Area());
        return 0;
    }
    // A new size is a new display copy: everything is drawn again, not only
    // the part that was uncovered.
    if (message == WM_SIZE)
        InvalidateRect(handle_, nullptr, FALSE);
    return TPointerWindow::HandleMessage(message, wParam, lParam);
}

void TImageView::PaintWindow(HDC dc, const RECT& area)
{
    const int width = ClientWidth(), height = ClientHeight();
    if (MakeDisplayCopy(width, height)) {
        if (!scaled_.Empty()) {
            // The whole copy in one call; the update region clips it. (Source
            // rectangles inside a top-down DIB are read differently by
            // different implementations, so none is used.)
            BITMAPINFO info{DibHeader(scaled_)};
            SetDIBitsToDevice(dc, 0, 0, UINT(width), UINT(height), 0, 0, 0, UINT(height), scaled_.Bits0(), &info,
                              DIB_RGB_COLORS);
            return;
        }
        MemoryDcHandle memory(CreateCompatibleDC(dc));
        SelectedObject keep(memory.Get(), drawn_.Get());
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory.Get(), area.left,
               area.top, SRCCOPY);
        return;
    }
    BrushHandle brush(CreateSolidBrush(background_));
    FillRect(dc, &area, brush.Get());
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0)
        return;
    // Too large to keep: an enlargement, drawn pixel-repeated where it shows.
    RECT all{0, 0, width, height};
    Raster pixels = graphic->Pixels();
    if (!pixels.Empty() && (pixels.Format() == PixelFormat::Bit24 || pixels.Format() == PixelFormat::Bit32) &&
        pixels.Alpha() != AlphaMode::Straight) {
        BITMAPINFO info{DibHeader(pixels)};
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, 0, 0, width, height, 0, 0, pixels.Width(), pixels.Height(), pixels.Bits0(), &info,
                      DIB_RGB_COLORS, SRCCOPY);
    } else {
        graphic->Draw(dc, all);
    }
}

// ---------------------------------------------------------------- TScrollArea

TScrollArea::TScrollArea(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, L"ScrollBox1", parent.Handle(), 0, 0,
              10, 10);
}

void TScrollArea::SetContent(TWindow* content)
{
    content_ = content;
    UpdateScrollBars();
}

void TScrollArea::SetContentSize(int width, int height)
{
    contentWidth_ = std::max(width, 0);
    contentHeight_ = std::max(height, 0);
    UpdateScrollBars();
}

void TScrollArea::SetContentLeft(int left)
{
    contentX_ = left + position_[0];
    UpdateScrollBars();
}

void TScrollArea::SetContentTop(int top)
{
    contentY_ = top + position_[1];
    UpdateScrollBars();
}

void TScrollArea::SetContentBounds(int left, int top, int width, int height)
{
    contentX_ = left + position_[0];
    contentY_ = top + position_[1];
    contentWidth_ = std::max(width, 0);
    contentHeight_ = std::max(height, 0);
    UpdateScrollBars();
}

RECT TScrollArea::ContentBounds() const
{
    int left = contentX_ - position_[0], top = contentY_ - position_[1];
    return {left, top, left + contentWidth_, top + contentHeight_};
}

int TScrollArea::Range(Axis axis) const
{
    return axis == Axis::Horizontal ? std::max(0, contentX_ + contentWidth_) : std::max(0, contentY_ + contentHeight_);
}

void TScrollArea::SetPosition(Axis axis, int position)
{
    const int i = int(axis);
    const int page = axis == Axis::Horizontal ? VisibleWidth() : VisibleHeight();
    position = shown_[i] ? std::clamp(position, 0, std::max(0, Range(axis) - page)) : 0;
    if (position == position_[i])
        return;
    position_[i] = position;
    SCROLLINFO info{sizeof(info), SIF_POS};
    info.nPos = position;
    SetScrollInfo(handle_, axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info, TRUE);
    MoveContent();
}

void TScrollArea::UpdateScrollBars()
{
    if (updating_ || !handle_)
        return;
    updating_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{updating_};

    const int fullWidth = FullWidth(), fullHeight = FullHeight();
    const int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
    const int rangeX = Range(Axis::Horizontal), rangeY = Range(Axis::Vertical);
    bool horizontal = rangeX > fullWidth, vertical = rangeY > fullHeight;
    if (horizontal && !vertical)
        vertical = rangeY > fullHeight - barHeight;
    if (vertical && !horizontal)
        horizontal = rangeX > fullWidth - barWidth;
    const int visible[2] = {fullWidth - (vertical ? barWidth : 0), fullHeight - (horizontal ? barHeight : 0)};
    const bool need[2] = {horizontal, vertical};
    const int range[2] = {rangeX, rangeY};
    for (int i = 0; i < 2; ++i) {
        const int bar = i == 0 ? SB_HORZ : SB_VERT;
        position_[i] = need[i] ? std::clamp(position_[i], 0, std::max(0, range[i] - visible[i])) : 0;
        if (need[i]) {
            SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS};
            info.nMin = 0;
            info.nMax = range[i] - 1;
            info.nPage = UINT(std::max(visible[i], 0));
            info.nPos = position_[i];
            SetScrollInfo(handle_, bar, &info, TRUE);
        }
        if (need[i] != shown_[i]) {
            shown_[i] = need[i];
            ShowScrollBar(handle_, bar, need[i]);
        }
    }
    MoveContent();
}

void TScrollArea::MoveContent()
{
    if (!content_ || !content_->Handle())
        return;
    SetWindowPos(content_->Handle(), nullptr, contentX_ - position_[0], contentY_ - position_[1], contentWidth_,
                 contentHeight_, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TScrollArea::Scroll(Axis axis, WORD code)
{
    const int i = int(axis);
    const int page = axis == Axis::Horizontal ? VisibleWidth() : VisibleHeight();
    const int line = Scale(16);
    int position = position_[i];
    switch (code) {
    case SB_LINEUP: position -= line; break;
    case SB_LINEDOWN: position += line; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = Range(axis); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{sizeof(info), SIF_TRACKPOS};
        GetScrollInfo(handle_, axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info);
        position = info.nTrackPos;
        break;
    }
    default: return;
    }
    SetPosition(axis, position);
}

LRESULT TScrollArea::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HSCROLL:
        Scroll(Axis::Horizontal, LOWORD(wParam));
        return 0;
    case WM_VSCROLL:
        Scroll(Axis::Vertical, LOWORD(wParam));
        return 0;
    case WM_SIZE:
        UpdateScrollBars();
        break;
    default:
        break;
    }
    return TPointerWindow::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- TMessagePanel

TMessagePanel::TMessagePanel(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"", parent.Handle(), 0, 0, 10, 10);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(MakeFont(L"MS Shell Dlg 2", Scale(13))), FALSE);
}

void TMessagePanel::PaintWindow(HDC dc, const RECT& area)
{
    RECT client;
    GetClientRect(handle_, &client);
    FillRect(dc, &client, BackgroundBrush());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fontColor_);
    SelectedObject font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(handle_, WM_GETFONT, 0, 0)));
    DrawTextW(dc, Text().c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// ---------------------------------------------------------------- TMainForm: creation and layout

std::vector<std::wstring> TMainForm::ZoomPercentList()
{
    return {L"10%", L"20%", L"25%", L"50%", L"75%", L"80%", L"90%", L"100%",
            L"110%", L"120%", L"125%", L"150%", L"200%", L"300%"};
}

TMainForm::TMainForm(std::vector<std::wstring> arguments)
    : TForm(kMainCaption, Border::Sizeable, Scale(678), Scale(440)), arguments_(std::move(arguments))
{
    SetWindowPos(handle_, nullptr, 0, 0, Scale(694), Scale(478), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterOnScreen();
    SetKeyPreview(true);
    SetFont(DefaultFont());

    StatusBar1.SetPanelWidths({Scale(400), -1});
    Panel2.SetBevel(TPanel::Bevel::Raised);
    ScrollBox1.SetColor(RGB(0, 0, 0));
    ScrollBox1.SetContent(&Image1);
    PnlPleaseWait.SetColor(RGB(0, 0, 0));
    PnlPleaseWait.SetFontColor(RGB(255, 255, 255));
    PnlPleaseWait.SetText(kNoImagesText);
    SetWindowPos(PnlPleaseWait.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    SetUpButtons();
    BuildMenu();
    SlideShowTimer.SetEnabled(false);
    SlideShowTimer.SetInterval(5000);

    ScrollBox1.onClick = [this] { SetKeyFocus(); };
    Image1.onClick = [this] { SetKeyFocus(); };
    Panel2.onClick = [this] { SetKeyFocus(); };
    Panel1.onClick = [this] { SetKeyFocus(); };
    PnlPleaseWait.onClick = [this] { PnlPleaseWaitClick(); };
    SBtnHelpAbout.onClick = [this] { SBtnHelpAboutClick(); };
    SBtnOpen.onClick = [this] { ChooseImageFolder(); };
    SBtnPrevious.onClick = [this] { ShowPreviousImage(); };
    SBtnNext.onClick = [this] { ShowNextImage(); };
    SBtnZoomIn.onClick = [this] { ZoomBy(10); };
    SBtnZoomOut.onClick = [this] { ZoomBy(-10); };
    SBtnAutoFit.onClick = [this] { ToggleAutoFit(); };
    CmbZoomPercent.onChange = [this] { CmbZoomPercentChange(); };
    SBtnHide.onClick = [this] { ToggleFullScreen(); };
    Image1.onMouseMove = [this](int x, int y) { TrackPointer(x, y); };
    ScrollBox1.onMouseMove = [this](int x, int y) { TrackPointer(x, y); };
    EdtKeyGrab.onKeyPress = [](wchar_t&) { return false; };
    // The menu key and Shift+F10 bring up the window's menu, not the key
    // catcher's editing menu.
    EdtKeyGrab.onContextMenu = [this](LPARAM point) {
        SendMessageW(handle_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle_), point);
    };

    LayOut();
    created_ = true;
    lastAreaSize_ = {ScrollBox1.Width(), ScrollBox1.Height()};
    EdtKeyGrab.SetFocus();
    Guarded([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
    FormDestroy();
    DestroyHandle();
}

void TMainForm::SetUpButtons()
{
    struct Entry {
        TButton& button;
        const wchar_t* hint;
        int glyph;   // GlyphId, or -1: from the toggle list / none
    };
    const Entry entries[] = {
        {SBtnOpen, L"Open Image Folder|Open a Folder of Images to Browse. [Ctrl+O]", int(GlyphId::Open)},
        {SBtnSave, L"Save|Save Current Image. [Ctrl+S]", int(GlyphId::Save)},
        {SBtnPrint, L"Print|Print Current Image. [Ctrl+P]", int(GlyphId::Print)},
        {SBtnEmail, L"Email|Email Current Image. [Ctrl+E]", int(GlyphId::Email)},
        {SBtnPrevious, L"Previous Image|View Previous Image. [P]", int(GlyphId::Previous)},
        {SBtnNext, L"Next Image|View Next Image. [N]", int(GlyphId::Next)},
        {SBtnSlideShow,
         L"Start/Stop Slide Show.|Slide Show: Press [S] to Start and Stop, [H] to Pause, [V] to View Options.", -1},
        {SBtnZoomOut, L"Zoom Out|Zoom Out from Image. [-]", int(GlyphId::ZoomOut)},
        {SBtnZoomIn, L"Zoom In|Zoom In on Image. [+]", int(GlyphId::ZoomIn)},
        {SBtnRotateCCW, L"Rotate 90\u00B0 Counter Clockwise|Rotate Image 90\u00B0 Counter Clockwise [Ctrl+L]",
         int(GlyphId::RotateCCW)},
        {SBtnRotateCW, L"Rotate 90\u00B0 Clockwise|Rotate Image 90\u00B0 Clockwise [Ctrl+R]", int(GlyphId::RotateCW)},
        {SBtnTools,
         L"Open Tool Box Window|Use the Tool Box to Flip, Rotate, or Resize the Current Image. [Ctrl+T]",
         int(GlyphId::Tools)},
        {SBtnAutoFit, L"Auto-fit|Automatically Fit Image to Viewing Window. [Ctrl+A]", -1},
        {SBtnHide, L"Full Screen Mode|Hide Everything but the Currrent Image. [F11]", int(GlyphId::FullScreen)},
        {SBtnHelpAbout, L"About Pixavo Image Browser|View Details Regarding Pixavo Image Browser. [F1]", -1},
    };
    for (const Entry& e : entries) {
        e.button.SetHint(e.hint);
        if (e.glyph >= 0) {
            glyphs_.push_back(MakeGlyph(GlyphId(e.glyph), Scale(16)));
            e.button.SetGlyph(glyphs_.back().Get());
        }
    }
    SBtnSlideShow.SetGlyph(ToggleBitmapList.Bitmap(TToggleBitmapList::SlideShowStopped));
    SBtnAutoFit.SetGlyph(ToggleBitmapList.Bitmap(TToggleBitmapList::AutoFitOn));
    SBtnHelpAbout.SetFaceColor(RGB(135, 206, 250));
    SBtnHelpAbout.SetFont(MakeFont(L"MS Shell Dlg 2", Scale(15), true));
    CmbZoomPercent.SetHint(L"Zoom Percentage|Adjust the Zoom Percentage.");
    CmbZoomPercent.SetText(L"0%");

    for (TButton* b : {&SBtnSave, &SBtnPrint, &SBtnEmail, &SBtnPrevious, &SBtnNext, &SBtnSlideShow, &SBtnZoomOut,
                       &SBtnZoomIn, &SBtnRotateCCW, &SBtnRotateCW, &SBtnTools})
        b->SetEnabled(false);
    CmbZoomPercent.SetEnabled(false);
}

void TMainForm::BuildMenu()
{
    TPopupMenu& m = MainPopupMenu;
    OpenImage1 = &m.Add(L"&Open Image Folder [Ctrl+O]", [this] { ChooseImageFolder(); });
    m.AddSeparator();
    PreviousImage1 = &m.Add(L"&Previous Image [P]", [this] { ShowPreviousImage(); });
    NextImage1 = &m.Add(L"&Next Image [N]", [this] { ShowNextImage(); });
    m.AddSeparator();
    SlideShow2 = &m.Add(L"Slide Show");
    SlideShow1 = &SlideShow2->Add(L"&Start Slide Show [S]");
    PauseHoldH1 = &SlideShow2->Add(L"Pause (&Hold) Silde Show [H]");
    SlideShowOptions2 = &SlideShow2->Add(L"&View Options [V]");
    m.AddSeparator();
    Zoom1 = &m.Add(L"Zoom");
    ZoomIn101 = &Zoom1->Add(L"Zoom In 10%", [this] { ZoomBy(10); });
    ZoomOut101 = &Zoom1->Add(L"Zoom Out 10%", [this] { ZoomBy(-10); });
    ZoomToFit1 = &Zoom1->Add(L"Zoom To Fit", [this] {
        if (!AskDisableAutoFit())
            ZoomToFit();
    });
    ZoomTo1001 = &Zoom1->Add(L"Zoom To 100%", [this] {
        if (!AskDisableAutoFit())
            ApplyZoom(100);
    });
    Rotate1 = &m.Add(L"&Rotate");
    N90Clockwise1 = &Rotate1->Add(L"90\u00B0 Clockwise");
    N90CounterClockwise1 = &Rotate1->Add(L"90\u00B0 Counter Clockwise");
    N180Rotation1 = &Rotate1->Add(L"180\u00B0 Rotation");
    Flip1 = &m.Add(L"Flip");
    Horizontal1 = &Flip1->Add(L"Horizontal");
    Vertical1 = &Flip1->Add(L"Vertical");
    m.AddSeparator();
    BackgroundColor1 = &m.Add(L"Background Color");
    Black1 = &BackgroundColor1->Add(L"Black", [this] { SetBackgroundColor(RGB(0, 0, 0)); });
    White1 = &BackgroundColor1->Add(L"White", [this] { SetBackgroundColor(RGB(255, 255, 255)); });
    Gray1 = &BackgroundColor1->Add(L"Gray", [this] { SetBackgroundColor(RGB(128, 128, 128)); });
    Custom1 = &BackgroundColor1->Add(L"Custom...", [this] { Custom1Click(); });
    m.AddSeparator();
    ViewFullScreen1 = &m.Add(L"&Full Screen [F11]", [this] { ToggleFullScreen(); });
    ToggleAutofit1 = &m.Add(L"&Auto-fit [Ctrl+A]", [this] { ToggleAutoFit(); });
    m.AddSeparator();
    Rename1 = &m.Add(L"Rename [Ctrl+ENTER]");
    SaveCtrlS1 = &m.Add(L"Save [Ctrl+S]");
    SaveAs1 = &m.Add(L"Save As...");
    ReloadImageF51 = &m.Add(L"Reload Image [F5]", [this] { LoadCurrentImage(); });
    Delete1 = &m.Add(L"Delete [Del]");
    m.AddSeparator();
    Exit1 = &m.Add(L"&Exit [Esc]", [this] { Exit1Click(); });

    ToggleAutofit1->SetChecked(true);
    for (TMenuItem* item : {PreviousImage1, NextImage1, SlideShow1, PauseHoldH1, Zoom1, Rotate1, Flip1, Rename1,
                            SaveCtrlS1, SaveAs1, ReloadImageF51, Delete1})
        item->SetEnabled(false);
}

void TMainForm::LayOut()
{
    const int width = ClientWidth(), height = ClientHeight();
    const int statusHeight = statusHeight_, stripHeight = stripHeight_;
    StatusBar1.SetBounds(0, height - statusHeight, width, statusHeight);
    Panel2.SetBounds(0, height - statusHeight - stripHeight, width, stripHeight);
    const int barWidth = Scale(617), barHeight = barHeight_;
    Panel1.SetBounds((Panel2.ClientWidth() - barWidth) / 2, (stripHeight - barHeight) / 2, barWidth, barHeight);
    const int areaHeight = std::max(0, height - statusHeight - stripHeight);
    ScrollBox1.SetBounds(0, 0, width, areaHeight);
    PnlPleaseWait.SetBounds(0, 0, width, areaHeight);
}

void TMainForm::FormCreate()
{
    ErrorDlg = std::make_unique<TErrorDlg>();
    NewAboutBox = std::make_unique<TNewAboutBox>();
    NewAboutBox->StartUp(arguments_);
    HelpDlg = std::make_unique<THelpDlg>();
    CurrentPicture = TPicture();
    FileList.clear();
    EmailTempFolder.clear();
    commandLineImage_.clear();
    FullScreen = false;
    AutoFit = true;
    ZoomPercent = 100;
    SlideShowActive = false;
    FullScreenBeforeShow = false;
    LastPointerPos = {0, 0};
    PointerHidden = false;
    Modified = false;
    ChangesDismissed = false;
    Resized = false;

    SlideShowTimer.SetInterval(5000);
    std::wstring interval = ReadSettingValue(EncodeSettingName(kSlideShowIntervalSetting));
    if (!interval.empty())
        if (auto value = ParseSettingInteger(interval))
            SlideShowTimer.SetInterval(unsigned(*value));
    StartAtBeginning = false;
    std::wstring start = ReadSettingValue(EncodeSettingName(kStartAtBeginningSetting));
    if (!start.empty())
        if (auto value = ParseSettingBoolean(start))
            StartAtBeginning = *value;
    std::wstring color = ReadSettingValue(EncodeSettingName(kBackGroundColorSetting));
    if (!color.empty())
        if (auto value = ParseSettingInteger(color)) {
            try {
                SetBackgroundColor(COLORREF(uint32_t(*value)));
            } catch (const std::exception&) {
                // It could not be written back: the colour stays as it was.
            }
        }

    for (const std::wstring& argument : arguments_) {
        if (IsSupportedImageFile(argument))
            commandLineImage_ = argument;
        else if (!ExtractExtension(argument).empty())
            ReportUnsupportedFile(argument);
    }
    if (!commandLineImage_.empty()) {
        // A relative name is taken from the current folder.
        OpenImageFolder(FullPathName(commandLineImage_));
    }
}

namespace {
const UINT kRaiseSplash = WM_APP + 1;
} // namespace

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (created_)
            LayOut();
        break;
    case WM_CONTEXTMENU: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (lParam == -1)
            GetCursorPos(&p);
        MainPopupMenu.Popup(handle_, p);
        return 0;
    }
    case WM_SHOWWINDOW:
        // The start-up splash stays above the main window as it appears.
        if (wParam && NewAboutBox && NewAboutBox->Visible() && !NewAboutBox->Modal())
            PostMessageW(handle_, kRaiseSplash, 0, 0);
        break;
    case kRaiseSplash:
        if (NewAboutBox && NewAboutBox->Visible())
            NewAboutBox->SetAlwaysOnTop(true);
        return 0;
    default:
        break;
    }
    return TForm::HandleMessage(message, wParam, lParam);
}

void TMainForm::FormResize()
{
    if (!created_)
        return;
    // Showing the window at the size it already has is no resize.
    SIZE area{ScrollBox1.Width(), ScrollBox1.Height()};
    if (area.cx == lastAreaSize_.cx && area.cy == lastAreaSize_.cy)
        return;
    lastAreaSize_ = area;
    StepZoom(0);
}

void TMainForm::FormClose()
{
    // The pending-changes check may save or ask, but never stops the closing.
    ConfirmLeaveModifiedImage();
    RemoveEmailTempFolder();
}

void TMainForm::RemoveEmailTempFolder()
{
    if (EmailTempFolder.empty())
        return;
    DWORD attributes = GetFileAttributesW(EmailTempFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((EmailTempFolder + L"\\*").c_str(), &data));
    if (find) {
        do {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
                continue;
            if (IsSupportedImageFile(data.cFileName))
                DeleteFileW((EmailTempFolder + L"\\" + data.cFileName).c_str());
        } while (FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    RemoveDirectoryW(EmailTempFolder.c_str());
}

void TMainForm::FormDestroy()
{
    HelpDlg.reset();
    NewAboutBox.reset();
    ErrorDlg.reset();
    FileList.clear();
    CurrentPicture = TPicture();
}

void TMainForm::SBtnHelpAboutClick()
{
    NewAboutBox->ShowModal();
}

void TMainForm::PnlPleaseWaitClick()
{
    if (FileList.empty())
        ChooseImageFolder();
    SetKeyFocus();
}

void TMainForm::Exit1Click() { Close(); }

void TMainForm::ApplicationHint(const std::wstring& longHint) { StatusBar1.SetPanelText(0, longHint); }


// ---------------------------------------------------------------- Loading and display

std::wstring TMainForm::CurrentFilePath() const
{
    // A drive's root folder keeps its separator: no second one is added.
    bool separated = !FolderPath.empty() && (FolderPath.back() == L'\\' || FolderPath.back() == L'/');
    return FolderPath + (separated ? L"" : L"\\") + CurrentFileName;
}

void TMainForm::ReportLoadFailure(const std::wstring& message)
{
    ErrorDlg->SetErrorText(message);
    ErrorDlg->ShowModal();
}

void TMainForm::ReportUnsupportedFile(const std::wstring& argument)
{
    ShowUnsupportedFormatMessage(*HelpDlg, argument);
}

void TMainForm::LoadCurrentImage()
{
    PnlPleaseWait.SetText(kLoadingText);
    BeginBusy(false);
    while (CurrentIndexValid()) {
        try {
            CurrentFileName = FileList[size_t(CurrentIndex)];
            const std::wstring path = CurrentFilePath();
            if (!FileExists(path))
                throw Failure(L"File \"" + path + L"\" Does Not Exist");
            LoadPictureFromFile(CurrentPicture, path);
            Image1.SetPicture(CurrentPicture);
            Modified = false;
            ChangesDismissed = false;
            Resized = false;
            ScrollBox1.SetPosition(TScrollArea::Axis::Vertical, 0);
            ScrollBox1.SetPosition(TScrollArea::Axis::Horizontal, 0);
            StepZoom(0);
            SetNavigationEnabled(true);
            SlideShow1->SetEnabled(true);
            if (!SlideShowActive) {
                SetEditingEnabled(true);
                SetSaveEnabled(Modified);
            }
            SetZoomEnabled(true);
            // The image tools window resets its size fields here once it exists.
            break;
        } catch (const SilentAbort&) {
            throw;
        } catch (const Failure& failure) {
            ReportLoadFailure(failure.Message());
        } catch (const std::bad_alloc&) {
            ReportLoadFailure(L"Out of memory");
        } catch (const std::exception& e) {
            ReportLoadFailure(Widen(e.what()));
        }
        FileList.erase(FileList.begin() + CurrentIndex);
        if (size_t(CurrentIndex) >= FileList.size())
            --CurrentIndex;
    }
    EndBusy();
    if (FileList.empty())
        ShowNoImagesState();
}

void TMainForm::ShowNoImagesState()
{
    Modified = false;
    Resized = false;
    SetNavigationEnabled(false);
    SetEditingEnabled(false);
    SetSaveEnabled(false);
    SetZoomEnabled(false);
    SlideShow1->SetEnabled(false);
    // The tools window's save button is disabled and the window closed here once it exists.
    PnlPleaseWait.SetText(kNoImagesText);
    PnlPleaseWait.SetVisible(true);
    PnlPleaseWait.Invalidate();
}

void TMainForm::SetNavigationEnabled(bool enabled)
{
    for (TWindow* w : std::initializer_list<TWindow*>{&SBtnPrevious, &SBtnNext, &SBtnSlideShow})
        w->SetEnabled(enabled);
    PreviousImage1->SetEnabled(enabled);
    NextImage1->SetEnabled(enabled);
}

void TMainForm::SetEditingEnabled(bool enabled)
{
    for (TMenuItem* item : {Rotate1, Flip1, SaveAs1, Rename1, Delete1, ReloadImageF51})
        item->SetEnabled(enabled);
    for (TWindow* w : std::initializer_list<TWindow*>{&SBtnRotateCCW, &SBtnRotateCW, &SBtnTools, &SBtnPrint,
                                                      &SBtnEmail})
        w->SetEnabled(enabled);
}

void TMainForm::SetSaveEnabled(bool enabled)
{
    SBtnSave.SetEnabled(enabled);
    SaveCtrlS1->SetEnabled(enabled);
    // The image tools window's save button follows once that window exists.
}

void TMainForm::SetZoomEnabled(bool enabled)
{
    SBtnZoomOut.SetEnabled(enabled);
    SBtnZoomIn.SetEnabled(enabled);
    CmbZoomPercent.SetEnabled(enabled);
    Zoom1->SetEnabled(enabled);
}

void TMainForm::SetImagePointers(PointerShape shape)
{
    Image1.SetPointer(shape);
    ScrollBox1.SetPointer(shape);
}

void TMainForm::BeginBusy(bool showPanel)
{
    if (!PointerHidden)
        SetImagePointers(PointerShape::Hourglass);
    if (showPanel) {
        PnlPleaseWait.SetVisible(true);
        if (!PointerHidden)
            PnlPleaseWait.SetPointer(PointerShape::Hourglass);
        Repaint();
    }
}

void TMainForm::EndBusy()
{
    if (!PointerHidden)
        SetImagePointers(PointerShape::Default);
    if (PnlPleaseWait.Visible()) {
        PnlPleaseWait.SetVisible(false);
        if (!PointerHidden)
            PnlPleaseWait.SetPointer(PointerShape::Default);
        Repaint();
    }
}

void TMainForm::RefreshImageInfo()
{
    if (!FileList.empty() && CurrentIndexValid()) {
        std::wstring info = CurrentFileName + L" (" + std::to_wstring(CurrentPicture.Width()) + L"x" +
                            std::to_wstring(CurrentPicture.Height()) + L")";
        if (Modified)
            info += L" (Modified)";
        StatusBar1.SetPanelText(1, info);
    } else {
        StatusBar1.SetPanelText(1, L"");
    }
    ShowZoomPercent();
}

void TMainForm::ShowZoomPercent()
{
    CmbZoomPercent.SetText(std::to_wstring(ZoomPercent) + L"%");
}

void TMainForm::ScrollViewBy(TScrollArea::Axis axis, int percent)
{
    const int step = int(RoundHalfEven(double(ScrollBox1.Range(axis)) * percent / 100.0));
    ScrollBox1.SetPosition(axis, ScrollBox1.Position(axis) + step);
}

void TMainForm::HidePointer()
{
    PointerHidden = true;
    SetImagePointers(PointerShape::Hidden);
    Repaint();
}

void TMainForm::TrackPointer(int x, int y)
{
    if (!PointerHidden)
        return;
    const int dx = x - LastPointerPos.x, dy = y - LastPointerPos.y;
    if (dx >= -5 && dx <= 5 && dy >= -5 && dy <= 5)
        return;
    SetImagePointers(PointerShape::Default);
    LastPointerPos = {x, y};
}

void TMainForm::ShowPointer()
{
    PointerHidden = false;
    SetImagePointers(PointerShape::Default);
}

// ---------------------------------------------------------------- Placement

void TMainForm::PlaceImage()
{
    using Axis = TScrollArea::Axis;
    RECT bounds = ScrollBox1.ContentBounds();
    const int width = bounds.right - bounds.left;
    if (width < ScrollBox1.VisibleWidth()) {
        ScrollBox1.SetPosition(Axis::Horizontal, 0);
        ScrollBox1.SetContentLeft(int(RoundHalfEven((ScrollBox1.VisibleWidth() - width) / 2.0)));
    } else {
        ScrollBox1.SetContentLeft(0);
    }
    bounds = ScrollBox1.ContentBounds();
    const int height = bounds.bottom - bounds.top;
    if (height < ScrollBox1.VisibleHeight()) {
        ScrollBox1.SetPosition(Axis::Vertical, 0);
        ScrollBox1.SetContentTop(int(RoundHalfEven((ScrollBox1.VisibleHeight() - height) / 2.0)));
    } else {
        ScrollBox1.SetContentTop(0);
    }
}
