#include "imaging/RasterFileGraphic.h"

#include <wincodec.h>

#include <utility>

#include "base/Failure.h"
#include "imaging/FileBytes.h"
#include "imaging/GdiDrawing.h"
#include "imaging/PictureSaves.h"

namespace {

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

} // namespace

Raster DecodeWithSystem(std::span<const uint8_t> file, RasterFileType type)
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
    return pixels;
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
