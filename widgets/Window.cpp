// The window base of every control and form: the program's own window class,
// message dispatch, painting of the light-weight graphic controls, fonts and hints.
#include "widgets/Window.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "base/Numbers.h"
#include "widgets/Form.h"
#include "widgets/Menus.h"

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

HFONT ScaledFont(HFONT font, int num, int den)
{
    LOGFONTW info{};
    if (!font || !GetObjectW(font, sizeof(info), &info))
        return font;
    return MakeFont(info.lfFaceName, MulDiv(std::abs(info.lfHeight), num, den), info.lfWeight >= FW_BOLD,
                    info.lfUnderline != 0);
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
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) noexcept -> int {
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

RECT ScaleMemo::Bounds(const RECT& now, int newDpi, int oldDpi)
{
    if (!boundsDpi_ || !EqualRect(&now, &lastBounds_)) {
        baseBounds_ = now;
        boundsDpi_ = oldDpi;
    }
    const int width = baseBounds_.right - baseBounds_.left, height = baseBounds_.bottom - baseBounds_.top;
    const int left = MulDiv(baseBounds_.left, newDpi, boundsDpi_), top = MulDiv(baseBounds_.top, newDpi, boundsDpi_);
    lastBounds_ = {left, top, left + MulDiv(width, newDpi, boundsDpi_), top + MulDiv(height, newDpi, boundsDpi_)};
    return lastBounds_;
}

HFONT ScaleMemo::Font(HFONT now, int newDpi, int oldDpi)
{
    if (!fontDpi_ || now != lastFont_) {
        baseFont_ = now;
        fontDpi_ = oldDpi;
    }
    lastFont_ = ScaledFont(baseFont_, newDpi, fontDpi_);
    return lastFont_;
}

void TGraphicControl::Rescale(int newDpi, int oldDpi)
{
    const RECT r = scaleMemo_.Bounds(BoundsRect(), newDpi, oldDpi);
    SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
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

void TWindow::RescaleChildren(int newDpi, int oldDpi)
{
    for (HWND child = GetWindow(handle_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // Only the program's own: a standard control's inner windows are
        // its own business.
        TWindow* control = FromHandle(child);
        if (!control)
            continue;
        const RECT r = control->scaleMemo_.Bounds(control->BoundsRect(), newDpi, oldDpi);
        control->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)))
            control->SetFont(control->scaleMemo_.Font(font, newDpi, oldDpi));
        control->RescaleChildren(newDpi, oldDpi);
    }
    for (TGraphicControl* graphic : graphics_)
        graphic->Rescale(newDpi, oldDpi);
    Invalidate();
}
