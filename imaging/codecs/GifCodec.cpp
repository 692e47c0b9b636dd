#include "imaging/codecs/GifCodec.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include <gif_lib.h>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "imaging/codecs/GifLzw.h"

namespace {

// The file being read and where giflib is in it.
struct ByteSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int count)
{
    auto* source = static_cast<ByteSource*>(gif->UserData);
    size_t n = std::min(size_t(count < 0 ? 0 : count), source->size - source->pos);
    if (n == 0)
        return 0;
    std::memcpy(out, source->data + source->pos, n);
    source->pos += n;
    return int(n);
}

[[noreturn]] void ThrowGifError(int code)
{
    const wchar_t* why = L"its data is damaged";
    switch (code) {
    case D_GIF_ERR_NOT_ENOUGH_MEM: throw Failure(L"Out of memory");
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON: why = L"the file is cut short"; break;
    case D_GIF_ERR_NOT_GIF_FILE: why = L"it is not a GIF file"; break;
    case D_GIF_ERR_NO_SCRN_DSCR: why = L"it does not describe its screen"; break;
    case D_GIF_ERR_NO_IMAG_DSCR: why = L"it holds no picture"; break;
    case D_GIF_ERR_NO_COLOR_MAP: why = L"it has no colour table"; break;
    case D_GIF_ERR_WRONG_RECORD: why = L"a record of no known kind stands before its pictures"; break;
    case D_GIF_ERR_DATA_TOO_BIG: why = L"a frame holds more pixels than its size"; break;
    case D_GIF_ERR_IMAGE_DEFECT: why = L"its compressed data is damaged"; break;
    }
    throw Failure(std::wstring(L"GIF image is not valid: ") + why);
}

// A frame whose compressed data starts with codes wider than GIF's 12 bits.
[[noreturn]] void ThrowTooWide()
{
    throw Failure(L"GIF image is not valid: a frame's compressed data starts with codes wider than GIF allows");
}

// How a frame's image descriptor was read.
enum class Descriptor {
    Plain,     // by giflib, which decodes the frame
    Wide,      // a minimum code size of 9 to 11 bits, which giflib refuses
    TooWide,   // a minimum code size whose codes pass 12 bits
    Failed,    // damaged or cut short
};

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

// giflib opened on the file, at the first record after the screen descriptor.
class GifReader {
public:
    explicit GifReader(const std::vector<uint8_t>& file) : source_{file.data(), file.size(), 0}
    {
        int error = 0;
        gif_.reset(DGifOpen(&source_, ReadBytes, &error));
        if (!gif_)
            ThrowGifError(error);
    }
    GifFileType* operator->() const { return gif_.get(); }
    GifFileType* get() const { return gif_.get(); }
    int Error() const { return gif_->Error; }

    // Reads an image descriptor, after its introducer. giflib keeps a record
    // of every descriptor read (with a copy of its colour table) for its own
    // whole-file reading: dropped at once, so long animations do not grow it.
    // giflib reads a minimum code size above 8 before it refuses it, with
    // the descriptor filled in: that is told from damage by where the
    // reading stopped, and the size given.
    Descriptor ReadImageDescriptor(int& codeSize)
    {
        const size_t start = source_.pos;
        if (DGifGetImageDesc(gif_.get()) == GIF_ERROR) {
            const size_t flags = start + 8;
            const size_t table = flags < source_.size && (source_.data[flags] & 0x80)
                                     ? size_t(3) << ((source_.data[flags] & 7) + 1)
                                     : 0;
            const size_t sizeAt = flags + 1 + table;
            if (gif_->Error != D_GIF_ERR_READ_FAILED || source_.pos != sizeAt + 1 || source_.data[sizeAt] <= 8)
                return Descriptor::Failed;
            codeSize = source_.data[sizeAt];
            return codeSize <= WideGifLzw::kLastSize ? Descriptor::Wide : Descriptor::TooWide;
        }
        GifFreeSavedImages(gif_.get());
        gif_->ImageCount = 0;
        codeSize = 0;
        return Descriptor::Plain;
    }

    // Passes over the compressed data of the image just described.
    bool SkipImageData()
    {
        int codeSize = 0;
        GifByteType* block = nullptr;
        if (DGifGetCode(gif_.get(), &codeSize, &block) == GIF_ERROR)
            return false;
        while (block)
            if (DGifGetCodeNext(gif_.get(), &block) == GIF_ERROR)
                return false;
        return true;
    }

    // Passes over the sub-blocks of an extension after the one given.
    bool SkipSubBlocks(GifByteType* block)
    {
        while (block)
            if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR)
                return false;
        return true;
    }

private:
    ByteSource source_;
    std::unique_ptr<GifFileType, GifCloser> gif_;
};

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    int disposal = DISPOSAL_UNSPECIFIED;
    int delayMs = 0;
    int transparent = NO_TRANSPARENT_COLOR;
    int wideCodeSize = 0;   // a minimum code size above 8, decoded here rather than by giflib
};

bool HasId(const GifByteType* block, const char* id)
{
    return block && block[0] == 11 && std::memcmp(block + 1, id, 11) == 0;
}

class GifDecoder : public AnimationDecoder {
public:
    explicit GifDecoder(SharedBytes file) : file_(std::move(file))
    {
        if (!file_)
            throw Failure(L"GIF image is not valid: no data");
        Scan();
    }

    std::unique_ptr<AnimationDecoder> Reopen() const override
    {
        return std::unique_ptr<AnimationDecoder>(new GifDecoder(*this, Copy{}));
    }

protected:
    int ComposeFrame(int index, Raster& canvas) override
    {
        if (index > 0)
            Dispose(frames_[size_t(index) - 1], canvas);
        const GifFrame& frame = frames_[size_t(index)];
        const PixelRect rect = ClipToCanvas(canvas, frame.left, frame.top, frame.width, frame.height);
        saved_ = frame.disposal == DISPOSE_PREVIOUS && !rect.Empty() ? canvas.Part(rect) : Raster();
        if (!reader_ || readerNext_ > index) {
            reader_.reset();   // the old reader's file position is of no use any more
            reader_ = std::make_unique<GifReader>(*file_);
            readerNext_ = 0;
        }
        Draw(index, rect, canvas);
        return frame.delayMs;
    }

    void Restart() override {}

    std::optional<Raster> OpaqueStill() override
    {
        const GifFrame& frame = frames_.front();
        if (frameCount_ != 1 || frame.left != 0 || frame.top != 0 || frame.width != width_ ||
            frame.height != height_ || frame.transparent != NO_TRANSPARENT_COLOR)
            return std::nullopt;
        Raster pixels(width_, height_, PixelFormat::Bit24, Raster::Unfilled{});
        reader_ = std::make_unique<GifReader>(*file_);
        readerNext_ = 0;
        // A damaged frame or an index past the colour table leaves pixels
        // that the canvas would show transparent: then the usual way.
        if (!Draw(0, {0, 0, width_, height_}, pixels))
            return std::nullopt;
        return pixels;
    }

    void FirstFrameTaken(const Raster& canvas) override
    {
        // What the first frame covered was transparent before it.
        const GifFrame& first = frames_.front();
        const PixelRect rect = ClipToCanvas(canvas, first.left, first.top, first.width, first.height);
        saved_ = Raster();
        if (first.disposal == DISPOSE_PREVIOUS && !rect.Empty()) {
            saved_ = Raster(rect.width, rect.height, PixelFormat::Bit32, Raster::Unfilled{});
            ClearToTransparent(saved_, {0, 0, rect.width, rect.height});
        }
    }

private:
    struct Copy {};
    GifDecoder(const GifDecoder& other, Copy) : file_(other.file_), frames_(other.frames_)
    {
        width_ = other.width_;
        height_ = other.height_;
        frameCount_ = other.frameCount_;
        loopCount_ = other.loopCount_;
        metadata_ = other.metadata_;
    }

    // Reads every record once, decoding nothing: the frames and what the
    // extensions say about them.
    void Scan()
    {
        GifReader gif(*file_);
        int screenWidth = gif->SWidth, screenHeight = gif->SHeight;
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        std::optional<int> loops;
        uint64_t framePixels = 0;
        bool done = false;
        while (!done) {
            ThrowIfCancelled();
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
                break;
            switch (type) {
            case IMAGE_DESC_RECORD_TYPE: {
                int codeSize = 0;
                const Descriptor descriptor = gif.ReadImageDescriptor(codeSize);
                if (descriptor == Descriptor::TooWide && frames_.empty())
                    ThrowTooWide();
                if (descriptor != Descriptor::Plain && descriptor != Descriptor::Wide) {
                    done = true;
                    break;
                }
                GifFrame frame;
                frame.wideCodeSize = codeSize;
                frame.left = gif->Image.Left;
                frame.top = gif->Image.Top;
                frame.width = gif->Image.Width;
                frame.height = gif->Image.Height;
                frame.disposal = control.DisposalMode;
                frame.delayMs = control.DelayTime * 10;
                frame.transparent = control.TransparentColor;
                control = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
                // Only frames whose data is all there count.
                if (!gif.SkipImageData()) {
                    done = true;
                    break;
                }
                frames_.push_back(frame);
                if (frames_.size() > size_t(AnimationLimits::maxFrames))
                    AnimationLimits::Check(frames_.size(), 1, 1);
                // Every frame's pixels are decoded, seen or not: a frame far
                // larger than the canvas costs its whole size each time.
                framePixels += uint64_t(frame.width) * uint64_t(frame.height);
                if (uint64_t(frame.width) * uint64_t(frame.height) > DecodeLimits::maxPixels ||
                    framePixels > AnimationLimits::maxTotalPixels)
                    throw Failure(L"The animation is too large");
                break;
            }
            case EXTENSION_RECORD_TYPE: {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                    done = true;
                    break;
                }
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) {
                    DGifExtensionToGCB(4, block + 1, &control);
                } else if (code == APPLICATION_EXT_FUNC_CODE &&
                           (HasId(block, "NETSCAPE2.0") || HasId(block, "ANIMEXTS1.0"))) {
                    if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                        done = true;
                        break;
                    }
                    if (block && block[0] >= 3 && block[1] == 1)
                        loops = block[2] | block[3] << 8;
                } else if (code == APPLICATION_EXT_FUNC_CODE && HasId(block, "ICCRGBG1012")) {
                    // The profile is the concatenation of the sub-blocks that follow.
                    std::vector<uint8_t> icc;
                    for (;;) {
                        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                            icc.clear();
                            done = true;
                            break;
                        }
                        if (!block)
                            break;
                        icc.insert(icc.end(), block + 1, block + 1 + block[0]);
                    }
                    metadata_.icc = std::move(icc);
                }
                if (!done && !gif.SkipSubBlocks(block))
                    done = true;
                break;
            }
            default:   // the trailer, or something no decoder knows: the end
                done = true;
                break;
            }
        }
        if (frames_.empty())
            ThrowGifError(gif.Error() ? gif.Error() : D_GIF_ERR_NO_IMAG_DSCR);

        // A first frame that reaches past the logical screen (or a screen of
        // no size) widens the canvas to hold it.
        const GifFrame& first = frames_.front();
        width_ = std::max(screenWidth, first.left + first.width);
        height_ = std::max(screenHeight, first.top + first.height);
        if (!DecodeLimits::Allows(uint64_t(width_), uint64_t(height_)))
            throw Failure(L"Out of memory");
        AnimationLimits::Check(frames_.size(), uint64_t(width_), uint64_t(height_));
        frameCount_ = int(frames_.size());
        loopCount_ = !loops ? 1 : *loops == 0 ? 0 : *loops + 1;
    }

    void Dispose(const GifFrame& frame, Raster& canvas)
    {
        if (frame.disposal == DISPOSE_BACKGROUND) {
            PixelRect rect = ClipToCanvas(canvas, frame.left, frame.top, frame.width, frame.height);
            if (!rect.Empty())
                ClearToTransparent(canvas, rect);
        } else if (frame.disposal == DISPOSE_PREVIOUS && !saved_.Empty()) {
            PixelRect rect = ClipToCanvas(canvas, frame.left, frame.top, frame.width, frame.height);
            PasteRect(canvas, saved_, rect.x, rect.y);
        }
        saved_ = Raster();
    }

    // Moves the reader to frame `index` and draws its visible part onto the
    // canvas, or into 24-bit pixels as large as the frame. False when the
    // frame's data was damaged, or (24 bits) a pixel had no colour.
    bool Draw(int index, const PixelRect& rect, Raster& canvas)
    {
        GifReader& gif = *reader_;
        // Records up to the frame's own descriptor; the scan has read them all before.
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
                ThrowGifError(gif.Error());
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR || !gif.SkipSubBlocks(block))
                    ThrowGifError(gif.Error());
                continue;
            }
            int codeSize = 0;
            const Descriptor descriptor =
                type == IMAGE_DESC_RECORD_TYPE ? gif.ReadImageDescriptor(codeSize) : Descriptor::Failed;
            if (descriptor == Descriptor::TooWide)
                ThrowTooWide();
            if (descriptor == Descriptor::Failed)
                ThrowGifError(gif.Error() ? gif.Error() : D_GIF_ERR_WRONG_RECORD);
            if (readerNext_++ == index)
                break;
            if (!gif.SkipImageData())
                ThrowGifError(gif.Error());
        }

        const GifFrame& frame = frames_[size_t(index)];
        // Frames of more than 2^31 pixels go beyond what giflib counts.
        if (rect.Empty() || int64_t(frame.width) * frame.height > INT32_MAX) {
            if (!gif.SkipImageData())
                reader_.reset();
            return false;
        }
        // The frame's colours as BGRA words, 0 (left alone) for the
        // transparent index and for indices past the table (which the
        // indices of wide codes may reach).
        uint32_t colours[1 << WideGifLzw::kLastSize] = {};
        const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
        const int count = map ? std::clamp(map->ColorCount, 0, 256) : 0;
        const GifColorType* table = map ? map->Colors : nullptr;
        for (int i = 0; i < count; ++i)
            colours[i] = 0xFF000000u | uint32_t(table[i].Red) << 16 | uint32_t(table[i].Green) << 8 | table[i].Blue;
        if (frame.transparent >= 0 && frame.transparent < 256)
            colours[frame.transparent] = 0;
        const bool interlaced = gif->Image.Interlace;

        // A frame of wide codes: its data gathered, and decoded here.
        std::unique_ptr<WideGifLzw> wide;
        if (frame.wideCodeSize) {
            std::vector<uint8_t> data;
            GifByteType* block = nullptr;
            bool whole = DGifGetCodeNext(gif.get(), &block) != GIF_ERROR;
            while (whole && block) {
                data.insert(data.end(), block + 1, block + 1 + block[0]);
                whole = DGifGetCodeNext(gif.get(), &block) != GIF_ERROR;
            }
            if (!whole)
                reader_.reset();   // what was read is decoded; the reader starts afresh for the next frame
            wide = std::make_unique<WideGifLzw>(frame.wideCodeSize, std::move(data));
        }

        std::vector<GifPixelType> line(wide ? 0 : size_t(frame.width));
        std::vector<uint16_t> wideLine(wide ? size_t(frame.width) : 0);
        const int x0 = rect.x - frame.left;   // first visible column of the frame
        bool colourless = false;
        auto drawRow = [&](int row, const auto* indices) {
            const int y = frame.top + row;
            if (y < rect.y || y >= rect.y + rect.height)
                return;
            const auto* in = indices + x0;
            if (canvas.Bits() == 24) {
                // Four bytes a pixel stored, the fourth overwritten by the
                // next pixel: one store each.
                uint8_t* out = canvas.MutableRow(y);
                const int last = rect.width - 1;
                for (int x = 0; x < last; ++x, out += 3) {
                    const uint32_t c = colours[in[x]];
                    colourless |= c == 0;
                    std::memcpy(out, &c, 4);
                }
                const uint32_t c = colours[in[last]];
                colourless |= c == 0;
                std::memcpy(out, &c, 3);
                return;
            }
            uint8_t* out = canvas.MutableRow(y) + size_t(rect.x) * 4;
            for (int x = 0; x < rect.width; ++x, out += 4)
                if (uint32_t c = colours[in[x]])
                    std::memcpy(out, &c, 4);
        };
        static constexpr int kPassStart[] = {0, 4, 2, 1}, kPassStep[] = {8, 8, 4, 2};
        for (int pass = interlaced ? 0 : 3; pass < 4; ++pass) {
            for (int row = interlaced ? kPassStart[pass] : 0; row < frame.height; row += interlaced ? kPassStep[pass] : 1) {
                ThrowIfCancelled();
                if (wide) {
                    // What was read stays.
                    if (!wide->Read(wideLine.data(), wideLine.size()))
                        return false;
                    drawRow(row, wideLine.data());
                    continue;
                }
                if (DGifGetLine(gif.get(), line.data(), frame.width) == GIF_ERROR) {
                    // What was read stays; the reader starts afresh for the next frame.
                    reader_.reset();
                    return false;
                }
                drawRow(row, line.data());
            }
        }
        return !colourless;
    }

    SharedBytes file_;
    std::vector<GifFrame> frames_;
    std::unique_ptr<GifReader> reader_;
    int readerNext_ = 0;   // the frame the reader reaches next
    Raster saved_;         // what the last frame covered, when it is to be put back
};

}  // namespace

std::unique_ptr<AnimationDecoder> OpenGif(SharedBytes file)
{
    return std::make_unique<GifDecoder>(std::move(file));
}
