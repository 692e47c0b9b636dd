// How the numbers of a picture's pixels are to be read as colours, as its
// file says: the colour profile a decoder finds in the file and hands on with
// the pixels it returns. A picture without one is untagged, and untagged
// means sRGB, as on the web. Decoders keep what the file says and check
// nothing: a profile that cannot be used is found out when the picture is
// shown, and it is then taken as sRGB too (imaging/colour/ColourTransform.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct ColourProfile {
    // The file names sRGB without carrying a profile (PNG's sRGB chunk, the
    // sRGB code points of a colour description).
    bool srgb = false;
    // Otherwise the ICC profile, as the file carries it or as made from its
    // description (MakeIccProfile).
    std::vector<uint8_t> icc;
    bool operator==(const ColourProfile&) const = default;
};

// Shared descriptions, as pictures hold them; null for untagged.
std::shared_ptr<const ColourProfile> SrgbProfile();
std::shared_ptr<const ColourProfile> IccProfile(std::vector<uint8_t> icc);   // null when empty

// Colour primaries and white point as CIE xy chromaticities.
struct Chromaticities {
    double redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
};
// sRGB's (and BT.709's) primaries, white D65.
constexpr Chromaticities kSrgbPrimaries{0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};

// A decoding tone curve from a stored value x (0 to 1) to linear light y:
// y = (a·x + b)^gamma for x ≥ d, y = c·x below (the ICC parametric curve of
// type 3). A plain power law is {gamma}.
struct ToneCurve {
    double gamma = 1, a = 1, b = 0, c = 0, d = 0;
};
constexpr ToneCurve kSrgbCurve{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};

// An RGB display profile made from primaries and a tone curve, as files that
// describe their colours rather than carry a profile give them (PNG's cHRM
// and gAMA, a colour description's primaries and transfer characteristics).
// Empty when the values describe no colours (a white point or primaries that
// lie on a line, a curve that does not rise).
std::vector<uint8_t> MakeIccProfile(const Chromaticities& primaries, const ToneCurve& curve);

// The profile of a colour description's primaries and transfer
// characteristics, coded as H.273 codes them (what AV1 streams and AVIF
// files carry). Empty for sRGB, for unspecified values and for those shown as
// untagged, that is as sRGB (transfers for high dynamic range, unknown
// codes). BT.709's transfer (and BT.601's and BT.2020's, codes 6, 14 and 15,
// the same curve) is shown as sRGB's, as browsers show it: BT.709 primaries
// with it are sRGB.
std::vector<uint8_t> ColourDescriptionProfile(int primaries, int transfer);
