// The eight ways of laying a picture's pixels out again by quarter turns and
// mirrors, and how they combine. They are numbered as the Exif orientation
// tag numbers them: the value says what shows the stored pixels upright
// (6: turn them a quarter clockwise).
#pragma once

#include <cstdint>
#include <optional>

enum class Orientation : uint8_t {
    Identity = 1,
    FlipHorizontal = 2,           // mirror left-right
    Rotate180 = 3,
    FlipVertical = 4,             // upside down
    Transpose = 5,                // mirror across the top-left to bottom-right diagonal
    RotateClockwise = 6,          // 90° clockwise
    Transverse = 7,               // mirror across the top-right to bottom-left diagonal
    RotateCounterClockwise = 8,   // 90° counter-clockwise
};

namespace orientation_detail {

// Each one written as: first swap rows and columns (t), then mirror
// left-right (h), then upside down (v).
struct Steps {
    bool t, h, v;
};

constexpr Steps kSteps[9] = {{}, {0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1},
                             {1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}};

constexpr Steps StepsOf(Orientation o) { return kSteps[int(o)]; }

constexpr Orientation FromSteps(Steps s)
{
    for (int i = 1; i <= 8; ++i)
        if (kSteps[i].t == s.t && kSteps[i].h == s.h && kSteps[i].v == s.v)
            return Orientation(i);
    return Orientation::Identity;
}

} // namespace orientation_detail

// True when width and height change places.
constexpr bool SwapsSides(Orientation o) { return orientation_detail::StepsOf(o).t; }

// The result of applying first, then second.
constexpr Orientation Then(Orientation first, Orientation second)
{
    using namespace orientation_detail;
    const Steps a = StepsOf(first), b = StepsOf(second);
    // Swapping rows and columns after a mirror turns left-right into upside
    // down and back.
    return FromSteps({a.t != b.t, b.h != (b.t ? a.v : a.h), b.v != (b.t ? a.h : a.v)});
}

// What undoes it.
constexpr Orientation Inverse(Orientation o)
{
    using namespace orientation_detail;
    const Steps s = StepsOf(o);
    return s.t ? FromSteps({true, s.v, s.h}) : o;
}

// The orientation an Exif tag value stands for; none for values outside 1 to 8.
constexpr std::optional<Orientation> OrientationFromExif(int value)
{
    if (value < 1 || value > 8)
        return std::nullopt;
    return Orientation(value);
}
