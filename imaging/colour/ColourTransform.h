// Showing pictures in their own colours: the conversion of what is shown from
// the profile a picture carries (imaging/colour/ColourProfile.h) to the profile of
// the monitor, through Little CMS. Only what is shown is converted, at the
// size it is shown (imaging/display/DisplayTiles.h); the picture's own pixels, which
// files, prints and mails are made from, never are.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/Raster.h"

// A conversion from one profile to another for pixels as the display holds
// them. Made by MonitorColours::TransformFor; used from any thread.
class ColourTransform {
public:
    ~ColourTransform();
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;

    // Converts the colours of 24-bit (blue, green, red) or 32-bit pixels in
    // place (a raster sharing its pixels is detached first). The fourth byte
    // is kept: straight or premultiplied alpha as the raster says, or unused.
    // Other formats are left as they are.
    void Apply(Raster& pixels) const;

private:
    friend class MonitorColours;
    enum Layout { kBgr, kBgra, kBgraPremultiplied, kLayouts };
    ColourTransform(void* from, void* to);
    void* TransformFor(Layout layout) const;

    struct Shaper;
    void* from_;   // the profiles (cmsHPROFILE), kept to make the other layouts
    void* to_;
    std::unique_ptr<const Shaper> shaper_;   // both profiles colorants and curves: done here
    mutable std::mutex mutex_;
    mutable void* transforms_[kLayouts] = {};   // cmsHTRANSFORM, made on first use
    mutable bool tried_[kLayouts] = {};
};

// The colours pictures are shown in: whether colour management is on, and
// the profile of the monitor they are shown on (sRGB when none is given or
// the one given cannot be used). Immutable; the application makes a new one
// when the setting changes or the window goes to another monitor.
class MonitorColours {
public:
    explicit MonitorColours(bool managed, std::vector<uint8_t> monitorProfile = {});
    // Management on, an sRGB monitor: what pictures are shown in until the
    // application says otherwise.
    static const std::shared_ptr<const MonitorColours>& Standard();

    // The conversion that shows a picture of that profile on this monitor,
    // shared by every picture of the same profile (the last few pairs of
    // profiles used are kept). A picture that says nothing of its colours
    // (null, untagged) is sRGB, and so is one whose profile cannot be used
    // (damaged, not RGB, unknown to Little CMS). Null when the picture's
    // numbers are shown as they are: management off, or a picture already in
    // the monitor's colours (the very profile, or sRGB on sRGB).
    std::shared_ptr<const ColourTransform> TransformFor(const ColourProfile* picture) const;

private:
    bool managed_;
    bool srgb_ = true;   // the monitor is (taken as) sRGB
    std::shared_ptr<const std::vector<uint8_t>> profile_;
    uint64_t hash_ = 0;
};
