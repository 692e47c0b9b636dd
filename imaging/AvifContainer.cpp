#include "imaging/AvifContainer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "base/Failure.h"

namespace {

// Damaged files are not to make the reader collect without end.
constexpr size_t kMaxItems = 4096;
constexpr size_t kMaxExtents = 1024;
constexpr size_t kMaxProperties = 4096;

[[noreturn]] void Invalid(const wchar_t* why) { throw Failure(std::wstring(L"AVIF image is not valid: ") + why); }
[[noreturn]] void Unsupported(const wchar_t* why)
{
    throw Failure(std::wstring(L"AVIF image is not supported: ") + why);
}

constexpr uint32_t FourCc(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
           uint8_t(text[3]);
}

// Big-endian fields of a box, every read bounds-checked: a short box fails.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}
    size_t Left() const { return data_.size() - pos_; }
    size_t Pos() const { return pos_; }
    std::span<const uint8_t> Rest() const { return data_.subspan(pos_); }

    uint64_t Uint(int bytes)
    {
        Need(size_t(bytes));
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | data_[pos_++];
        return v;
    }
    uint8_t U8() { return uint8_t(Uint(1)); }
    uint16_t U16() { return uint16_t(Uint(2)); }
    uint32_t U32() { return uint32_t(Uint(4)); }
    void Skip(size_t n)
    {
        Need(n);
        pos_ += n;
    }
    // A full box's version (flags in the low 24 bits of the word).
    uint8_t Version(uint32_t* flags = nullptr)
    {
        uint32_t word = U32();
        if (flags)
            *flags = word & 0xFFFFFF;
        return uint8_t(word >> 24);
    }
    std::string String()
    {
        std::string text;
        while (uint8_t c = U8())
            text.push_back(char(c));
        return text;
    }

private:
    void Need(size_t n) const
    {
        if (Left() < n)
            Invalid(L"a box is cut short");
    }
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> body;
    size_t offset = 0;   // of the body, from the start of what was walked
};

// The boxes one after the other in data.
class Boxes {
public:
    explicit Boxes(std::span<const uint8_t> data) : data_(data) {}
    bool Next(Box& box)
    {
        if (pos_ >= data_.size())
            return false;
        Reader r(data_.subspan(pos_));
        uint64_t size = r.U32();
        box.type = r.U32();
        if (size == 1)
            size = r.Uint(8);
        else if (size == 0)
            size = data_.size() - pos_;
        if (box.type == FourCc("uuid"))
            r.Skip(16);
        if (size < r.Pos() || size > data_.size() - pos_)
            Invalid(L"a box reaches past its end");
        box.offset = pos_ + r.Pos();
        box.body = data_.subspan(box.offset, size_t(size) - r.Pos());
        pos_ += size_t(size);
        return true;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

struct Extent {
    uint64_t offset = 0, length = 0;
};

struct Item {
    uint32_t type = 0;
    int construction = 0;
    uint64_t baseOffset = 0;
    std::vector<Extent> extents;
    bool located = false;
    std::vector<uint16_t> properties;   // 1-based indices into ipco
};

struct Reference {
    uint32_t type, from, to;
};

struct Meta {
    uint32_t handler = 0;
    std::optional<uint32_t> primary;
    std::map<uint32_t, Item> items;
    std::vector<Box> properties;        // ipco's children, in order
    std::vector<Reference> references;
    std::span<const uint8_t> idat;
};

Item& ItemAt(Meta& meta, uint32_t id)
{
    if (meta.items.size() >= kMaxItems && !meta.items.count(id))
        Invalid(L"too many items");
    return meta.items[id];
}

void ReadItemInfo(Meta& meta, std::span<const uint8_t> body)
{
    Reader r(body);
    uint8_t version = r.Version();
    r.Skip(version == 0 ? 2 : 4);   // the entry count: the boxes themselves tell
    Boxes entries(r.Rest());
    Box box;
    while (entries.Next(box)) {
        if (box.type != FourCc("infe"))
            continue;
        Reader e(box.body);
        uint8_t v = e.Version();
        if (v < 2)
            continue;   // old entries carry no item type
        uint32_t id = v == 2 ? e.U16() : e.U32();
        e.Skip(2);   // protection index
        ItemAt(meta, id).type = e.U32();
    }
}

void ReadLocations(Meta& meta, std::span<const uint8_t> body)
{
    Reader r(body);
    uint8_t version = r.Version();
    if (version > 2)
        Unsupported(L"item locations of a later version");
    uint8_t sizes = r.U8(), more = r.U8();
    const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
    const int indexSize = version >= 1 ? more & 15 : 0;
    for (int size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8)
            Invalid(L"item locations with fields of a wrong size");
    uint32_t count = version < 2 ? r.U16() : r.U32();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = version < 2 ? r.U16() : r.U32();
        Item& item = ItemAt(meta, id);
        item.construction = version >= 1 ? r.U16() & 15 : 0;
        r.Skip(2);   // data reference index: the file itself
        item.baseOffset = r.Uint(baseSize);
        uint16_t extents = r.U16();
        if (extents > kMaxExtents)
            Invalid(L"too many extents");
        item.extents.clear();
        for (uint16_t e = 0; e < extents; ++e) {
            r.Skip(size_t(indexSize));
            Extent extent;
            extent.offset = r.Uint(offsetSize);
            extent.length = r.Uint(lengthSize);
            item.extents.push_back(extent);
        }
        item.located = true;
    }
}

void ReadProperties(Meta& meta, std::span<const uint8_t> body)
{
    Boxes children(body);
    Box box;
    while (children.Next(box)) {
        if (box.type == FourCc("ipco")) {
            Boxes properties(box.body);
            Box property;
            while (properties.Next(property)) {
                if (meta.properties.size() >= kMaxProperties)
                    Invalid(L"too many properties");
                meta.properties.push_back(property);
            }
        } else if (box.type == FourCc("ipma")) {
            Reader r(box.body);
            uint32_t flags = 0;
            uint8_t version = r.Version(&flags);
            uint32_t entries = r.U32();
            for (uint32_t i = 0; i < entries; ++i) {
                uint32_t id = version < 1 ? r.U16() : r.U32();
                Item& item = ItemAt(meta, id);
                uint8_t associations = r.U8();
                for (uint8_t a = 0; a < associations; ++a) {
                    // The top bit says "essential"; every property used here is read anyway.
                    uint16_t index = (flags & 1) ? r.U16() & 0x7FFF : r.U8() & 0x7F;
                    if (index != 0 && item.properties.size() < kMaxProperties)
                        item.properties.push_back(index);
                }
            }
        }
    }
}

void ReadReferences(Meta& meta, std::span<const uint8_t> body)
{
    Reader r(body);
    uint8_t version = r.Version();
    Boxes references(r.Rest());
    Box box;
    while (references.Next(box)) {
        Reader ref(box.body);
        uint32_t from = version == 0 ? ref.U16() : ref.U32();
        uint16_t count = ref.U16();
        for (uint16_t i = 0; i < count; ++i) {
            if (meta.references.size() >= kMaxItems * 4)
                Invalid(L"too many item references");
            meta.references.push_back({box.type, from, version == 0 ? ref.U16() : ref.U32()});
        }
    }
}

Meta ReadMeta(std::span<const uint8_t> body)
{
    Meta meta;
    Reader r(body);
    r.Version();
    Boxes children(r.Rest());
    Box box;
    while (children.Next(box)) {
        switch (box.type) {
        case FourCc("hdlr"): {
            Reader h(box.body);
            h.Version();
            h.Skip(4);
            meta.handler = h.U32();
            break;
        }
        case FourCc("pitm"): {
            Reader p(box.body);
            meta.primary = p.Version() == 0 ? p.U16() : p.U32();
            break;
        }
        case FourCc("iinf"): ReadItemInfo(meta, box.body); break;
        case FourCc("iloc"): ReadLocations(meta, box.body); break;
        case FourCc("iprp"): ReadProperties(meta, box.body); break;
        case FourCc("iref"): ReadReferences(meta, box.body); break;
        case FourCc("idat"): meta.idat = box.body; break;
        default: break;
        }
    }
    return meta;
}

// The bytes of an item: its extents, one after the other.
std::vector<uint8_t> ItemData(const Meta& meta, const Item& item, std::span<const uint8_t> file)
{
    if (!item.located)
        Invalid(L"an item has no location");
    std::span<const uint8_t> source;
    if (item.construction == 0)
        source = file;
    else if (item.construction == 1)
        source = meta.idat;
    else
        Unsupported(L"items made from other items");
    std::vector<uint8_t> data;
    for (const Extent& extent : item.extents) {
        uint64_t start = item.baseOffset + extent.offset;
        // A length of 0 means "to the end" of the source.
        uint64_t length = extent.length == 0 && start <= source.size() ? source.size() - start : extent.length;
        if (start < item.baseOffset || start > source.size() || length > source.size() - start)
            Invalid(L"an item's data lies outside the file");
        // Extents never add up to more than the file holds, whatever they say.
        if (data.size() + length > file.size())
            Invalid(L"an item's data is larger than the file");
        data.insert(data.end(), source.begin() + ptrdiff_t(start), source.begin() + ptrdiff_t(start + length));
    }
    if (data.empty())
        Invalid(L"an item has no data");
    return data;
}

std::vector<const Box*> PropertiesOf(const Meta& meta, const Item& item)
{
    std::vector<const Box*> boxes;
    for (uint16_t index : item.properties) {
        if (index > meta.properties.size())
            Invalid(L"an item names a property that is missing");
        boxes.push_back(&meta.properties[index - 1u]);
    }
    return boxes;
}

std::optional<AvifNclx> ReadNclx(const Box& colr)
{
    Reader r(colr.body);
    if (r.U32() != FourCc("nclx"))
        return std::nullopt;
    AvifNclx nclx;
    nclx.primaries = r.U16();
    nclx.transfer = r.U16();
    nclx.matrix = r.U16();
    nclx.fullRange = (r.U8() & 0x80) != 0;
    return nclx;
}

bool IsAlphaAuxiliary(const Meta& meta, const Item& item)
{
    for (const Box* box : PropertiesOf(meta, item)) {
        if (box->type != FourCc("auxC"))
            continue;
        Reader r(box->body);
        r.Version();
        std::string kind = r.String();
        return kind == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha" || kind == "urn:mpeg:hevc:2015:auxid:1";
    }
    return false;
}

void ReadColourProperties(const Meta& meta, const Item& item, AvifPicture& picture)
{
    bool mirrorFirst = false;
    for (const Box* box : PropertiesOf(meta, item)) {
        switch (box->type) {
        case FourCc("ispe"): {
            Reader r(box->body);
            r.Version();
            picture.width = r.U32();
            picture.height = r.U32();
            break;
        }
        case FourCc("colr"): {
            if (auto nclx = ReadNclx(*box)) {
                if (!picture.nclx)
                    picture.nclx = nclx;
            } else {
                Reader r(box->body);
                uint32_t kind = r.U32();
                if ((kind == FourCc("prof") || kind == FourCc("rICC")) && picture.icc.empty())
                    picture.icc.assign(r.Rest().begin(), r.Rest().end());
            }
            break;
        }
        case FourCc("irot"):
            picture.quarterTurns = Reader(box->body).U8() & 3;
            break;
        case FourCc("imir"):
            picture.mirror = Reader(box->body).U8() & 1;
            mirrorFirst = picture.quarterTurns == 0;
            break;
        default: break;
        }
    }
    // A mirror listed before the turn: mirroring and then turning one way is
    // turning the other way and then mirroring.
    if (mirrorFirst)
        picture.quarterTurns = (4 - picture.quarterTurns) & 3;
}

}  // namespace

AvifPicture ReadAvifContainer(std::span<const uint8_t> file)
{
    Boxes top(file);
    Box box;
    bool typed = false;
    std::optional<Meta> meta;
    while (top.Next(box)) {
        if (box.type == FourCc("ftyp")) {
            Reader r(box.body);
            std::vector<uint32_t> brands{r.U32()};
            r.Skip(4);   // minor version
            while (r.Left() >= 4)
                brands.push_back(r.U32());
            typed = std::any_of(brands.begin(), brands.end(),
                                [](uint32_t b) { return b == FourCc("avif") || b == FourCc("avis"); });
            if (!typed)
                Invalid(L"the file is not of the AVIF brands");
        } else if (box.type == FourCc("meta") && typed && !meta) {
            meta = ReadMeta(box.body);
        }
    }
    if (!typed)
        Invalid(L"the file does not start as an AVIF file");
    if (!meta || !meta->primary)
        Unsupported(L"the file holds no primary picture");
    if (meta->handler != FourCc("pict"))
        Invalid(L"the file's items are not pictures");
    auto primary = meta->items.find(*meta->primary);
    if (primary == meta->items.end())
        Invalid(L"the primary picture is missing");
    if (primary->second.type == FourCc("grid"))
        Unsupported(L"pictures made of tiles (grid)");
    if (primary->second.type != FourCc("av01"))
        Unsupported(L"the primary picture is not AV1");

    AvifPicture picture;
    picture.colour = ItemData(*meta, primary->second, file);
    ReadColourProperties(*meta, primary->second, picture);

    const uint32_t id = *meta->primary;
    for (const Reference& ref : meta->references) {
        if (ref.to != id || ref.from == id)
            continue;
        auto item = meta->items.find(ref.from);
        if (item == meta->items.end())
            continue;
        if (ref.type == FourCc("auxl") && item->second.type == FourCc("av01") && picture.alpha.empty() &&
            IsAlphaAuxiliary(*meta, item->second)) {
            picture.alpha = ItemData(*meta, item->second, file);
            for (const Box* property : PropertiesOf(*meta, item->second))
                if (property->type == FourCc("colr"))
                    if (auto nclx = ReadNclx(*property))
                        picture.alphaFullRange = nclx->fullRange;
            const uint32_t alphaId = ref.from;
            picture.alphaPremultiplied = std::any_of(meta->references.begin(), meta->references.end(), [&](const Reference& r) {
                return r.type == FourCc("prem") && r.from == id && r.to == alphaId;
            });
        } else if (ref.type == FourCc("cdsc") && item->second.type == FourCc("Exif") && picture.exif.empty()) {
            // The Exif item starts with the offset of its TIFF header.
            std::vector<uint8_t> data = ItemData(*meta, item->second, file);
            Reader r(data);
            uint32_t offset = r.U32();
            if (offset <= r.Left())
                picture.exif.assign(data.begin() + 4 + offset, data.end());
        }
    }
    return picture;
}

std::optional<int> AvifOrientation(const AvifPicture& picture)
{
    const int quarterTurns = picture.quarterTurns;
    const std::optional<int> mirror = picture.mirror;
    if (!quarterTurns && !mirror)
        return std::nullopt;
    // Rows: anti-clockwise quarter turns; columns: no mirror, top and bottom
    // exchanged, left and right exchanged.
    static constexpr int kOrientation[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    return kOrientation[quarterTurns & 3][!mirror ? 0 : (*mirror & 1) ? 1 : 2];
}
