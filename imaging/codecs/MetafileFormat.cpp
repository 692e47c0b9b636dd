#include "imaging/codecs/MetafileFormat.h"

#include "base/Failure.h"

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kWmfHeaderSize = 18;     // METAHEADER, nine 16-bit words
constexpr size_t kWmfRecordMinimum = 6;   // size (32 bits) and function (16 bits)
constexpr uint16_t kWmfEof = 0x0000;

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmfSignature = 0x464D4520;   // " EMF"
constexpr size_t kEmfSignatureOffset = 40;
constexpr size_t kEmfBytesOffset = 48;
constexpr size_t kEmfHeaderMinimum = 88;          // ENHMETAHEADER up to szlMillimeters

[[noreturn]] void Invalid()
{
    throw Failure(L"Metafile is not valid");
}

// Little-endian reads; the caller has checked the range.
uint16_t U16(std::span<const uint8_t> d, size_t at)
{
    return uint16_t(d[at] | (d[at + 1] << 8));
}

uint32_t U32(std::span<const uint8_t> d, size_t at)
{
    return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) | (uint32_t(d[at + 3]) << 24);
}

uint16_t PlaceableChecksum(std::span<const uint8_t> header)
{
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= U16(header, i);
    return sum;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

} // namespace

MetafileType DetectMetafile(std::span<const uint8_t> file)
{
    if (file.size() >= 4 && U32(file, 0) == kPlaceableKey)
        return MetafileType::Placeable;
    if (file.size() >= kEmfSignatureOffset + 4 && U32(file, 0) == kEmrHeader &&
        U32(file, kEmfSignatureOffset) == kEmfSignature)
        return MetafileType::Enhanced;
    return MetafileType::None;
}

PlaceableHeader CheckPlaceableMetafile(std::span<const uint8_t> file)
{
    if (file.size() < kPlaceableHeaderSize + kWmfHeaderSize || U32(file, 0) != kPlaceableKey)
        Invalid();
    if (PlaceableChecksum(file) != U16(file, 20))
        Invalid();
    PlaceableHeader header;
    header.left = int16_t(U16(file, 6));
    header.top = int16_t(U16(file, 8));
    header.right = int16_t(U16(file, 10));
    header.bottom = int16_t(U16(file, 12));
    header.inch = U16(file, 14);
    if (header.left == header.right || header.top == header.bottom || header.inch == 0)
        Invalid();

    // The old-style header: type memory (1) or disk (2), nine words long,
    // version 1.0 or 3.0.
    std::span<const uint8_t> wmf = file.subspan(kPlaceableHeaderSize);
    const uint16_t type = U16(wmf, 0);
    const uint16_t headerWords = U16(wmf, 2);
    const uint16_t version = U16(wmf, 4);
    if ((type != 1 && type != 2) || headerWords != kWmfHeaderSize / 2 || (version != 0x0100 && version != 0x0300))
        Invalid();

    // The records, each at least three words and inside the file, up to the
    // end-of-file record. Every step moves forward by six bytes or more.
    size_t at = kWmfHeaderSize;
    for (;;) {
        if (wmf.size() - at < kWmfRecordMinimum)
            Invalid();
        const uint64_t bytes = uint64_t(U32(wmf, at)) * 2;
        const uint16_t function = U16(wmf, at + 4);
        if (bytes < kWmfRecordMinimum || bytes > wmf.size() - at)
            Invalid();
        if (function == kWmfEof)
            break;
        at += size_t(bytes);
    }
    return header;
}

void CheckEnhancedMetafile(std::span<const uint8_t> file)
{
    if (DetectMetafile(file) != MetafileType::Enhanced || file.size() < kEmfHeaderMinimum)
        Invalid();
    const uint32_t total = U32(file, kEmfBytesOffset);
    if (total < kEmfHeaderMinimum || total > file.size())
        Invalid();
    std::span<const uint8_t> emf = file.first(total);
    const uint32_t headerSize = U32(emf, 4);
    if (headerSize < kEmfHeaderMinimum)
        Invalid();

    // Every record (the header first) at least 8 bytes, a multiple of 4 and
    // inside the file, up to EMR_EOF.
    size_t at = 0;
    for (;;) {
        if (emf.size() - at < 8)
            Invalid();
        const uint32_t type = U32(emf, at);
        const uint32_t size = U32(emf, at + 4);
        if (size < 8 || size % 4 != 0 || size > emf.size() - at)
            Invalid();
        if (type == kEmrEof)
            break;
        at += size;
    }
}

std::vector<uint8_t> MakePlaceableHeader(const PlaceableHeader& header)
{
    std::vector<uint8_t> out;
    out.reserve(kPlaceableHeaderSize);
    PutU16(out, uint16_t(kPlaceableKey & 0xFFFF));
    PutU16(out, uint16_t(kPlaceableKey >> 16));
    PutU16(out, 0);   // handle, always zero in a file
    PutU16(out, uint16_t(header.left));
    PutU16(out, uint16_t(header.top));
    PutU16(out, uint16_t(header.right));
    PutU16(out, uint16_t(header.bottom));
    PutU16(out, header.inch);
    PutU16(out, 0);   // reserved
    PutU16(out, 0);
    PutU16(out, PlaceableChecksum(out));
    return out;
}
