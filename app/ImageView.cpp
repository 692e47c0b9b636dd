// The image area's windows: the image control, the scrolling area and the
// message panel.
#include "app/ImageView.h"

#include <algorithm>

#include "imaging/Resample.h"
#include "system/Numbers.h"

namespace {

// Display copies larger than this are not kept; such an enlargement is drawn
// straight from the picture, only where it is visible.
constexpr uint64_t kMaxDisplayCopyPixels = uint64_t(1) << 25;

HCURSOR CursorFor(PointerShape shape)
{
    switch (shape) {
    case PointerShape::Hourglass: return LoadCursorW(nullptr, IDC_WAIT);
    case PointerShape::Hidden: return nullptr;
    case PointerShape::Default: break;
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

// The "bits" of a top-down DIB for a raster of 24 or 32 bits per pixel.
BITMAPINFOHEADER DibHeader(const Raster& raster)
{
    return {sizeof(BITMAPINFOHEADER), raster.Width(), -raster.Height(), 1, WORD(raster.Bits()), BI_RGB};
}

} // namespace

// ---------------------------------------------------------------- TPointerWindow

void TPointerWindow::SetPointer(PointerShape shape)
{
    pointer_ = shape;
    POINT p;
    if (handle_ && GetCursorPos(&p) && WindowFromPoint(p) == handle_)
        ::SetCursor(CursorFor(shape));
}

LRESULT TPointerWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == handle_) {
        ::SetCursor(CursorFor(pointer_));
        return TRUE;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- TImageView

TImageView::TImageView(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"Image1", parent.Handle(), 0, 0, 0, 0);
}

void TImageView::SetPicture(const TPicture& picture)
{
    picture_ = picture;
    DropDisplayCopy();
    Invalidate(false);
}

void TImageView::SetBackground(COLORREF color)
{
    if (color == background_)
        return;
    background_ = color;
    DropDisplayCopy();
    Invalidate(false);
}

void TImageView::DropDisplayCopy()
{
    copyValid_ = false;
    scaled_ = Raster();
    drawn_.Reset();
}

bool TImageView::MakeDisplayCopy(int width, int height)
{
    if (copyValid_ && copyWidth_ == width && copyHeight_ == height)
        return true;
    DropDisplayCopy();
    copyWidth_ = width;
    copyHeight_ = height;
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0 ||
        uint64_t(width) * uint64_t(height) > kMaxDisplayCopyPixels)
        return false;
    Raster pixels = graphic->Pixels();
    if (!pixels.Empty()) {
        if (pixels.Format() == PixelFormat::Bit32 && pixels.Alpha() == AlphaMode::Straight)
            pixels = pixels.ComposedOver(GetRValue(background_), GetGValue(background_), GetBValue(background_));
        scaled_ = ResampleArea(pixels, width, height);
    } else {
        // Icons and metafiles draw themselves, once, over the background.
        WindowDc screen;
        BitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
        MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
        if (!bitmap || !dc)
            return false;
        SelectedObject keep(dc.Get(), bitmap.Get());
        BrushHandle brush(CreateSolidBrush(background_));
        RECT all{0, 0, width, height};
        FillRect(dc.Get(), &all, brush.Get());
        graphic->Draw(dc.Get(), all);
        drawn_ = std::move(bitmap);
    }
    copyValid_ = true;
    ++copiesMade_;
    return true;
}

LRESULT TImageView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The display copy goes straight to the screen: a back buffer would only
    // add a second copy of the same pixels to every paint.
    if (message == WM_PAINT) {
        PaintDc paint(handle_);
        PaintWindow(paint.Get(), paint.Area());
        return 0;
    }
    // A new size is a new display copy: everything is drawn again, not only
    // the part that was uncovered.
    if (message == WM_SIZE)
        InvalidateRect(handle_, nullptr, FALSE);
    return TPointerWindow::HandleMessage(message, wParam, lParam);
}

void TImageView::PaintWindow(HDC dc, const RECT& area)
{
    const int width = ClientWidth(), height = ClientHeight();
    if (MakeDisplayCopy(width, height)) {
        if (!scaled_.Empty()) {
            // The whole copy in one call; the update region clips it. (Source
            // rectangles inside a top-down DIB are read differently by
            // different implementations, so none is used.)
            BITMAPINFO info{DibHeader(scaled_)};
            SetDIBitsToDevice(dc, 0, 0, UINT(width), UINT(height), 0, 0, 0, UINT(height), scaled_.Bits0(), &info,
                              DIB_RGB_COLORS);
            return;
        }
        MemoryDcHandle memory(CreateCompatibleDC(dc));
        SelectedObject keep(memory.Get(), drawn_.Get());
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory.Get(), area.left,
               area.top, SRCCOPY);
        return;
    }
    BrushHandle brush(CreateSolidBrush(background_));
    FillRect(dc, &area, brush.Get());
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0)
        return;
    // Too large to keep: an enlargement, drawn pixel-repeated where it shows.
    RECT all{0, 0, width, height};
    Raster pixels = graphic->Pixels();
    if (!pixels.Empty() && (pixels.Format() == PixelFormat::Bit24 || pixels.Format() == PixelFormat::Bit32) &&
        pixels.Alpha() != AlphaMode::Straight) {
        BITMAPINFO info{DibHeader(pixels)};
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, 0, 0, width, height, 0, 0, pixels.Width(), pixels.Height(), pixels.Bits0(), &info,
                      DIB_RGB_COLORS, SRCCOPY);
    } else {
        graphic->Draw(dc, all);
    }
}

// ---------------------------------------------------------------- TScrollArea

TScrollArea::TScrollArea(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, L"ScrollBox1", parent.Handle(), 0, 0,
              10, 10);
}

void TScrollArea::SetContent(TWindow* content)
{
    content_ = content;
    UpdateScrollBars();
}

void TScrollArea::SetContentSize(int width, int height)
{
    contentWidth_ = std::max(width, 0);
    contentHeight_ = std::max(height, 0);
    UpdateScrollBars();
}

void TScrollArea::SetContentLeft(int left)
{
    contentX_ = left + position_[0];
    UpdateScrollBars();
}

void TScrollArea::SetContentTop(int top)
{
    contentY_ = top + position_[1];
    UpdateScrollBars();
}

void TScrollArea::SetContentBounds(int left, int top, int width, int height)
{
    contentX_ = left + position_[0];
    contentY_ = top + position_[1];
    contentWidth_ = std::max(width, 0);
    contentHeight_ = std::max(height, 0);
    UpdateScrollBars();
}

RECT TScrollArea::ContentBounds() const
{
    int left = contentX_ - position_[0], top = contentY_ - position_[1];
    return {left, top, left + contentWidth_, top + contentHeight_};
}

int TScrollArea::Range(Axis axis) const
{
    return axis == Axis::Horizontal ? std::max(0, contentX_ + contentWidth_) : std::max(0, contentY_ + contentHeight_);
}

void TScrollArea::SetPosition(Axis axis, int position)
{
    const int i = int(axis);
    const int page = axis == Axis::Horizontal ? VisibleWidth() : VisibleHeight();
    position = shown_[i] ? std::clamp(position, 0, std::max(0, Range(axis) - page)) : 0;
    if (position == position_[i])
        return;
    position_[i] = position;
    SCROLLINFO info{sizeof(info), SIF_POS};
    info.nPos = position;
    SetScrollInfo(handle_, axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info, TRUE);
    MoveContent();
}

void TScrollArea::UpdateScrollBars()
{
    if (updating_ || !handle_)
        return;
    updating_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{updating_};

    const int fullWidth = FullWidth(), fullHeight = FullHeight();
    const int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
    const int rangeX = Range(Axis::Horizontal), rangeY = Range(Axis::Vertical);
    bool horizontal = rangeX > fullWidth, vertical = rangeY > fullHeight;
    if (horizontal && !vertical)
        vertical = rangeY > fullHeight - barHeight;
    if (vertical && !horizontal)
        horizontal = rangeX > fullWidth - barWidth;
    const int visible[2] = {fullWidth - (vertical ? barWidth : 0), fullHeight - (horizontal ? barHeight : 0)};
    const bool need[2] = {horizontal, vertical};
    const int range[2] = {rangeX, rangeY};
    for (int i = 0; i < 2; ++i) {
        const int bar = i == 0 ? SB_HORZ : SB_VERT;
        position_[i] = need[i] ? std::clamp(position_[i], 0, std::max(0, range[i] - visible[i])) : 0;
        if (need[i]) {
            SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS};
            info.nMin = 0;
            info.nMax = range[i] - 1;
            info.nPage = UINT(std::max(visible[i], 0));
            info.nPos = position_[i];
            SetScrollInfo(handle_, bar, &info, TRUE);
        }
        if (need[i] != shown_[i]) {
            shown_[i] = need[i];
            ShowScrollBar(handle_, bar, need[i]);
        }
    }
    MoveContent();
}

void TScrollArea::MoveContent()
{
    if (!content_ || !content_->Handle())
        return;
    SetWindowPos(content_->Handle(), nullptr, contentX_ - position_[0], contentY_ - position_[1], contentWidth_,
                 contentHeight_, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TScrollArea::Scroll(Axis axis, WORD code)
{
    const int i = int(axis);
    const int page = axis == Axis::Horizontal ? VisibleWidth() : VisibleHeight();
    const int line = Scale(16);
    int position = position_[i];
    switch (code) {
    case SB_LINEUP: position -= line; break;
    case SB_LINEDOWN: position += line; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = Range(axis); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{sizeof(info), SIF_TRACKPOS};
        GetScrollInfo(handle_, axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info);
        position = info.nTrackPos;
        break;
    }
    default: return;
    }
    SetPosition(axis, position);
}

LRESULT TScrollArea::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HSCROLL:
        Scroll(Axis::Horizontal, LOWORD(wParam));
        return 0;
    case WM_VSCROLL:
        Scroll(Axis::Vertical, LOWORD(wParam));
        return 0;
    case WM_SIZE:
        UpdateScrollBars();
        break;
    default:
        break;
    }
    return TPointerWindow::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- TMessagePanel

TMessagePanel::TMessagePanel(TWindow& parent)
{
    CreateOwn(0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"", parent.Handle(), 0, 0, 10, 10);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(MakeFont(L"MS Shell Dlg 2", Scale(13))), FALSE);
}

void TMessagePanel::PaintWindow(HDC dc, const RECT& area)
{
    RECT client;
    GetClientRect(handle_, &client);
    FillRect(dc, &client, BackgroundBrush());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fontColor_);
    SelectedObject font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(handle_, WM_GETFONT, 0, 0)));
    DrawTextW(dc, Text().c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}
