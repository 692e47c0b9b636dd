#include "widgets/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "system/Numbers.h"

namespace {

const wchar_t kOwnClass[] = L"PixavoWindow";
const wchar_t kProp[] = L"PixavoWindowObject";

void RegisterOwnClass(WNDPROC proc)
{
    static bool done = [proc] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSEXW wc{sizeof(wc)};
        // A new size repaints the whole window: frames and centred texts
        // depend on it, and no stale edge stays behind.
        wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = proc;
        wc.hInstance = Application::Instance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(Application::Instance(), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kOwnClass;
        RegisterClassExW(&wc);
        return true;
    }();
    (void)done;
}

struct CreateContext {
    TWindow* window;
};

} // namespace

HFONT MakeFont(const wchar_t* face, int pixelHeight, bool bold, bool underline)
{
    static std::map<std::tuple<std::wstring, int, bool, bool>, FontHandle> cache;
    auto key = std::make_tuple(std::wstring(face), pixelHeight, bold, underline);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.Get();
    HFONT font = CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, face);
    cache.emplace(key, FontHandle(font));
    return font;
}

bool FontInstalled(const wchar_t* face)
{
    WindowDc screen;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(
        screen.Get(), &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
            *reinterpret_cast<bool*>(data) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

const wchar_t* InstalledFace(std::initializer_list<const wchar_t*> faces)
{
    for (const wchar_t* face : faces)
        if (FontInstalled(face))
            return face;
    return faces.size() ? *faces.begin() : L"";
}

HFONT DefaultFont()
{
    return MakeFont(L"MS Shell Dlg 2", Scale(11));
}

std::wstring ShortHint(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? hint : hint.substr(0, bar);
}

std::wstring LongHint(const std::wstring& hint)
{
    size_t bar = hint.find(L'|');
    return bar == std::wstring::npos ? hint : hint.substr(bar + 1);
}

std::wstring NearestHint(HWND window)
{
    for (HWND w = window; w; w = GetParent(w)) {
        TWindow* control = TWindow::FromHandle(w);
        if (!control)
            continue;
        if (!control->Hint().empty())
            return control->Hint();
        if (dynamic_cast<TForm*>(control))
            break;
    }
    return {};
}

// ---------------------------------------------------------------- TGraphicControl

TGraphicControl::TGraphicControl(TWindow& parent) : parent_(parent) { parent.AddGraphic(this); }
TGraphicControl::~TGraphicControl() { parent_.RemoveGraphic(this); }

void TGraphicControl::SetBounds(int left, int top, int width, int height)
{
    Invalidate();
    left_ = left; top_ = top; width_ = width; height_ = height;
    Invalidate();
}

void TGraphicControl::SetVisible(bool visible)
{
    if (visible_ != visible) {
        visible_ = visible;
        Invalidate();
    }
}

void TGraphicControl::Invalidate() const
{
    if (parent_.Handle()) {
        RECT r = BoundsRect();
        InvalidateRect(parent_.Handle(), &r, FALSE);
    }
}

// ---------------------------------------------------------------- TWindow

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::DestroyHandle()
{
    if (!handle_)
        return;
    HWND window = handle_;
    RemovePropW(window, kProp);
    if (standard_)
        RemoveWindowSubclass(window, SubclassProc, 0);
    handle_ = nullptr;
    DestroyWindow(window);
}

TWindow* TWindow::FromHandle(HWND window)
{
    return window ? static_cast<TWindow*>(GetPropW(window, kProp)) : nullptr;
}

void TWindow::Attach(HWND window)
{
    handle_ = window;
    SetPropW(window, kProp, this);
}

void TWindow::CreateOwn(DWORD exStyle, DWORD style, const wchar_t* caption, HWND parent, int x, int y, int w, int h)
{
    RegisterOwnClass(OwnProc);
    CreateContext context{this};
    HWND window = CreateWindowExW(exStyle, kOwnClass, caption, style, x, y, w, h, parent, nullptr,
                                  Application::Instance(), &context);
    if (!window)
        throw Failure(L"Error creating window");
}

void TWindow::CreateStandard(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* caption,
                             HWND parent, int x, int y, int w, int h)
{
    RegisterOwnClass(OwnProc);
    HWND window = CreateWindowExW(exStyle, className, caption, style, x, y, w, h, parent, nullptr,
                                  Application::Instance(), nullptr);
    if (!window)
        throw Failure(L"Error creating window");
    standard_ = true;
    Attach(window);
    SetWindowSubclass(window, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
}

LRESULT CALLBACK TWindow::OwnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (auto* context = static_cast<CreateContext*>(create->lpCreateParams))
            context->window->Attach(window);
    }
    TWindow* self = FromHandle(window);
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (!Guarded([&] { result = self->Dispatch(message, wParam, lParam); }))
        result = 0;
    return result;
}

LRESULT CALLBACK TWindow::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data)
{
    auto* self = reinterpret_cast<TWindow*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, SubclassProc, 0);
        RemovePropW(window, kProp);
        if (self->handle_ == window)
            self->handle_ = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (!Guarded([&] { result = self->Dispatch(message, wParam, lParam); }))
        result = 0;
    return result;
}

LRESULT TWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            if (TWindow* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
                child->HandleCommand(HIWORD(wParam));
                return 0;
            }
        } else if (HIWORD(wParam) == 0) {
            if (TMenuItem* item = TMenuItem::FromId(LOWORD(wParam))) {
                item->Click();
                return 0;
            }
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            HWND tool = reinterpret_cast<HWND>(header->idFrom);
            static std::wstring text;
            text = Application::ShowHints() ? ShortHint(NearestHint(tool)) : L"";
            info->lpszText = text.data();
            return 0;
        }
        if (TWindow* child = FromHandle(header->hwndFrom))
            return child->HandleNotify(header);
        break;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU) {
            if (TWindow* child = FromHandle(item->hwndItem)) {
                child->HandleDrawItem(item);
                return TRUE;
            }
        }
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (TWindow* child = FromHandle(reinterpret_cast<HWND>(lParam)))
            if (HBRUSH brush = child->HandleControlColor(reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
        break;
    case WM_NCDESTROY:
        if (!standard_) {
            RemovePropW(handle_, kProp);
            handle_ = nullptr;
            return 0;
        }
        break;
    default:
        break;
    }
    return HandleMessage(message, wParam, lParam);
}

LRESULT TWindow::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return standard_ ? DefSubclassProc(handle_, message, wParam, lParam)
                     : DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        if (!standard_)
            return 1;
        break;
    case WM_SETFONT:
        // Our own class keeps its font as the standard controls do.
        if (!standard_) {
            font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam))
                Invalidate(false);
            return 0;
        }
        break;
    case WM_GETFONT:
        if (!standard_)
            return reinterpret_cast<LRESULT>(font_);
        break;
    case WM_WINDOWPOSCHANGED:
        if (!hint_.empty())
            if (TForm* form = TForm::FromChild(handle_))
                form->MoveHint(*this);
        break;
    case WM_PAINT:
        if (!standard_) {
            PaintDc paint(handle_);
            // The back buffer covers only the area being painted; its origin is
            // moved so that the window paints in its own client coordinates.
            const RECT& a = paint.Area();
            const int w = std::max<int>(1, a.right - a.left), h = std::max<int>(1, a.bottom - a.top);
            MemoryDcHandle memory(CreateCompatibleDC(paint.Get()));
            BitmapHandle buffer(CreateCompatibleBitmap(paint.Get(), w, h));
            if (memory && buffer) {
                SelectedObject keep(memory.Get(), buffer.Get());
                SetWindowOrgEx(memory.Get(), a.left, a.top, nullptr);
                PaintWindow(memory.Get(), a);
                BitBlt(paint.Get(), a.left, a.top, w, h, memory.Get(), a.left, a.top, SRCCOPY);
            } else {
                PaintWindow(paint.Get(), paint.Area());
            }
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (!standard_ && LOWORD(lParam) == HTCLIENT) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(handle_, &p);
            if (TGraphicControl* g = GraphicAt(p); g && g->Cursor()) {
                ::SetCursor(g->Cursor());
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (message == WM_LBUTTONDOWN)
            pressedGraphic_ = GraphicAt(p);
        if (onMouseDown)
            onMouseDown(p.x, p.y, message == WM_LBUTTONDOWN ? MK_LBUTTON : message == WM_RBUTTONDOWN ? MK_RBUTTON : MK_MBUTTON);
        break;
    }
    case WM_LBUTTONUP: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        TGraphicControl* pressed = std::exchange(pressedGraphic_, nullptr);
        TGraphicControl* under = GraphicAt(p);
        if (pressed && pressed == under && pressed->onClick)
            pressed->onClick();
        else if (onClick && !standard_)
            onClick();
        break;
    }
    case WM_MOUSEMOVE:
        if (onMouseMove)
            onMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
    case WM_CONTEXTMENU:
        if (onContextMenu) {
            onContextMenu(lParam);
            return 0;
        }
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

HBRUSH TWindow::HandleControlColor(HDC) { return nullptr; }

HBRUSH TWindow::BackgroundBrush()
{
    if (!brush_)
        brush_.Reset(CreateSolidBrush(color_));
    return brush_.Get();
}

void TWindow::PaintWindow(HDC dc, const RECT& area)
{
    FillRect(dc, &area, BackgroundBrush());
    PaintGraphics(dc);
}

void TWindow::PaintGraphics(HDC dc)
{
    for (TGraphicControl* g : graphics_) {
        if (!g->Visible())
            continue;
        SavedDcState saved(dc);
        RECT r = g->BoundsRect();
        IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        g->Paint(dc);
    }
}

void TWindow::RemoveGraphic(TGraphicControl* control)
{
    std::erase(graphics_, control);
    if (pressedGraphic_ == control)
        pressedGraphic_ = nullptr;
}

TGraphicControl* TWindow::GraphicAt(POINT p) const
{
    for (auto it = graphics_.rbegin(); it != graphics_.rend(); ++it) {
        RECT r = (*it)->BoundsRect();
        if ((*it)->Visible() && PtInRect(&r, p))
            return *it;
    }
    return nullptr;
}

void TWindow::SetBounds(int left, int top, int width, int height)
{
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TWindow::BoundsRect() const
{
    RECT r{};
    GetWindowRect(handle_, &r);
    HWND parent = GetParent(handle_);
    if (parent && (GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int TWindow::Width() const { RECT r{}; GetWindowRect(handle_, &r); return r.right - r.left; }
int TWindow::Height() const { RECT r{}; GetWindowRect(handle_, &r); return r.bottom - r.top; }
int TWindow::ClientWidth() const { RECT r{}; GetClientRect(handle_, &r); return r.right; }
int TWindow::ClientHeight() const { RECT r{}; GetClientRect(handle_, &r); return r.bottom; }
void TWindow::SetEnabled(bool enabled) { EnableWindow(handle_, enabled); }
bool TWindow::Enabled() const { return IsWindowEnabled(handle_); }
void TWindow::SetVisible(bool visible) { ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE); }
bool TWindow::Visible() const { return (GetWindowLongW(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }
void TWindow::SetText(const std::wstring& text) { SetWindowTextW(handle_, text.c_str()); }
void TWindow::SetFont(HFONT font) { SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }
void TWindow::SetFocus() { ::SetFocus(handle_); }
bool TWindow::Focused() const { return GetFocus() == handle_; }
void TWindow::Invalidate(bool erase) const { InvalidateRect(handle_, nullptr, erase); }
void TWindow::Repaint() const { RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

std::wstring TWindow::Text() const
{
    int length = GetWindowTextLengthW(handle_);
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(handle_, text.data(), length + 1)));
    return text;
}

void TWindow::SetHint(const std::wstring& hint)
{
    hint_ = hint;
    if (TForm* form = TForm::FromChild(handle_))
        form->RegisterHint(*this);
}

void TWindow::SetColor(COLORREF color)
{
    color_ = color;
    brush_.Reset();
    Invalidate();
}

void TWindow::SetFontColor(COLORREF color)
{
    fontColor_ = color;
    Invalidate();
}

// ---------------------------------------------------------------- TForm

TForm::~TForm() { DestroyHandle(); }

TForm* TForm::FromChild(HWND window)
{
    if (!window)
        return nullptr;
    return dynamic_cast<TForm*>(FromHandle(GetAncestor(window, GA_ROOT)));
}

DWORD TForm::StyleFor(Border border) const
{
    switch (border) {
    case Border::Sizeable: return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    case Border::Dialog: return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    case Border::None: return WS_POPUP | WS_CLIPCHILDREN;
    }
    return WS_OVERLAPPEDWINDOW;
}

TForm::TForm(const std::wstring& caption, Border border, int clientWidth, int clientHeight, DWORD extraExStyle)
{
    border_ = border;
    DWORD ex = WS_EX_CONTROLPARENT | extraExStyle | (border == Border::Dialog ? WS_EX_DLGMODALFRAME : 0);
    CreateOwn(ex, StyleFor(border), caption.c_str(), nullptr, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100);
    SetClientSize(clientWidth, clientHeight);
    CenterOnScreen();
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                               Application::Instance(), nullptr);
    SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(MakeFont(L"MS Shell Dlg 2", Scale(13))), FALSE);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
}

void TForm::SetClientSize(int width, int height)
{
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, GetWindowLongW(handle_, GWL_STYLE), FALSE, GetWindowLongW(handle_, GWL_EXSTYLE));
    SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOnScreen()
{
    int w = Width(), h = Height();
    int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    SetWindowPos(handle_, nullptr, std::max(0, x), std::max(0, y), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetBorder(Border border)
{
    border_ = border;
    LONG style = GetWindowLongW(handle_, GWL_STYLE);
    DWORD keep = style & (WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE | WS_DISABLED);
    SetWindowLongW(handle_, GWL_STYLE, LONG(StyleFor(border) | keep));
    SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetAlwaysOnTop(bool onTop)
{
    SetWindowPos(handle_, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {

// The tool that stands for a control where its parent gets the mouse
// messages: over a disabled control.
TTTOOLINFOW ParentAreaTool(HWND control)
{
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = LPSTR_TEXTCALLBACKW;
    GetWindowRect(control, &info.rect);
    MapWindowPoints(HWND_DESKTOP, info.hwnd, reinterpret_cast<POINT*>(&info.rect), 2);
    return info;
}

} // namespace

void TForm::RegisterHint(TWindow& control)
{
    if (!tooltip_ || !control.Handle())
        return;
    auto send = [&](UINT message, TTTOOLINFOW info) {
        SendMessageW(tooltip_, message, 0, reinterpret_cast<LPARAM>(&info));
    };
    auto window = [&](HWND tool) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = handle_;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = LPSTR_TEXTCALLBACKW;
        return info;
    };
    // A disabled control gets no mouse messages, its parent does: the same
    // hint is shown for the control's area of the parent. That tool has the
    // control's handle as its id too, and a look-up that misses it finds the
    // window's tool by that id: it is taken away first and added last.
    const bool area = control.Handle() != handle_ && GetParent(control.Handle());
    if (area)
        send(TTM_DELTOOLW, ParentAreaTool(control.Handle()));
    send(TTM_DELTOOLW, window(control.Handle()));
    send(TTM_ADDTOOLW, window(control.Handle()));
    for (HWND child = GetWindow(control.Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (!TWindow::FromHandle(child)) {
            send(TTM_DELTOOLW, window(child));
            send(TTM_ADDTOOLW, window(child));
        }
    if (area)
        send(TTM_ADDTOOLW, ParentAreaTool(control.Handle()));
}

void TForm::MoveHint(TWindow& control)
{
    if (!tooltip_ || !control.Handle() || control.Handle() == handle_ || !GetParent(control.Handle()))
        return;
    TTTOOLINFOW info = ParentAreaTool(control.Handle());
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
}

void TForm::SetShowHint(bool show)
{
    showHint_ = show;
    if (tooltip_)
        SendMessageW(tooltip_, TTM_ACTIVATE, show, 0);
}

void TForm::Show()
{
    if (!IsWindowVisible(handle_))
        FormShow();
    ShowWindow(handle_, SW_SHOW);
    SetForegroundWindow(handle_);
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

void TForm::Close()
{
    if (modal_) {
        if (!modalResult_)
            modalResult_ = 2;
        return;
    }
    FormClose();
    if (this == Application::MainForm())
        DestroyWindow(handle_);
    else
        Hide();
}

void TForm::AnswerEnterAndEscape(wchar_t& key, int enter, int escape)
{
    if (key == 13 || key == 27) {
        SetModalResult(key == 13 ? enter : escape);
        key = 0;
    }
}

void TForm::CloseOnEscape(wchar_t& key)
{
    if (key == 27) {
        Close();
        key = 0;
    }
}

int TForm::ShowModal()
{
    if (modal_ || IsWindowVisible(handle_))
        throw Failure(L"Cannot make a visible window modal");
    modal_ = true;
    modalResult_ = 0;
    HWND active = GetActiveWindow();
    std::vector<HWND> disabled;
    auto collect = [](HWND window, LPARAM data) -> BOOL {
        auto* list = reinterpret_cast<std::vector<HWND>*>(data);
        list->push_back(window);
        return TRUE;
    };
    std::vector<HWND> all;
    EnumThreadWindows(GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all)
        if (w != handle_ && w != tooltip_ && IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
    struct Restore {
        TForm& form;
        std::vector<HWND>& disabled;
        HWND active;
        ~Restore()
        {
            for (HWND w : disabled)
                if (IsWindow(w))
                    EnableWindow(w, TRUE);
            if (form.handle_)
                ShowWindow(form.handle_, SW_HIDE);
            if (active && IsWindow(active))
                SetActiveWindow(active);
            form.modal_ = false;
        }
    } restore{*this, disabled, active};

    FormShow();
    ShowWindow(handle_, SW_SHOW);
    SetForegroundWindow(handle_);
    if (HWND first = GetNextDlgTabItem(handle_, nullptr, FALSE))
        ::SetFocus(first);
    if (auto& hook = Application::ModalShownHook())
        hook(*this);
    while (modalResult_ == 0 && handle_) {
        if (!Application::HandleMessage(true))
            break;
    }
    if (modalResult_ == 0)
        modalResult_ = 2;
    FormClose();
    return modalResult_;
}

bool TForm::PreviewKeyDown(WORD& key)
{
    if (keyPreview_)
        Guarded([&] { FormKeyDown(key, CurrentShiftState()); });
    return key != 0;
}

bool TForm::PreviewMouseWheel(WPARAM wParam, LPARAM lParam)
{
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ShiftState shift = 0;
    WORD keys = GET_KEYSTATE_WPARAM(wParam);
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    if (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) shift |= 0x100;   // a mouse button held
    bool handled = false;
    Guarded([&] { handled = FormMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), shift, p); });
    wheelPreviewed_ = !handled;
    return handled;
}

bool TForm::PreviewChar(wchar_t& key)
{
    if (keyPreview_)
        Guarded([&] { FormKeyPress(key); });
    return key != 0;
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SIZE:
        FormResize();
        break;
    case WM_MOUSEWHEEL:
        if (wheelPreviewed_)
            break;   // seen already, passed up by the control
        if (PreviewMouseWheel(wParam, lParam)) {
            wheelPreviewed_ = false;
            return 0;
        }
        wheelPreviewed_ = false;
        break;
    case WM_DESTROY:
        if (this == Application::MainForm())
            PostQuitMessage(0);
        break;
    default:
        break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- TButton

TButton::TButton(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption)
{
    CreateStandard(L"BUTTON", 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, caption.c_str(), parent.Handle(),
                   left, top, width, height);
}

void TButton::SetGlyph(HBITMAP glyph)
{
    glyph_ = glyph;
    Invalidate();
}

void TButton::Click()
{
    if (Enabled() && onClick)
        onClick();
}

void TButton::HandleCommand(WORD code)
{
    if (code == BN_CLICKED && onClick)
        onClick();
}

LRESULT TButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE && !hot_) {
        hot_ = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
        TrackMouseEvent(&track);
        Invalidate(false);
    } else if (message == WM_MOUSELEAVE) {
        hot_ = false;
        Invalidate(false);
    } else if (message == WM_LBUTTONDBLCLK) {
        message = WM_LBUTTONDOWN;   // a quick second click is a click
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

void TButton::HandleDrawItem(DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool pressed = item->itemState & ODS_SELECTED;
    bool disabled = item->itemState & ODS_DISABLED;
    // Parent background first.
    TWindow* parent = FromHandle(GetParent(handle_));
    FillRect(dc, &r, parent ? parent->BackgroundBrush() : GetSysColorBrush(COLOR_BTNFACE));

    int shadow = Scale(3);
    RECT face{r.left, r.top, r.right - shadow, r.bottom - shadow};
    if (pressed)
        OffsetRect(&face, Scale(1), Scale(1));
    RECT shadowRect{r.left + shadow, r.top + shadow, r.right, r.bottom};
    {
        BrushHandle shadowBrush(CreateSolidBrush(RGB(150, 150, 150)));
        SelectedObject b(dc, shadowBrush.Get());
        SelectedObject p(dc, GetStockObject(NULL_PEN));
        if (!pressed)
            RoundRect(dc, shadowRect.left, shadowRect.top, shadowRect.right + 1, shadowRect.bottom + 1, 6, 6);
    }
    COLORREF faceColor = hasFace_ ? faceColor_ : GetSysColor(COLOR_BTNFACE);
    if (hot_ && !disabled)
        faceColor = RGB(192, 192, 192);
    {
        BrushHandle faceBrush(CreateSolidBrush(faceColor));
        PenHandle pen(CreatePen(PS_SOLID, 1, RGB(128, 128, 128)));
        SelectedObject b(dc, faceBrush.Get());
        SelectedObject p(dc, pen.Get());
        RoundRect(dc, face.left, face.top, face.right, face.bottom, 6, 6);
        PenHandle light(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
        SelectedObject pl(dc, light.Get());
        MoveToEx(dc, face.left + 2, face.bottom - 3, nullptr);
        LineTo(dc, face.left + 2, face.top + 2);
        LineTo(dc, face.right - 2, face.top + 2);
    }
    if (glyph_) {
        BITMAP bm{};
        GetObjectW(glyph_, sizeof(bm), &bm);
        MemoryDcHandle memory(CreateCompatibleDC(dc));
        SelectedObject keep(memory.Get(), glyph_);
        int x = face.left + (face.right - face.left - bm.bmWidth) / 2;
        int y = face.top + (face.bottom - face.top - bm.bmHeight) / 2;
        BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(disabled ? 90 : 255), AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, bm.bmWidth, bm.bmHeight, memory.Get(), 0, 0, bm.bmWidth, bm.bmHeight, blend);
    }
    std::wstring caption = Text();
    if (!caption.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_BTNTEXT));
        SelectedObject f(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(handle_, WM_GETFONT, 0, 0)));
        DrawTextW(dc, caption.c_str(), -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT)) {
        RECT focus = face;
        InflateRect(&focus, -Scale(3), -Scale(3));
        DrawFocusRect(dc, &focus);
    }
}

void PlaceAnswerButtons(int outerWidth, int top, TButton& first, TButton* second)
{
    if (second) {
        int middle = int(RoundHalfEven(outerWidth / 2.0));
        first.SetBounds(middle - first.Width() - Scale(5), top, first.Width(), first.Height());
        second->SetBounds(middle + Scale(5), top, second->Width(), second->Height());
    } else {
        int left = int(RoundHalfEven((outerWidth - first.Width()) / 2.0));
        first.SetBounds(left, top, first.Width(), first.Height());
    }
}

// ---------------------------------------------------------------- TEdit, TMemo

TEdit::TEdit(TWindow& parent, int left, int top, int width, int height, DWORD extraStyle)
{
    // A multi-line box wraps its lines: the edit control decides that once,
    // when it is created, by the absence of ES_AUTOHSCROLL.
    const DWORD scroll = (extraStyle & ES_MULTILINE) ? 0 : ES_AUTOHSCROLL;
    CreateStandard(L"EDIT", WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | WS_TABSTOP | scroll | extraStyle, L"",
                   parent.Handle(), left, top, width, height);
}

void TEdit::SelectAll() { SendMessageW(handle_, EM_SETSEL, 0, -1); }

void TEdit::HandleCommand(WORD code)
{
    if (code == EN_CHANGE && onChange)
        onChange();
}

LRESULT TEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHAR && onKeyPress) {
        wchar_t ch = wchar_t(wParam);
        if (!onKeyPress(ch))
            return 0;
        wParam = ch;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

HBRUSH TEdit::HandleControlColor(HDC) { return nullptr; }

TMemo::TMemo(TWindow& parent, int left, int top, int width, int height, bool readOnly)
    : TEdit(parent, left, top, width, height,
            ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN | (readOnly ? ES_READONLY : 0))
{
}

LRESULT TMemo::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = TEdit::HandleMessage(message, wParam, lParam);
    // A message that cannot be edited shows no blinking caret.
    if (message == WM_SETFOCUS && (GetWindowLongW(handle_, GWL_STYLE) & ES_READONLY))
        DestroyCaret();
    return result;
}

void TMemo::SetLines(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += L"\r\n";
        text += lines[i];
    }
    SetText(text);
}

void TMemo::AddLine(const std::wstring& line)
{
    std::wstring text = Text();
    if (!text.empty() || SendMessageW(handle_, EM_GETLINECOUNT, 0, 0) > 1)
        text += L"\r\n";
    text += line;
    SetText(text);
}

void TMemo::Clear() { SetText(L""); }

std::vector<std::wstring> TMemo::Lines() const
{
    std::vector<std::wstring> lines;
    std::wstring text = Text();
    if (text.empty())
        return lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            break;
        start = end + 2;
    }
    return lines;
}

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(TWindow& parent, int left, int top, int width, bool editable,
                     const std::vector<std::wstring>& items)
{
    CreateStandard(L"COMBOBOX", 0,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | (editable ? CBS_DROPDOWN : CBS_DROPDOWNLIST) |
                       CBS_AUTOHSCROLL,
                   L"", parent.Handle(), left, top, width, Scale(300));
    for (const auto& item : items)
        SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    NarrowMargins();
}

void TComboBox::NarrowMargins()
{
    // A narrow box keeps its text whole: the edit field's margins take one
    // pixel each, not the font's default (a new font brings that back).
    COMBOBOXINFO info{sizeof(info)};
    if (GetComboBoxInfo(handle_, &info) && info.hwndItem && info.hwndItem != handle_)
        SendMessageW(info.hwndItem, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
}

LRESULT TComboBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = TWindow::HandleMessage(message, wParam, lParam);
    if (message == WM_SETFONT)
        NarrowMargins();
    return result;
}

void TComboBox::SetItemIndex(int index) { SendMessageW(handle_, CB_SETCURSEL, WPARAM(index), 0); }
int TComboBox::ItemIndex() const { return int(SendMessageW(handle_, CB_GETCURSEL, 0, 0)); }

std::vector<std::wstring> TComboBox::Items() const
{
    std::vector<std::wstring> items;
    int count = int(SendMessageW(handle_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int length = int(SendMessageW(handle_, CB_GETLBTEXTLEN, WPARAM(i), 0));
        std::wstring text(size_t(std::max(length, 0)) + 1, L'\0');
        SendMessageW(handle_, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(size_t(std::max(length, 0)));
        items.push_back(text);
    }
    return items;
}

void TComboBox::SetItems(const std::vector<std::wstring>& items)
{
    SendMessageW(handle_, CB_RESETCONTENT, 0, 0);
    for (const auto& item : items)
        SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TComboBox::HandleCommand(WORD code)
{
    if (code == CBN_SELCHANGE) {
        int index = ItemIndex();
        if (index >= 0) {
            auto items = Items();
            if (size_t(index) < items.size())
                SetText(items[size_t(index)]);
        }
        if (onChange)
            onChange();
    } else if (code == CBN_EDITCHANGE && onChange) {
        onChange();
    }
}

// ---------------------------------------------------------------- TCheckBox

TCheckBox::TCheckBox(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption)
{
    CreateStandard(L"BUTTON", 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, caption.c_str(),
                   parent.Handle(), left, top, width, height);
}

void TCheckBox::SetChecked(bool checked) { SendMessageW(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); }
bool TCheckBox::Checked() const { return SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::HandleCommand(WORD code)
{
    if (code == BN_CLICKED && onClick)
        onClick();
}

HBRUSH TCheckBox::HandleControlColor(HDC dc)
{
    TWindow* parent = FromHandle(GetParent(handle_));
    if (!parent)
        return nullptr;
    SetBkColor(dc, parent->Color());
    return parent->BackgroundBrush();
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(TWindow& parent, int left, int top, int width, int height)
{
    CreateOwn(WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, L"", parent.Handle(),
              left, top, width, height);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
}

void TPanel::PaintWindow(HDC dc, const RECT& area)
{
    RECT client;
    GetClientRect(handle_, &client);
    FillRect(dc, &client, BackgroundBrush());
    RECT inner = client;
    if (bevel_ != Bevel::None) {
        UINT edge = bevel_ == Bevel::Raised ? (bevelWidth_ > 1 ? EDGE_RAISED : BDR_RAISEDINNER)
                                            : (bevelWidth_ > 1 ? EDGE_SUNKEN : BDR_SUNKENOUTER);
        DrawEdge(dc, &inner, edge, BF_RECT | BF_ADJUST);
    }
    std::wstring caption = Text();
    if (!caption.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, fontColor_);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(handle_, WM_GETFONT, 0, 0));
        SelectedObject f(dc, font ? font : DefaultFont());
        DrawTextW(dc, caption.c_str(), -1, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    PaintGraphics(dc);
}

// ---------------------------------------------------------------- TStatusBar

TStatusBar::TStatusBar(TWindow& parent)
{
    CreateStandard(STATUSCLASSNAMEW, 0, WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, L"",
                   parent.Handle(), 0, 0, 10, 10);
}

void TStatusBar::SetPanelWidths(const std::vector<int>& widths)
{
    std::vector<int> edges;
    int x = 0;
    for (int w : widths) {
        if (w < 0) {
            edges.push_back(-1);
            break;
        }
        x += w;
        edges.push_back(x);
    }
    SendMessageW(handle_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void TStatusBar::SetPanelText(int panel, const std::wstring& text)
{
    SendMessageW(handle_, SB_SETTEXTW, WPARAM(panel), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring TStatusBar::PanelText(int panel) const
{
    LRESULT info = SendMessageW(handle_, SB_GETTEXTLENGTHW, WPARAM(panel), 0);
    std::wstring text(size_t(LOWORD(info)) + 1, L'\0');
    SendMessageW(handle_, SB_GETTEXTW, WPARAM(panel), reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(info));
    return text;
}

// ---------------------------------------------------------------- TLabel, TBevel, TGradientFill, TShape

TLabel::TLabel(TWindow& parent, int left, int top, const std::wstring& caption, HFONT font)
    : TGraphicControl(parent), caption_(caption), font_(font ? font : DefaultFont())
{
    left_ = left;
    top_ = top;
    AdjustSize();
}

void TLabel::SetCaption(const std::wstring& caption)
{
    Invalidate();
    caption_ = caption;
    AdjustSize();
    Invalidate();
}

void TLabel::SetFont(HFONT font)
{
    font_ = font;
    AdjustSize();
}

void TLabel::SetWordWrap(bool wrap)
{
    wordWrap_ = wrap;
    AdjustSize();
}

void TLabel::SetRightEdge(int right)
{
    rightEdge_ = right;
    align_ = Align::Right;
    AdjustSize();
}

void TLabel::AdjustSize()
{
    WindowDc screen;
    SelectedObject f(screen.Get(), font_);
    RECT r{0, 0, wordWrap_ ? std::max(width_, 1) : 0, 0};
    std::wstring text = caption_.empty() ? L" " : caption_;
    if (wordWrap_) {
        // A word is never broken: the label widens to its widest word
        // (DrawText implementations differ on where else they break).
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find_first_of(L" \t\r\n", start);
            if (end == std::wstring::npos)
                end = text.size();
            SIZE size{};
            if (end > start && GetTextExtentPoint32W(screen.Get(), text.c_str() + start, int(end - start), &size))
                r.right = std::max<LONG>(r.right, size.cx);
            start = end + 1;
        }
    }
    DrawTextW(screen.Get(), text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : 0));
    Invalidate();
    if (!wordWrap_)
        width_ = caption_.empty() ? 0 : r.right;
    else
        width_ = std::max<int>(width_, r.right);
    height_ = r.bottom;
    if (rightEdge_ >= 0)
        left_ = rightEdge_ - width_;
    Invalidate();
}

void TLabel::Paint(HDC dc)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color_);
    SelectedObject f(dc, font_);
    RECT r = BoundsRect();
    UINT format = DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE);
    format |= align_ == Align::Right ? DT_RIGHT : align_ == Align::Center ? DT_CENTER : DT_LEFT;
    DrawTextW(dc, caption_.c_str(), -1, &r, format);
}

TBevel::TBevel(TWindow& parent, int left, int top, int width, int height) : TGraphicControl(parent)
{
    SetBounds(left, top, width, height);
}

void TBevel::Paint(HDC dc)
{
    RECT r = BoundsRect();
    DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
}

TGradientFill::TGradientFill(TWindow& parent, int left, int top, int width, int height, COLORREF from, COLORREF to,
                             int steps)
    : TGraphicControl(parent), from_(from), to_(to), steps_(std::max(steps, 1))
{
    SetBounds(left, top, width, height);
}

void TGradientFill::Paint(HDC dc)
{
    for (int i = 0; i < steps_; ++i) {
        auto mix = [&](int a, int b) { return steps_ == 1 ? a : a + (b - a) * i / (steps_ - 1); };
        COLORREF c = RGB(mix(GetRValue(from_), GetRValue(to_)), mix(GetGValue(from_), GetGValue(to_)),
                         mix(GetBValue(from_), GetBValue(to_)));
        RECT band{left_ + int(int64_t(width_) * i / steps_), top_, left_ + int(int64_t(width_) * (i + 1) / steps_),
                  top_ + height_};
        BrushHandle brush(CreateSolidBrush(c));
        FillRect(dc, &band, brush.Get());
    }
}

TShape::TShape(TWindow& parent, int left, int top, int width, int height, COLORREF c)
    : TGraphicControl(parent), color(c)
{
    SetBounds(left, top, width, height);
}

void TShape::Paint(HDC dc)
{
    RECT r = BoundsRect();
    BrushHandle brush(CreateSolidBrush(color));
    FillRect(dc, &r, brush.Get());
}

// ---------------------------------------------------------------- TTimer

class TimerWindow : public TWindow {
public:
    static TimerWindow& Instance()
    {
        static TimerWindow window;
        return window;
    }
    std::map<UINT_PTR, TTimer*> timers;

private:
    TimerWindow() { CreateOwn(0, WS_POPUP, L"", HWND_MESSAGE, 0, 0, 0, 0); }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TIMER) {
            auto it = timers.find(wParam);
            if (it != timers.end() && it->second->enabled_ && it->second->onTimer)
                it->second->onTimer();
            return 0;
        }
        return TWindow::HandleMessage(message, wParam, lParam);
    }
};

TTimer::TTimer()
{
    static UINT_PTR next = 1;
    id_ = next++;
    TimerWindow::Instance().timers[id_] = this;
}

TTimer::~TTimer()
{
    auto& window = TimerWindow::Instance();
    if (window.Handle())
        KillTimer(window.Handle(), id_);
    window.timers.erase(id_);
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled_ != enabled) {
        enabled_ = enabled;
        Update();
    }
}

void TTimer::SetInterval(unsigned milliseconds)
{
    if (interval_ != milliseconds) {
        interval_ = milliseconds;
        Update();
    }
}

void TTimer::Update()
{
    HWND window = TimerWindow::Instance().Handle();
    KillTimer(window, id_);
    if (enabled_ && interval_ > 0)
        SetTimer(window, id_, interval_, nullptr);
}

// ---------------------------------------------------------------- Menus

namespace {
std::map<UINT, TMenuItem*>& MenuIds()
{
    static std::map<UINT, TMenuItem*> ids;
    return ids;
}
} // namespace

TMenuItem::TMenuItem(const std::wstring& caption) : caption_(caption)
{
    static UINT next = 1000;
    id_ = next++;
    MenuIds()[id_] = this;
}

TMenuItem::~TMenuItem()
{
    items_.clear();
    if (parent_ && parent_->submenu_)
        RemoveMenu(parent_->submenu_.Get(), id_, MF_BYCOMMAND);
    MenuIds().erase(id_);
}

TMenuItem* TMenuItem::FromId(UINT id)
{
    auto it = MenuIds().find(id);
    return it == MenuIds().end() ? nullptr : it->second;
}

TMenuItem& TMenuItem::Add(const std::wstring& caption, std::function<void()> onClickHandler)
{
    if (!submenu_) {
        submenu_.Reset(CreatePopupMenu());
        UpdateParent();
    }
    items_.push_back(std::make_unique<TMenuItem>(caption));
    TMenuItem& item = *items_.back();
    item.parent_ = this;
    item.onClick = std::move(onClickHandler);
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE;
    info.wID = item.id_;
    info.dwTypeData = item.caption_.data();
    info.fState = MFS_ENABLED;
    InsertMenuItemW(submenu_.Get(), GetMenuItemCount(submenu_.Get()), TRUE, &info);
    return item;
}

void TMenuItem::AddSeparator()
{
    if (!submenu_) {
        submenu_.Reset(CreatePopupMenu());
        UpdateParent();
    }
    items_.push_back(std::make_unique<TMenuItem>());
    TMenuItem& item = *items_.back();
    item.parent_ = this;
    item.separator_ = true;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_FTYPE;
    info.fType = MFT_SEPARATOR;
    info.wID = item.id_;
    InsertMenuItemW(submenu_.Get(), GetMenuItemCount(submenu_.Get()), TRUE, &info);
}

void TMenuItem::UpdateParent()
{
    if (!parent_ || !parent_->submenu_)
        return;
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_STRING | MIIM_STATE | MIIM_SUBMENU;
    info.dwTypeData = caption_.data();
    info.fState = (enabled_ ? MFS_ENABLED : MFS_DISABLED) | (checked_ ? MFS_CHECKED : MFS_UNCHECKED);
    info.hSubMenu = submenu_.Get();
    SetMenuItemInfoW(parent_->submenu_.Get(), id_, FALSE, &info);
}

void TMenuItem::SetCaption(const std::wstring& caption)
{
    caption_ = caption;
    UpdateParent();
}

void TMenuItem::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    UpdateParent();
}

void TMenuItem::SetChecked(bool checked)
{
    checked_ = checked;
    UpdateParent();
}

void TMenuItem::Click()
{
    if (enabled_ && onClick)
        onClick();
}

void TPopupMenu::Popup(HWND owner, POINT screen)
{
    if (!SubMenu())
        return;
    SetForegroundWindow(owner);
    UINT id = UINT(TrackPopupMenuEx(SubMenu(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, screen.x, screen.y,
                                    owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    if (TMenuItem* item = FromId(id))
        item->Click();
}
