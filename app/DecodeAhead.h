// Reading ahead on Windows: the rules of rules/ReadAhead.h with this
// platform's files and threads. The worker reads the file, decodes it as far
// as showing it at its zoom needs and makes the tiles an opaque picture shows
// first; it touches no window and no viewer state. A file is known by its
// size, its time of last writing and a check of its first and last blocks.
//
// At most one prepared picture is held, and none that would hold more than
// kMaxPreparedBytes: the picture on screen and the next one are never both
// large.
#pragma once

#include <cstdint>
#include <string>

#include "rules/ReadAhead.h"

class TDecodeAhead : public ReadAhead {
public:
    static constexpr uint64_t kMaxPreparedBytes = uint64_t(64) << 20;

    TDecodeAhead();

    // Only rasters, JPEG and PNG images are read ahead; for other kinds it
    // is as Drop. The tiles made ahead cover the top left of the picture as
    // far as the area.
    // An urgent request is awaited already (ReadAhead::Job::urgent).
    void Request(const std::wstring& path, GraphicKind kind, const ZoomState& zoom, int areaWidth, int areaHeight,
                 bool urgent = false);
    using ReadAhead::Request;
    // The colours the tiles of the next requests are made in (the image
    // control's, TImageView::SetColours; the standard ones until set).
    void SetColours(std::shared_ptr<const MonitorColours> colours) { colours_ = std::move(colours); }

private:
    std::shared_ptr<const MonitorColours> colours_;
};

// The file's identity as reading ahead compares it (rules/ReadAhead.h).
FileIdentity IdentifyFile(const std::wstring& path);
