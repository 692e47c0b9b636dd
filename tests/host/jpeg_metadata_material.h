// JPEG metadata built by hand for tests: an Exif block as cameras write it
// (either byte order), ICC profile chunks, and segments put into a JPEG file.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/codecs/JpegMetadata.h"

namespace jpeg_material {

struct ExifFields {
    bool bigEndian = false;
    int orientation = 6;                       // turned a quarter on the camera
    std::string date = "2021:07:14 10:20:30";  // 19 characters
    uint32_t pixelX = 64, pixelY = 48;
    bool longSizes = false;                    // LONG instead of SHORT
    bool thumbnail = true;                     // IFD0 links a thumbnail directory
};

// "Exif\0\0", the TIFF header, IFD0 (orientation, Exif directory, date), the
// Exif directory (original date, pixel sizes) and a thumbnail directory.
inline std::vector<uint8_t> ExifPayload(const ExifFields& f)
{
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](uint32_t v) {
        if (f.bigEndian)
            b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
        else
            b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    };
    auto u32 = [&](uint32_t v) {
        if (f.bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3) {   // a SHORT sits in the first two bytes
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    };
    auto text = [&](const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    };
    // Offsets from the TIFF header: IFD0 8, its date 50, Exif IFD 70, its
    // date 112, thumbnail IFD 132.
    b.insert(b.end(), f.bigEndian ? std::initializer_list<uint8_t>{'M', 'M'} : std::initializer_list<uint8_t>{'I', 'I'});
    u16(42);
    u32(8);
    u16(3);
    entry(0x0112, 3, 1, uint32_t(f.orientation));
    entry(0x0132, 2, 20, 50);
    entry(0x8769, 4, 1, 70);
    u32(f.thumbnail ? 132 : 0);
    text(f.date);
    u16(3);
    entry(0x9003, 2, 20, 112);
    entry(0xA002, f.longSizes ? 4 : 3, 1, f.pixelX);
    entry(0xA003, f.longSizes ? 4 : 3, 1, f.pixelY);
    u32(0);
    text(f.date);
    u16(1);
    entry(0x0103, 3, 1, 6);   // compression: JPEG
    u32(0);
    return b;
}

// Chunk number of count of an ICC profile of profileSize bytes whose colour
// space is space ("RGB ", "GRAY"); the chunk holds the whole profile when
// count is 1, otherwise an equal share of it.
inline std::vector<uint8_t> IccChunk(int number, int count, const char* space, size_t profileSize = 600)
{
    std::vector<uint8_t> profile(profileSize);
    for (size_t i = 0; i < profile.size(); ++i)
        profile[i] = uint8_t(i * 7 + 3);
    profile[0] = uint8_t(profileSize >> 24);
    profile[1] = uint8_t(profileSize >> 16);
    profile[2] = uint8_t(profileSize >> 8);
    profile[3] = uint8_t(profileSize);
    std::memcpy(profile.data() + 16, space, 4);
    std::memcpy(profile.data() + 36, "acsp", 4);
    const size_t share = profileSize / size_t(count);
    const size_t begin = share * size_t(number - 1);
    const size_t end = number == count ? profileSize : begin + share;
    std::vector<uint8_t> b = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, uint8_t(number), uint8_t(count)};
    b.insert(b.end(), profile.begin() + std::ptrdiff_t(begin), profile.begin() + std::ptrdiff_t(end));
    return b;
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// The file with the segments put after its JFIF header (after the start of
// image when it has none, or when the header is dropped: keepJfif false).
inline std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& jpeg, const std::vector<JpegSegment>& segments,
                                         bool keepJfif = true)
{
    const bool jfif = jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0;
    const size_t jfifEnd = jfif ? 4 + (size_t(jpeg[4]) << 8 | jpeg[5]) : 2;
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(keepJfif ? jfifEnd : 2));
    for (const JpegSegment& s : segments) {
        const size_t length = s.data.size() + 2;
        out.insert(out.end(), {0xFF, s.marker, uint8_t(length >> 8), uint8_t(length)});
        out.insert(out.end(), s.data.begin(), s.data.end());
    }
    out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(jfifEnd), jpeg.end());
    return out;
}

} // namespace jpeg_material
