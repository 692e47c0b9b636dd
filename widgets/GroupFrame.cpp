#include "widgets/GroupFrame.h"

TGroupFrame::TGroupFrame(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption)
    : TGraphicControl(parent), caption_(caption)
{
    SetBounds(left, top, width, height);
}

void TGroupFrame::Paint(HDC dc)
{
    SelectedObject font(dc, DefaultFont());
    SIZE text{};
    GetTextExtentPoint32W(dc, caption_.c_str(), int(caption_.size()), &text);
    // The frame's top line runs through the middle of the caption.
    RECT frame = BoundsRect();
    frame.top += text.cy / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (caption_.empty())
        return;
    const int gap = Scale(2);
    RECT label{left_ + Scale(8), top_, left_ + Scale(8) + text.cx + 2 * gap, top_ + text.cy};
    BrushHandle background(CreateSolidBrush(parent_.Color()));
    FillRect(dc, &label, background.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, parent_.FontColor());
    TextOutW(dc, label.left + gap, label.top, caption_.c_str(), int(caption_.size()));
}
