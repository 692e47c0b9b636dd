#include "imaging/codecs/AvifTracks.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/codecs/AvifBoxes.h"

using namespace avif_boxes;

namespace {

constexpr size_t kMaxTracks = 64;

struct Track {
    uint32_t id = 0;
    std::vector<uint32_t> auxiliaryFor, premultipliedWith;   // tref auxl, prem
    bool av1 = false;
    bool alphaType = true;   // as its auxi says (none says nothing against it)
    uint16_t width = 0, height = 0;   // the sample entry's, frames' largest
    std::optional<AvifNclx> nclx;
    std::vector<uint8_t> icc;
    uint64_t firstOffset = 0, firstSize = 0;
    uint32_t samples = 0;
    bool hasSample = false;
};

// A box's children, by the path of types from body.
std::optional<Box> Child(std::span<const uint8_t> body, std::initializer_list<uint32_t> path)
{
    Box box{0, body};
    for (uint32_t type : path) {
        Boxes children(box.body);
        if (!children.Find(type, box))
            return std::nullopt;
    }
    return box;
}

std::vector<uint32_t> TrackIds(std::span<const uint8_t> body)
{
    std::vector<uint32_t> ids;
    Reader r(body);
    while (r.Left() >= 4 && ids.size() < kMaxTracks)
        ids.push_back(r.U32());
    return ids;
}

// The first sample description: an av01 visual sample entry and its boxes.
void ReadSampleEntry(std::span<const uint8_t> stsd, Track& track)
{
    Reader r(stsd);
    r.Version();
    if (r.U32() == 0)
        return;
    Box entry;
    if (!Boxes(r.Rest()).Next(entry) || entry.type != FourCc("av01"))
        return;
    track.av1 = true;
    Reader v(entry.body);
    v.Skip(8 + 16);   // sample entry, predefined and reserved fields
    track.width = v.U16();
    track.height = v.U16();
    v.Skip(50);   // resolutions, frame count, compressor name, depth
    Boxes children(v.Rest());
    Box box;
    while (children.Next(box)) {
        if (box.type == FourCc("colr")) {
            ReadColr(box.body, track.nclx, track.icc);
        } else if (box.type == FourCc("auxi")) {
            Reader a(box.body);
            a.Version();
            track.alphaType = IsAlphaAuxiliaryType(a.String());
        }
    }
}

// Where the first sample lies: the first chunk's start, the first size.
void ReadFirstSample(std::span<const uint8_t> stbl, Track& track)
{
    const std::optional<Box> sizes = Child(stbl, {FourCc("stsz")});
    std::optional<Box> offsets = Child(stbl, {FourCc("stco")});
    const bool wide = !offsets;
    if (wide)
        offsets = Child(stbl, {FourCc("co64")});
    if (!sizes || !offsets)
        return;
    Reader s(sizes->body);
    s.Version();
    const uint32_t size = s.U32();
    track.samples = s.U32();
    if (track.samples == 0)
        return;
    track.firstSize = size ? size : s.U32();
    Reader o(offsets->body);
    o.Version();
    if (o.U32() == 0)
        return;
    track.firstOffset = wide ? o.Uint(8) : o.U32();
    track.hasSample = true;
}

Track ReadTrack(std::span<const uint8_t> trak)
{
    Track track;
    if (const std::optional<Box> header = Child(trak, {FourCc("tkhd")})) {
        Reader r(header->body);
        r.Skip(r.Version() == 1 ? 16 : 8);   // creation and modification times
        track.id = r.U32();
    }
    if (const std::optional<Box> references = Child(trak, {FourCc("tref")})) {
        Boxes kinds(references->body);
        Box kind;
        while (kinds.Next(kind)) {
            if (kind.type == FourCc("auxl"))
                track.auxiliaryFor = TrackIds(kind.body);
            else if (kind.type == FourCc("prem"))
                track.premultipliedWith = TrackIds(kind.body);
        }
    }
    const std::optional<Box> stbl = Child(trak, {FourCc("mdia"), FourCc("minf"), FourCc("stbl")});
    if (!stbl)
        return track;
    if (const std::optional<Box> stsd = Child(stbl->body, {FourCc("stsd")}))
        ReadSampleEntry(stsd->body, track);
    ReadFirstSample(stbl->body, track);
    return track;
}

AvifCoded FirstFrame(const Track& track, std::span<const uint8_t> file)
{
    if (track.firstOffset > file.size() || track.firstSize > file.size() - track.firstOffset)
        Invalid(L"a frame lies outside the file");
    if (track.firstSize == 0)
        Invalid(L"a frame has no data");
    AvifCoded coded;
    const auto begin = file.begin() + ptrdiff_t(track.firstOffset);
    coded.tiles.push_back(std::make_shared<const std::vector<uint8_t>>(begin, begin + ptrdiff_t(track.firstSize)));
    // The sample entry gives the frames' largest size, not their own.
    coded.tileWidth = track.width, coded.tileHeight = track.height;
    coded.upToSize = true;
    return coded;
}

} // namespace

namespace {

std::vector<Track> ReadTracks(std::span<const uint8_t> moov)
{
    std::vector<Track> tracks;
    Boxes children(moov);
    Box box;
    while (children.Next(box))
        if (box.type == FourCc("trak") && tracks.size() < kMaxTracks)
            tracks.push_back(ReadTrack(box.body));
    return tracks;
}

// The track of the sequence's colour pictures; null when none holds AV1.
const Track* ColourTrack(const std::vector<Track>& tracks)
{
    for (const Track& track : tracks)
        if (track.id && track.av1 && track.hasSample && track.auxiliaryFor.empty())
            return &track;
    return nullptr;
}

int FramesOf(const Track& track) { return int(std::min<uint32_t>(track.samples, INT32_MAX)); }

} // namespace

int AvifTrackFrames(std::span<const uint8_t> moov)
{
    const std::vector<Track> tracks = ReadTracks(moov);
    const Track* colour = ColourTrack(tracks);
    return colour ? FramesOf(*colour) : 1;
}

bool ReadAvifTracks(std::span<const uint8_t> moov, std::span<const uint8_t> file, AvifPicture& picture)
{
    const std::vector<Track> tracks = ReadTracks(moov);
    const Track* colour = ColourTrack(tracks);
    if (!colour)
        return false;
    picture.frameCount = FramesOf(*colour);
    picture.colour = FirstFrame(*colour, file);
    picture.nclx = colour->nclx;
    picture.icc = colour->icc;
    for (const Track& track : tracks) {
        if (!track.av1 || !track.hasSample || !track.alphaType ||
            std::find(track.auxiliaryFor.begin(), track.auxiliaryFor.end(), colour->id) == track.auxiliaryFor.end())
            continue;
        picture.alpha = FirstFrame(track, file);
        picture.alphaPremultiplied = std::find(colour->premultipliedWith.begin(), colour->premultipliedWith.end(),
                                               track.id) != colour->premultipliedWith.end();
        break;
    }
    return true;
}
