// What a picture was read with, and what has been done to it since: the
// facts of its file that a save keeps (its format, whether a WebP was
// compressed losslessly, the Exif block, XMP and a JPEG's other segments),
// the file itself while it holds more than the picture shows (an
// animation's frames, a TIFF's pages), and the turns, flips and resizes made
// since it was read. The record travels with the pixels through
// conversions, turns and resizes, and saves read it, whatever kind of
// graphic holds the pixels by then. The colour profile travels as the
// pixels' colours (DisplaySource::Colour).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "imaging/codecs/Animation.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/pixels/Orientation.h"

struct PngImage;
struct RasterFile;

// One edit: a turn or flip, or a resize from one size to another.
struct PictureEdit {
    Orientation turn = Orientation::Identity;
    int width = 0, height = 0;           // resized to; 0 for a turn
    int fromWidth = 0, fromHeight = 0;   // resized from
    bool IsResize() const { return width > 0; }
    // The size a resize makes of pixels of this size: its own for the
    // picture's size, the same proportions for another (a page of its own size).
    std::pair<int, int> SizeFor(int pixelsWidth, int pixelsHeight) const;
    bool operator==(const PictureEdit&) const = default;
};

// Applies the edits in order to pixels as the picture was read (a frame of
// its animation, for one): what turning and resizing the picture did to its
// own pixels (TransformKeepingAlpha, ResizeKeepingAlpha).
Raster ApplyEdits(Raster pixels, std::span<const PictureEdit> edits);

struct PictureRecord {
    // The file's format, as its content said (a bitmap named .gif is a bitmap).
    GraphicKind kind = GraphicKind::Raster;
    RasterFileType type = RasterFileType::Bitmap;
    // A WebP whose frames were all compressed losslessly: written so again.
    bool lossless = false;
    // A JPEG's metadata; for the other formats their Exif block (its TIFF
    // structure) and XMP packet. Each made to describe the pixels as they
    // are now (orientation 1, their size, no thumbnail once turned).
    std::shared_ptr<const JpegMetadata> jpeg;
    std::vector<uint8_t> exif, xmp;
    // The file, kept where a save reads it again: an animation's (GIF,
    // WebP) and a TIFF's.
    SharedBytes file;
    int frames = 1;            // an animation's
    int pages = 1;             // a TIFF's
    int firstDelayMs = 100;    // how long an animation's first frame is shown
    // Since the picture was read, in order; turns next to each other are one.
    std::vector<PictureEdit> edits;

    bool SameFormat(const FileFormat& format) const { return format.kind == kind && format.type == type; }
    // An animation whose frames can be read again (GIF, WebP).
    bool Animated() const
    {
        return frames > 1 && file && (type == RasterFileType::Gif || type == RasterFileType::Webp);
    }
};

// The records of pictures read from files. A JPEG's pixels are shown
// upright, width × height: its metadata is made to describe them so.
std::shared_ptr<const PictureRecord> RecordOfJpeg(std::shared_ptr<const JpegMetadata> metadata, int width,
                                                  int height);
std::shared_ptr<const PictureRecord> RecordOfPng(const PngImage& image);
std::shared_ptr<const PictureRecord> RecordOfRasterFile(const RasterFile& file);
std::shared_ptr<const PictureRecord> RecordOfKind(GraphicKind kind);

// The record of pixels of width × height made from the record's by the edit.
std::shared_ptr<const PictureRecord> AfterEdit(const PictureRecord& record, const PictureEdit& edit, int width,
                                               int height);

// What a save writes of it beside the pixels: the Exif block, XMP and the
// profile (icc, the pixels' colours), as the formats other than JPEG hold
// them, and as a JPEG holds them (its own metadata when read from one).
// A null record gives only the profile.
ImageMetadata MetadataToWrite(const PictureRecord* record, std::span<const uint8_t> icc);
JpegMetadata JpegMetadataToWrite(const PictureRecord* record, std::span<const uint8_t> icc);

// How many of the picture's frames or pages a save as that format leaves
// out: none when it writes them all (an animation as WebP, a TIFF's pages
// as TIFF) or the picture is one; else all but the first.
struct LeftOut {
    int count = 0;
    bool pages = false;   // pages of a TIFF, else frames of an animation
};
LeftOut LeftOutBySaving(const PictureRecord* record, const FileFormat* format);
