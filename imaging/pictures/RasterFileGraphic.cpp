#include "imaging/pictures/RasterFileGraphic.h"

#include <wincodec.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/Failure.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pictures/PictureSaves.h"

namespace {

// Larger profiles are no picture's: such a profile is left out.
constexpr UINT kMaxProfileBytes = 16u << 20;

// A COM interface pointer, released with the object.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef()
    {
        if (p_)
            p_->Release();
    }
    T** Out() { return &p_; }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM for the calling thread (the reading-ahead worker has none of its own)
// while the object lives.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

[[noreturn]] void NotValid(RasterFileType type)
{
    throw Failure(std::wstring(RasterFileTypeName(type)) + L" image is not valid");
}

// A PROPVARIANT cleared with the object.
struct Property {
    PROPVARIANT value;
    Property() { PropVariantInit(&value); }
    ~Property() { PropVariantClear(&value); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;
};

// The orientation the frame's metadata gives (numbered as Exif numbers it);
// none when it gives none the system can read.
std::optional<int> FrameOrientation(IWICBitmapFrameDecode& frame)
{
    ComRef<IWICMetadataQueryReader> reader;
    if (FAILED(frame.GetMetadataQueryReader(reader.Out())))
        return std::nullopt;
    // The photo policy name first; the Exif tag where a decoder knows only
    // its container's own paths.
    for (const wchar_t* query : {L"System.Photo.Orientation", L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}"}) {
        Property property;
        if (FAILED(reader->GetMetadataByName(query, &property.value)))
            continue;
        int orientation = 0;
        if (property.value.vt == VT_UI2)
            orientation = property.value.uiVal;
        else if (property.value.vt == VT_UI4)
            orientation = int(std::min<ULONG>(property.value.ulVal, 9));
        if (orientation >= 1 && orientation <= 8)
            return orientation;
    }
    return std::nullopt;
}

// The frame's first ICC colour profile; empty when it has none.
std::vector<uint8_t> FrameProfile(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame)
{
    // Few files carry more than one; the first is the picture's own.
    constexpr UINT kMaxContexts = 8;
    UINT count = 0;
    if (FAILED(frame.GetColorContexts(0, nullptr, &count)) || count == 0)
        return {};
    count = std::min(count, kMaxContexts);
    ComRef<IWICColorContext> contexts[kMaxContexts];
    IWICColorContext* list[kMaxContexts] = {};
    for (UINT i = 0; i < count; ++i) {
        if (FAILED(factory.CreateColorContext(contexts[i].Out())))
            return {};
        list[i] = contexts[i].Get();
    }
    UINT actual = 0;
    if (FAILED(frame.GetColorContexts(count, list, &actual)))
        return {};
    for (UINT i = 0; i < std::min(count, actual); ++i) {
        WICColorContextType kind{};
        UINT size = 0;
        if (FAILED(list[i]->GetType(&kind)) || kind != WICColorContextProfile ||
            FAILED(list[i]->GetProfileBytes(0, nullptr, &size)) || size == 0 || size > kMaxProfileBytes)
            continue;
        std::vector<uint8_t> icc(size);
        if (SUCCEEDED(list[i]->GetProfileBytes(size, icc.data(), &size)) && size == icc.size())
            return icc;
    }
    return {};
}

} // namespace

DecodedImage DecodeWithSystem(std::span<const uint8_t> file, RasterFileType type)
{
    ComScope com;
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Out()))))
        ThrowNoSystemDecoder(type);
    ComRef<IWICStream> stream;
    if (file.size() > MAXDWORD || FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()), DWORD(file.size()))))
        throw Failure(L"Out of memory");
    ComRef<IWICBitmapDecoder> decoder;
    const HRESULT found =
        factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out());
    if (found == WINCODEC_ERR_COMPONENTNOTFOUND)
        ThrowNoSystemDecoder(type);
    ComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(found) || FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetSize(&width, &height)) ||
        width == 0 || height == 0)
        NotValid(type);
    if (!DecodeLimits::Allows(width, height))
        throw Failure(L"Out of memory");
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        NotValid(type);
    Raster pixels(int(width), int(height), PixelFormat::Bit32, Raster::Unfilled{});
    pixels.SetAlpha(AlphaMode::Straight);
    const size_t size = pixels.Stride() * height;
    if (size > UINT_MAX ||
        FAILED(converter->CopyPixels(nullptr, UINT(pixels.Stride()), UINT(size), pixels.MutableRow(0))))
        NotValid(type);
    // The pixels as stored: they are turned as the orientation says, and
    // shown in the profile's colours, as every other format's are.
    DecodedImage image;
    image.pixels = std::move(pixels);
    image.metadata.orientation = FrameOrientation(*frame.Get());
    image.metadata.icc = FrameProfile(*factory.Get(), *frame.Get());
    return image;
}

void SaveAsRasterFile(const TGraphic& graphic, RasterFileType type, const std::wstring& fileName)
{
    const auto colour = graphic.Colour();
    const std::vector<uint8_t> none;
    const std::vector<uint8_t> bytes =
        EncodeRecordedPicture(type, graphic.Record().get(), colour ? colour->icc : none, [&] {
            Raster pixels = graphic.Pixels();
            return pixels.Empty() ? DrawOnWhite(graphic, graphic.Width(), graphic.Height()) : pixels;
        });
    WriteFileReplacing(fileName, bytes);
}
