// Plain Win32 controls standing in for the skinned ones: buttons, edit
// fields, combo boxes, check boxes, panels and the status bar.
#pragma once

#include <string>
#include <vector>

#include "widgets/Window.h"

// A push button drawn by the program: caption or glyph, optional face
// colour, hover highlight, greyed when disabled.
class TButton : public TWindow {
public:
    TButton(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption = L"");
    void SetGlyph(HBITMAP glyph);       // 32-bit premultiplied BGRA; not owned
    HBITMAP Glyph() const { return glyph_; }
    void SetFaceColor(COLORREF color) { faceColor_ = color; hasFace_ = true; Invalidate(); }
    void Click();                       // as if the user clicked (when enabled)

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;
    void HandleDrawItem(DRAWITEMSTRUCT* item) override;

private:
    HBITMAP glyph_ = nullptr;
    COLORREF faceColor_ = 0;
    bool hasFace_ = false;
    bool hot_ = false;
};

class TEdit : public TWindow {
public:
    TEdit(TWindow& parent, int left, int top, int width, int height, DWORD extraStyle = 0);
    void SelectAll();
    std::function<void()> onChange;
    std::function<bool(wchar_t&)> onKeyPress;   // return false to swallow the character

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;
    HBRUSH HandleControlColor(HDC dc) override;
};

class TMemo : public TEdit {
public:
    TMemo(TWindow& parent, int left, int top, int width, int height, bool readOnly);
    void SetLines(const std::vector<std::wstring>& lines);
    void AddLine(const std::wstring& line);
    std::vector<std::wstring> Lines() const;
    void Clear();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class TComboBox : public TWindow {
public:
    // editable: a drop-down with an edit field; otherwise a drop-down list.
    TComboBox(TWindow& parent, int left, int top, int width, bool editable, const std::vector<std::wstring>& items);
    void SetItemIndex(int index);
    int ItemIndex() const;
    std::vector<std::wstring> Items() const;
    // Replaces the whole list; nothing is selected afterwards.
    void SetItems(const std::vector<std::wstring>& items);
    // Runs on every change the user makes (typed or chosen), never on SetText.
    std::function<void()> onChange;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;

private:
    void NarrowMargins();
};

class TCheckBox : public TWindow {
public:
    TCheckBox(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption);
    void SetChecked(bool checked);
    bool Checked() const;

protected:
    void HandleCommand(WORD code) override;
    HBRUSH HandleControlColor(HDC dc) override;
};

// A panel: a window of our own class with a face colour, an optional
// centred caption and an optional raised bevel; a parent for other controls.
class TPanel : public TWindow {
public:
    enum class Bevel { None, Raised, Lowered };
    TPanel(TWindow& parent, int left, int top, int width, int height);
    void SetBevel(Bevel outer, int width = 1) { bevel_ = outer; bevelWidth_ = width; Invalidate(); }
    void SetBorderWidth(int width) { borderWidth_ = width; Invalidate(); }

protected:
    void PaintWindow(HDC dc, const RECT& area) override;
    Bevel bevel_ = Bevel::None;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};

class TStatusBar : public TWindow {
public:
    TStatusBar(TWindow& parent);
    void SetPanelWidths(const std::vector<int>& widths);   // -1: the rest
    void SetPanelText(int panel, const std::wstring& text);
    std::wstring PanelText(int panel) const;
};

// The answer buttons of a dialog whose outer width is outerWidth, R(x)
// rounding halves to the even neighbour: with a second button, the first
// ends 5 pixels left of R(width / 2) and the second starts 5 pixels right of
// it; alone, the first is centred at R((width - its width) / 2).
void PlaceAnswerButtons(int outerWidth, int top, TButton& first, TButton* second);
