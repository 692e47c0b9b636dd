#include "imaging/codecs/JpegCodec.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
#include <transupp.h>
}

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "imaging/colour/CmykColour.h"
#include "imaging/pixels/Transform.h"

// libjpeg reports fatal errors through error_exit, which must not return.
// Each call into the library happens in a small "stage" function that holds
// the setjmp and nothing but plain data, so the longjmp out of error_exit
// never skips a destructor. The stage returns the library's message number;
// the C++ caller owns everything with a destructor and turns that number into
// a Failure.

namespace {

// Progressive files may carry any number of scans, and each one makes the
// decoder walk the whole coefficient buffer: cap them.
constexpr int kMaxScans = 500;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
    // The library's message for the code, in words; or the program's own
    // reason, when it stopped the library itself.
    char message[JMSG_LENGTH_MAX];
    const char* reason;
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    if (err->reason)
        std::snprintf(err->message, sizeof err->message, "%s", err->reason);
    else
        err->pub.format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt data, premature end of data) and trace messages are
// ignored: the library carries on with what it can decode.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.code = 0;
    err.message[0] = 0;
    err.reason = nullptr;
}

// "JPEG error #" and the library's message number, then what it means.
[[noreturn]] void ThrowJpegError(const ErrorManager& err)
{
    // The decoding was stopped because nobody wants it any more.
    ThrowIfCancelled();
    std::wstring text = L"JPEG error #" + std::to_wstring(err.code);
    if (err.message[0])
        text += L": " + Widen(err.message);
    throw Failure(std::move(text));
}

// Stops the library with a reason of the program's own.
[[noreturn]] void Stop(j_common_ptr cinfo, int code, const char* reason)
{
    reinterpret_cast<ErrorManager*>(cinfo->err)->reason = reason;
    ERREXIT(cinfo, code);
    std::abort();   // error_exit never returns
}

// ---------------------------------------------------------------- decoding

// The library's progress hook, called as it reads rows and scans: where it
// stops work that is no longer wanted, and files with too many scans.
void WatchProgress(j_common_ptr cinfo)
{
    if (CancelRequested())
        Stop(cinfo, JERR_NOTIMPL, "the work was cancelled");
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        Stop(cinfo, JERR_NOTIMPL, "The file has more scans than a picture needs");
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    bool created;
};

// Destroys the decompressor however the decoding ends.
struct DecoderGuard {
    Decoder& d;
    ~DecoderGuard()
    {
        if (d.created)
            jpeg_destroy_decompress(&d.cinfo);
    }
};

int BeginStage(Decoder* d, const uint8_t* data, size_t size)
{
    if (setjmp(d->err.jump))
        return d->err.code;
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->progress.progress_monitor = WatchProgress;
    d->cinfo.progress = &d->progress;
    // The source length is an unsigned long (32 bits on Windows).
    unsigned long length = size > ULONG_MAX ? ULONG_MAX : static_cast<unsigned long>(size);
    jpeg_mem_src(&d->cinfo, data, length);
    // The colour profile, which pictures in inks are converted through.
    jpeg_save_markers(&d->cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&d->cinfo, TRUE);
    return 0;
}

// The ICC profile of the saved chunks, malloc'ed; none when there is no
// whole one.
int ProfileStage(Decoder* d, JOCTET** profile, unsigned* length)
{
    if (setjmp(d->err.jump))
        return d->err.code;
    if (!jpeg_read_icc_profile(&d->cinfo, profile, length))
        *profile = nullptr;
    return 0;
}

int StartStage(Decoder* d)
{
    if (setjmp(d->err.jump))
        return d->err.code;
    jpeg_start_decompress(&d->cinfo);
    return 0;
}

// Reads the rows from the next one up to row end (not included) into
// consecutive rows from base.
int ReadRowsStage(Decoder* d, uint8_t* base, size_t stride, JDIMENSION end)
{
    if (setjmp(d->err.jump))
        return d->err.code;
    j_decompress_ptr cinfo = &d->cinfo;
    const JDIMENSION first = cinfo->output_scanline;
    while (cinfo->output_scanline < end) {
        JSAMPROW rows[4];
        JDIMENSION count = 0;
        while (count < 4 && cinfo->output_scanline + count < end) {
            rows[count] = base + size_t(cinfo->output_scanline - first + count) * stride;
            ++count;
        }
        jpeg_read_scanlines(cinfo, rows, count);
    }
    // jpeg_finish_decompress is left out on purpose: every row is in, and
    // whatever follows the last scan does not change the picture.
    return 0;
}

// d is zero-initialised and already guarded.
void Begin(Decoder& d, std::span<const uint8_t> file)
{
    d.cinfo.err = &d.err.pub;
    InstallErrorManager(d.err);
    if (BeginStage(&d, file.data(), file.size()))
        ThrowJpegError(d.err);
}

// ---------------------------------------------------------------- encoding

constexpr size_t kOutputChunk = 64 * 1024;

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    jpeg_destination_mgr dest;
    std::vector<uint8_t>* out;
    const JpegMetadata* metadata;
    bool outOfMemory;
    bool created;
    JOCTET buffer[kOutputChunk];
};

struct EncoderGuard {
    Encoder& e;
    ~EncoderGuard()
    {
        if (e.created)
            jpeg_destroy_compress(&e.cinfo);
    }
};

Encoder* EncoderOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<Encoder*>(reinterpret_cast<char*>(cinfo) - offsetof(Encoder, cinfo));
}

// Appends bytes to the output vector; an allocation failure becomes the
// library's out-of-memory error once the C++ exception is fully handled.
void Append(j_compress_ptr cinfo, const JOCTET* bytes, size_t count)
{
    Encoder* e = EncoderOf(cinfo);
    try {
        e->out->insert(e->out->end(), bytes, bytes + count);
    } catch (...) {
        e->outOfMemory = true;
    }
    if (e->outOfMemory)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

void InitDestination(j_compress_ptr cinfo)
{
    Encoder* e = EncoderOf(cinfo);
    e->dest.next_output_byte = e->buffer;
    e->dest.free_in_buffer = kOutputChunk;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    Encoder* e = EncoderOf(cinfo);
    Append(cinfo, e->buffer, kOutputChunk);
    e->dest.next_output_byte = e->buffer;
    e->dest.free_in_buffer = kOutputChunk;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    Encoder* e = EncoderOf(cinfo);
    Append(cinfo, e->buffer, kOutputChunk - e->dest.free_in_buffer);
}

void InstallDestination(Encoder* e)
{
    e->dest.init_destination = InitDestination;
    e->dest.empty_output_buffer = EmptyOutputBuffer;
    e->dest.term_destination = TermDestination;
    e->cinfo.dest = &e->dest;
}

// The JFIF header as the metadata asks for it: with its resolution, or none
// when the metadata came from a file without one; without any metadata the
// library's default header. Before compression starts.
void SetJfifHeader(j_compress_ptr cinfo, const JpegMetadata& metadata)
{
    if (metadata.jfif) {
        cinfo->density_unit = metadata.jfif->unit;
        cinfo->X_density = metadata.jfif->x;
        cinfo->Y_density = metadata.jfif->y;
    } else if (!metadata.Empty()) {
        cinfo->write_JFIF_header = FALSE;
    }
}

// The metadata's segments, right after the headers compression starts with.
void WriteSegments(j_compress_ptr cinfo, const JpegMetadata& metadata)
{
    for (const JpegSegment& segment : metadata.segments)
        if (segment.data.size() <= 65533)
            jpeg_write_marker(cinfo, segment.marker, segment.data.data(), unsigned(segment.data.size()));
}

int CompressStage(Encoder* e, const uint8_t* base, size_t stride, int width, int height)
{
    if (setjmp(e->err.jump))
        return e->err.code;
    j_compress_ptr cinfo = &e->cinfo;
    jpeg_create_compress(cinfo);
    e->created = true;
    InstallDestination(e);
    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 90, TRUE);
    cinfo->dct_method = JDCT_FLOAT;
    SetJfifHeader(cinfo, *e->metadata);
    jpeg_start_compress(cinfo, TRUE);
    WriteSegments(cinfo, *e->metadata);
    while (cinfo->next_scanline < cinfo->image_height) {
        // The library only reads the rows it is given.
        JSAMPROW row = const_cast<JSAMPROW>(base + size_t(cinfo->next_scanline) * stride);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return 0;
}

}  // namespace

JpegHeader ReadJpegHeader(std::span<const uint8_t> file)
{
    auto d = std::make_unique<Decoder>();
    DecoderGuard guard{*d};
    Begin(*d, file);
    JpegHeader header;
    header.width = int(d->cinfo.image_width);
    header.height = int(d->cinfo.image_height);
    header.grayscale = d->cinfo.jpeg_color_space == JCS_GRAYSCALE;
    return header;
}

namespace {

// Rows decoded at a time when they are laid out anew on the way: 1.1 MiB of
// a 6000-pixel row, and as many rows as the blocks a quarter turn walks
// through.
constexpr int kBandRows = 64;

// Refuses oversized frames before the library allocates anything for them,
// and bounds what it may allocate: multi-scan files (and lossless
// transforms) keep every coefficient in memory; with no backing store, this
// makes a request beyond a few bytes per pixel an error.
void LimitMemory(j_decompress_ptr cinfo)
{
    if (!DecodeLimits::Allows(cinfo->image_width, cinfo->image_height)) {
        auto& err = *reinterpret_cast<ErrorManager*>(cinfo->err);
        err.code = JERR_IMAGE_TOO_BIG;
        std::snprintf(err.message, sizeof err.message, "The picture has more pixels than can be shown");
        ThrowJpegError(err);
    }
    uint64_t budget = DecodeLimits::maxPixels * 8 + (uint64_t(16) << 20);
    cinfo->mem->max_memory_to_use = budget > uint64_t(LONG_MAX) ? LONG_MAX : long(budget);
}

// Whether the file's pixels are printing inks (CMYK, or YCCK, which the
// library makes CMYK).
bool Inks(j_decompress_ptr cinfo)
{
    return cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
}

// What turns the file's inks into colours: its profile, and whether its
// values are inverted (Adobe's segment: Photoshop writes them so).
CmykToBgr InkConverter(Decoder& d)
{
    JOCTET* bytes = nullptr;
    unsigned length = 0;
    if (ProfileStage(&d, &bytes, &length))
        ThrowJpegError(d.err);
    const std::unique_ptr<JOCTET, decltype(&std::free)> profile(bytes, &std::free);
    return CmykToBgr(std::span<const uint8_t>(bytes, bytes ? length : 0), d.cinfo.saw_Adobe_marker);
}

// Decodes at scale 1 / denominator: at full size with the settings pictures
// are loaded with, or smaller for display; laid out as orientation says.
Raster Decode(std::span<const uint8_t> file, int denominator, Orientation orientation)
{
    auto d = std::make_unique<Decoder>();
    DecoderGuard guard{*d};
    Begin(*d, file);
    j_decompress_ptr cinfo = &d->cinfo;
    LimitMemory(cinfo);

    const bool grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    const bool full = denominator == 1;
    cinfo->scale_num = 1;
    cinfo->scale_denom = unsigned(denominator);
    cinfo->dct_method = full ? JDCT_FLOAT : JDCT_ISLOW;
    cinfo->do_block_smoothing = TRUE;
    std::optional<CmykToBgr> inks;
    if (grey) {
        cinfo->out_color_space = JCS_GRAYSCALE;
        cinfo->quantize_colors = full ? TRUE : FALSE;
        cinfo->desired_number_of_colors = 236;
    } else if (Inks(cinfo)) {
        cinfo->out_color_space = JCS_CMYK;
        inks.emplace(InkConverter(*d));
    } else {
        cinfo->out_color_space = JCS_EXT_BGR;
    }
    if (StartStage(d.get()))
        ThrowJpegError(d->err);
    const int width = int(cinfo->output_width), height = int(cinfo->output_height);

    // Reads count rows from the next one on into BGR rows from base on:
    // inks a band at a time, converted as they come.
    std::vector<uint8_t> inkBand(inks ? size_t(width) * 4 * size_t(std::min(height, kBandRows)) : 0);
    auto readRows = [&](uint8_t* base, size_t stride, int count) {
        const int first = int(cinfo->output_scanline);
        if (!inks) {
            if (ReadRowsStage(d.get(), base, stride, JDIMENSION(first + count)))
                ThrowJpegError(d->err);
            return;
        }
        for (int done = 0; done < count; done += kBandRows) {
            const int rows = std::min(kBandRows, count - done);
            if (ReadRowsStage(d.get(), inkBand.data(), size_t(width) * 4, JDIMENSION(first + done + rows)))
                ThrowJpegError(d->err);
            for (int r = 0; r < rows; ++r)
                inks->Convert(inkBand.data() + size_t(r) * size_t(width) * 4, base + size_t(done + r) * stride,
                              size_t(width));
        }
    };

    // Colour rows are laid out anew a band at a time as they come, so the
    // picture is held once; greyscale ones once decoded, as 24-bit pixels.
    if (orientation != Orientation::Identity && !grey) {
        const bool swap = SwapsSides(orientation);
        Raster raster(swap ? height : width, swap ? width : height, PixelFormat::Bit24, Raster::Unfilled{});
        const PixelRows whole{raster.MutableRow(0), ptrdiff_t(raster.Stride()), raster.Width(), raster.Height()};
        Raster band(width, std::min(height, kBandRows), PixelFormat::Bit24, Raster::Unfilled{});
        for (int first = 0; first < height; first += kBandRows) {
            const int count = std::min(kBandRows, height - first);
            readRows(band.MutableRow(0), band.Stride(), count);
            TransformPixels({band.Bits0(), ptrdiff_t(band.Stride()), width, count},
                            BandDestination(whole, orientation, height, first, count), orientation);
        }
        return raster;
    }
    Raster raster(width, height, grey ? PixelFormat::Bit8 : PixelFormat::Bit24, Raster::Unfilled{});
    if (grey) {
        std::vector<PaletteEntry> palette(full ? size_t(cinfo->actual_number_of_colors) : 256);
        for (size_t i = 0; i < palette.size(); ++i) {
            uint8_t v = full ? cinfo->colormap[0][i] : uint8_t(i);
            palette[i] = {v, v, v, 0};
        }
        raster.SetPalette(std::move(palette));
    }
    readRows(raster.MutableRow(0), raster.Stride(), height);
    return TransformRaster(raster, orientation);
}

}  // namespace

Raster DecodeJpeg(std::span<const uint8_t> file, Orientation orientation)
{
    return Decode(file, 1, orientation);
}

Raster DecodeJpegReduced(std::span<const uint8_t> file, int reduction)
{
    return Decode(file, 1 << std::clamp(reduction, 1, 3), Orientation::Identity);
}

std::vector<uint8_t> EncodeJpeg(const Raster& raster, const JpegMetadata& metadata)
{
    // JPEG has no transparency: transparent parts are white.
    const bool transparent = raster.Bits() == 32 && raster.Alpha() != AlphaMode::None;
    Raster bgr = (transparent ? raster.ComposedOver(255, 255, 255) : raster).ConvertedTo(PixelFormat::Bit24);
    std::vector<uint8_t> out;
    auto e = std::make_unique<Encoder>();
    std::memset(static_cast<void*>(e.get()), 0, offsetof(Encoder, buffer));
    e->cinfo.err = &e->err.pub;
    InstallErrorManager(e->err);
    e->out = &out;
    e->metadata = &metadata;
    EncoderGuard guard{*e};
    if (CompressStage(e.get(), bgr.Bits0(), bgr.Stride(), bgr.Width(), bgr.Height()))
        ThrowJpegError(e->err);
    return out;
}

// ------------------------------------------------------- lossless transforms

namespace {

JXFORM_CODE TransformCode(Orientation orientation)
{
    switch (orientation) {
    case Orientation::Identity: return JXFORM_NONE;
    case Orientation::FlipHorizontal: return JXFORM_FLIP_H;
    case Orientation::Rotate180: return JXFORM_ROT_180;
    case Orientation::FlipVertical: return JXFORM_FLIP_V;
    case Orientation::Transpose: return JXFORM_TRANSPOSE;
    case Orientation::RotateClockwise: return JXFORM_ROT_90;
    case Orientation::Transverse: return JXFORM_TRANSVERSE;
    case Orientation::RotateCounterClockwise: return JXFORM_ROT_270;
    }
    return JXFORM_NONE;
}

// The blocks of inks stay inks: the file's profile describes them still
// (the metadata kept for pixels compressed anew keeps only RGB profiles).
void KeepInkProfile(j_decompress_ptr src, JpegMetadata& metadata)
{
    static constexpr char kIccId[] = "ICC_PROFILE";   // with its terminating zero
    const auto isIcc = [](const JpegSegment& s) {
        return s.marker == JPEG_APP0 + 2 && s.data.size() >= sizeof kIccId &&
               std::memcmp(s.data.data(), kIccId, sizeof kIccId) == 0;
    };
    if (std::ranges::any_of(metadata.segments, isIcc))
        return;
    for (jpeg_saved_marker_ptr m = src->marker_list; m; m = m->next) {
        JpegSegment segment{uint8_t(m->marker), std::vector<uint8_t>(m->data, m->data + m->data_length)};
        if (isIcc(segment))
            metadata.segments.push_back(std::move(segment));
    }
}

// Returned by the stage when the transform would have to leave blocks behind.
constexpr int kNotPerfect = -1;

// The file's compressed blocks read and written again rearranged: one error
// manager (the source's) for both sides, so either side's failure lands here.
struct Transcoder {
    Decoder source;
    Encoder target;
    jpeg_transform_info info;
};

int TransformStage(Transcoder* t)
{
    Decoder* d = &t->source;
    Encoder* e = &t->target;
    if (setjmp(d->err.jump))
        return d->err.code;
    j_decompress_ptr src = &d->cinfo;
    j_compress_ptr dst = &e->cinfo;
    if (!jtransform_request_workspace(src, &t->info))
        return kNotPerfect;
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(src);
    dst->err = src->err;
    jpeg_create_compress(dst);
    e->created = true;
    dst->progress = src->progress;   // unwanted work stops while writing too
    InstallDestination(e);
    jpeg_copy_critical_parameters(src, dst);
    // The library writes Adobe's segment with inks, which tells readers
    // their values are inverted: not for inks that were not.
    if (!src->saw_Adobe_marker)
        dst->write_Adobe_marker = FALSE;
    jvirt_barray_ptr* transformed = jtransform_adjust_parameters(src, dst, coefficients, &t->info);
    // Huffman tables made for the data, so the file does not grow; a
    // progressive file stays progressive (whose tables always are).
    if (src->progressive_mode)
        jpeg_simple_progression(dst);
    else
        dst->optimize_coding = TRUE;
    SetJfifHeader(dst, *e->metadata);
    jpeg_write_coefficients(dst, transformed);
    WriteSegments(dst, *e->metadata);
    jtransform_execute_transform(src, dst, coefficients, &t->info);
    jpeg_finish_compress(dst);
    return 0;
}

}  // namespace

std::optional<std::vector<uint8_t>> TransformJpeg(std::span<const uint8_t> file, Orientation orientation)
{
    auto t = std::make_unique<Transcoder>();
    DecoderGuard sourceGuard{t->source};
    EncoderGuard targetGuard{t->target};
    Begin(t->source, file);
    j_decompress_ptr src = &t->source.cinfo;
    LimitMemory(src);

    // Blocks can only move whole: the edge that becomes the right or bottom
    // one may end in a part of a block row or column, but no other edge.
    const JXFORM_CODE code = TransformCode(orientation);
    const int blockSide = DCTSIZE;
    const int mcuWidth = src->num_components == 1 ? blockSide : src->max_h_samp_factor * blockSide;
    const int mcuHeight = src->num_components == 1 ? blockSide : src->max_v_samp_factor * blockSide;
    if (!jtransform_perfect_transform(src->image_width, src->image_height, mcuWidth, mcuHeight, code))
        return std::nullopt;

    const bool swap = SwapsSides(orientation);
    const int width = int(swap ? src->image_height : src->image_width);
    const int height = int(swap ? src->image_width : src->image_height);
    JpegMetadata metadata =
        MetadataForNewPixels(ReadJpegMetadata(file), width, height, orientation != Orientation::Identity);
    if (Inks(src))
        KeepInkProfile(src, metadata);
    std::vector<uint8_t> out;
    t->target.out = &out;
    t->target.metadata = &metadata;
    t->info.transform = code;
    t->info.perfect = TRUE;
    if (int result = TransformStage(t.get())) {
        if (result == kNotPerfect)
            return std::nullopt;
        ThrowJpegError(t->source.err);
    }
    return out;
}
