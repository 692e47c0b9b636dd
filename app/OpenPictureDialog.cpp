#include "app/OpenPictureDialog.h"

#include <dlgs.h>

#include <algorithm>
#include <memory>

#include "base/Failure.h"
#include "base/Handles.h"
#include "base/Numbers.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/display/DisplayTiles.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pictures/PictureFiles.h"
#include "widgets/Application.h"
#include "widgets/Form.h"

namespace {

// The dialog's own area, in dialog units: the system's controls go where the
// placeholder stc32 is (it grows to hold them, and everything right of it
// moves along), the preview pane and its size line to its right.
constexpr short kPaneLeft = 6, kPaneTop = 22, kPaneWidth = 120, kPaneHeight = 110;
constexpr short kSizeTop = kPaneTop + kPaneHeight + 3, kSizeHeight = 10;
constexpr short kAreaWidth = kPaneLeft + kPaneWidth + 6, kAreaHeight = kSizeTop + kSizeHeight;

// A dialog template built in memory (DWORD-aligned, as the system reads it).
class TemplateWriter {
public:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d)
    {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const wchar_t* text)
    {
        for (; *text; ++text)
            Word(WORD(*text));
        Word(0);
    }
    void AlignDword()
    {
        if (words_.size() % 2)
            Word(0);
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id)
    {
        AlignDword();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short v : {x, y, cx, cy})
            Word(WORD(v));
        Word(id);
        Word(0xFFFF);   // predefined class: static
        Word(0x0082);
        Word(0);        // no text
        Word(0);        // no creation data
    }
    const std::vector<WORD>& Words() const { return words_; }

private:
    std::vector<WORD> words_;
};

std::vector<WORD> BuildTemplate()
{
    TemplateWriter t;
    t.Dword(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL);
    t.Dword(0);
    t.Word(3);   // items
    for (short v : {short(0), short(0), kAreaWidth, kAreaHeight})
        t.Word(WORD(v));
    t.Word(0);   // no menu
    t.Word(0);   // default class
    t.Word(0);   // no title
    t.Item(0, 0, 0, 0, kAreaHeight, stc32);
    t.Item(SS_OWNERDRAW, kPaneLeft, kPaneTop, kPaneWidth, kPaneHeight, TPictureDialog::kPreviewPaneId);
    t.Item(SS_CENTER | SS_NOPREFIX, kPaneLeft, kSizeTop, kPaneWidth, kSizeHeight, TPictureDialog::kPreviewSizeId);
    return t.Words();
}

// What the preview shows: the selected picture scaled into the pane, drawn
// once per selection, and the path it came from.
struct PreviewState {
    BitmapHandle image;
    int width = 0, height = 0;
    std::wstring path;
    std::shared_ptr<const MonitorColours> colours;
    int rightMargin = -1;   // pane's distance from the area's right edge
    // What the program appends to a name without an extension, and whether
    // it asks before that file is replaced.
    std::wstring appendedExtension;
    bool confirmReplace = false;
};

PreviewState* StateOf(HWND hook) { return reinterpret_cast<PreviewState*>(GetWindowLongPtrW(hook, DWLP_USER)); }

// Posted to the hook once the dialog is laid out: the file name box gets the focus.
constexpr UINT kFocusFileName = WM_APP + 1;

// The dialog's file name box: a combo box with an edit field on newer
// systems, a plain edit on older ones.
HWND FileNameBox(HWND dialog)
{
    if (HWND combo = GetDlgItem(dialog, cmb13); combo && IsWindowVisible(combo))
        return combo;
    return GetDlgItem(dialog, edt1);
}

// Typing goes to the file name at once, replacing what the box holds.
void FocusFileName(HWND hook)
{
    HWND dialog = GetParent(hook);
    HWND box = FileNameBox(dialog);
    if (!box)
        return;
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
    // The edit field that took the focus, the box itself or inside it.
    HWND focus = GetFocus();
    if (focus == box || IsChild(box, focus))
        SendMessageW(focus, EM_SETSEL, 0, -1);
}

RECT PaneInner(HWND pane)
{
    RECT r{};
    GetClientRect(pane, &r);
    InflateRect(&r, -2, -2);
    return r;
}

void ClearPreview(HWND hook, PreviewState& state)
{
    state.image.Reset();
    state.width = state.height = 0;
    state.path.clear();
    SetDlgItemTextW(hook, TPictureDialog::kPreviewSizeId, L"");
    InvalidateRect(GetDlgItem(hook, TPictureDialog::kPreviewPaneId), nullptr, TRUE);
}

// Loads the picture and draws it, fitted and never enlarged, into a bitmap
// of the size it takes in the pane. Throws on files that cannot be loaded.
void LoadPreview(HWND hook, PreviewState& state, const std::wstring& path)
{
    TPicture picture;
    LoadPictureFromFile(picture, path);
    TGraphic* graphic = picture.Graphic();
    if (!graphic || graphic->Empty() || picture.Width() <= 0 || picture.Height() <= 0)
        throw Failure(L"Empty picture");
    const int naturalWidth = picture.Width(), naturalHeight = picture.Height();
    const RECT inner = PaneInner(GetDlgItem(hook, TPictureDialog::kPreviewPaneId));
    const double scale = std::min({1.0, double(inner.right - inner.left) / naturalWidth,
                                   double(inner.bottom - inner.top) / naturalHeight});
    const int width = std::max<int>(1, int(RoundHalfEven(naturalWidth * scale)));
    const int height = std::max<int>(1, int(RoundHalfEven(naturalHeight * scale)));

    const COLORREF background = GetSysColor(COLOR_WINDOW);
    WindowDc screen;
    BitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
    MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
    if (!bitmap || !dc)
        throw Failure(L"Out of system resources");
    {
        SelectedObject keep(dc.Get(), bitmap.Get());
        BrushHandle brush(CreateSolidBrush(background));
        RECT all{0, 0, width, height};
        FillRect(dc.Get(), &all, brush.Get());
        if (auto source = graphic->Display()) {
            // Made as the image area makes what it shows: from the level
            // that suits the size, in the monitor's colours.
            DisplayTiles shown;
            shown.SetColours(state.colours);
            shown.SetSource(std::move(source));
            shown.SetBackground(GetRValue(background), GetGValue(background), GetBValue(background));
            shown.SetShownSize(width, height);
            shown.Prepare();
            DrawRaster(dc.Get(), all, shown.MakePart({0, 0, width, height}));
        } else {
            graphic->Draw(dc.Get(), all);
        }
    }
    state.image = std::move(bitmap);
    state.width = width;
    state.height = height;
    state.path = path;
    SetDlgItemTextW(hook, TPictureDialog::kPreviewSizeId,
                    (std::to_wstring(naturalWidth) + L" x " + std::to_wstring(naturalHeight)).c_str());
    InvalidateRect(GetDlgItem(hook, TPictureDialog::kPreviewPaneId), nullptr, TRUE);
}

std::wstring WithAppendedExtension(const std::wstring& path, const std::wstring& extension)
{
    return ExtractExtension(path).empty() ? path + extension : path;
}

// The dialog asked about the name as it was typed (its full path in the
// dialog's record at this point); the file finally written may be another
// one, with the extension the program appends. True when that one may be
// written: it does not exist, or the user said to replace it.
bool MayWriteFinalName(HWND hook, const PreviewState& state, const OPENFILENAMEW& info)
{
    const std::wstring typed = info.lpstrFile ? info.lpstrFile : L"";
    const std::wstring written = WithAppendedExtension(typed, state.appendedExtension);
    if (written == typed || GetFileAttributesW(written.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    const std::wstring name = written.substr(written.find_last_of(L"\\/") + 1);
    const std::wstring question = name + L" already exists.\nDo you want to replace it?";
    wchar_t caption[256] = {};
    GetWindowTextW(GetParent(hook), caption, 256);
    const SystemDialogPlacement placed;
    return MessageBoxW(GetParent(hook), question.c_str(), caption, MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

void SelectionChanged(HWND hook, PreviewState& state)
{
    std::wstring path(32768, L'\0');
    LRESULT length = SendMessageW(GetParent(hook), CDM_GETFILEPATH, WPARAM(path.size()),
                                  reinterpret_cast<LPARAM>(path.data()));
    path.resize(length > 0 ? std::min(size_t(length), path.size()) : 0);
    while (!path.empty() && path.back() == L'\0')
        path.pop_back();
    if (path == state.path && state.image)
        return;
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !IsSupportedImageFile(path)) {
        ClearPreview(hook, state);
        return;
    }
    try {
        LoadPreview(hook, state, path);
    } catch (...) {
        // A picture that cannot be shown leaves the pane empty.
        ClearPreview(hook, state);
    }
}

void PaintPane(const PreviewState& state, const DRAWITEMSTRUCT& item)
{
    RECT r = item.rcItem;
    DrawEdge(item.hDC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_WINDOW));
    if (!state.image)
        return;
    const int left = r.left + (r.right - r.left - state.width) / 2;
    const int top = r.top + (r.bottom - r.top - state.height) / 2;
    MemoryDcHandle memory(CreateCompatibleDC(item.hDC));
    if (!memory)
        return;
    SelectedObject keep(memory.Get(), state.image.Get());
    BitBlt(item.hDC, left, top, state.width, state.height, memory.Get(), 0, 0, SRCCOPY);
}

// Keeps the pane and its size line at the same distance from the right edge
// when the dialog is resized.
void KeepPaneAtRight(HWND hook, PreviewState& state)
{
    HWND pane = GetDlgItem(hook, TPictureDialog::kPreviewPaneId);
    HWND size = GetDlgItem(hook, TPictureDialog::kPreviewSizeId);
    if (!pane || !size)
        return;
    RECT client{}, paneRect{}, sizeRect{};
    GetClientRect(hook, &client);
    GetWindowRect(pane, &paneRect);
    GetWindowRect(size, &sizeRect);
    MapWindowPoints(HWND_DESKTOP, hook, reinterpret_cast<POINT*>(&paneRect), 2);
    MapWindowPoints(HWND_DESKTOP, hook, reinterpret_cast<POINT*>(&sizeRect), 2);
    if (state.rightMargin < 0) {
        state.rightMargin = client.right - paneRect.right;
        return;
    }
    const int dx = client.right - state.rightMargin - paneRect.right;
    if (dx == 0)
        return;
    SetWindowPos(pane, nullptr, paneRect.left + dx, paneRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(size, nullptr, sizeRect.left + dx, sizeRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hook, nullptr, TRUE);
}

UINT_PTR CALLBACK PreviewHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT_PTR result = 0;
    Guarded([&] {
        switch (message) {
        case WM_INITDIALOG: {
            auto* info = reinterpret_cast<OPENFILENAMEW*>(lParam);
            SetWindowLongPtrW(hook, DWLP_USER, info->lCustData);
            result = TRUE;
            break;
        }
        case WM_NOTIFY: {
            PreviewState* state = StateOf(hook);
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (!state || !header)
                break;
            if (header->code == CDN_INITDONE) {
                KeepPaneAtRight(hook, *state);
                // The size line is written in the dialog's own font.
                SendDlgItemMessageW(hook, TOpenPictureDialog::kPreviewSizeId, WM_SETFONT,
                                    SendMessageW(GetParent(hook), WM_GETFONT, 0, 0), TRUE);
                PostMessageW(hook, kFocusFileName, 0, 0);
            }
            else if (header->code == CDN_SELCHANGE || header->code == CDN_FOLDERCHANGE)
                SelectionChanged(hook, *state);
            else if (header->code == CDN_FILEOK && state->confirmReplace &&
                     !MayWriteFinalName(hook, *state, *reinterpret_cast<OFNOTIFYW*>(lParam)->lpOFN)) {
                // Not replaced: the dialog stays open for another name.
                SetWindowLongPtrW(hook, DWLP_MSGRESULT, 1);
                result = TRUE;
            }
            break;
        }
        case kFocusFileName:
            FocusFileName(hook);
            break;
        case WM_SIZE:
            if (PreviewState* state = StateOf(hook); state && state->rightMargin >= 0)
                KeepPaneAtRight(hook, *state);
            break;
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            PreviewState* state = StateOf(hook);
            if (state && item && item->CtlID == UINT(TPictureDialog::kPreviewPaneId)) {
                PaintPane(*state, *item);
                SetWindowLongPtrW(hook, DWLP_MSGRESULT, TRUE);
                result = TRUE;
            }
            break;
        }
        default:
            break;
        }
    });
    return result;
}

} // namespace

bool TPictureDialog::Run(HWND owner, bool save)
{
    std::wstring filter;
    for (const FileType& type : FileTypes) {
        filter += type.description;
        filter += L'\0';
        filter += type.patterns;
        filter += L'\0';
    }
    filter += L'\0';

    std::vector<wchar_t> file(32768, L'\0');
    std::copy_n(FileName.begin(), std::min(FileName.size(), file.size() - 1), file.begin());

    // The template is read in place: it has to stay DWORD-aligned.
    const std::vector<WORD> words = BuildTemplate();
    std::vector<DWORD> layout((words.size() + 1) / 2, 0);
    std::copy(words.begin(), words.end(), reinterpret_cast<WORD*>(layout.data()));

    PreviewState state;
    state.appendedExtension = AppendedExtension;
    state.colours = Colours ? Colours : MonitorColours::Standard();
    state.confirmReplace = save && (Options & OFN_OVERWRITEPROMPT);
    OPENFILENAMEW info{};
    info.lStructSize = sizeof(info);
    info.hwndOwner = owner;
    info.hInstance = reinterpret_cast<HINSTANCE>(layout.data());
    info.lpstrFilter = filter.c_str();
    info.nFilterIndex = DWORD(std::max(FileTypeIndex, 1));
    info.lpstrFile = file.data();
    info.nMaxFile = DWORD(file.size());
    info.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    info.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
    info.Flags = Options | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
    info.lCustData = reinterpret_cast<LPARAM>(&state);
    info.lpfnHook = PreviewHook;

    BOOL chosen = FALSE;
    {
        const SystemDialogPlacement placed;
        chosen = save ? GetSaveFileNameW(&info) : GetOpenFileNameW(&info);
    }
    FileTypeIndex = int(info.nFilterIndex);
    if (!chosen)
        return false;
    FileName = WithAppendedExtension(file.data(), AppendedExtension);
    return true;
}
