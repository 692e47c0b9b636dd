// Controls without a window of their own, painted by their parent window:
// labels, frame lines, gradient fills and solid shapes.
#pragma once

#include <string>

#include "widgets/Window.h"

// Label painted by its parent; transparent unless a colour is set.
class TLabel : public TGraphicControl {
public:
    enum class Align { Left, Right, Center };
    TLabel(TWindow& parent, int left, int top, const std::wstring& caption, HFONT font = nullptr);
    void SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const { return caption_; }
    void SetFont(HFONT font);
    HFONT Font() const { return font_; }
    void SetColor(COLORREF color) { color_ = color; Invalidate(); }
    void SetAlignment(Align align) { align_ = align; }
    // With auto size on, the label's size follows its text; with word wrap
    // the width is kept and the height follows.
    void SetWordWrap(bool wrap);
    void SetRightEdge(int right);       // right-aligned labels keep this edge
    void AdjustSize();
    void Paint(HDC dc) override;
    void Rescale(int newDpi, int oldDpi) override;

private:
    std::wstring caption_;
    int baseRightEdge_ = -1, rightEdgeDpi_ = 0;
    HFONT font_ = nullptr;
    COLORREF color_ = RGB(0, 0, 0);
    Align align_ = Align::Left;
    bool wordWrap_ = false;
    int rightEdge_ = -1;
};

// A frame line around an area.
class TBevel : public TGraphicControl {
public:
    TBevel(TWindow& parent, int left, int top, int width, int height);
    void Paint(HDC dc) override;
};

// A horizontal gradient from one colour to another in a number of steps.
class TGradientFill : public TGraphicControl {
public:
    TGradientFill(TWindow& parent, int left, int top, int width, int height, COLORREF from, COLORREF to,
                  int steps);
    void Paint(HDC dc) override;

private:
    COLORREF from_, to_;
    int steps_;
};

// A solid rectangle of one colour.
class TShape : public TGraphicControl {
public:
    TShape(TWindow& parent, int left, int top, int width, int height, COLORREF color);
    void Paint(HDC dc) override;
    COLORREF color;
};
