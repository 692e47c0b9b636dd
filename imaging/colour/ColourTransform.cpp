#include "imaging/colour/ColourTransform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <list>

#include <lcms2.h>

namespace {

// Photographs are shown as their profiles mean them to be seen.
constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;
// Pairs of profiles whose conversions are kept: a folder's pictures mostly
// share one or two.
constexpr size_t kKeptPairs = 8;

uint64_t Fnv1a(std::span<const uint8_t> bytes)
{
    uint64_t hash = 0xCBF29CE484222325u;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001B3u;
    return hash;
}

cmsHPROFILE Open(std::span<const uint8_t> icc)
{
    if (icc.empty() || icc.size() > std::numeric_limits<cmsUInt32Number>::max())
        return nullptr;
    return cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
}

// An RGB profile Little CMS can convert from (LCMS_USED_AS_INPUT) or to.
bool UsableRgb(cmsHPROFILE profile, cmsUInt32Number direction)
{
    return profile && cmsGetColorSpace(profile) == cmsSigRgbData && cmsIsIntentSupported(profile, kIntent, direction);
}

struct Closer {
    cmsHPROFILE profile;
    ~Closer()
    {
        if (profile)
            cmsCloseProfile(profile);
    }
};

// ------------------------------------------------------------ sRGB recognised

constexpr cmsTagSignature kColorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
constexpr cmsTagSignature kCurves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};

// sRGB's colorants adapted to the profile connection space's D50.
const cmsCIEXYZ* SrgbColorants()
{
    static const struct Reference {
        cmsCIEXYZ colorants[3]{};
        Reference()
        {
            const Closer srgb{cmsCreate_sRGBProfile()};
            for (int c = 0; c < 3; ++c)
                if (auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.profile, kColorants[c])))
                    colorants[c] = *xyz;
        }
    } reference;
    return reference.colorants;
}

// The sRGB encoding of linear light.
double SrgbEncode(double y)
{
    return y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1 / 2.4) - 0.055;
}

bool IsSrgb(cmsHPROFILE profile)
{
    if (!profile || cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile))
        return false;
    // Profiles of sRGB differ in how they rounded the adapted colorants and
    // sampled the curve, by far less than these tolerances.
    constexpr double kColorantTolerance = 0.003, kCurveTolerance = 1.5 / 255;
    constexpr int kCurveSamples = 64;
    const cmsCIEXYZ* reference = SrgbColorants();
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, kColorants[c]));
        if (!xyz || std::abs(xyz->X - reference[c].X) > kColorantTolerance ||
            std::abs(xyz->Y - reference[c].Y) > kColorantTolerance ||
            std::abs(xyz->Z - reference[c].Z) > kColorantTolerance)
            return false;
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, kCurves[c]));
        if (!curve)
            return false;
        for (int i = 0; i <= kCurveSamples; ++i) {
            const double x = double(i) / kCurveSamples;
            const double y = cmsEvalToneCurveFloat(curve, cmsFloat32Number(x));
            if (!(std::abs(SrgbEncode(std::max(y, 0.0)) - x) <= kCurveTolerance))
                return false;
        }
    }
    return true;
}

// ------------------------------------------------------------ matrix shapers

// Whether the profile converts through its colorants and tone curves, as
// Little CMS would convert it with the intent used (no table for it).
bool PlainMatrixShaper(cmsHPROFILE profile, cmsUInt32Number direction)
{
    return cmsIsMatrixShaper(profile) && !cmsIsCLUT(profile, kIntent, direction);
}

// The colorants as the columns of a matrix from linear RGB to XYZ; false when
// one is missing.
bool Colorants(cmsHPROFILE profile, double m[3][3])
{
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, kColorants[c]));
        if (!xyz)
            return false;
        m[0][c] = xyz->X, m[1][c] = xyz->Y, m[2][c] = xyz->Z;
    }
    return true;
}

bool Invert(const double m[3][3], double out[3][3])
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::abs(det) < 1e-9)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // The cofactor of (c, r), transposed.
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

} // namespace

// The conversion between two profiles of colorants and tone curves done
// here, as Little CMS's own eight-bit path does it (the same 1/16384 steps of
// linear light) but without its per-pixel indirections: tables from the
// picture's numbers to linear light, one matrix between the two sets of
// colorants, tables from linear light to the monitor's numbers.
struct ColourTransform::Shaper {
    static constexpr int kSteps = 16384;
    float linear[3][256];                // red, green, blue
    float matrix[3][3];                  // monitor linear RGB from picture linear RGB
    uint8_t encode[3][kSteps + 1];

    static std::unique_ptr<Shaper> Make(cmsHPROFILE from, cmsHPROFILE to)
    {
        if (!PlainMatrixShaper(from, LCMS_USED_AS_INPUT) || !PlainMatrixShaper(to, LCMS_USED_AS_OUTPUT))
            return nullptr;
        double source[3][3], target[3][3], inverse[3][3];
        if (!Colorants(from, source) || !Colorants(to, target) || !Invert(target, inverse))
            return nullptr;
        auto shaper = std::make_unique<Shaper>();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                shaper->matrix[r][c] = float(inverse[r][0] * source[0][c] + inverse[r][1] * source[1][c] +
                                             inverse[r][2] * source[2][c]);
        for (int c = 0; c < 3; ++c) {
            const auto* in = static_cast<const cmsToneCurve*>(cmsReadTag(from, kCurves[c]));
            const auto* out = static_cast<const cmsToneCurve*>(cmsReadTag(to, kCurves[c]));
            if (!in || !out)
                return nullptr;
            for (int i = 0; i < 256; ++i)
                shaper->linear[c][i] = std::clamp(cmsEvalToneCurveFloat(in, cmsFloat32Number(i / 255.0)), 0.0f, 1.0f);
            cmsToneCurve* reverse = cmsReverseToneCurveEx(4096, out);
            if (!reverse)
                return nullptr;
            for (int i = 0; i <= kSteps; ++i) {
                const float v = cmsEvalToneCurveFloat(reverse, cmsFloat32Number(double(i) / kSteps));
                shaper->encode[c][i] = uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
            }
            cmsFreeToneCurve(reverse);
        }
        return shaper;
    }

    // Pixels of `bytes` bytes, blue, green, red first; a fourth byte is kept.
    void Apply(uint8_t* row, int width, int bytes) const
    {
        const float(&m)[3][3] = matrix;
        for (int x = 0; x < width; ++x, row += bytes) {
            const float r = linear[0][row[2]], g = linear[1][row[1]], b = linear[2][row[0]];
            auto step = [](float v) { return int(std::clamp(v, 0.0f, 1.0f) * kSteps + 0.5f); };
            row[2] = encode[0][step(m[0][0] * r + m[0][1] * g + m[0][2] * b)];
            row[1] = encode[1][step(m[1][0] * r + m[1][1] * g + m[1][2] * b)];
            row[0] = encode[2][step(m[2][0] * r + m[2][1] * g + m[2][2] * b)];
        }
    }
};

namespace {

// ------------------------------------------------------------ the kept pairs

class KeptTransforms {
public:
    struct Key {
        bool srgb;
        std::span<const uint8_t> picture;
        uint64_t pictureHash;
        const std::shared_ptr<const std::vector<uint8_t>>& monitor;
        uint64_t monitorHash;
    };

    template <class Make>
    std::shared_ptr<const ColourTransform> Find(const Key& key, Make&& make)
    {
        std::lock_guard lock(mutex_);
        for (auto it = pairs_.begin(); it != pairs_.end(); ++it)
            if (Matches(*it, key)) {
                pairs_.splice(pairs_.begin(), pairs_, it);
                return it->transform;
            }
        // Made while the others wait: a picture read ahead and the same
        // picture shown never make the same conversion twice.
        Pair made{key.srgb, key.pictureHash, {key.picture.begin(), key.picture.end()}, key.monitorHash, key.monitor,
                  make()};
        pairs_.push_front(std::move(made));
        if (pairs_.size() > kKeptPairs)
            pairs_.pop_back();
        return pairs_.front().transform;
    }

private:
    struct Pair {
        bool srgb;
        uint64_t pictureHash;
        std::vector<uint8_t> picture;
        uint64_t monitorHash;
        std::shared_ptr<const std::vector<uint8_t>> monitor;
        std::shared_ptr<const ColourTransform> transform;   // null: shown as it is
    };

    static bool Matches(const Pair& pair, const Key& key)
    {
        return pair.srgb == key.srgb && pair.pictureHash == key.pictureHash && pair.monitorHash == key.monitorHash &&
               std::equal(pair.picture.begin(), pair.picture.end(), key.picture.begin(), key.picture.end()) &&
               (pair.monitor == key.monitor || *pair.monitor == *key.monitor);
    }

    std::mutex mutex_;
    std::list<Pair> pairs_;   // most recently used first
};

KeptTransforms& Kept()
{
    static KeptTransforms kept;
    return kept;
}

} // namespace

// ------------------------------------------------------------ ColourTransform

ColourTransform::ColourTransform(void* from, void* to) : from_(from), to_(to), shaper_(Shaper::Make(from, to)) {}

ColourTransform::~ColourTransform()
{
    for (void* transform : transforms_)
        if (transform)
            cmsDeleteTransform(transform);
    cmsCloseProfile(from_);
    cmsCloseProfile(to_);
}

void* ColourTransform::TransformFor(Layout layout) const
{
    static constexpr cmsUInt32Number kFormats[kLayouts] = {TYPE_BGR_8, TYPE_BGRA_8, TYPE_BGRA_8_PREMUL};
    std::lock_guard lock(mutex_);
    if (!tried_[layout]) {
        tried_[layout] = true;
        transforms_[layout] = cmsCreateTransform(from_, kFormats[layout], to_, kFormats[layout], kIntent,
                                                 layout == kBgr ? 0 : cmsFLAGS_COPY_ALPHA);
    }
    return transforms_[layout];
}

void ColourTransform::Apply(Raster& pixels) const
{
    if (pixels.Empty())
        return;
    Layout layout = kBgr;
    if (pixels.Format() == PixelFormat::Bit32)
        layout = pixels.Alpha() == AlphaMode::Premultiplied ? kBgraPremultiplied : kBgra;
    else if (pixels.Format() != PixelFormat::Bit24)
        return;
    if (shaper_ && layout != kBgraPremultiplied) {
        for (int y = 0; y < pixels.Height(); ++y)
            shaper_->Apply(pixels.MutableRow(y), pixels.Width(), layout == kBgr ? 3 : 4);
        return;
    }
    void* transform = TransformFor(layout);
    if (!transform)
        return;
    uint8_t* first = pixels.MutableRow(0);
    const auto stride = cmsUInt32Number(pixels.Stride());
    cmsDoTransformLineStride(transform, first, first, cmsUInt32Number(pixels.Width()),
                             cmsUInt32Number(pixels.Height()), stride, stride, 0, 0);
}

// ------------------------------------------------------------ MonitorColours

MonitorColours::MonitorColours(bool managed, std::vector<uint8_t> monitorProfile) : managed_(managed)
{
    if (!monitorProfile.empty()) {
        const Closer monitor{Open(monitorProfile)};
        if (UsableRgb(monitor.profile, LCMS_USED_AS_OUTPUT))
            srgb_ = IsSrgb(monitor.profile);
        else
            monitorProfile.clear();
    }
    hash_ = Fnv1a(monitorProfile);
    profile_ = std::make_shared<const std::vector<uint8_t>>(std::move(monitorProfile));
}

const std::shared_ptr<const MonitorColours>& MonitorColours::Standard()
{
    static const auto standard = std::make_shared<const MonitorColours>(true);
    return standard;
}

std::shared_ptr<const ColourTransform> MonitorColours::TransformFor(const ColourProfile* picture) const
{
    // A picture that says nothing of its colours is sRGB, as one that names
    // sRGB: on an sRGB monitor its numbers are shown as they are.
    const bool srgb = !picture || picture->srgb || picture->icc.empty();
    if (!managed_ || (srgb && srgb_))
        return nullptr;
    const std::span<const uint8_t> icc = srgb ? std::span<const uint8_t>() : picture->icc;
    const KeptTransforms::Key key{srgb, icc, Fnv1a(icc), profile_, hash_};
    return Kept().Find(key, [&]() -> std::shared_ptr<const ColourTransform> {
        Closer from{srgb ? nullptr : Open(icc)};
        // A profile that cannot be used says nothing either: sRGB.
        const bool usable = UsableRgb(from.profile, LCMS_USED_AS_INPUT);
        if (!usable) {
            if (srgb_)
                return nullptr;
            if (from.profile)
                cmsCloseProfile(from.profile);
            from.profile = cmsCreate_sRGBProfile();
        } else if ((srgb_ && IsSrgb(from.profile)) || std::ranges::equal(icc, *profile_)) {
            return nullptr;
        }
        Closer to{profile_->empty() ? cmsCreate_sRGBProfile() : Open(*profile_)};
        if (!from.profile || !to.profile)
            return nullptr;
        std::shared_ptr<const ColourTransform> transform(new ColourTransform(from.profile, to.profile));
        from.profile = to.profile = nullptr;   // the transform has them now
        if (!transform->TransformFor(ColourTransform::kBgr))
            return nullptr;
        return transform;
    });
}
