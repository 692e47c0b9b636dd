#include "app/MainUnit.h"

#include <windowsx.h>

#include <algorithm>

#include "base/Failure.h"
#include "base/Numbers.h"
#include "base/ScopedFlag.h"
#include "dialogs/EmailSizeFormUnit.h"
#include "dialogs/ErrorDlgUnit.h"
#include "dialogs/HelpDlgUnit.h"
#include "dialogs/NewAboutFrmUnit.h"
#include "dialogs/RenameDlgUnit.h"
#include "dialogs/SlideShowFormUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/pictures/FileBytes.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {
const wchar_t kMainCaption[] = L"Pixavo Image Browser by Corvane, Inc.";
} // namespace

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
    // The main window stays where it is put; the others open on its monitor.
    SetPlacement(Placement::Never);
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
    SBtnPrint.onClick = [this] { PrintCurrentImage(); };
    SBtnEmail.onClick = [this] { EmailCurrentImage(); };
    SBtnPrevious.onClick = [this] { ShowPreviousImage(); };
    SBtnNext.onClick = [this] { ShowNextImage(); };
    SBtnSlideShow.onClick = [this] { ToggleSlideShow(); };
    SlideShowTimer.onTimer = [this] { SlideShowTimerTimer(); };
    SBtnSave.onClick = [this] { SaveCurrentImage(); };
    SBtnRotateCW.onClick = [this] { TransformCurrentImage(TransformMode::RotateClockwise); };
    SBtnRotateCCW.onClick = [this] { TransformCurrentImage(TransformMode::RotateCounterClockwise); };
    SBtnTools.onClick = [this] { ShowToolBox(); };
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
    if (Ole.Ready())
        DropTarget.Register(handle_);
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
        if (e.glyph >= 0)
            glyphButtons_.emplace_back(&e.button, GlyphId(e.glyph));
    }
    MakeButtonGlyphs();
    SBtnHelpAbout.SetFaceColor(RGB(135, 206, 250));
    SBtnHelpAbout.SetFont(MakeFont(L"MS Shell Dlg 2", Scale(15), true));
    CmbZoomPercent.SetHint(L"Zoom Percentage|Adjust the Zoom Percentage.");
    // The image area has no hint of its own: it pops up the window's.
    RegisterHint(ScrollBox1);
    RegisterHint(Image1);
    CmbZoomPercent.SetText(L"0%");

    for (TButton* b : {&SBtnSave, &SBtnPrint, &SBtnEmail, &SBtnPrevious, &SBtnNext, &SBtnSlideShow, &SBtnZoomOut,
                       &SBtnZoomIn, &SBtnRotateCCW, &SBtnRotateCW, &SBtnTools})
        b->SetEnabled(false);
    CmbZoomPercent.SetEnabled(false);
}

void TMainForm::MakeButtonGlyphs()
{
    // Drawn for the scale, never stretched: the old pictures go once the
    // buttons hold the new ones.
    std::vector<BitmapHandle> glyphs;
    for (const auto& [button, id] : glyphButtons_) {
        glyphs.push_back(MakeGlyph(id, FormScale(16)));
        button->SetGlyph(glyphs.back().Get());
    }
    TToggleBitmapList toggles(FormScale(16));
    SBtnSlideShow.SetGlyph(toggles.Bitmap(state_.SlideShowActive ? TToggleBitmapList::SlideShowRunning
                                                                  : TToggleBitmapList::SlideShowStopped));
    SBtnAutoFit.SetGlyph(toggles.Bitmap(state_.AutoFit ? TToggleBitmapList::AutoFitOn : TToggleBitmapList::AutoFitOff));
    glyphs_ = std::move(glyphs);
    ToggleBitmapList = std::move(toggles);
}

void TMainForm::FormDpiChanged(int)
{
    // The bars keep whether they are shown (full screen hides them).
    barHeight_ = barHeight_ ? FormScale(29) : 0;
    stripHeight_ = stripHeight_ ? FormScale(33) : 0;
    statusHeight_ = statusHeight_ ? FormScale(19) : 0;
    StatusBar1.SetPanelWidths({FormScale(400), -1});
    MakeButtonGlyphs();
    LayOut();
    StepZoom(0);
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
    SlideShow1 = &SlideShow2->Add(L"&Start Slide Show [S]", [this] { ToggleSlideShow(); });
    PauseHoldH1 = &SlideShow2->Add(L"Pause (&Hold) Silde Show [H]", [this] { PauseOrContinueSlideShow(); });
    SlideShowOptions2 = &SlideShow2->Add(L"&View Options [V]", [this] { ShowSlideShowOptions(); });
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
    auto transform = [this](TransformMode mode) { return [this, mode] { TransformCurrentImage(mode); }; };
    N90Clockwise1 = &Rotate1->Add(L"90\u00B0 Clockwise", transform(TransformMode::RotateClockwise));
    N90CounterClockwise1 =
        &Rotate1->Add(L"90\u00B0 Counter Clockwise", transform(TransformMode::RotateCounterClockwise));
    N180Rotation1 = &Rotate1->Add(L"180\u00B0 Rotation", transform(TransformMode::Rotate180));
    Flip1 = &m.Add(L"Flip");
    Horizontal1 = &Flip1->Add(L"Horizontal", transform(TransformMode::FlipHorizontal));
    Vertical1 = &Flip1->Add(L"Vertical", transform(TransformMode::FlipVertical));
    m.AddSeparator();
    BackgroundColor1 = &m.Add(L"Background Color");
    Black1 = &BackgroundColor1->Add(L"Black", [this] { SetBackgroundColor(RGB(0, 0, 0)); });
    White1 = &BackgroundColor1->Add(L"White", [this] { SetBackgroundColor(RGB(255, 255, 255)); });
    Gray1 = &BackgroundColor1->Add(L"Gray", [this] { SetBackgroundColor(RGB(128, 128, 128)); });
    Custom1 = &BackgroundColor1->Add(L"Custom...", [this] { Custom1Click(); });
    m.AddSeparator();
    ViewFullScreen1 = &m.Add(L"&Full Screen [F11]", [this] { ToggleFullScreen(); });
    ToggleAutofit1 = &m.Add(L"&Auto-fit [Ctrl+A]", [this] { ToggleAutoFit(); });
    ColourManagement1 = &m.Add(L"Colour Management", [this] { ToggleColourManagement(); });
    m.AddSeparator();
    Rename1 = &m.Add(L"Rename [Ctrl+ENTER]", [this] { RenameCurrentImage(); });
    SaveCtrlS1 = &m.Add(L"Save [Ctrl+S]", [this] { SaveCurrentImage(); });
    SaveAs1 = &m.Add(L"Save As...", [this] { SaveCurrentImageAs(); });
    ReloadImageF51 = &m.Add(L"Reload Image [F5]", [this] { LoadCurrentImage(); });
    Delete1 = &m.Add(L"Delete [Del]", [this] { DeleteCurrentImage(); });
    m.AddSeparator();
    Exit1 = &m.Add(L"&Exit [Esc]", [this] { Exit1Click(); });

    ToggleAutofit1->SetChecked(true);
    ColourManagement1->SetChecked(true);
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
    const int barWidth = FormScale(617), barHeight = barHeight_;
    Panel1.SetBounds((Panel2.ClientWidth() - barWidth) / 2, (stripHeight - barHeight) / 2, barWidth, barHeight);
    const int areaHeight = std::max(0, height - statusHeight - stripHeight);
    ScrollBox1.SetBounds(0, 0, width, areaHeight);
    PnlPleaseWait.SetBounds(0, 0, width, areaHeight);
    // The status bar's last panel and its edges follow the width: drawn whole.
    StatusBar1.Invalidate();
}

SIZE TMainForm::MinimumSize() const
{
    // The whole button bar inside the strip's frame, the status bar's first
    // panel with room beside it, and some of the image area.
    RECT r{0, 0, FormScale(kMinClientWidth), FormScale(kMinClientHeight)};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    return {r.right - r.left, r.bottom - r.top};
}

void TMainForm::FormCreate()
{
    RemoveLeftoverAttachments();
    ErrorDlg = std::make_unique<TErrorDlg>();
    NewAboutBox = std::make_unique<TNewAboutBox>();
    NewAboutBox->StartUp(arguments_);
    HelpDlg = std::make_unique<THelpDlg>();
    state_.CurrentPicture = TPicture();
    state_.FileList.clear();
    state_.EmailTempFolder.clear();
    commandLineImage_.clear();
    commandLineFolder_ = false;
    state_.FullScreen = false;
    state_.AutoFit = true;
    state_.ZoomPercent = 100;
    state_.SlideShowActive = false;
    state_.FullScreenBeforeShow = false;
    state_.LastPointerPos = {0, 0};
    state_.PointerHidden = false;
    state_.Modified = false;
    state_.ChangesDismissed = false;
    state_.Resized = false;

    SlideShowTimer.SetInterval(5000);
    std::wstring interval = ReadSettingValue(EncodeSettingName(kSlideShowIntervalSetting));
    // A show that never steps is no setting of the program's: an interval of
    // 0 or less keeps the default.
    if (!interval.empty())
        if (auto value = ParseSettingInteger(interval); value && *value > 0)
            SlideShowTimer.SetInterval(unsigned(*value));
    state_.StartAtBeginning = false;
    std::wstring start = ReadSettingValue(EncodeSettingName(kStartAtBeginningSetting));
    if (!start.empty())
        if (auto value = ParseSettingBoolean(start))
            state_.StartAtBeginning = *value;
    std::wstring color = ReadSettingValue(EncodeSettingName(kBackGroundColorSetting));
    if (!color.empty())
        if (auto value = ParseSettingInteger(color)) {
            try {
                SetBackgroundColor(COLORREF(uint32_t(*value)));
            } catch (const std::exception&) {
                // It could not be written back: the colour stays as it was.
            }
        }
    ReadColourManagementSetting();

    for (const std::wstring& argument : arguments_) {
        // A relative name is taken from the current folder. A folder opens
        // its first image, whatever its name looks like ("holiday.2024").
        if (IsFolder(argument)) {
            commandLineImage_ = FolderWithoutSeparator(FullPathName(argument));
            commandLineFolder_ = true;
        } else if (IsSupportedImageFile(argument)) {
            commandLineImage_ = FullPathName(argument);
            commandLineFolder_ = false;
        } else if (!ExtractExtension(argument).empty()) {
            ReportUnsupportedFile(argument);
        }
    }
    if (commandLineFolder_)
        ShowFolder(commandLineImage_, ListImageFiles(commandLineImage_), {});
    else if (!commandLineImage_.empty())
        OpenImageFolder(commandLineImage_);
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
    case kOpenDropped:
        OpenDroppedImage();
        return 0;
    case kRaiseSplash:
        if (NewAboutBox && NewAboutBox->Visible())
            NewAboutBox->SetAlwaysOnTop(true);
        return 0;
    case WM_SYSCOMMAND:
        // The user sizes the window with the mouse or the keyboard: the
        // smallest size applies while it lasts (the system's loop runs inside).
        if ((wParam & 0xFFF0) == SC_SIZE) {
            const ScopedFlag tracking(userSizing_);
            return TForm::HandleMessage(message, wParam, lParam);
        }
        break;
    case WM_DISPLAYCHANGE:
        TakeMonitorColours(true);
        break;
    case WM_MOVE:
        // Another monitor may have other colours.
        if (created_)
            TakeMonitorColours(false);
        break;
    case WM_ENTERSIZEMOVE:
        movingOrSizing_ = true;
        break;
    case WM_EXITSIZEMOVE:
        // The user has stopped dragging the frame: the next picture is read
        // ahead once, for the size the area ended at.
        movingOrSizing_ = false;
        if (!state_.FileList.empty())
            ReadAheadNext();
        break;
    case WM_SIZING:
        // The frame being dragged never gets smaller than the minimum; the
        // edge the user holds moves, the opposite one stays.
        if (!state_.FullScreen) {
            const SIZE minimum = MinimumSize();
            RECT& r = *reinterpret_cast<RECT*>(lParam);
            if (r.right - r.left < minimum.cx) {
                if (wParam == WMSZ_LEFT || wParam == WMSZ_TOPLEFT || wParam == WMSZ_BOTTOMLEFT)
                    r.left = r.right - minimum.cx;
                else
                    r.right = r.left + minimum.cx;
            }
            if (r.bottom - r.top < minimum.cy) {
                if (wParam == WMSZ_TOP || wParam == WMSZ_TOPLEFT || wParam == WMSZ_TOPRIGHT)
                    r.top = r.bottom - minimum.cy;
                else
                    r.bottom = r.top + minimum.cy;
            }
            return TRUE;
        }
        break;
    case WM_GETMINMAXINFO:
        if (userSizing_ && !state_.FullScreen) {
            const SIZE minimum = MinimumSize();
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {minimum.cx, minimum.cy};
            return 0;
        }
        break;
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
    // Nothing more is read ahead: work under way stops (and the window's end
    // does not wait for a read that is slow to return).
    DecodeAhead.Drop();
    // The pending-changes check may save or ask, but never stops the closing
    // (not even when a save failed and said so).
    ConfirmLeaveModifiedImage();
    RemoveEmailTempFolder();
    DropTarget.Revoke();
}

void TMainForm::FormDestroy()
{
    DropTarget.Revoke();
    HelpDlg.reset();
    NewAboutBox.reset();
    ErrorDlg.reset();
    state_.FileList.clear();
    state_.CurrentPicture = TPicture();
}

void TMainForm::SBtnHelpAboutClick()
{
    NewAboutBox->ShowModal();
}

void TMainForm::PnlPleaseWaitClick()
{
    if (state_.FileList.empty())
        ChooseImageFolder();
    SetKeyFocus();
}

void TMainForm::Exit1Click() { Close(); }

void TMainForm::ApplicationHint(const std::wstring& longHint) { StatusBar1.SetPanelText(0, longHint); }
