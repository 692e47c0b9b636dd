#include "imaging/codecs/JpegMetadata.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp14 = 0xEE, kApp15 = 0xEF, kComment = 0xFE;
constexpr uint8_t kStartOfScan = 0xDA, kEndOfImage = 0xD9;
constexpr size_t kMaxSegmentData = 65533;

constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::string_view kXmpId{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kIccId{"ICC_PROFILE\0", 12};
constexpr std::string_view kMpfId{"MPF\0", 4};
constexpr std::string_view kJfifId{"JFIF\0", 5};

bool StartsWith(const std::vector<uint8_t>& data, std::string_view id)
{
    return data.size() >= id.size() && std::memcmp(data.data(), id.data(), id.size()) == 0;
}

bool IsExif(const JpegSegment& s) { return s.marker == kApp1 && StartsWith(s.data, kExifId); }
bool IsXmp(const JpegSegment& s) { return s.marker == kApp1 && StartsWith(s.data, kXmpId); }
bool IsIcc(const JpegSegment& s) { return s.marker == kApp2 && StartsWith(s.data, kIccId); }

// An ICC profile kept with pixels compressed as colour must describe RGB:
// the profile's colour space (bytes 16 to 19 of its header) sits in the
// first chunk, after the identifier and the chunk's number and count.
bool IccProfileIsRgb(const std::vector<JpegSegment>& segments)
{
    for (const JpegSegment& s : segments) {
        if (!IsIcc(s) || s.data.size() < kIccId.size() + 2 + 20 || s.data[kIccId.size()] != 1)
            continue;
        return std::memcmp(s.data.data() + kIccId.size() + 2 + 16, "RGB ", 4) == 0;
    }
    return false;
}

// ------------------------------------------------------------------ Exif

// The TIFF structure of an Exif block, from `base` on (after the
// "Exif\0\0" of a JPEG segment), every access bounds-checked.
class Tiff {
public:
    explicit Tiff(std::vector<uint8_t>& data, size_t base = kExifId.size()) : data_(data), base_(base) {}

    bool Open()
    {
        if (data_.size() < base_ + 8)
            return false;
        if (data_[base_] == 'I' && data_[base_ + 1] == 'I')
            big_ = false;
        else if (data_[base_] == 'M' && data_[base_ + 1] == 'M')
            big_ = true;
        else
            return false;
        return Get16(2).value_or(0) == 42;
    }
    std::optional<uint32_t> FirstIfd() const { return Get32(4); }

    std::optional<uint32_t> Get16(size_t at) const
    {
        if (!Fits(at, 2))
            return std::nullopt;
        const uint8_t* p = data_.data() + base_ + at;
        return big_ ? uint32_t(p[0]) << 8 | p[1] : uint32_t(p[1]) << 8 | p[0];
    }
    std::optional<uint32_t> Get32(size_t at) const
    {
        if (!Fits(at, 4))
            return std::nullopt;
        const uint8_t* p = data_.data() + base_ + at;
        return big_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                    : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    void Put16(size_t at, uint32_t v)
    {
        if (!Fits(at, 2))
            return;
        uint8_t* p = data_.data() + base_ + at;
        p[big_ ? 0 : 1] = uint8_t(v >> 8);
        p[big_ ? 1 : 0] = uint8_t(v);
    }
    void Put32(size_t at, uint32_t v)
    {
        if (!Fits(at, 4))
            return;
        uint8_t* p = data_.data() + base_ + at;
        for (int i = 0; i < 4; ++i)
            p[big_ ? i : 3 - i] = uint8_t(v >> (8 * (3 - i)));
    }

    // Calls visit(tag, type, entryOffset) for each entry of the directory at
    // offset; returns the offset of the field that links the next one.
    template <class Visit>
    std::optional<size_t> Walk(uint32_t offset, Visit&& visit) const
    {
        const auto count = Get16(offset);
        if (!count)
            return std::nullopt;
        const size_t first = size_t(offset) + 2;
        for (uint32_t i = 0; i < *count; ++i) {
            const size_t entry = first + 12 * size_t(i);
            const auto tag = Get16(entry), type = Get16(entry + 2);
            if (!tag || !type || !Fits(entry, 12))
                return std::nullopt;
            visit(*tag, *type, entry);
        }
        const size_t link = first + 12 * size_t(*count);
        return Fits(link, 4) ? std::optional<size_t>(link) : std::nullopt;
    }

private:
    bool Fits(size_t at, size_t length) const
    {
        const size_t size = data_.size() - base_;   // Open made sure base_ lies inside
        return at <= size && length <= size - at;
    }
    std::vector<uint8_t>& data_;
    size_t base_ = 0;
    bool big_ = false;
};

constexpr uint32_t kTagOrientation = 0x0112, kTagExifIfd = 0x8769, kTagPixelX = 0xA002, kTagPixelY = 0xA003;
constexpr uint32_t kShort = 3, kLong = 4;

// Writes a one-value SHORT or LONG entry; a SHORT that cannot hold the value
// is left alone.
void PutNumber(Tiff& tiff, size_t entry, uint32_t type, uint32_t value)
{
    if (tiff.Get32(entry + 4).value_or(0) != 1)
        return;
    if (type == kShort && value <= 0xFFFF)
        tiff.Put16(entry + 8, value);
    else if (type == kLong)
        tiff.Put32(entry + 8, value);
}

// The value of an orientation entry; none when it is not one SHORT.
std::optional<int> OrientationValue(const Tiff& tiff, uint32_t type, size_t entry)
{
    if (type != kShort || tiff.Get32(entry + 4).value_or(0) != 1)
        return std::nullopt;
    const auto value = tiff.Get16(entry + 8);
    return value ? std::optional<int>(int(*value)) : std::nullopt;
}

void UpdateExif(std::vector<uint8_t>& data, size_t base, int width, int height, bool turned)
{
    Tiff tiff(data, base);
    if (!tiff.Open())
        return;
    const auto ifd0 = tiff.FirstIfd();
    if (!ifd0)
        return;
    std::optional<uint32_t> exifIfd;
    // The thumbnail lies as the stored pixels did: it is stale once the new
    // pixels lie otherwise, turned here or shown turned by the old tag.
    bool stale = turned;
    const auto link = tiff.Walk(*ifd0, [&](uint32_t tag, uint32_t type, size_t entry) {
        if (tag == kTagOrientation) {
            const auto old = OrientationFromExif(OrientationValue(tiff, type, entry).value_or(0));
            stale = stale || old.value_or(Orientation::Identity) != Orientation::Identity;
            PutNumber(tiff, entry, type, 1);
        } else if (tag == kTagExifIfd && type == kLong) {
            exifIfd = tiff.Get32(entry + 8);
        }
    });
    if (link && stale)
        tiff.Put32(*link, 0);
    if (exifIfd && *exifIfd != *ifd0)
        tiff.Walk(*exifIfd, [&](uint32_t tag, uint32_t type, size_t entry) {
            if (tag == kTagPixelX)
                PutNumber(tiff, entry, type, uint32_t(width));
            else if (tag == kTagPixelY)
                PutNumber(tiff, entry, type, uint32_t(height));
        });
}

// ------------------------------------------------------------------- XMP

// Replaces the value of a property written as name="value" or
// <name>value</name>.
void ReplaceXmpValue(std::string& text, std::string_view name, const std::string& value)
{
    for (const std::string& open : {std::string(name) + "=\"", std::string("<") + std::string(name) + ">"}) {
        const char close = open.back() == '"' ? '"' : '<';
        size_t at = 0;
        while ((at = text.find(open, at)) != std::string::npos) {
            const size_t begin = at + open.size();
            const size_t end = text.find(close, begin);
            if (end == std::string::npos || end - begin > 20)
                break;
            text.replace(begin, end - begin, value);
            at = begin + value.size();
        }
    }
}

// The packet from `base` on, made to describe new pixels; left alone when
// it would outgrow `limit` bytes.
void UpdateXmp(std::vector<uint8_t>& data, int width, int height, size_t base = kXmpId.size(),
               size_t limit = kMaxSegmentData)
{
    std::string text(data.begin() + std::ptrdiff_t(base), data.end());
    ReplaceXmpValue(text, "tiff:Orientation", "1");
    ReplaceXmpValue(text, "exif:PixelXDimension", std::to_string(width));
    ReplaceXmpValue(text, "exif:PixelYDimension", std::to_string(height));
    if (base + text.size() > limit)
        return;
    data.resize(base);
    data.insert(data.end(), text.begin(), text.end());
}

} // namespace

JpegMetadata ReadJpegMetadata(std::span<const uint8_t> file)
{
    JpegMetadata metadata;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return metadata;
    size_t at = 2;
    bool first = true;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF)
            break;
        const uint8_t marker = file[at + 1];
        if (marker == 0xFF) {   // fill byte
            ++at;
            continue;
        }
        if (marker == kStartOfScan || marker == kEndOfImage)
            break;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {   // no length
            at += 2;
            continue;
        }
        const size_t length = size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size())
            break;
        JpegSegment segment{marker, std::vector<uint8_t>(file.begin() + std::ptrdiff_t(at + 4),
                                                         file.begin() + std::ptrdiff_t(at + 2 + length))};
        at += 2 + length;
        const bool isFirst = first;
        first = false;
        if (marker == kApp0) {
            if (isFirst && StartsWith(segment.data, kJfifId) && segment.data.size() >= 12)
                metadata.jfif = JfifDensity{uint8_t(segment.data[7] <= 2 ? segment.data[7] : 0),
                                            uint16_t(segment.data[8] << 8 | segment.data[9]),
                                            uint16_t(segment.data[10] << 8 | segment.data[11])};
            continue;
        }
        if (marker == kApp14 || (marker == kApp2 && StartsWith(segment.data, kMpfId)))
            continue;
        if ((marker > kApp0 && marker <= kApp15) || marker == kComment)
            metadata.segments.push_back(std::move(segment));
    }
    if (!IccProfileIsRgb(metadata.segments))
        std::erase_if(metadata.segments, IsIcc);
    return metadata;
}

JpegMetadata MetadataForNewPixels(const JpegMetadata& metadata, int width, int height, bool turned)
{
    JpegMetadata out = metadata;
    for (JpegSegment& segment : out.segments) {
        if (IsExif(segment))
            UpdateExif(segment.data, kExifId.size(), width, height, turned);
        else if (IsXmp(segment))
            UpdateXmp(segment.data, width, height);
    }
    return out;
}

std::optional<int> ExifOrientation(const JpegMetadata& metadata)
{
    for (const JpegSegment& segment : metadata.segments)
        if (IsExif(segment))
            return ExifBlockOrientation(std::span(segment.data).subspan(kExifId.size()));
    return std::nullopt;
}

std::shared_ptr<const ColourProfile> JpegColourProfile(const JpegMetadata& metadata)
{
    // Each chunk: the identifier, its number (from 1) and the count of chunks.
    constexpr size_t kHeader = kIccId.size() + 2;
    std::vector<const JpegSegment*> chunks;
    for (const JpegSegment& segment : metadata.segments) {
        if (!IsIcc(segment))
            continue;
        if (segment.data.size() < kHeader)
            return nullptr;
        const size_t number = segment.data[kIccId.size()], count = segment.data[kIccId.size() + 1];
        if (chunks.empty())
            chunks.resize(count);
        if (count != chunks.size() || number < 1 || number > count || chunks[number - 1])
            return nullptr;
        chunks[number - 1] = &segment;
    }
    std::vector<uint8_t> icc;
    for (const JpegSegment* chunk : chunks) {
        if (!chunk)
            return nullptr;
        icc.insert(icc.end(), chunk->data.begin() + std::ptrdiff_t(kHeader), chunk->data.end());
    }
    return IccProfile(std::move(icc));
}

std::optional<int> ExifBlockOrientation(std::span<const uint8_t> block)
{
    std::vector<uint8_t> data(block.begin(), block.end());
    Tiff tiff(data, 0);
    if (!tiff.Open())
        return std::nullopt;
    std::optional<int> orientation;
    if (auto ifd0 = tiff.FirstIfd())
        tiff.Walk(*ifd0, [&](uint32_t tag, uint32_t type, size_t entry) {
            if (tag == kTagOrientation)
                orientation = OrientationValue(tiff, type, entry);
        });
    return orientation;
}

void UpdateExifBlock(std::vector<uint8_t>& block, int width, int height, bool turned)
{
    UpdateExif(block, 0, width, height, turned);
}

void UpdateXmpPacket(std::vector<uint8_t>& packet, int width, int height)
{
    UpdateXmp(packet, width, height, 0, SIZE_MAX);
}

std::vector<uint8_t> ExifBlockOf(const JpegMetadata& metadata)
{
    for (const JpegSegment& segment : metadata.segments)
        if (IsExif(segment))
            return {segment.data.begin() + std::ptrdiff_t(kExifId.size()), segment.data.end()};
    return {};
}

std::vector<uint8_t> XmpPacketOf(const JpegMetadata& metadata)
{
    for (const JpegSegment& segment : metadata.segments)
        if (IsXmp(segment))
            return {segment.data.begin() + std::ptrdiff_t(kXmpId.size()), segment.data.end()};
    return {};
}

JpegMetadata JpegMetadataHolding(const std::vector<uint8_t>& exif, const std::vector<uint8_t>& xmp,
                                 const std::vector<uint8_t>& icc)
{
    JpegMetadata metadata;
    metadata.jfif = JfifDensity{};
    auto add = [&](uint8_t marker, std::string_view id, std::span<const uint8_t> data) {
        JpegSegment segment{marker, std::vector<uint8_t>(id.begin(), id.end())};
        segment.data.insert(segment.data.end(), data.begin(), data.end());
        metadata.segments.push_back(std::move(segment));
    };
    if (!exif.empty() && kExifId.size() + exif.size() <= kMaxSegmentData)
        add(kApp1, kExifId, exif);
    if (!xmp.empty() && kXmpId.size() + xmp.size() <= kMaxSegmentData)
        add(kApp1, kXmpId, xmp);
    // Chunks of the profile, each after the identifier, its number (from 1)
    // and the count of chunks; only an RGB profile describes pixels
    // compressed as colour.
    constexpr size_t kChunk = kMaxSegmentData - kIccId.size() - 2;
    const bool rgb = icc.size() >= 20 && std::memcmp(icc.data() + 16, "RGB ", 4) == 0;
    const size_t count = rgb ? (icc.size() + kChunk - 1) / kChunk : 0;
    if (count <= 255)
        for (size_t n = 0; n < count; ++n) {
            const uint8_t header[2] = {uint8_t(n + 1), uint8_t(count)};
            add(kApp2, kIccId, header);
            const size_t at = n * kChunk;
            auto& data = metadata.segments.back().data;
            data.insert(data.end(), icc.begin() + std::ptrdiff_t(at),
                        icc.begin() + std::ptrdiff_t(std::min(icc.size(), at + kChunk)));
        }
    return metadata;
}

Orientation UprightOrientation(const JpegMetadata& metadata)
{
    return OrientationFromExif(ExifOrientation(metadata).value_or(0)).value_or(Orientation::Identity);
}
