#include "widgets/Glyphs.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <vector>

#include "base/Failure.h"

namespace {

constexpr int kOversample = 4;
constexpr double kUnits = 16.0;   // glyphs are designed on a 16 × 16 grid

// Shapes in design units, drawn white on black into the oversampled layer.
class Canvas {
public:
    Canvas(HDC dc, double scale) : dc_(dc), k_(scale) {}

    void Poly(std::initializer_list<POINT> designed) const
    {
        std::vector<POINT> points;
        for (POINT p : designed)
            points.push_back({X(p.x / 2.0), X(p.y / 2.0)});
        SelectedObject b(dc_, GetStockObject(WHITE_BRUSH));
        SelectedObject p(dc_, GetStockObject(NULL_PEN));
        Polygon(dc_, points.data(), int(points.size()));
    }
    void Rect(double l, double t, double r, double b) const
    {
        RECT rect{X(l), X(t), X(r), X(b)};
        FillRect(dc_, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    void Ellipse(double l, double t, double r, double b) const
    {
        SelectedObject br(dc_, GetStockObject(WHITE_BRUSH));
        SelectedObject p(dc_, GetStockObject(NULL_PEN));
        ::Ellipse(dc_, X(l), X(t), X(r), X(b));
    }
    void Line(double x1, double y1, double x2, double y2, double width) const
    {
        PenHandle pen = MakePen(width);
        SelectedObject p(dc_, pen.Get());
        MoveToEx(dc_, X(x1), X(y1), nullptr);
        LineTo(dc_, X(x2), X(y2));
    }
    void Ring(double l, double t, double r, double b, double width) const
    {
        PenHandle pen = MakePen(width);
        SelectedObject p(dc_, pen.Get());
        SelectedObject br(dc_, GetStockObject(NULL_BRUSH));
        ::Ellipse(dc_, X(l), X(t), X(r), X(b));
    }
    // Counter-clockwise arc of the circle around (cx, cy) from one angle to
    // another (degrees, 0 = east, 90 = north).
    void Arc(double cx, double cy, double radius, double from, double to, double width) const
    {
        PenHandle pen = MakePen(width);
        SelectedObject p(dc_, pen.Get());
        SelectedObject br(dc_, GetStockObject(NULL_BRUSH));
        auto px = [&](double a) { return X(cx + 10 * std::cos(a * std::numbers::pi / 180)); };
        auto py = [&](double a) { return X(cy - 10 * std::sin(a * std::numbers::pi / 180)); };
        ::Arc(dc_, X(cx - radius), X(cy - radius), X(cx + radius), X(cy + radius), px(from), py(from), px(to), py(to));
    }
    void Text(double l, double t, double r, double b, const wchar_t* text, double height) const
    {
        FontHandle font(CreateFontW(-X(height), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                    DEFAULT_PITCH | FF_SWISS, L"Arial"));
        SelectedObject f(dc_, font.Get());
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, RGB(255, 255, 255));
        RECT rect{X(l), X(t), X(r), X(b)};
        DrawTextW(dc_, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }

private:
    int X(double units) const { return int(std::lround(units * k_)); }
    PenHandle MakePen(double width) const
    {
        LOGBRUSH brush{BS_SOLID, RGB(255, 255, 255), 0};
        return PenHandle(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                                      DWORD(std::max(1, X(width))), &brush, 0, nullptr));
    }
    HDC dc_;
    double k_;
};

// Builds a glyph from coloured layers, each laid over the ones before.
class GlyphPainter {
public:
    explicit GlyphPainter(int size) : size_(std::max(size, 1)), big_(size_ * kOversample)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), big_, -big_, 1, 32, BI_RGB};
        void* bits = nullptr;
        layer_.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        dc_.Reset(CreateCompatibleDC(nullptr));
        if (!layer_ || !dc_)
            throw Failure(L"Out of system resources");
        layerBits_ = static_cast<const uint32_t*>(bits);
        pixels_.assign(size_t(size_) * size_t(size_), 0u);
    }

    template <class Draw>
    void Layer(COLORREF color, Draw draw)
    {
        SelectedObject keep(dc_.Get(), layer_.Get());
        RECT all{0, 0, big_, big_};
        FillRect(dc_.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        draw(Canvas(dc_.Get(), big_ / kUnits));
        GdiFlush();
        const uint32_t src[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
        for (int y = 0; y < size_; ++y)
            for (int x = 0; x < size_; ++x) {
                uint32_t cover = 0;
                for (int dy = 0; dy < kOversample; ++dy) {
                    const uint32_t* row = layerBits_ + size_t(y * kOversample + dy) * size_t(big_);
                    for (int dx = 0; dx < kOversample; ++dx)
                        cover += (row[x * kOversample + dx] >> 8) & 0xFF;   // green
                }
                const uint32_t a = (cover + kOversample * kOversample / 2) / (kOversample * kOversample);
                if (a == 0)
                    continue;
                uint32_t& dst = pixels_[size_t(y) * size_t(size_) + size_t(x)];
                uint32_t out = 0;
                for (int c = 0; c < 4; ++c) {
                    const uint32_t under = (dst >> (8 * c)) & 0xFF;
                    const uint32_t over = c < 3 ? src[c] * a / 255 : a;
                    out |= std::min<uint32_t>(255, over + under * (255 - a) / 255) << (8 * c);
                }
                dst = out;
            }
    }

    BitmapHandle Finish() const
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), size_, -size_, 1, 32, BI_RGB};
        void* bits = nullptr;
        BitmapHandle bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap)
            throw Failure(L"Out of system resources");
        std::copy(pixels_.begin(), pixels_.end(), static_cast<uint32_t*>(bits));
        return bitmap;
    }

private:
    int size_, big_;
    BitmapHandle layer_;
    MemoryDcHandle dc_;
    const uint32_t* layerBits_ = nullptr;
    std::vector<uint32_t> pixels_;
};

// Points on the grid are given in half units so the outlines stay integers.
constexpr COLORREF kOutline = RGB(50, 50, 60);

void DrawMagnifier(GlyphPainter& g, bool plus)
{
    g.Layer(RGB(200, 230, 255), [](const Canvas& c) { c.Ellipse(1.5, 1.5, 10.5, 10.5); });
    g.Layer(kOutline, [](const Canvas& c) {
        c.Ring(1.5, 1.5, 10.5, 10.5, 1.6);
        c.Line(9.5, 9.5, 14.5, 14.5, 2.6);
    });
    g.Layer(RGB(20, 60, 160), [plus](const Canvas& c) {
        c.Line(3.8, 6, 8.2, 6, 1.4);
        if (plus)
            c.Line(6, 3.8, 6, 8.2, 1.4);
    });
}

void DrawRotate(GlyphPainter& g, bool clockwise)
{
    // Three quarters of a circle open at the bottom, the arrow head at the
    // end of the turn (the left side for counter-clockwise, the right side
    // for clockwise), pointing down.
    g.Layer(RGB(20, 100, 210), [clockwise](const Canvas& c) {
        if (clockwise) {
            c.Arc(8, 8, 5, 12, 240, 2);
            c.Poly({{26, 22}, {21, 15}, {31, 15}});
        } else {
            c.Arc(8, 8, 5, -60, 168, 2);
            c.Poly({{6, 22}, {1, 15}, {11, 15}});
        }
    });
}

// A mirror axis across the middle, dashed, with a solid triangle on one side
// and its pale mirror image on the other.
void DrawFlip(GlyphPainter& g, bool horizontal)
{
    g.Layer(RGB(120, 120, 130), [horizontal](const Canvas& c) {
        for (double at : {1.0, 5.0, 9.0, 13.0}) {
            if (horizontal)
                c.Rect(7.5, at, 8.5, at + 2);
            else
                c.Rect(at, 7.5, at + 2, 8.5);
        }
    });
    g.Layer(RGB(20, 100, 210), [horizontal](const Canvas& c) {
        if (horizontal)
            c.Poly({{2, 16}, {13, 5}, {13, 27}});
        else
            c.Poly({{16, 2}, {5, 13}, {27, 13}});
    });
    g.Layer(RGB(150, 195, 245), [horizontal](const Canvas& c) {
        if (horizontal)
            c.Poly({{30, 16}, {19, 5}, {19, 27}});
        else
            c.Poly({{16, 30}, {5, 19}, {27, 19}});
    });
}

} // namespace

BitmapHandle MakeGlyph(GlyphId id, int size)
{
    GlyphPainter g(size);
    switch (id) {
    case GlyphId::Open:
        g.Layer(RGB(190, 140, 30), [](const Canvas& c) { c.Poly({{2, 5}, {12, 5}, {14, 8}, {30, 8}, {30, 28}, {2, 28}}); });
        g.Layer(RGB(250, 205, 70), [](const Canvas& c) { c.Poly({{6, 13}, {32, 13}, {28, 28}, {2, 28}}); });
        break;
    case GlyphId::Save:
        g.Layer(RGB(40, 80, 170), [](const Canvas& c) { c.Poly({{2, 2}, {26, 2}, {30, 6}, {30, 30}, {2, 30}}); });
        g.Layer(RGB(255, 255, 255), [](const Canvas& c) { c.Rect(4, 2, 12, 7.5); });
        g.Layer(RGB(190, 195, 205), [](const Canvas& c) { c.Rect(5, 10.5, 11, 15); });
        g.Layer(RGB(40, 80, 170), [](const Canvas& c) { c.Rect(8.7, 11.3, 10, 14.2); });
        break;
    case GlyphId::Print:
        g.Layer(kOutline, [](const Canvas& c) { c.Rect(3.5, 1, 12.5, 7); });
        g.Layer(RGB(255, 255, 255), [](const Canvas& c) { c.Rect(4.3, 1.8, 11.7, 7); });
        g.Layer(RGB(110, 115, 125), [](const Canvas& c) { c.Rect(1, 6, 15, 12.5); });
        g.Layer(kOutline, [](const Canvas& c) { c.Rect(3.5, 10, 12.5, 15); });
        g.Layer(RGB(255, 255, 255), [](const Canvas& c) { c.Rect(4.3, 10.8, 11.7, 14.2); });
        g.Layer(RGB(60, 200, 80), [](const Canvas& c) { c.Ellipse(12, 7.3, 13.8, 9.1); });
        break;
    case GlyphId::Email:
        g.Layer(kOutline, [](const Canvas& c) { c.Rect(1, 3.5, 15, 12.5); });
        g.Layer(RGB(255, 250, 235), [](const Canvas& c) { c.Rect(1.8, 4.3, 14.2, 11.7); });
        g.Layer(kOutline, [](const Canvas& c) {
            c.Line(2, 4.6, 8, 9, 1);
            c.Line(8, 9, 14, 4.6, 1);
        });
        break;
    case GlyphId::Previous:
        g.Layer(RGB(30, 150, 60), [](const Canvas& c) { c.Poly({{3, 16}, {16, 3}, {16, 11}, {29, 11}, {29, 21}, {16, 21}, {16, 29}}); });
        break;
    case GlyphId::Next:
        g.Layer(RGB(30, 150, 60), [](const Canvas& c) { c.Poly({{29, 16}, {16, 3}, {16, 11}, {3, 11}, {3, 21}, {16, 21}, {16, 29}}); });
        break;
    case GlyphId::ZoomOut:
        DrawMagnifier(g, false);
        break;
    case GlyphId::ZoomIn:
        DrawMagnifier(g, true);
        break;
    case GlyphId::RotateCCW:
        DrawRotate(g, false);
        break;
    case GlyphId::RotateCW:
        DrawRotate(g, true);
        break;
    case GlyphId::Rotate180:
        // A U-turn: up the left side, over the top and down the right side.
        g.Layer(RGB(20, 100, 210), [](const Canvas& c) {
            c.Line(3, 14, 3, 8, 2);
            c.Arc(8, 8, 5, 0, 180, 2);
            c.Poly({{26, 29}, {20, 19}, {32, 19}});
        });
        break;
    case GlyphId::FlipHorizontal:
        DrawFlip(g, true);
        break;
    case GlyphId::FlipVertical:
        DrawFlip(g, false);
        break;
    case GlyphId::Resize:
        // A small picture in the corner of a large frame, and the arrow that
        // stretches it.
        g.Layer(kOutline, [](const Canvas& c) { c.Rect(1, 1, 15, 15); });
        g.Layer(RGB(255, 255, 255), [](const Canvas& c) { c.Rect(2, 2, 14, 14); });
        g.Layer(RGB(60, 170, 90), [](const Canvas& c) { c.Rect(2, 9, 7, 14); });
        g.Layer(RGB(20, 60, 160), [](const Canvas& c) {
            c.Line(6, 10, 11, 5, 1.4);
            c.Poly({{27, 5}, {17, 7}, {25, 15}});
        });
        break;
    case GlyphId::RevertSize:
        // An arrow that turns back: to the right along the bottom, round
        // and back to the left along the top.
        g.Layer(RGB(220, 120, 20), [](const Canvas& c) {
            c.Line(4, 13, 10, 13, 2);
            c.Arc(10, 9, 4, -90, 90, 2);
            c.Line(10, 5, 6, 5, 2);
            c.Poly({{1, 10}, {12, 2}, {12, 18}});
        });
        break;
    case GlyphId::Tools:
        g.Layer(kOutline, [](const Canvas& c) { c.Ring(5, 2.5, 11, 8.5, 1.3); });
        g.Layer(RGB(200, 40, 40), [](const Canvas& c) { c.Rect(1, 6, 15, 14.5); });
        g.Layer(RGB(120, 20, 20), [](const Canvas& c) { c.Rect(1, 9, 15, 10.2); });
        g.Layer(RGB(230, 230, 230), [](const Canvas& c) { c.Rect(6.8, 8.2, 9.2, 11); });
        break;
    case GlyphId::FullScreen:
        g.Layer(kOutline, [](const Canvas& c) {
            c.Rect(1, 2, 15, 12);
            c.Rect(6, 12, 10, 13.5);
            c.Rect(4, 13.5, 12, 14.8);
        });
        g.Layer(RGB(120, 190, 250), [](const Canvas& c) { c.Rect(2.2, 3.2, 13.8, 10.8); });
        g.Layer(RGB(255, 255, 255), [](const Canvas& c) {
            c.Poly({{6, 8}, {10, 8}, {6, 12}});
            c.Poly({{26, 20}, {22, 20}, {26, 16}});
        });
        break;
    }
    return g.Finish();
}

TToggleBitmapList::TToggleBitmapList(int size)
{
    for (int index = 0; index < 4; ++index) {
        GlyphPainter g(size);
        switch (index) {
        case AutoFitOn:
        case AutoFitOff:
            g.Layer(kOutline, [](const Canvas& c) { c.Rect(1, 2, 15, 14); });
            g.Layer(RGB(255, 255, 255), [](const Canvas& c) { c.Rect(2, 3, 14, 13); });
            if (index == AutoFitOn) {
                // A picture filling the frame, with arrows to its corners.
                g.Layer(RGB(60, 170, 90), [](const Canvas& c) { c.Rect(3, 4, 13, 12); });
                g.Layer(RGB(255, 255, 255), [](const Canvas& c) {
                    c.Line(5.5, 6.5, 10.5, 9.5, 1.1);
                    c.Poly({{9, 10}, {13, 10}, {11, 14}});
                    c.Poly({{23, 22}, {19, 22}, {21, 18}});
                });
            } else {
                g.Layer(kOutline, [](const Canvas& c) { c.Text(2, 3, 14, 13, L"1:1", 7.5); });
            }
            break;
        case SlideShowStopped:
            g.Layer(RGB(30, 150, 60), [](const Canvas& c) { c.Poly({{8, 4}, {28, 16}, {8, 28}}); });
            break;
        case SlideShowRunning:
            g.Layer(RGB(200, 40, 40), [](const Canvas& c) { c.Rect(3.5, 3.5, 12.5, 12.5); });
            break;
        }
        bitmaps_[size_t(index)] = g.Finish();
    }
}

HBITMAP TToggleBitmapList::Bitmap(int index) const
{
    return index >= 0 && index < Count() ? bitmaps_[size_t(index)].Get() : nullptr;
}
