#include "widgets/GraphicControls.h"

#include <algorithm>

#include "base/Numbers.h"

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

void TLabel::Rescale(int newDpi, int oldDpi)
{
    TGraphicControl::Rescale(newDpi, oldDpi);
    if (rightEdge_ >= 0) {
        if (!rightEdgeDpi_) {
            baseRightEdge_ = rightEdge_;
            rightEdgeDpi_ = oldDpi;
        }
        rightEdge_ = MulDiv(baseRightEdge_, newDpi, rightEdgeDpi_);
    }
    // Sized to its text in the new type.
    SetFont(scaleMemo_.Font(font_, newDpi, oldDpi));
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
