// Loading the current image and showing it: the no-images and image-shown
// states, busy indication, the status bar's image information, scrolling,
// pointer hiding and placement of the image control.
#include "app/MainUnit.h"

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "base/Numbers.h"
#include "base/ScopedFlag.h"
#include "dialogs/ErrorDlgUnit.h"
#include "dialogs/HelpDlgUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pictures/PictureFiles.h"
#include "rules/ZoomRules.h"
#include "widgets/Application.h"

namespace {

// A listed file that is not there (any more).
struct MissingFile : Failure {
    using Failure::Failure;
};

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

std::wstring TMainForm::CurrentFilePath() const
{
    return FolderFilePath(state_.CurrentFileName);
}

std::wstring TMainForm::FolderFilePath(const std::wstring& name) const
{
    // A drive's root folder keeps its separator: no second one is added.
    const std::wstring& folder = state_.FolderPath;
    const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    return folder + (separated ? L"" : L"\\") + name;
}

// Through the error dialog's own queue: when the dialog is already open (a
// report, or a question it asks for someone), the message waits for it to
// close instead of replacing its text.
void TMainForm::ReportLoadFailure(const std::wstring& message)
{
    ErrorDlg->ApplicationEvents1Exception(Failure(message));
}

void TMainForm::ReportUnsupportedFile(const std::wstring& argument)
{
    ShowUnsupportedFormatMessage(*HelpDlg, argument);
}

void TMainForm::LoadCurrentImage()
{
    PnlPleaseWait.SetText(kLoadingText);
    {
        // The busy pointer until the first file that loads is shown (or the
        // list is used up), also when the load is abandoned.
        const BusyScope busy(*this, false);
        while (CurrentIndexValid()) {
            try {
                state_.CurrentFileName = state_.FileList[size_t(state_.CurrentIndex)];
                const std::wstring path = CurrentFilePath();
                // The outgoing picture is let go before the next one is read, so
                // the two are never in memory together. What was seen of it stays
                // on screen until the next one is shown, also while a failure is
                // reported.
                if (!Image1.Frozen())
                    Image1.Freeze();
                state_.CurrentPicture = TPicture();
                LosslessSave.Drop();
                if (!FileExists(path))
                    throw MissingFile(L"File \"" + path + L"\" Does Not Exist");
                // The picture is decoded as far as showing it at its size needs
                // before it becomes the current one: a file whose data cannot be
                // decoded fails here, with the decoder's message.
                TPicture loaded;
                // What was read ahead is only ever a success; without it the
                // file is read here, and whatever it meets now is reported.
                std::optional<ReadAhead::Result> prepared;
                {
                    const ScopedFlag waiting(waitingForAhead_);
                    prepared = DecodeAhead.Take(path, ZoomStateNow());
                }
                if (prepared) {
                    loaded.TakeGraphic(GraphicFromPrepared(prepared->picture));
                    readTook_ = prepared->took;
                } else {
                    // The next picture is read ahead while this one is read here:
                    // the next step, or one that passes it, finds it made.
                    ReadAheadNext();
                    const auto started = std::chrono::steady_clock::now();
                    LoadPictureForDisplay(loaded, path, ShownSizeRuleNow());
                    readTook_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started);
                }
                state_.CurrentPicture = std::move(loaded);
                Image1.SetPicture(state_.CurrentPicture);
                if (prepared && prepared->tiles)
                    Image1.TakeTiles(std::move(*prepared->tiles));
                state_.Modified = false;
                state_.ChangesDismissed = false;
                state_.Resized = false;
                ScrollBox1.SetPosition(TScrollArea::Axis::Vertical, 0);
                ScrollBox1.SetPosition(TScrollArea::Axis::Horizontal, 0);
                StepZoom(0);
                SetNavigationEnabled(true);
                SlideShow1->SetEnabled(true);
                // During a show the commands keep the show's locking.
                UpdateSlideShowCommands();
                SetZoomEnabled(true);
                // The tools window does not exist yet while the main window is made.
                if (ToolBox)
                    ToolBox->ResetSizeFields();
                break;
            } catch (const SilentAbort&) {
                throw;
            } catch (const WorkCancelled&) {
                // Given up for the steps taken meanwhile (StepThroughList).
                throw;
            } catch (const MissingFile& missing) {
                // Its message names the file already, with its folder.
                ReportLoadFailure(missing.Message());
            } catch (...) {
                // The decoder's text, and which of the folder's files it
                // met: a step may have passed over several.
                ReportLoadFailure(CaughtFailureText() + L" (" + state_.CurrentFileName + L")");
            }
            state_.FileList.erase(state_.FileList.begin() + state_.CurrentIndex);
            if (size_t(state_.CurrentIndex) >= state_.FileList.size())
                --state_.CurrentIndex;
        }
    }
    if (state_.FileList.empty())
        ShowNoImagesState();
    else
        ReadAheadNext();
}

void TMainForm::ReadAheadNext()
{
    // While the user drags the window's frame every step of the drag is a
    // new size: the request waits for the end of the drag (WM_EXITSIZEMOVE).
    // Steps taken while the last load went on have asked for their own.
    if (movingOrSizing_ || stepsTaken_.steps != 0)
        return;
    const size_t count = state_.FileList.size();
    if (count < 2 || !CurrentIndexValid()) {
        DecodeAhead.Drop();
        return;
    }
    ReadAheadAt((size_t(state_.CurrentIndex) + (stepDirection_ < 0 ? count - 1 : 1)) % count, false);
}

void TMainForm::ReadAheadAt(size_t index, bool urgent)
{
    // Reading ahead is only ever a gain: when it cannot start, the load
    // reads the file itself.
    try {
        if (const FileFormat* format = FileFormatOf(state_.FileList.at(index)))
            DecodeAhead.Request(FolderFilePath(state_.FileList[index]), format->kind, ZoomStateNow(),
                                ScrollBox1.FullWidth(), ScrollBox1.FullHeight(), urgent);
        else
            DecodeAhead.Drop();
    } catch (const std::exception&) {
        DecodeAhead.Drop();
    }
}

ZoomState TMainForm::ZoomStateNow() const
{
    // The area matters only to the fit: states that show pictures alike are
    // equal.
    if (!state_.AutoFit)
        return {false, state_.ZoomPercent, 0, 0};
    return {true, 100, ScrollBox1.FullWidth(), ScrollBox1.FullHeight()};
}

ShownSizeRule TMainForm::ShownSizeRuleNow() const
{
    return ShownSizeRuleFor(ZoomStateNow());
}

void TMainForm::ShowNoImagesState()
{
    DecodeAhead.Drop();
    LosslessSave.Drop();
    // What was seen of the last picture goes too.
    Image1.SetPicture(state_.CurrentPicture);
    state_.Modified = false;
    state_.Resized = false;
    SetNavigationEnabled(false);
    SetEditingEnabled(false);
    SetSaveEnabled(false);
    SetZoomEnabled(false);
    SlideShow1->SetEnabled(false);
    if (ToolBox)
        ToolBox->Close();
    // The image information named a file that is no longer listed.
    StatusBar1.SetPanelText(1, L"");
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
    if (ToolBox)
        ToolBox->SetSaveEnabled(enabled);
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
    if (!state_.PointerHidden)
        SetImagePointers(PointerShape::Hourglass);
    if (showPanel) {
        PnlPleaseWait.SetVisible(true);
        if (!state_.PointerHidden)
            PnlPleaseWait.SetPointer(PointerShape::Hourglass);
        Repaint();
    }
}

void TMainForm::EndBusy()
{
    if (!state_.PointerHidden)
        SetImagePointers(PointerShape::Default);
    if (PnlPleaseWait.Visible()) {
        PnlPleaseWait.SetVisible(false);
        if (!state_.PointerHidden)
            PnlPleaseWait.SetPointer(PointerShape::Default);
        Repaint();
    }
}

void TMainForm::RefreshImageInfo()
{
    if (!state_.FileList.empty() && CurrentIndexValid()) {
        std::wstring info = state_.CurrentFileName + L" (" + std::to_wstring(state_.CurrentPicture.Width()) + L"x" +
                            std::to_wstring(state_.CurrentPicture.Height()) + L")";
        if (const TGraphic* graphic = state_.CurrentPicture.Graphic()) {
            const auto& record = graphic->Record();
            if (record && record->pages > 1)
                info += L" (page 1 of " + std::to_wstring(record->pages) + L")";
        }
        if (state_.Modified)
            info += L" (Modified)";
        StatusBar1.SetPanelText(1, info);
    } else {
        StatusBar1.SetPanelText(1, L"");
    }
    ShowZoomPercent();
}

void TMainForm::ShowZoomPercent()
{
    CmbZoomPercent.SetText(std::to_wstring(state_.ZoomPercent) + L"%");
}

void TMainForm::ScrollViewBy(TScrollArea::Axis axis, int percent)
{
    const int step = int(RoundHalfEven(double(ScrollBox1.Range(axis)) * percent / 100.0));
    ScrollBox1.SetPosition(axis, ScrollBox1.Position(axis) + step);
}

void TMainForm::HidePointer()
{
    state_.PointerHidden = true;
    SetImagePointers(PointerShape::Hidden);
    Repaint();
}

void TMainForm::TrackPointer(int x, int y)
{
    if (!state_.PointerHidden)
        return;
    const int dx = x - state_.LastPointerPos.x, dy = y - state_.LastPointerPos.y;
    if (dx >= -5 && dx <= 5 && dy >= -5 && dy <= 5)
        return;
    SetImagePointers(PointerShape::Default);
    state_.LastPointerPos = {x, y};
}

void TMainForm::ShowPointer()
{
    state_.PointerHidden = false;
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
