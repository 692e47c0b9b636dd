// Printing inks to screen colours: CMYK pixels, as JPEGs from print work
// carry them, made BGR in sRGB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class CmykToBgr {
public:
    // profile: the file's ICC profile; a CMYK profile Little CMS can read
    // converts (perceptually, to sRGB), otherwise (none, another kind, one
    // that cannot be read) the usual rule for inks on white paper does:
    // red = (1 − cyan)(1 − black), and so on. inverted: the values count
    // what is left of white rather than ink (255 is no ink), as the JPEGs
    // with Adobe's segment store them.
    CmykToBgr(std::span<const uint8_t> profile, bool inverted);

    // Whether the profile converts.
    bool Profiled() const { return transform_ != nullptr; }

    // count pixels of four bytes (C, M, Y, K) to three (B, G, R).
    void Convert(const uint8_t* cmyk, uint8_t* bgr, size_t count) const;

private:
    struct Transform;
    static std::shared_ptr<const Transform> Find(std::span<const uint8_t> profile, bool inverted);
    std::shared_ptr<const Transform> transform_;
    bool inverted_;
};
