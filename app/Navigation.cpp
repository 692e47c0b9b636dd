// Folder list and navigation commands of the main window: opening a file's
// folder, the open-picture dialog, and stepping through the list.
#include "app/MainUnit.h"

#include <chrono>

#include "base/Cancellation.h"
#include "imaging/codecs/ImageFormats.h"

namespace {

bool IsPathDelimiter(wchar_t c) { return c == L'\\' || c == L'/'; }

// While a key is held, pictures that take at most this long to be read
// (some seven a second) are shown on the way; slower ones give way to the
// picture asked for last, which would otherwise wait for them.
constexpr std::chrono::milliseconds kShownOnTheWay{150};

} // namespace

void TMainForm::OpenImageFolder(const std::wstring& path)
{
    // The wanted name follows the last separator or drive colon.
    const size_t delimiter = path.find_last_of(L"\\/:");
    const std::wstring wanted = LowerAscii(delimiter == std::wstring::npos ? path : path.substr(delimiter + 1));
    const std::wstring folder =
        FolderWithoutSeparator(path.substr(0, delimiter == std::wstring::npos ? 0 : delimiter + 1));
    ShowFolder(folder, ListImageFiles(folder), wanted);
}

std::wstring TMainForm::FolderWithoutSeparator(std::wstring folder)
{
    // The separator goes, unless it follows a drive colon or another
    // separator: "C:\a.jpg" lists "C:\", "C:\x\a.jpg" lists "C:\x".
    const size_t n = folder.size();
    if (n > 1 && IsPathDelimiter(folder[n - 1]) && folder[n - 2] != L':' && !IsPathDelimiter(folder[n - 2]))
        folder.pop_back();
    return folder;
}

bool TMainForm::IsFolder(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void TMainForm::ShowFolder(const std::wstring& folder, std::vector<std::wstring> names, const std::wstring& wanted)
{
    DecodeAhead.Drop();
    state_.FileList.clear();
    state_.ZoomPercent = 100;
    stepDirection_ = 1;
    state_.FolderPath = folder;
    int current = 0;
    for (size_t i = 0; i < names.size(); ++i)
        if (LowerAscii(names[i]) == wanted)
            current = int(i);
    ShowFiles(std::move(names), current);
}

std::vector<std::wstring> TMainForm::ListImageFiles(const std::wstring& folder)
{
    std::wstring pattern = folder;
    if (!pattern.empty() && !IsPathDelimiter(pattern.back()) && pattern.back() != L':')
        pattern += L'\\';
    pattern += L'*';
    // Enumeration order is kept as the file system delivers it.
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    if (find) {
        do {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
                continue;
            if (IsSupportedImageFile(data.cFileName))
                names.emplace_back(data.cFileName);
        } while (FindNextFileW(find.Get(), &data));
    }
    return names;
}

void TMainForm::ShowFiles(std::vector<std::wstring> names, int current)
{
    state_.FileList = std::move(names);
    state_.CurrentIndex = current;
    LoadCurrentImage();
}

void TMainForm::ChooseImageFolder()
{
    // The pending-changes check comes first: cancelling the dialog does not
    // undo what it did.
    if (!MayOpenAnotherImage())
        return;
    DlgOpenPicture.FileTypes = FileDialogEntries(false);
    DlgOpenPicture.FileTypeIndex = 1;
    DlgOpenPicture.Options = OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST |
                             OFN_DONTADDTORECENT;
    // No starting folder: the system's choice applies.
    DlgOpenPicture.InitialDir.clear();
    DlgOpenPicture.FileName = CurrentIndexValid() ? state_.CurrentFileName : std::wstring();
    if (DlgOpenPicture.Execute(handle_))
        OpenImageFolder(DlgOpenPicture.FileName);
}

bool TMainForm::MayOpenAnotherImage()
{
    if (ConfirmLeaveModifiedImage())
        return false;
    return !state_.SlideShowActive;
}

void TMainForm::ShowNextImage() { StepThroughList(1); }

void TMainForm::ShowPreviousImage() { StepThroughList(-1); }

void TMainForm::StepThroughList(int step)
{
    if (state_.FileList.empty())
        return;
    if (ConfirmLeaveModifiedImage())
        return;
    // The steps asked for while the last load was under way (a held key's
    // repeats) are taken with this one: the list is not walked picture by
    // picture behind the key, the load goes straight to where the last
    // press asks.
    int direction = step;
    step += TakeQueuedSteps(direction);
    stepDirection_ = direction;
    const int count = int(state_.FileList.size());
    auto wrapped = [count](int index) { return (index % count + count) % count; };
    // A picture on the way that was read ahead meanwhile (while the last one
    // loaded) is shown first: a held key shows what could be made while it
    // was held, and the load of the picture asked for goes on at once.
    if (step * direction >= 2) {
        const int next = wrapped(state_.CurrentIndex + direction);
        if (DecodeAhead.Ready(FolderFilePath(state_.FileList[size_t(next)]))) {
            state_.CurrentIndex = next;
            step -= direction;
            LoadCurrentImage();
            // Failed after all: the load has reported it and moved on.
            if (state_.FileList.size() != size_t(count) || state_.CurrentIndex != next)
                return;
            Image1.Repaint();
        }
    }
    state_.CurrentIndex = wrapped(state_.CurrentIndex + step);
    // While the picture loads, steps that come (a held key's repeats) are
    // taken as they come, and the picture they ask for is read at once on
    // the worker. Pictures that load quickly are still shown on the way; a
    // slow one gives way, so that the picture asked for last comes first.
    stepsTaken_ = {0, direction};
    for (;;) {
        bool shown = false;
        try {
            const LookOutScope lookOut([this] { return TakeStepsDuringLoad(); });
            LoadCurrentImage();
            shown = true;
            // How long a picture of this folder takes to be read, when
            // nothing asked for meanwhile was read beside it.
            if (stepsTaken_.steps == 0 && readTook_.count() > 0)
                stepLoad_ = readTook_;
        } catch (const WorkCancelled&) {
            // Gave way to the steps taken meanwhile.
        }
        // A picture shown while keys wait is painted now: the window would
        // be painted only once no key is left, that is, when it is let go.
        const bool keysWaiting = stepsTaken_.steps != 0 || (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY);
        if (shown && keysWaiting && !state_.FileList.empty())
            Image1.Repaint();
        if (stepsTaken_.steps == 0 || state_.FileList.empty())
            break;
        stepDirection_ = stepsTaken_.direction;
        state_.CurrentIndex = wrapped(state_.CurrentIndex + stepsTaken_.steps);
        stepsTaken_.steps = 0;
    }
}

bool TMainForm::TakeStepsDuringLoad()
{
    // Pictures read this quickly are shown on the way, and the keys pressed
    // meanwhile wait their turn while one comes from the worker.
    const bool slow = stepLoad_ > kShownOnTheWay;
    if (!slow && waitingForAhead_)
        return false;
    // Whether any key came in, asked without taking anything: the look
    // happens many times a second inside the decoders.
    if (!(HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY))
        return false;
    const int steps = TakeQueuedSteps(stepsTaken_.direction, PM_QS_INPUT);
    if (steps == 0)
        return false;
    stepsTaken_.steps += steps;
    const int count = int(state_.FileList.size());
    const int target = ((state_.CurrentIndex + stepsTaken_.steps) % count + count) % count;
    ReadAheadAt(size_t(target), true);
    return slow;
}

int TMainForm::TakeQueuedSteps(int& direction, UINT kinds)
{
    // The key messages waiting for this window, in the order they came, as
    // long as they are steps: Next and Previous keys pressed (or repeated),
    // and the same keys let go. Anything else stays where it is, and so does
    // everything after it.
    int steps = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE | PM_NOYIELD | kinds)) {
        if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP)
            break;
        if (msg.hwnd != handle_ && !IsChild(handle_, msg.hwnd))
            break;
        // Taking a message from the queue brings the keyboard's state up to
        // it: the modifiers read now are those it came with.
        const int step = StepOfKey(WORD(msg.wParam), CurrentShiftState());
        if (step == 0)
            break;
        PeekMessageW(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE | PM_NOYIELD | kinds);
        if (msg.message == WM_KEYDOWN) {
            steps += step;
            direction = step;
        }
    }
    return steps;
}
