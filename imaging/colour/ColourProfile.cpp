#include "imaging/colour/ColourProfile.h"

#include <cmath>

#include <lcms2.h>

std::shared_ptr<const ColourProfile> SrgbProfile()
{
    static const auto srgb = std::make_shared<const ColourProfile>(ColourProfile{true, {}});
    return srgb;
}

std::shared_ptr<const ColourProfile> IccProfile(std::vector<uint8_t> icc)
{
    if (icc.empty())
        return nullptr;
    return std::make_shared<const ColourProfile>(ColourProfile{false, std::move(icc)});
}

namespace {

bool Chromaticity(double x, double y) { return std::isfinite(x) && std::isfinite(y) && x >= 0 && y > 0 && x + y <= 1; }

} // namespace

std::vector<uint8_t> MakeIccProfile(const Chromaticities& p, const ToneCurve& curve)
{
    if (!Chromaticity(p.redX, p.redY) || !Chromaticity(p.greenX, p.greenY) || !Chromaticity(p.blueX, p.blueY) ||
        !Chromaticity(p.whiteX, p.whiteY))
        return {};
    const double values[5] = {curve.gamma, curve.a, curve.b, curve.c, curve.d};
    for (double v : values)
        if (!std::isfinite(v))
            return {};
    if (curve.gamma <= 0 || curve.a <= 0 || curve.c < 0)
        return {};

    const cmsCIExyY white{p.whiteX, p.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{{p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
    cmsToneCurve* tone = curve.b == 0 && curve.c == 0 && curve.d == 0 && curve.a == 1
                             ? cmsBuildGamma(nullptr, curve.gamma)
                             : cmsBuildParametricToneCurve(nullptr, 4, values);
    if (!tone)
        return {};
    cmsToneCurve* curves[3] = {tone, tone, tone};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(tone);
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

std::vector<uint8_t> ColourDescriptionProfile(int primaries, int transfer)
{
    constexpr int kUnspecified = 2;
    Chromaticities chromaticities = kSrgbPrimaries;
    switch (primaries) {
    case 1: case kUnspecified: break;   // BT.709, as sRGB
    case 9: chromaticities = {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290}; break;   // BT.2020
    case 12: chromaticities = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290}; break;  // Display P3
    default: return {};
    }
    // BT.709's transfer (which BT.601 and BT.2020 share) is a camera's
    // encoding; pictures that carry it were made to look right on displays
    // that decode them as sRGB, and browsers show them so.
    bool srgbCurve = false;
    ToneCurve curve = kSrgbCurve;
    switch (transfer) {
    case 13: case kUnspecified: case 1: case 6: case 14: case 15: srgbCurve = true; break;
    case 4: curve = {2.2}; break;
    case 5: curve = {2.8}; break;
    case 8: curve = {1.0}; break;   // linear
    default: return {};
    }
    if (primaries != 9 && primaries != 12 && srgbCurve)
        return {};
    return MakeIccProfile(chromaticities, curve);
}
