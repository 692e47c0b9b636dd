// A group frame: an etched rectangle around a group of controls with the
// group's caption set into its top line, painted by the parent window. The
// grouped controls are the parent's own children, placed over the frame.
#pragma once

#include "widgets/Window.h"

class TGroupFrame : public TGraphicControl {
public:
    TGroupFrame(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption);
    const std::wstring& Caption() const { return caption_; }
    void Paint(HDC dc) override;

private:
    std::wstring caption_;
};
