// How a failed check shows the program's own types: as readable text, where
// GoogleTest would print an object's raw bytes. The build includes this file
// first in every test source (cmake), so that all of them print alike.
#pragma once

#include <iterator>
#include <ostream>
#include <type_traits>

#include "imaging/pixels/Raster.h"

inline void PrintTo(const PaletteEntry& pixel, std::ostream* os)
{
    *os << "rgb(" << int(pixel.red) << ", " << int(pixel.green) << ", " << int(pixel.blue) << ") reserved "
        << int(pixel.reserved);
}

inline void PrintTo(const PixelRect& rect, std::ostream* os)
{
    *os << rect.width << " x " << rect.height << " at (" << rect.x << ", " << rect.y << ")";
}

inline void PrintTo(PixelFormat format, std::ostream* os)
{
    static const char* const names[] = {"Device", "Bit1", "Bit4", "Bit8", "Bit15", "Bit16", "Bit24", "Bit32"};
    const auto index = static_cast<unsigned>(format);
    if (index < std::size(names))
        *os << names[index];
    else
        *os << "PixelFormat(" << index << ")";
}

// Any other enumeration: its number.
template <class E>
    requires std::is_enum_v<E>
void PrintTo(const E& value, std::ostream* os)
{
    *os << static_cast<long long>(value);
}
