#include "widgets/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "base/Numbers.h"

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
