#include <gtest/gtest.h>

#include <functional>

#include "base/Failure.h"
#include "byte_writer.h"
#include "imaging/codecs/MetafileFormat.h"

namespace {

struct WmfRecord {
    uint16_t function;
    std::vector<uint16_t> params;
};

// A placeable metafile: 22-byte header (checksum computed here), the
// nine-word metafile header, the records and the end-of-file record.
std::vector<uint8_t> MakeWmf(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t inch,
                             const std::vector<WmfRecord>& records, bool withEof = true)
{
    ByteWriter w;
    w.U32(0x9AC6CDD7).U16(0).U16(uint16_t(left)).U16(uint16_t(top)).U16(uint16_t(right)).U16(uint16_t(bottom));
    w.U16(inch).U32(0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= uint16_t(w.bytes[i] | (w.bytes[i + 1] << 8));
    w.U16(sum);
    uint32_t words = 9 + (withEof ? 3 : 0);
    for (const auto& r : records)
        words += 3 + uint32_t(r.params.size());
    w.U16(1).U16(9).U16(0x0300).U32(words).U16(0).U32(5).U16(0);
    for (const auto& r : records) {
        w.U32(3 + uint32_t(r.params.size())).U16(r.function);
        for (uint16_t p : r.params)
            w.U16(p);
    }
    if (withEof)
        w.U32(3).U16(0);
    return w.bytes;
}

const std::vector<WmfRecord> kSomeRecords = {
    {0x0103, {8}},              // SetMapMode
    {0x020C, {100, 200}},       // SetWindowExt
    {0x041B, {0, 0, 50, 80}},   // Rectangle
};

std::vector<uint8_t> SampleWmf()
{
    return MakeWmf(0, 0, 200, 100, 1440, kSomeRecords);
}

// An enhanced metafile: the header record (nBytes filled in), the given
// records (type, size, zero payload) and EMR_EOF.
std::vector<uint8_t> MakeEmf(const std::vector<std::pair<uint32_t, uint32_t>>& records, bool withEof = true)
{
    ByteWriter w;
    w.U32(1).U32(88);
    w.I32(0).I32(0).I32(99).I32(49);        // bounds
    w.I32(0).I32(0).I32(2645).I32(1322);    // frame, 0.01 mm
    w.U32(0x464D4520).U32(0x10000);         // " EMF", version
    w.U32(0).U32(0).U16(1).U16(0);          // bytes (later), records, handles, reserved
    w.U32(0).U32(0).U32(0);                 // description, palette
    w.I32(1280).I32(1024).I32(339).I32(271);
    for (auto [type, size] : records)
        w.U32(type).U32(size).Zeros(size >= 8 ? size - 8 : 0);
    if (withEof)
        w.U32(14).U32(20).U32(0).U32(16).U32(20);
    PutU32(w.bytes, 48, uint32_t(w.Size()));
    return w.bytes;
}

std::vector<uint8_t> SampleEmf()
{
    return MakeEmf({{17, 12}, {27, 16}, {43, 24}});   // SetMapMode, MoveToEx, Rectangle
}

void ExpectInvalid(const std::function<void()>& check)
{
    try {
        check();
        ADD_FAILURE() << "accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Metafile is not valid");
    }
}

TEST(MetafileDetect, TellsTheKindsApartByContent)
{
    EXPECT_EQ(DetectMetafile(SampleWmf()), MetafileType::Placeable);
    EXPECT_EQ(DetectMetafile(SampleEmf()), MetafileType::Enhanced);

    std::vector<uint8_t> emf = SampleEmf();
    emf[40] = 'X';   // signature
    EXPECT_EQ(DetectMetafile(emf), MetafileType::None);
    emf = SampleEmf();
    emf[0] = 2;      // not a header record
    EXPECT_EQ(DetectMetafile(emf), MetafileType::None);

    EXPECT_EQ(DetectMetafile({}), MetafileType::None);
    const uint8_t keyOnly[] = {0xD7, 0xCD, 0xC6, 0x9A};
    EXPECT_EQ(DetectMetafile(keyOnly), MetafileType::Placeable);
    EXPECT_EQ(DetectMetafile(std::span(keyOnly, 3)), MetafileType::None);
    // A header record without room for the signature.
    const std::vector<uint8_t> emfBytes = SampleEmf();
    EXPECT_EQ(DetectMetafile(std::span(emfBytes).first(43)), MetafileType::None);
    // An old-style metafile without the placeable header is not recognised.
    const std::vector<uint8_t> wmfBytes = SampleWmf();
    EXPECT_EQ(DetectMetafile(std::span(wmfBytes).subspan(22)), MetafileType::None);
}

TEST(MetafilePlaceable, ReadsTheHeaderOfAValidFile)
{
    PlaceableHeader h = CheckPlaceableMetafile(MakeWmf(-10, 5, 190, 105, 1440, kSomeRecords));
    EXPECT_EQ(h.left, -10);
    EXPECT_EQ(h.top, 5);
    EXPECT_EQ(h.right, 190);
    EXPECT_EQ(h.bottom, 105);
    EXPECT_EQ(h.inch, 1440);
    // Only the end-of-file record, and bytes after it, are fine too.
    EXPECT_NO_THROW(CheckPlaceableMetafile(MakeWmf(0, 0, 1, 1, 96, {})));
    std::vector<uint8_t> padded = SampleWmf();
    padded.insert(padded.end(), {0, 0, 0});
    EXPECT_NO_THROW(CheckPlaceableMetafile(padded));
}

TEST(MetafilePlaceable, HeaderWritesKeyBoxInchAndChecksum)
{
    std::vector<uint8_t> header = MakePlaceableHeader({0, 0, 100, 50, 96});
    const std::vector<uint8_t> expected = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 100, 0, 50, 0, 96, 0,
                                           0,    0,    0,    0,    0x27, 0x57};
    EXPECT_EQ(header, expected);

    // What is written reads back, negative coordinates included.
    std::vector<uint8_t> file = MakePlaceableHeader({-300, -20, 32767, 400, 2540});
    std::vector<uint8_t> wmf = SampleWmf();
    file.insert(file.end(), wmf.begin() + 22, wmf.end());
    PlaceableHeader h = CheckPlaceableMetafile(file);
    EXPECT_EQ(h.left, -300);
    EXPECT_EQ(h.top, -20);
    EXPECT_EQ(h.right, 32767);
    EXPECT_EQ(h.bottom, 400);
    EXPECT_EQ(h.inch, 2540);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 22), MakePlaceableHeader(h));
}

TEST(MetafilePlaceable, RejectsBadHeaders)
{
    std::vector<uint8_t> bad = SampleWmf();
    bad[20] ^= 1;   // checksum
    ExpectInvalid([&] { CheckPlaceableMetafile(bad); });
    ExpectInvalid([&] { CheckPlaceableMetafile(MakeWmf(10, 0, 10, 100, 96, kSomeRecords)); });   // no width
    ExpectInvalid([&] { CheckPlaceableMetafile(MakeWmf(0, 7, 100, 7, 96, kSomeRecords)); });     // no height
    ExpectInvalid([&] { CheckPlaceableMetafile(MakeWmf(0, 0, 100, 100, 0, kSomeRecords)); });    // inch 0
    ExpectInvalid([&] { CheckPlaceableMetafile(SampleEmf()); });

    // The old-style header: type, header size, version.
    for (auto [offset, value] : std::vector<std::pair<size_t, uint16_t>>{{22, 0}, {22, 3}, {24, 8}, {26, 0x200}}) {
        bad = SampleWmf();
        PutU16(bad, offset, value);
        ExpectInvalid([&] { CheckPlaceableMetafile(bad); });
    }
    bad = SampleWmf();
    PutU16(bad, 22, 2);   // disk metafile
    PutU16(bad, 26, 0x100);
    EXPECT_NO_THROW(CheckPlaceableMetafile(bad));
}

TEST(MetafilePlaceable, RejectsBrokenRecordChains)
{
    const size_t first = 22 + 18;   // the first record's size field
    for (uint32_t size : {0u, 1u, 2u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bad = SampleWmf();
        PutU32(bad, first, size);
        ExpectInvalid([&] { CheckPlaceableMetafile(bad); });
    }
    // The end-of-file record is missing.
    ExpectInvalid([&] { CheckPlaceableMetafile(MakeWmf(0, 0, 100, 100, 96, kSomeRecords, false)); });
    // The end-of-file record claims more than the file holds.
    std::vector<uint8_t> bad = SampleWmf();
    PutU32(bad, bad.size() - 6, 4);
    ExpectInvalid([&] { CheckPlaceableMetafile(bad); });
    // Every truncation of a valid file fails.
    const std::vector<uint8_t> good = SampleWmf();
    for (size_t n = 0; n < good.size(); ++n)
        ExpectInvalid([&] { CheckPlaceableMetafile(std::span(good).first(n)); });
}

TEST(MetafileEnhanced, AcceptsAValidFile)
{
    EXPECT_NO_THROW(CheckEnhancedMetafile(SampleEmf()));
    EXPECT_NO_THROW(CheckEnhancedMetafile(MakeEmf({})));
    // Bytes after the size given in the header are not looked at.
    std::vector<uint8_t> padded = SampleEmf();
    padded.insert(padded.end(), {1, 2, 3, 4, 5});
    EXPECT_NO_THROW(CheckEnhancedMetafile(padded));
}

TEST(MetafileEnhanced, RejectsBrokenFiles)
{
    ExpectInvalid([&] { CheckEnhancedMetafile(SampleWmf()); });
    ExpectInvalid([&] { CheckEnhancedMetafile(MakeEmf({{17, 12}}, false)); });   // no EMR_EOF
    ExpectInvalid([&] { CheckEnhancedMetafile(MakeEmf({{17, 10}})); });          // not a multiple of 4
    ExpectInvalid([&] { CheckEnhancedMetafile(MakeEmf({{17, 4}})); });           // shorter than a record

    std::vector<uint8_t> bad = SampleEmf();
    PutU32(bad, 48, uint32_t(bad.size() + 4));   // nBytes past the end
    ExpectInvalid([&] { CheckEnhancedMetafile(bad); });
    bad = SampleEmf();
    PutU32(bad, 48, uint32_t(bad.size() - 20));  // nBytes cuts off EMR_EOF
    ExpectInvalid([&] { CheckEnhancedMetafile(bad); });
    bad = SampleEmf();
    PutU32(bad, 4, 84);                          // header record too small
    ExpectInvalid([&] { CheckEnhancedMetafile(bad); });
    for (uint32_t size : {0u, 0xFFFFFFFCu, 0x80000000u}) {
        bad = SampleEmf();
        PutU32(bad, 88 + 4, size);               // the record after the header
        ExpectInvalid([&] { CheckEnhancedMetafile(bad); });
    }

    const std::vector<uint8_t> good = SampleEmf();
    for (size_t n = 0; n < good.size(); ++n)
        ExpectInvalid([&] { CheckEnhancedMetafile(std::span(good).first(n)); });
}

} // namespace
