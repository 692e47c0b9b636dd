#include "imaging/codecs/AvifContainer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/Failure.h"
#include "imaging/codecs/AvifBoxes.h"
#include "imaging/codecs/AvifTracks.h"

using namespace avif_boxes;

namespace {

// Damaged files are not to make the reader collect without end.
constexpr size_t kMaxItems = 4096;
constexpr size_t kMaxExtents = 1024;
constexpr size_t kMaxProperties = 4096;
constexpr uint16_t kEssential = 0x8000;

struct Extent {
    uint64_t offset = 0, length = 0;
};

struct Item {
    uint32_t type = 0;
    int construction = 0;
    uint64_t baseOffset = 0;
    std::vector<Extent> extents;
    bool located = false;
    std::vector<uint16_t> properties;   // 1-based indices into ipco, kEssential for essential ones
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
                    // The top bit says "essential", kept as kEssential.
                    const uint16_t entry = (flags & 1) ? r.U16() : uint16_t(r.U8() << 8);
                    const uint16_t index = (flags & 1) ? entry & 0x7FFF : (entry >> 8) & 0x7F;
                    if (index != 0 && item.properties.size() < kMaxProperties)
                        item.properties.push_back(uint16_t(index | (entry & kEssential)));
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

// The bytes of an item: its extents, one after the other. What all items
// read from one file take together is bounded by the file's size.
std::vector<uint8_t> ItemData(const Meta& meta, const Item& item, std::span<const uint8_t> file, size_t& budget)
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
        if (length > budget)
            Invalid(L"the items' data is larger than the file");
        budget -= size_t(length);
        data.insert(data.end(), source.begin() + ptrdiff_t(start), source.begin() + ptrdiff_t(start + length));
    }
    if (data.empty())
        Invalid(L"an item has no data");
    return data;
}

std::vector<const Box*> PropertiesOf(const Meta& meta, const Item& item)
{
    std::vector<const Box*> boxes;
    for (uint16_t entry : item.properties) {
        const uint16_t index = entry & ~kEssential;
        if (index > meta.properties.size())
            Invalid(L"an item names a property that is missing");
        boxes.push_back(&meta.properties[index - 1u]);
    }
    return boxes;
}

bool IsAlphaAuxiliary(const Meta& meta, const Item& item)
{
    for (const Box* box : PropertiesOf(meta, item)) {
        if (box->type != FourCc("auxC"))
            continue;
        Reader r(box->body);
        r.Version();
        return IsAlphaAuxiliaryType(r.String());
    }
    return false;
}

// The declared size (ispe), operating point (a1op) and layer (lsel) of an item.
// A picture is decoded as a1op and lsel say only when they are essential.
void ReadCodingProperties(const Meta& meta, const Item& item, uint32_t& width, uint32_t& height, AvifCoded& coded)
{
    const std::vector<const Box*> boxes = PropertiesOf(meta, item);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box* box = boxes[i];
        Reader r(box->body);
        if ((box->type == FourCc("a1op") || box->type == FourCc("lsel")) && !(item.properties[i] & kEssential))
            Invalid(L"the operating point or layer of a picture is not marked essential");
        switch (box->type) {
        case FourCc("ispe"):
            r.Version();
            width = r.U32();
            height = r.U32();
            break;
        case FourCc("a1op"): coded.operatingPoint = r.U8(); break;
        case FourCc("lsel"): {
            const uint16_t layer = r.U16();
            if (layer != 0xFFFF)
                coded.layer = layer;
            break;
        }
        default: break;
        }
    }
}

// Reads an AV1 picture or a grid of them: the item's data and how to decode it.
AvifCoded ReadCoded(const Meta& meta, uint32_t id, std::span<const uint8_t> file, size_t& budget)
{
    const Item& item = meta.items.at(id);
    AvifCoded coded;
    if (item.type == FourCc("av01")) {
        ReadCodingProperties(meta, item, coded.width, coded.height, coded);
        coded.tileWidth = coded.width, coded.tileHeight = coded.height;
        coded.tiles.push_back(std::make_shared<const std::vector<uint8_t>>(ItemData(meta, item, file, budget)));
        return coded;
    }
    if (item.type != FourCc("grid"))
        Unsupported(L"the picture is not AV1");
    coded.grid = true;
    const std::vector<uint8_t> description = ItemData(meta, item, file, budget);
    Reader r(description);
    if (r.U8() != 0)
        Unsupported(L"a grid of a later version");
    const int fieldBytes = (r.U8() & 1) ? 4 : 2;
    coded.rows = r.U8() + 1u;
    coded.columns = r.U8() + 1u;
    coded.width = uint32_t(r.Uint(fieldBytes));
    coded.height = uint32_t(r.Uint(fieldBytes));
    if (coded.width == 0 || coded.height == 0)
        Invalid(L"a grid has no size");
    std::map<uint32_t, std::shared_ptr<const std::vector<uint8_t>>> read;
    for (const Reference& ref : meta.references) {
        if (ref.type != FourCc("dimg") || ref.from != id)
            continue;
        auto tile = meta.items.find(ref.to);
        if (tile == meta.items.end())
            Invalid(L"a grid's tile is missing");
        if (tile->second.type != FourCc("av01"))
            Unsupported(L"a grid's tiles are not AV1");
        if (coded.tiles.size() >= size_t(coded.rows) * coded.columns)
            Invalid(L"a grid has more tiles than its rows and columns");
        uint32_t width = 0, height = 0;
        AvifCoded configuration;
        ReadCodingProperties(meta, tile->second, width, height, configuration);
        if (coded.tiles.empty()) {
            coded.tileWidth = width, coded.tileHeight = height;
            coded.operatingPoint = configuration.operatingPoint;
            coded.layer = configuration.layer;
        } else if (width != coded.tileWidth || height != coded.tileHeight) {
            Invalid(L"a grid's tiles differ in size");
        }
        std::shared_ptr<const std::vector<uint8_t>>& data = read[ref.to];
        if (!data)
            data = std::make_shared<const std::vector<uint8_t>>(ItemData(meta, tile->second, file, budget));
        coded.tiles.push_back(data);
    }
    if (coded.tiles.size() != size_t(coded.rows) * coded.columns)
        Invalid(L"a grid has fewer tiles than its rows and columns");
    return coded;
}

void ReadShowingProperties(const Meta& meta, const Item& item, AvifPicture& picture)
{
    for (const Box* box : PropertiesOf(meta, item)) {
        Reader r(box->body);
        switch (box->type) {
        case FourCc("colr"): ReadColr(box->body, picture.nclx, picture.icc); break;
        case FourCc("clap"): {
            AvifClap clap;
            for (int32_t* field : {&clap.widthN, &clap.widthD, &clap.heightN, &clap.heightD, &clap.horizOffN,
                                   &clap.horizOffD, &clap.vertOffN, &clap.vertOffD})
                *field = int32_t(r.U32());
            picture.clap = clap;
            break;
        }
        case FourCc("irot"): picture.quarterTurns = r.U8() & 3; break;
        case FourCc("imir"): picture.mirror = r.U8() & 1; break;
        default: break;
        }
    }
}

// The primary item's picture, its alpha plane and its Exif block.
void ReadItems(const Meta& meta, std::span<const uint8_t> file, AvifPicture& picture)
{
    if (meta.handler != FourCc("pict"))
        Invalid(L"the file's items are not pictures");
    const uint32_t id = *meta.primary;
    auto primary = meta.items.find(id);
    if (primary == meta.items.end())
        Invalid(L"the primary picture is missing");
    size_t budget = file.size();
    picture.colour = ReadCoded(meta, id, file, budget);
    ReadShowingProperties(meta, primary->second, picture);

    for (const Reference& ref : meta.references) {
        if (ref.to != id || ref.from == id)
            continue;
        auto item = meta.items.find(ref.from);
        if (item == meta.items.end())
            continue;
        const uint32_t type = item->second.type;
        if (ref.type == FourCc("auxl") && (type == FourCc("av01") || type == FourCc("grid")) &&
            !picture.alpha.Present() && IsAlphaAuxiliary(meta, item->second)) {
            picture.alpha = ReadCoded(meta, ref.from, file, budget);
            const uint32_t alphaId = ref.from;
            picture.alphaPremultiplied = std::any_of(meta.references.begin(), meta.references.end(), [&](const Reference& r) {
                return r.type == FourCc("prem") && r.from == id && r.to == alphaId;
            });
        } else if (ref.type == FourCc("cdsc") && type == FourCc("Exif") && picture.exif.empty()) {
            // The Exif item starts with the offset of its TIFF header.
            std::vector<uint8_t> data = ItemData(meta, item->second, file, budget);
            Reader r(data);
            uint32_t offset = r.U32();
            if (offset <= r.Left())
                picture.exif.assign(data.begin() + 4 + offset, data.end());
        }
    }
}

} // namespace

AvifPicture ReadAvifContainer(std::span<const uint8_t> file)
{
    Boxes top(file);
    Box box;
    bool typed = false, sequence = false;
    std::optional<Meta> meta;
    std::optional<Box> moov;
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
            sequence = brands[0] == FourCc("avis");
        } else if (box.type == FourCc("meta") && typed && !meta) {
            meta = ReadMeta(box.body);
        } else if (box.type == FourCc("moov") && typed && !moov) {
            moov = box;
        }
    }
    if (!typed)
        Invalid(L"the file does not start as an AVIF file");
    AvifPicture picture;
    // An image sequence shows its first frame; a still picture beside it is
    // the fallback (and the other way round for a file of the still brand).
    const bool items = meta && meta->primary;
    if (!(moov && (sequence || !items) && ReadAvifTracks(moov->body, file, picture))) {
        if (!items)
            Unsupported(L"the file holds no primary picture");
        ReadItems(*meta, file, picture);
        if (moov)
            picture.frameCount = AvifTrackFrames(moov->body);
    }
    // A grid's canvas; a picture's or a track's frames' declared size.
    const AvifCoded& colour = picture.colour;
    picture.width = colour.grid ? colour.width : colour.tileWidth;
    picture.height = colour.grid ? colour.height : colour.tileHeight;
    if (picture.clap && picture.width && picture.height)
        if (const std::optional<AvifCrop> crop = AvifCleanAperture(*picture.clap, picture.width, picture.height))
            picture.width = crop->width, picture.height = crop->height;
    return picture;
}

std::optional<AvifCrop> AvifCleanAperture(const AvifClap& clap, uint32_t width, uint32_t height)
{
    // Sizes are positive whole numbers; the centre is the canvas's shifted
    // by the offsets, and the corner it gives must be a whole pixel too.
    if (clap.widthN <= 0 || clap.widthD <= 0 || clap.heightN <= 0 || clap.heightD <= 0 || clap.horizOffD <= 0 ||
        clap.vertOffD <= 0 || clap.widthN % clap.widthD || clap.heightN % clap.heightD)
        return std::nullopt;
    const int64_t cropWidth = clap.widthN / clap.widthD, cropHeight = clap.heightN / clap.heightD;
    // left = width / 2 + horizOffN / horizOffD - cropWidth / 2, over 2 * horizOffD.
    const auto corner = [](int64_t side, int64_t offN, int64_t offD, int64_t crop) -> std::optional<int64_t> {
        const int64_t twice = side * offD + 2 * offN - crop * offD;
        if (twice < 0 || twice % (2 * offD))
            return std::nullopt;
        return twice / (2 * offD);
    };
    const std::optional<int64_t> x = corner(width, clap.horizOffN, clap.horizOffD, cropWidth);
    const std::optional<int64_t> y = corner(height, clap.vertOffN, clap.vertOffD, cropHeight);
    if (!x || !y || *x + cropWidth > int64_t(width) || *y + cropHeight > int64_t(height))
        return std::nullopt;
    return AvifCrop{uint32_t(*x), uint32_t(*y), uint32_t(cropWidth), uint32_t(cropHeight)};
}

std::optional<int> AvifOrientation(const AvifPicture& picture)
{
    const int quarterTurns = picture.quarterTurns;
    const std::optional<int> mirror = picture.mirror;
    if (!quarterTurns && !mirror)
        return std::nullopt;
    // Rows: anti-clockwise quarter turns; columns: no mirror, top and bottom
    // exchanged (imir 0), left and right exchanged (imir 1): the turn first,
    // then the mirror.
    static constexpr int kOrientation[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    return kOrientation[quarterTurns & 3][!mirror ? 0 : *mirror == 0 ? 1 : 2];
}
