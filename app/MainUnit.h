// The main window: image area, message panel, button bar, status bar and the
// right-click menu, and the viewer's current-image state.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AttachmentRecord.h"
#include "app/DecodeAhead.h"
#include "app/ImageView.h"
#include "app/OpenPictureDialog.h"
#include "app/PrintDialog.h"
#include "dialogs/ImageCommands.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/pictures/LosslessAhead.h"
#include "imaging/pictures/PictureUtilUnit.h"
#include "rules/EmailAttachment.h"
#include "widgets/Controls.h"
#include "widgets/DropTarget.h"
#include "widgets/Form.h"
#include "widgets/Glyphs.h"
#include "widgets/GraphicControls.h"
#include "widgets/Menus.h"
#include "widgets/Timer.h"

class TEmailSizeDlg;
class TErrorDlg;
class THelpDlg;
class TNewAboutBox;
class TRenameDlg;
class TSlideShowForm;
class TToolBox;

// A top-level window's state: normal, minimised or maximised.
enum class WindowState { Normal, Minimized, Maximized };

// The message panel's texts: while loading, and in the no-images state.
inline constexpr wchar_t kLoadingText[] = L"Loading Image, Please Wait...";
inline constexpr wchar_t kNoImagesText[] = L"Press [Ctrl+O] or Click Here to open an image folder to browse.";

// The hint panel's word on a drag that cannot be dropped.
inline constexpr wchar_t kDropUnsupportedText[] = L"Only image files and folders of images can be opened here.";
inline constexpr wchar_t kDropEmptyFolderText[] = L"The folder holds no images that can be opened.";
inline constexpr wchar_t kDropNothingText[] = L"Nothing that can be opened was dragged here.";
inline constexpr wchar_t kDropSlideShowText[] = L"Stop the slide show to open another image.";
inline constexpr wchar_t kDropBusyText[] = L"Close the open window first to open another image.";

// What the main window shows and how: the folder's list of images, the
// current one, its pending changes, the zoom and the window's modes.
struct TViewerState {
    std::wstring FolderPath;
    std::vector<std::wstring> FileList;
    int CurrentIndex = 0;
    std::wstring CurrentFileName;
    TPicture CurrentPicture;
    bool Modified = false;
    bool ChangesDismissed = false;
    bool Resized = false;
    unsigned ZoomPercent = 100;
    bool AutoFit = true;
    bool FullScreen = false;
    WindowState SavedWindowState = WindowState::Normal;
    bool FullScreenBeforeShow = false;
    bool SlideShowActive = false;
    bool StartAtBeginning = false;
    bool PointerHidden = false;
    POINT LastPointerPos{0, 0};
    std::wstring EmailTempFolder;
};

class TMainForm : public TForm, public ImageCommands {
    // Made before the controls and let go after them.
    TViewerState state_;

public:
    // The arguments are the command line's, without the program name.
    explicit TMainForm(std::vector<std::wstring> arguments);
    ~TMainForm() override;

    // The viewer's state, for the tests alone: the program reads and changes
    // it only through the commands below.
    TViewerState& TestState() { return state_; }
    const TViewerState& TestState() const { return state_; }

    // ---- Secondary windows created with the main window ----
    std::unique_ptr<TErrorDlg> ErrorDlg;
    std::unique_ptr<TNewAboutBox> NewAboutBox;
    std::unique_ptr<THelpDlg> HelpDlg;

    // ---- Secondary windows created by the entry after the main window ----
    // (slide-show options, image tools, e-mail size and rename, in this order)
    std::unique_ptr<TSlideShowForm> SlideShowForm;
    std::unique_ptr<TToolBox> ToolBox;
    std::unique_ptr<TEmailSizeDlg> EmailSizeDlg;
    std::unique_ptr<TRenameDlg> RenameDlg;

    // ---- Controls ----
    TStatusBar StatusBar1{*this};
    TPanel Panel2{*this, 0, 0, 10, 10};
    TPanel Panel1{Panel2, 0, 0, 10, 10};
    TButton SBtnOpen{Panel1, Scale(5), Scale(4), Scale(30), Scale(25)};
    TButton SBtnSave{Panel1, Scale(40), Scale(4), Scale(30), Scale(25)};
    TButton SBtnPrint{Panel1, Scale(75), Scale(4), Scale(30), Scale(25)};
    TButton SBtnEmail{Panel1, Scale(110), Scale(4), Scale(30), Scale(25)};
    TButton SBtnPrevious{Panel1, Scale(150), Scale(4), Scale(30), Scale(25)};
    TButton SBtnNext{Panel1, Scale(185), Scale(4), Scale(30), Scale(25)};
    TButton SBtnSlideShow{Panel1, Scale(220), Scale(4), Scale(30), Scale(25)};
    TButton SBtnZoomOut{Panel1, Scale(260), Scale(4), Scale(30), Scale(25)};
    TButton SBtnZoomIn{Panel1, Scale(295), Scale(4), Scale(30), Scale(25)};
    TComboBox CmbZoomPercent{Panel1, Scale(330), Scale(6), Scale(55), true, ZoomPercentList()};
    TButton SBtnRotateCCW{Panel1, Scale(395), Scale(4), Scale(30), Scale(25)};
    TButton SBtnRotateCW{Panel1, Scale(430), Scale(4), Scale(30), Scale(25)};
    TButton SBtnTools{Panel1, Scale(470), Scale(4), Scale(30), Scale(25)};
    TEdit EdtKeyGrab{Panel1, Scale(480), Scale(6), 0, Scale(21)};
    TButton SBtnAutoFit{Panel1, Scale(510), Scale(4), Scale(30), Scale(25)};
    TButton SBtnHide{Panel1, Scale(545), Scale(4), Scale(30), Scale(25)};
    TButton SBtnHelpAbout{Panel1, Scale(585), Scale(4), Scale(30), Scale(25), L"?"};
    TScrollArea ScrollBox1{*this};
    TImageView Image1{ScrollBox1};
    TMessagePanel PnlPleaseWait{*this};

    TPopupMenu MainPopupMenu;
    TMenuItem* OpenImage1 = nullptr;
    TMenuItem* PreviousImage1 = nullptr;
    TMenuItem* NextImage1 = nullptr;
    TMenuItem* SlideShow2 = nullptr;
    TMenuItem* SlideShow1 = nullptr;
    TMenuItem* PauseHoldH1 = nullptr;
    TMenuItem* SlideShowOptions2 = nullptr;
    TMenuItem* Zoom1 = nullptr;
    TMenuItem* ZoomIn101 = nullptr;
    TMenuItem* ZoomOut101 = nullptr;
    TMenuItem* ZoomToFit1 = nullptr;
    TMenuItem* ZoomTo1001 = nullptr;
    TMenuItem* Rotate1 = nullptr;
    TMenuItem* N90Clockwise1 = nullptr;
    TMenuItem* N90CounterClockwise1 = nullptr;
    TMenuItem* N180Rotation1 = nullptr;
    TMenuItem* Flip1 = nullptr;
    TMenuItem* Horizontal1 = nullptr;
    TMenuItem* Vertical1 = nullptr;
    TMenuItem* BackgroundColor1 = nullptr;
    TMenuItem* Black1 = nullptr;
    TMenuItem* White1 = nullptr;
    TMenuItem* Gray1 = nullptr;
    TMenuItem* Custom1 = nullptr;
    TMenuItem* ViewFullScreen1 = nullptr;
    TMenuItem* ToggleAutofit1 = nullptr;
    TMenuItem* ColourManagement1 = nullptr;
    TMenuItem* Rename1 = nullptr;
    TMenuItem* SaveCtrlS1 = nullptr;
    TMenuItem* SaveAs1 = nullptr;
    TMenuItem* ReloadImageF51 = nullptr;
    TMenuItem* Delete1 = nullptr;
    TMenuItem* Exit1 = nullptr;

    TTimer SlideShowTimer;
    // The file the next step will most likely show, read ahead.
    TDecodeAhead DecodeAhead;
    // The turned JPEG file of the current picture rearranged for its save.
    LosslessAhead LosslessSave{TransformJpeg};
    TOpenPictureDialog DlgOpenPicture;
    TPrintDialog DlgPrint;
    TSavePictureDialog DlgSavePicture;
    TToggleBitmapList ToggleBitmapList{Scale(16)};
    // OLE for this thread, before the drop target and after it.
    OleScope Ole;
    TFileDropTarget DropTarget{[this](const std::vector<std::wstring>& paths) { return AcceptsDrop(paths); },
                               [this](std::vector<std::wstring> paths) { FilesDropped(std::move(paths)); }};

    // ---- Handlers ----
    void FormCreate();
    void FormResize() override;
    void FormClose() override;
    void FormDestroy();
    void PnlPleaseWaitClick();
    void SBtnHelpAboutClick();
    void Exit1Click();
    void ApplicationHint(const std::wstring& longHint) override;
    void FormDpiChanged(int) override;

    // ---- Folder list and navigation (app/Navigation.cpp) ----
    void OpenImageFolder(const std::wstring& path);
    // Shows the folder's images (names, as the folder listed them): the one
    // whose name in lower case is wanted, else the first.
    void ShowFolder(const std::wstring& folder, std::vector<std::wstring> names, const std::wstring& wanted);
    // Shows the entry current of these names of the folder (the list the
    // folder gave, or any other order of its files).
    void ShowFiles(std::vector<std::wstring> names, int current);
    void ChooseImageFolder();
    void ShowNextImage();
    void ShowPreviousImage();
    // The supported images of a folder in the order the folder lists them
    // (hidden and system files left out).
    static std::vector<std::wstring> ListImageFiles(const std::wstring& folder);

    // ---- Drag and drop (app/DragDrop.cpp) ----
    // Why a drop of these paths would not be taken now, told by their names
    // (an image file's, or a folder's) without opening or listing anything;
    // empty when it would be.
    std::wstring DropRefusal(const std::vector<std::wstring>& paths) const;
    // Whether a drop of these paths would be taken; when not, the hint panel
    // says why.
    bool AcceptsDrop(const std::vector<std::wstring>& paths);
    // The drop: its image opens once the dragging program has let go, after
    // the pending-changes question; a folder is listed then.
    void FilesDropped(std::vector<std::wstring> paths);
    void OpenDroppedImage();
    // The step through the list a key makes in FormKeyDown: 1 Next, -1
    // Previous, 0 none (another command, or none).
    static int StepOfKey(WORD key, ShiftState shift);

    // ---- Loading and display (app/Loading.cpp) ----
    void LoadCurrentImage();
    void BeginBusy(bool showPanel);
    void EndBusy();
    void RefreshImageInfo();
    void ScrollViewBy(TScrollArea::Axis axis, int percent);
    void HidePointer();
    void ShowPointer();
    void TrackPointer(int x, int y);
    bool CurrentIndexValid() const
    {
        return state_.CurrentIndex >= 0 && size_t(state_.CurrentIndex) < state_.FileList.size();
    }
    // Full path of the current file.
    std::wstring CurrentFilePath() const;
    // The size a picture loaded now will be shown at, by its natural size:
    // the zoom state (and the image area when it fits) as they are now.
    ZoomState ZoomStateNow() const;
    ShownSizeRule ShownSizeRuleNow() const;
    // Full path of a name in FolderPath.
    std::wstring FolderFilePath(const std::wstring& name) const;

    // ---- Rotation, flipping and resizing (app/Editing.cpp) ----
    // The current picture turned or flipped, or resized, in memory: it
    // becomes a raster, is marked modified and shown again. A failure leaves
    // the picture, its flags and the buttons as they were.
    void TransformCurrentImage(TransformMode mode);
    void ResizeCurrentImage(int width, int height);
    // Shows the image tools window with its fields reset, without blocking
    // this window; nothing without a current image or while the slide show
    // steps.
    void ShowToolBox();

    // ---- What the image tools window and the e-mail size dialog ask ----
    ImageSize CurrentImageSize() const override;
    void TurnImage(TransformMode mode) override { TransformCurrentImage(mode); }
    void ResizeImage(int width, int height) override { ResizeCurrentImage(width, height); }
    void ReloadImage() override { LoadCurrentImage(); }
    void SaveImage() override { SaveCurrentImage(); }
    void SendImage(EmailSize size) override { SendImageByEmail(size); }
    void ShowLongHint(const std::wstring& longHint) override { ApplicationHint(longHint); }

    // ---- Saving, renaming and deleting (app/Files.cpp) ----
    // Writes the modified picture over its file; true when it was written.
    bool SaveCurrentImage();
    // Writes the picture under a name chosen in the save dialog; true when it
    // was saved under another path.
    bool SaveCurrentImageAs();
    // The pending-changes check before the current image is left: it may save
    // silently, ask, or open the save dialog. True: the caller must not go on
    // (the image was saved under another name, or a save failed and the
    // changes are still on screen).
    bool ConfirmLeaveModifiedImage();
    void RenameCurrentImage();
    void DeleteCurrentImage();

    // ---- Zoom (app/Zoom.cpp) ----
    void ApplyZoom(unsigned percent);
    void StepZoom(int step);
    // The zoom box shows ZoomPercent followed by "%".
    void ShowZoomPercent();
    void ZoomToFit();
    void ToggleAutoFit();
    bool AskDisableAutoFit();
    void CmbZoomPercentChange();
    // The zoom-in and zoom-out commands: unless the auto-fit question keeps
    // auto-fit on, StepZoom by +10 or -10.
    void ZoomBy(int step);
    // Wheel with exactly Shift or Ctrl zooms, otherwise it scrolls.
    bool FormMouseWheel(int delta, ShiftState shift, POINT screenPoint) override;

    // ---- Printing (app/Printing.cpp) ----
    void PrintCurrentImage();

    // ---- Slide show (app/SlideShow.cpp) ----
    void ToggleSlideShow();
    void StartSlideShow();
    void SlideShowTimerTimer();
    void PauseOrContinueSlideShow();
    void StopSlideShow();
    // Locks the commands that change, replace or leave the image while the
    // timer runs, and gives them back their state otherwise.
    void UpdateSlideShowCommands();
    // The options dialog; nothing until the entry has created it.
    void ShowSlideShowOptions();

    // ---- Keyboard, full screen and background (app/KeyMap.cpp) ----
    void FormKeyDown(WORD& key, ShiftState shift) override;
    void SetKeyFocus();
    void ToggleFullScreen();
    void SetBackgroundColor(COLORREF color);
    // The message panel's text colour on a background: black or white, whichever reads better.
    static COLORREF TextColorOn(COLORREF background);
    void Custom1Click();

    // ---- Colour management (app/Colours.cpp) ----
    // Whether pictures are shown in their profiles' colours: the stored
    // choice, on when none is stored.
    void ReadColourManagementSetting();
    void ToggleColourManagement();
    // The colours the image area shows in, for the monitor the window is on
    // now: made anew when that is another monitor, or always when again.
    void TakeMonitorColours(bool again);

    // ---- E-mail (app/Email.cpp) ----
    // Asks for the size in the e-mail size dialog, which sends.
    void EmailCurrentImage();
    // Writes the current picture at that size into EmailTempFolder and hands
    // it to the user's mail program.
    void SendImageByEmail(EmailSize size);
    // At start: the attachments that earlier runs which ended without
    // closing left in the attachment folder are removed.
    static void RemoveLeftoverAttachments();

    static std::vector<std::wstring> ZoomPercentList();
    // The smallest outer size the user can give the window by sizing it
    // (not in full screen).
    SIZE MinimumSize() const;
    static constexpr int kMinClientWidth = 625, kMinClientHeight = 180;   // designed pixels

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // BeginBusy for a scope; EndBusy when it ends, however it ends.
    class BusyScope {
    public:
        BusyScope(TMainForm& form, bool showPanel) : form_(form) { form_.BeginBusy(showPanel); }
        ~BusyScope() { form_.EndBusy(); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TMainForm& form_;
    };
    enum class SaveAsOutcome { Cancelled, Failed, Saved, SavedElsewhere };
    SaveAsOutcome SaveAsChosenFile();
    // Whether the current picture saved under path keeps all its file holds
    // (its frames or pages) in a format that can be written.
    bool SavingKeepsEverything(const std::wstring& path) const;
    // Before the current picture is saved under path: true to go on. A save
    // that would keep only its first frame or page asks first.
    bool MaySaveAs(const std::wstring& path);
    // A save's failure, in a message box with the error icon.
    void ShowSaveError(const std::wstring& message);
    // The changes could not be saved before the image is left: they stay on
    // screen and the caller stops (true). A running show pauses, so that the
    // failure is not met again at every step.
    bool KeepUnsavedChanges();
    // The leave question in that wording and what its answer does: true
    // when the caller must not go on.
    bool AskBeforeLeaving(const std::vector<std::wstring>& wording);
    // The current picture's graphic replaced by a copy of graphic, on screen too.
    void ReplaceCurrentGraphic(const TGraphic& graphic);

    void BuildMenu();
    void SetUpButtons();
    void LayOut();
    void PlaceImage();
    void SetNavigationEnabled(bool enabled);
    void SetEditingEnabled(bool enabled);
    void SetSaveEnabled(bool enabled);
    void SetZoomEnabled(bool enabled);
    void ShowNoImagesState();
    void RemoveEmailTempFolder();
    void SetBarHeights(int bar, int strip, int status);
    void FitMaximised();
    void ReportLoadFailure(const std::wstring& message);
    // Moves by step through the list (wrapping at both ends), together with
    // the steps waiting in the queue, and loads the file reached.
    void StepThroughList(int step);
    // Takes the Next and Previous keys waiting in the queue for this window
    // out of it: their sum, and the direction of the last one. kinds limits
    // what else the system may handle meanwhile (PeekMessage's PM_QS_ flags;
    // 0: everything, sent messages too).
    int TakeQueuedSteps(int& direction, UINT kinds = 0);
    // Called while a step's picture loads: the steps that came meanwhile are
    // taken (stepsTaken_) and the picture they ask for is read at once; true
    // when the load is to give way to it.
    bool TakeStepsDuringLoad();
    // Starts reading ahead the file after the current one in the direction
    // of the last step.
    void ReadAheadNext();
    // Starts reading the listed file at index beside the current work;
    // urgent when the user has asked for it already.
    void ReadAheadAt(size_t index, bool urgent);
    void ReportUnsupportedFile(const std::wstring& argument);
    void SetImagePointers(PointerShape shape);
    void SetFormHint(const std::wstring& hint);
    // The pending-changes check and the slide show allow another image to be
    // opened (the open dialog's and a drop's gate).
    bool MayOpenAnotherImage();
    static constexpr UINT kOpenDropped = WM_APP + 2;
    static bool IsFolder(const std::wstring& path);
    // The folder's path as the list keeps it: without a last separator,
    // except a drive's root ("C:\").
    static std::wstring FolderWithoutSeparator(std::wstring folder);
    std::vector<std::wstring> droppedPaths_;
    // The e-mail attachments this run has written.
    TAttachmentRecord attachmentRecord_;
    // The folder the last Save As of this run wrote into, with its separator.
    std::wstring lastSaveFolder_;

    // The direction of the last step through the list: +1 or -1.
    int stepDirection_ = 1;
    // The steps taken while a step's picture loaded, and their direction.
    struct StepsTaken {
        int steps = 0, direction = 1;
    } stepsTaken_;
    // How long the last picture took to be read, here or ahead (zero when
    // not known), and what a step's picture took when nothing else was read
    // beside it: what tells whether pictures are shown on a held key's way.
    std::chrono::milliseconds readTook_{0}, stepLoad_{0};
    // Set while a load waits for the picture the worker reads.
    bool waitingForAhead_ = false;

    std::vector<std::wstring> arguments_;
    // The last image (or folder) named on the command line, as a full path.
    std::wstring commandLineImage_;
    bool commandLineFolder_ = false;
    // The buttons' pictures, drawn for the display's scale.
    void MakeButtonGlyphs();
    std::vector<std::pair<TButton*, GlyphId>> glyphButtons_;
    std::vector<BitmapHandle> glyphs_;
    bool created_ = false;
    SIZE lastAreaSize_{-1, -1};
    bool userSizing_ = false;
    // Between the start and the end of the user's dragging of the frame.
    bool movingOrSizing_ = false;
    // Heights of Panel1, Panel2 and StatusBar1 (0 in full screen).
    int barHeight_ = Scale(29), stripHeight_ = Scale(33), statusHeight_ = Scale(19);
    COLORREF customColors_[16] = {};
    bool colourManaged_ = true;
    HMONITOR colourMonitor_ = nullptr;   // the monitor the colours were taken for
};

