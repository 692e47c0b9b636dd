// The image area's windows: the image control, the scrolling area and the
// message panel.
#include "app/ImageView.h"

#include <algorithm>
#include <new>

#include "base/Failure.h"

#include "base/Numbers.h"
#include "base/ScopedFlag.h"
#include "imaging/pictures/GdiDrawing.h"

namespace {

// Drawings of icons and metafiles larger than this are not kept; such an
// enlargement is drawn straight from the picture, only where it is visible.
constexpr uint64_t kMaxDisplayCopyPixels = uint64_t(1) << 25;
// The image control's timer of an animation's frames, and how often a
// paused animation looks whether it may go on.
constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kPausedCheckMs = 250;

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
    const TGraphic* graphic = picture_.Graphic();
    tiles_.SetSource(graphic ? graphic->Display() : nullptr);
    frozen_.Reset();
    frozenTiles_ = false;
    copyValid_ = false;
    drawn_.Reset();
    Changed();
    player_ = TAnimationPlayer::For(picture_);
    Play();
}

void TImageView::TakeTiles(DisplayTiles tiles)
{
    tiles_.TakeTiles(std::move(tiles));
}

void TImageView::SetBackground(COLORREF color)
{
    if (color == background_)
        return;
    background_ = color;
    tiles_.SetBackground(GetRValue(color), GetGValue(color), GetBValue(color));
    // Transparent parts and whatever the picture leaves uncovered change.
    const auto& source = tiles_.Source();
    if (!source || source->Transparent()) {
        copyValid_ = false;
        drawn_.Reset();
        Changed();
    } else {
        Invalidate(false);
    }
}

void TImageView::SetColours(std::shared_ptr<const MonitorColours> colours)
{
    const auto transform = tiles_.Transform();
    tiles_.SetColours(std::move(colours));
    if (tiles_.Transform() != transform)
        Changed();
}

void TImageView::Changed()
{
    changed_ = true;
    failed_ = false;
    Invalidate(false);
}

bool TImageView::DrawnStraight() const
{
    return tiles_.DrawnStraight();
}

void TImageView::PrepareDisplay()
{
    tiles_.SetShownSize(ClientWidth(), ClientHeight());
    const auto& source = tiles_.Source();
    if (!source)
        return;
    if (DrawnStraight())
        source->Whole();
    else
        tiles_.Prepare();
}

RECT TImageView::SeenPart() const
{
    RECT part{0, 0, ClientWidth(), ClientHeight()};
    RECT parent{};
    HWND owner = GetParent(handle_);
    if (!owner || !GetClientRect(owner, &parent))
        return part;
    MapWindowPoints(owner, handle_, reinterpret_cast<POINT*>(&parent), 2);
    IntersectRect(&part, &part, &parent);
    return part;
}

void TImageView::Freeze()
{
    player_.reset();
    KillTimer(handle_, kAnimationTimer);
    // Tiles on screen stay as they are; anything else is drawn once more
    // into a bitmap of the part that is seen.
    if (tiles_.Source() && !DrawnStraight() && !changed_) {
        tiles_.Release();
        picture_ = TPicture();
        frozenTiles_ = true;
        return;
    }
    const RECT seen = SeenPart();
    BitmapHandle kept;
    if (!IsRectEmpty(&seen)) {
        WindowDc screen;
        kept.Reset(CreateCompatibleBitmap(screen.Get(), seen.right - seen.left, seen.bottom - seen.top));
        MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
        if (kept && dc) {
            SelectedObject keep(dc.Get(), kept.Get());
            SetWindowOrgEx(dc.Get(), seen.left, seen.top, nullptr);
            Draw(dc.Get(), seen);
        } else {
            kept.Reset();
        }
    }
    picture_ = TPicture();
    tiles_.SetSource(nullptr);
    copyValid_ = false;
    drawn_.Reset();
    frozen_ = std::move(kept);
    frozenPart_ = seen;
}

void TImageView::FillBackground(HDC dc, const RECT& area) const
{
    BrushHandle brush(CreateSolidBrush(background_));
    FillRect(dc, &area, brush.Get());
}

bool TImageView::MakeDrawnCopy(int width, int height)
{
    if (copyValid_ && copyWidth_ == width && copyHeight_ == height)
        return true;
    copyValid_ = false;
    drawn_.Reset();
    copyWidth_ = width;
    copyHeight_ = height;
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0 ||
        uint64_t(width) * uint64_t(height) > kMaxDisplayCopyPixels)
        return false;
    // Icons and metafiles draw themselves, once, over the background.
    WindowDc screen;
    BitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
    MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
    if (!bitmap || !dc)
        return false;
    SelectedObject keep(dc.Get(), bitmap.Get());
    RECT all{0, 0, width, height};
    FillBackground(dc.Get(), all);
    graphic->Draw(dc.Get(), all);
    drawn_ = std::move(bitmap);
    copyValid_ = true;
    return true;
}

LRESULT TImageView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // What is shown goes straight to the screen: a back buffer would only
    // add a second copy of the same pixels to every paint.
    if (message == WM_PAINT) {
        PaintDc paint(handle_);
        PaintWindow(paint.Get(), paint.Area());
        return 0;
    }
    // A new size is a new picture on screen: everything is drawn again, not
    // only the part that was uncovered.
    // (Sizes the control passes through while it is placed are never
    // painted, so what is shown is sized when it is drawn.)
    if (message == WM_SIZE)
        InvalidateRect(handle_, nullptr, FALSE);
    if (message == WM_TIMER && wParam == kAnimationTimer) {
        ShowNextFrame();
        return 0;
    }
    return TPointerWindow::HandleMessage(message, wParam, lParam);
}

bool TImageView::Covered() const
{
    WindowDc dc(handle_);
    RECT box;
    return GetClipBox(dc.Get(), &box) == NULLREGION;
}

void TImageView::Play()
{
    if (player_)
        SetTimer(handle_, kAnimationTimer, UINT(player_->DelayMs()), nullptr);
    else
        KillTimer(handle_, kAnimationTimer);
}

void TImageView::ShowNextFrame()
{
    KillTimer(handle_, kAnimationTimer);
    if (!player_)
        return;
    // Nothing is made while the window is minimised or the control wholly
    // covered (where the system tells: with a compositor every window is
    // drawn, covered or not): it goes on once it is seen again.
    if (IsIconic(GetAncestor(handle_, GA_ROOT)) || Covered()) {
        SetTimer(handle_, kAnimationTimer, kPausedCheckMs, nullptr);
        return;
    }
    if (!player_->Advance())
        return;   // its last frame stays
    // The frame replaces the one shown (which the decoder may then reuse)
    // and is shown as any still picture is.
    picture_.TakeGraphic(player_->Frame());
    tiles_.SetSource(picture_.Graphic()->Display());
    copyValid_ = false;
    Changed();
    Play();
}

void TImageView::PaintWindow(HDC dc, const RECT& area)
{
    if (frozenTiles_) {
        FillBackground(dc, area);
        DrawTiles(dc, area);
        return;
    }
    if (frozen_) {
        FillBackground(dc, area);
        MemoryDcHandle memory(CreateCompatibleDC(dc));
        SelectedObject keep(memory.Get(), frozen_.Get());
        RECT part;
        if (IntersectRect(&part, &area, &frozenPart_))
            BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(),
                   part.left - frozenPart_.left, part.top - frozenPart_.top, SRCCOPY);
        return;
    }
    Draw(dc, area);
}

void TImageView::Draw(HDC dc, const RECT& area)
{
    const int width = ClientWidth(), height = ClientHeight();
    TGraphic* graphic = picture_.Graphic();
    if (!graphic || graphic->Empty() || width <= 0 || height <= 0) {
        FillBackground(dc, area);
        return;
    }
    if (changed_ || width != shownWidth_ || height != shownHeight_) {
        changed_ = false;
        failed_ = failed_ && width == shownWidth_ && height == shownHeight_;
        shownWidth_ = width;
        shownHeight_ = height;
        ++copiesMade_;
    }
    if (const auto& source = tiles_.Source()) {
        tiles_.SetShownSize(width, height);
        // What the size needs was decoded by the command that sized the
        // control; should that have failed, paints show the background
        // rather than report the same failure again and again.
        if (!failed_) {
            try {
                if (DrawnStraight())
                    DrawStraight(dc, source->Whole());
                else
                    DrawTiles(dc, area);
                return;
            } catch (const Failure&) {
                failed_ = true;
            } catch (const std::bad_alloc&) {
                failed_ = true;
            }
        }
        FillBackground(dc, area);
        return;
    }
    if (MakeDrawnCopy(width, height)) {
        MemoryDcHandle memory(CreateCompatibleDC(dc));
        SelectedObject keep(memory.Get(), drawn_.Get());
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory.Get(), area.left,
               area.top, SRCCOPY);
        return;
    }
    // Too large to keep: drawn where it shows.
    FillBackground(dc, area);
    graphic->Draw(dc, RECT{0, 0, width, height});
}

void TImageView::DrawStraight(HDC dc, const Raster& pixels)
{
    // The whole picture onto the whole control, clipped to what is painted:
    // the stretch maps every part the same way however the paints are cut
    // (a source rectangle per paint would start its mapping afresh at each
    // cut), and only the clipped part is worked on.
    DrawRaster(dc, RECT{0, 0, ClientWidth(), ClientHeight()}, pixels);
}

void TImageView::DrawTiles(HDC dc, const RECT& area)
{
    constexpr int side = DisplayTiles::kTileSide;
    const int width = ClientWidth(), height = ClientHeight();
    const int firstColumn = std::max(0, int(area.left) / side), lastColumn = std::min(width - 1, int(area.right) - 1) / side;
    const int firstRow = std::max(0, int(area.top) / side), lastRow = std::min(height - 1, int(area.bottom) - 1) / side;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const Raster& tile = tiles_.Tile(column, row);
            if (tile.Empty())
                continue;
            BITMAPINFO info{DibHeader(tile)};
            SetDIBitsToDevice(dc, column * side, row * side, UINT(tile.Width()), UINT(tile.Height()), 0, 0, 0,
                              UINT(tile.Height()), tile.Bits0(), &info, DIB_RGB_COLORS);
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
    position = wanted_[i] ? std::clamp(position, 0, std::max(0, Range(axis) - page)) : 0;
    if (position == position_[i])
        return;
    position_[i] = position;
    if (movesHeld_ > 0) {
        movePending_ = true;
        return;
    }
    SCROLLINFO info{sizeof(info), SIF_POS};
    info.nPos = position;
    SetScrollInfo(handle_, axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info, TRUE);
    MoveContent();
}

int TScrollArea::VisibleWidth() const
{
    return FullWidth() - (wanted_[1] ? GetSystemMetrics(SM_CXVSCROLL) : 0);
}

int TScrollArea::VisibleHeight() const
{
    return FullHeight() - (wanted_[0] ? GetSystemMetrics(SM_CYHSCROLL) : 0);
}

void TScrollArea::UpdateScrollBars()
{
    if (updating_ || !handle_)
        return;
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
        wanted_[i] = need[i];
        position_[i] = need[i] ? std::clamp(position_[i], 0, std::max(0, range[i] - visible[i])) : 0;
    }
    ApplyScrollBars();
}

void TScrollArea::ApplyScrollBars()
{
    if (movesHeld_ > 0) {
        movePending_ = true;
        return;
    }
    const ScopedFlag updating(updating_);
    const int visible[2] = {VisibleWidth(), VisibleHeight()};
    for (int i = 0; i < 2; ++i) {
        const int bar = i == 0 ? SB_HORZ : SB_VERT;
        if (wanted_[i]) {
            SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS};
            info.nMin = 0;
            info.nMax = Range(Axis(i)) - 1;
            info.nPage = UINT(std::max(visible[i], 0));
            info.nPos = position_[i];
            SetScrollInfo(handle_, bar, &info, TRUE);
        }
        if (wanted_[i] != shown_[i]) {
            shown_[i] = wanted_[i];
            ShowScrollBar(handle_, bar, wanted_[i]);
        }
    }
    MoveContent();
}

TScrollArea::MovesHeld::~MovesHeld()
{
    if (--area_.movesHeld_ == 0 && area_.movePending_) {
        area_.movePending_ = false;
        area_.ApplyScrollBars();
    }
}

void TScrollArea::MoveContent()
{
    if (movesHeld_ > 0) {
        movePending_ = true;
        return;
    }
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
