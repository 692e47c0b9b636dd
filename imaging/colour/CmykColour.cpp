#include "imaging/colour/CmykColour.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

#include <lcms2.h>

struct CmykToBgr::Transform {
    cmsHTRANSFORM handle = nullptr;
    std::vector<uint8_t> profile;
    bool inverted = false;
    ~Transform()
    {
        if (handle)
            cmsDeleteTransform(handle);
    }
};

namespace {

// A transform built from a CMYK profile's lookup tables takes some
// milliseconds: the last few are kept, since a picture shown small, then
// large, and read ahead, is converted several times. They are made without
// Little CMS's one-pixel cache, so threads may share them.
constexpr size_t kKept = 2;

// a × b / 255, rounded.
inline uint8_t Times(unsigned a, unsigned b)
{
    const unsigned v = a * b + 128;
    return uint8_t((v + (v >> 8)) >> 8);
}

} // namespace

CmykToBgr::CmykToBgr(std::span<const uint8_t> profile, bool inverted) : inverted_(inverted)
{
    if (!profile.empty() && profile.size() <= std::numeric_limits<cmsUInt32Number>::max())
        transform_ = Find(profile, inverted);
}

std::shared_ptr<const CmykToBgr::Transform> CmykToBgr::Find(std::span<const uint8_t> icc, bool inverted)
{
    static std::mutex mutex;
    static std::vector<std::shared_ptr<const Transform>> kept;
    std::lock_guard lock(mutex);
    for (size_t i = 0; i < kept.size(); ++i)
        if (kept[i]->inverted == inverted && std::ranges::equal(kept[i]->profile, icc)) {
            std::rotate(kept.begin(), kept.begin() + ptrdiff_t(i), kept.begin() + ptrdiff_t(i) + 1);
            return kept.front();
        }
    cmsHPROFILE from = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (!from)
        return nullptr;
    cmsHPROFILE to = cmsGetColorSpace(from) == cmsSigCmykData ? cmsCreate_sRGBProfile() : nullptr;
    auto transform = std::make_shared<Transform>();
    if (to)
        transform->handle = cmsCreateTransform(from, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, to, TYPE_BGR_8,
                                               INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    cmsCloseProfile(from);
    if (to)
        cmsCloseProfile(to);
    if (!transform->handle)
        return nullptr;
    transform->profile.assign(icc.begin(), icc.end());
    transform->inverted = inverted;
    kept.insert(kept.begin(), transform);
    if (kept.size() > kKept)
        kept.resize(kKept);
    return transform;
}

void CmykToBgr::Convert(const uint8_t* cmyk, uint8_t* bgr, size_t count) const
{
    if (transform_) {
        cmsDoTransform(transform_->handle, cmyk, bgr, cmsUInt32Number(count));
        return;
    }
    // What is left of white, times what black leaves of it.
    const uint8_t flip = inverted_ ? 0 : 0xFF;
    for (size_t i = 0; i < count; ++i, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3] ^ flip;
        bgr[0] = Times(cmyk[2] ^ flip, k);
        bgr[1] = Times(cmyk[1] ^ flip, k);
        bgr[2] = Times(cmyk[0] ^ flip, k);
    }
}
