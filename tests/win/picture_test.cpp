// Pictures on Windows: loading by extension, drawing, conversion between
// kinds and saving by extension, against real files in a temporary folder.
#include "tests/win/PictureTestSupport.h"

namespace {

using namespace picture_test;

// ------------------------------------------------------------------- tests

TEST_F(Picture, NamesAndLoadFailures)
{
    EXPECT_TRUE(IsSupportedImageFile(L"PHOTO.JPG"));
    EXPECT_TRUE(IsSupportedImageFile(L"photo.Jpeg"));
    EXPECT_TRUE(IsSupportedImageFile(L"a.b.png"));
    EXPECT_FALSE(IsSupportedImageFile(L"photo"));
    EXPECT_TRUE(IsSupportedImageFile(L"photo.TIF"));
    EXPECT_TRUE(IsSupportedImageFile(L"clip.webp"));
    EXPECT_FALSE(IsSupportedImageFile(L"photo.psd"));
    EXPECT_FALSE(IsSupportedImageFile(L"photo.jpg.txt"));

    TPicture picture;
    const std::wstring missing = Path(L"missing.jpg");
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, missing); }), L"Cannot open file " + missing);
    Write(L"photo.psd", EncodeBmp(TwoColourRaster(4, 4)));
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Path(L"photo.psd")); }),
              L"Unknown picture file extension (.psd)");
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Path(L"photo.jpg.txt")); }),
              L"Unknown picture file extension (.txt)");
    EXPECT_EQ(picture.Graphic(), nullptr);

    // A failed load keeps the previous graphic; decoders speak for themselves.
    LoadPictureFromFile(picture, Write(L"good.bmp", EncodeBmp(TwoColourRaster(6, 5))));
    ASSERT_NE(picture.Graphic(), nullptr);
    const TGraphic* before = picture.Graphic();
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Write(L"bad.bmp", {'B', 'M', 1, 2, 3})); }),
              L"Bitmap image is not valid");
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Write(L"bad.emf", {1, 0, 0, 0, 0x58})); }),
              L"Metafile is not valid");
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Write(L"bad.ico", {0, 0, 1, 0, 5})); }),
              L"Icon image is not valid");
    // Content is not sniffed: a PNG named .jpg goes to the JPEG decoder.
    const std::wstring jpegMessage =
        MessageOf([&] { LoadPictureFromFile(picture, Write(L"png.jpg", TransparentPng(4, 4))); });
    EXPECT_EQ(jpegMessage.rfind(L"JPEG error #", 0), 0u) << Narrow(jpegMessage);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 6);
    EXPECT_EQ(picture.Height(), 5);
}

TEST_F(Picture, LoadsEveryKindWithItsNaturalSize)
{
    const ScreenFacts s = Facts();
    struct Case {
        std::wstring name;
        std::vector<uint8_t> bytes;
        GraphicKind kind;
        int width, height;
    };
    const int iconSize = GetSystemMetrics(SM_CXICON);
    const std::vector<Case> cases = {
        {L"a.BMP", EncodeBmp(TwoColourRaster(30, 20)), GraphicKind::Raster, 30, 20},
        {L"b.jpeg", EncodeJpeg(TwoColourRaster(33, 17)), GraphicKind::Jpeg, 33, 17},
        {L"c.Jpg", EncodeJpeg(TwoColourRaster(8, 9)), GraphicKind::Jpeg, 8, 9},
        {L"d.png", TransparentPng(21, 11), GraphicKind::Png, 21, 11},
        {L"e.ico", IconFile({{16, 32}, {iconSize, 32}, {48, 32}}), GraphicKind::Icon, iconSize, iconSize},
        {L"f.emf", RecordedEmf(100, 50), GraphicKind::Metafile, 100, 50},
        {L"g.wmf", HandMadeWmf(192, 96), GraphicKind::Metafile, MulDiv(192, s.logX, 96), MulDiv(96, s.logY, 96)},
        // Metafiles are told apart by content, whatever the extension says.
        {L"h.wmf", RecordedEmf(40, 30), GraphicKind::Metafile, 40, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        TPicture picture = Load(c.name, c.bytes);
        ASSERT_NE(picture.Graphic(), nullptr);
        EXPECT_EQ(picture.Graphic()->Kind(), c.kind);
        EXPECT_FALSE(picture.Graphic()->Empty());
        EXPECT_EQ(picture.Width(), c.width);
        EXPECT_EQ(picture.Height(), c.height);
    }
}

TEST_F(Picture, RastersDrawStretchedWithoutAveraging)
{
    // 2 × 2 pixels in four colours, drawn into 6 × 4: every pixel of the
    // target is one of the four, never a mixture.
    Raster r(2, 2, PixelFormat::Bit24);
    const Bgra colours[4] = {kRed, kGreen, kBlue, 0xFF808000};
    for (int i = 0; i < 4; ++i) {
        uint8_t* p = r.MutableRow(i / 2) + 3 * (i % 2);
        p[0] = uint8_t(colours[i]);
        p[1] = uint8_t(colours[i] >> 8);
        p[2] = uint8_t(colours[i] >> 16);
    }
    Surface surface(8, 6, kWhite);
    TBitmapGraphic(r).Draw(surface.Dc(), RECT{1, 1, 7, 5});
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 7; ++x)
            EXPECT_TRUE(Near(surface.At(x, y), colours[(y - 1) / 2 * 2 + (x - 1) / 3])) << x << "," << y << " got " << std::hex << surface.At(x, y) << " bits " << std::dec << ScreenBitsPerPixel();
    EXPECT_TRUE(Near(surface.At(0, 0), kWhite));
    EXPECT_TRUE(Near(surface.At(7, 5), kWhite));

    // Indexed rasters draw through their palette, 15 and 16 bits through
    // their bit masks.
    Raster indexed(4, 1, PixelFormat::Bit8);
    indexed.SetPalette({{0, 0, 255, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}});
    uint8_t* row = indexed.MutableRow(0);
    row[0] = 0, row[1] = 1, row[2] = 2, row[3] = 0;
    Raster bits16(2, 1, PixelFormat::Bit16);
    PutU16Row(bits16, {0xF800, 0x07E0});
    Raster bits15(2, 1, PixelFormat::Bit15);
    PutU16Row(bits15, {0x7C00, 0x001F});

    Surface s2(4, 3, kWhite);
    DrawRaster(s2.Dc(), RECT{0, 0, 4, 1}, indexed);
    DrawRaster(s2.Dc(), RECT{0, 1, 2, 2}, bits16);
    DrawRaster(s2.Dc(), RECT{0, 2, 2, 3}, bits15);
    EXPECT_TRUE(Near(s2.At(0, 0), kRed));
    EXPECT_TRUE(Near(s2.At(1, 0), kBlue));
    EXPECT_TRUE(Near(s2.At(2, 0), kGreen));
    EXPECT_TRUE(Near(s2.At(0, 1), kRed));
    EXPECT_TRUE(Near(s2.At(1, 1), kGreen));
    EXPECT_TRUE(Near(s2.At(0, 2), kRed));
    EXPECT_TRUE(Near(s2.At(1, 2), kBlue));
}

TEST_F(Picture, PngBlendsOverTheSurfaceAndIconsDrawAtNaturalSize)
{
    TPicture png = Load(L"t.png", TransparentPng(8, 4, true));
    Surface surface(16, 8, kBlue);
    png.Graphic()->Draw(surface.Dc(), RECT{0, 0, 16, 8});   // stretched twice
    EXPECT_TRUE(Near(surface.At(0, 0), kBlue));
    EXPECT_TRUE(Near(surface.At(5, 7), kBlue));
    EXPECT_TRUE(Near(surface.At(8, 0), kGreen));
    EXPECT_TRUE(Near(surface.At(15, 7), kGreen));
    EXPECT_TRUE(Near(surface.At(6, 3), 0xFF00807F, 2));    // half green over blue
    // Drawn again from the kept premultiplied copy, into another place.
    png.Graphic()->Draw(surface.Dc(), RECT{0, 0, 8, 4});
    EXPECT_TRUE(Near(surface.At(5, 2), kGreen));

    // A directory entry may say another size than its image has: the image's
    // own size is the one drawn and reported.
    for (auto [bitsEntry, said] : {std::pair{32, 32}, {24, 32}, {32, 24}, {24, 48}}) {
        SCOPED_TRACE(std::to_string(bitsEntry) + " bits, entry says " + std::to_string(said));
        std::vector<uint8_t> file = IconFile({{32, bitsEntry}});
        file[6] = file[7] = uint8_t(said);
        TPicture one = Load(L"one.ico", file);
        EXPECT_EQ(one.Width(), 32);
        EXPECT_EQ(one.Height(), 32);
        Surface s(64, 64, kBlue);
        one.Graphic()->Draw(s.Dc(), RECT{4, 4, 60, 60});      // not stretched
        EXPECT_TRUE(Near(s.At(4, 4), kRed));
        EXPECT_TRUE(Near(s.At(35, 19), kRed));
        EXPECT_TRUE(Near(s.At(36, 19), kBlue));
        EXPECT_TRUE(Near(s.At(10, 25), kBlue));                 // under the mask
        EXPECT_TRUE(Near(s.At(50, 50), kBlue));
    }
}

TEST_F(Picture, ConversionToRasterPutsTransparencyOnWhite)
{
    // PNG alpha.
    Raster fromPng = AsRaster(Load(L"t.png", TransparentPng(10, 4, true)));
    EXPECT_TRUE(Near(RasterAt(fromPng, 0, 0), kWhite));
    EXPECT_TRUE(Near(RasterAt(fromPng, 4, 3), 0xFF7FFF7F, 2));   // half green over white
    EXPECT_TRUE(Near(RasterAt(fromPng, 9, 3), kGreen));

    // Icon masks and alpha, 24-bit and 32-bit entries.
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        TPicture icon = Load(L"m.ico", IconFile({{32, bits}}));
        Raster r = AsRaster(icon);
        ASSERT_EQ(r.Width(), 32);
        EXPECT_TRUE(Near(RasterAt(r, 0, 0), kRed));
        EXPECT_TRUE(Near(RasterAt(r, 31, 15), kRed));
        EXPECT_TRUE(Near(RasterAt(r, 0, 16), kWhite));
        EXPECT_TRUE(Near(RasterAt(r, 31, 31), kWhite));
    }

    // Metafiles: the undrawn part is white.
    for (auto [name, bytes] : std::vector<std::pair<std::wstring, std::vector<uint8_t>>>{
             {L"r.emf", RecordedEmf(100, 50)}, {L"r.wmf", HandMadeWmf(96, 48)}}) {
        SCOPED_TRACE(Narrow(name));
        TPicture meta = Load(name, bytes);
        Raster r = AsRaster(meta);
        ASSERT_EQ(r.Width(), meta.Width());
        EXPECT_TRUE(Near(RasterAt(r, 2, 2), kRed));
        EXPECT_TRUE(Near(RasterAt(r, r.Width() / 2 - 3, r.Height() - 3), kRed));
        EXPECT_TRUE(Near(RasterAt(r, r.Width() / 2 + 3, 2), kWhite));
        EXPECT_TRUE(Near(RasterAt(r, r.Width() - 1, r.Height() - 1), kWhite));
    }

    // A JPEG gives its decoded pixels, shared rather than copied.
    TPicture jpeg = Load(L"j.jpg", EncodeJpeg(TwoColourRaster(16, 8)));
    const Raster decoded = jpeg.Graphic()->Pixels();
    ConvertPictureToBitmap(jpeg);
    EXPECT_TRUE(jpeg.Graphic()->Pixels().SharesPixelsWith(decoded));
    EXPECT_TRUE(Near(RasterAt(decoded, 1, 1), kRed, 8));
}

TEST_F(Picture, DirectAssignmentsAndTheirRefusals)
{
    TPicture icon = Load(L"i.ico", IconFile({{32, 32}}));
    TJpegImage jpeg;
    EXPECT_EQ(MessageOf([&] { jpeg.Assign(*icon.Graphic()); }), L"Cannot assign a TIcon to a TJPEGImage");
    TPngImage png;
    TPicture meta = Load(L"m.emf", RecordedEmf(20, 20));
    EXPECT_EQ(MessageOf([&] { png.Assign(*meta.Graphic()); }), L"Cannot assign a TMetafile to a TPNGObject");
    TBitmapGraphic bitmap;
    try {
        bitmap.Assign(*icon.Graphic());
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.Message(), L"Cannot assign a TIcon to a TBitmap");
    }
    TMetafileGraphic metafile;
    EXPECT_EQ(MessageOf([&] { metafile.Assign(bitmap); }), L"Cannot assign a TBitmap to a TMetafile");
    TIconGraphic iconGraphic;
    EXPECT_EQ(MessageOf([&] { iconGraphic.Assign(jpeg); }), L"Cannot assign a TJPEGImage to a TIcon");

    // Copies share pixel data.
    TBitmapGraphic source(TwoColourRaster(8, 8));
    TPicture picture;
    picture.SetGraphic(&source);
    EXPECT_NE(picture.Graphic(), &source);
    EXPECT_TRUE(picture.Graphic()->Pixels().SharesPixelsWith(source.GetRaster()));
    jpeg.Assign(source);
    EXPECT_EQ(jpeg.Width(), 8);
    EXPECT_TRUE(jpeg.Pixels().SharesPixelsWith(source.GetRaster()));
}

TEST_F(Picture, ConvertPictureRetriesThroughARaster)
{
    const std::vector<std::pair<std::wstring, std::vector<uint8_t>>> sources = {
        {L"s.png", TransparentPng(12, 6)}, {L"s.ico", IconFile({{32, 32}})},
        {L"s.emf", RecordedEmf(30, 20)},   {L"s.jpg", EncodeJpeg(TwoColourRaster(12, 6))},
        {L"s.bmp", EncodeBmp(TwoColourRaster(12, 6))}};
    for (const auto& [name, bytes] : sources) {
        for (GraphicKind target : {GraphicKind::Raster, GraphicKind::Jpeg, GraphicKind::Png, GraphicKind::Metafile}) {
            SCOPED_TRACE(Narrow(name) + " to " + std::to_string(int(target)));
            TPicture picture = Load(name, bytes);
            const int width = picture.Width(), height = picture.Height();
            ConvertPicture(picture, target);
            ASSERT_NE(picture.Graphic(), nullptr);
            EXPECT_EQ(picture.Graphic()->Kind(), target);
            if (target != GraphicKind::Metafile) {
                EXPECT_EQ(picture.Width(), width);
                EXPECT_EQ(picture.Height(), height);
            }
        }
    }
    // A raster that cannot become an icon fails with the conversion error.
    TBitmapGraphic raster(TwoColourRaster(4, 4));
    TPicture picture;
    picture.SetGraphic(&raster);
    EXPECT_EQ(MessageOf([&] { ConvertPicture(picture, GraphicKind::Icon); }), L"Cannot assign a TBitmap to a TIcon");
}

TEST_F(Picture, EveryKindRecordsIntoAScreenSizedMetafile)
{
    const ScreenFacts s = Facts();
    struct Case {
        std::wstring name;
        std::vector<uint8_t> bytes;
        Bgra topLeft, inside;   // at (1, 1) and (10, 4)
        int tolerance;
    };
    const std::vector<Case> cases = {
        {L"k.png", TransparentPng(12, 6), kWhite, kGreen, 0},
        {L"k.ico", IconFile({{32, 32}}), kRed, kRed, 0},
        {L"k.jpg", EncodeJpeg(TwoColourRaster(12, 6)), kRed, kBlue, 40},
        {L"k.bmp", EncodeBmp(TwoColourRaster(12, 6)), kRed, kBlue, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        TPicture picture = Load(c.name, c.bytes);
        const int width = picture.Width();
        ConvertPictureToMetafile(picture);
        ASSERT_EQ(picture.Graphic()->Kind(), GraphicKind::Metafile);
        EXPECT_EQ(picture.Width(), s.horzRes);
        EXPECT_EQ(picture.Height(), s.vertRes);
        Raster r = AsRaster(picture);
        ASSERT_EQ(r.Width(), s.horzRes);
        EXPECT_TRUE(Near(RasterAt(r, 1, 1), c.topLeft, c.tolerance));
        EXPECT_TRUE(Near(RasterAt(r, 10, 4), c.inside, c.tolerance));
        EXPECT_TRUE(Near(RasterAt(r, width + 2, 2), kWhite));
    }
}

TEST_F(Picture, RasterSavedAsEmfHasTheScreenFrameAndTheImageTopLeft)
{
    const ScreenFacts s = Facts();
    TBitmapGraphic raster(TwoColourRaster(40, 20));
    SaveGraphicToFile(raster, Path(L"out.emf"));
    EXPECT_EQ(raster.Kind(), GraphicKind::Raster);

    std::vector<uint8_t> bytes = Read(L"out.emf");
    ASSERT_GE(bytes.size(), sizeof(ENHMETAHEADER));
    EXPECT_NO_THROW(CheckEnhancedMetafile(bytes));
    ENHMETAHEADER header;
    memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.rclFrame.left, 0);
    EXPECT_EQ(header.rclFrame.top, 0);
    EXPECT_EQ(header.rclFrame.right, s.horzSize * 100);
    EXPECT_EQ(header.rclFrame.bottom, s.vertSize * 100);

    TPicture loaded;
    LoadPictureFromFile(loaded, Path(L"out.emf"));
    EXPECT_EQ(loaded.Width(), s.horzRes);
    EXPECT_EQ(loaded.Height(), s.vertRes);
    Raster r = AsRaster(loaded);
    ASSERT_EQ(r.Width(), s.horzRes);
    ASSERT_EQ(r.Height(), s.vertRes);
    EXPECT_TRUE(Near(RasterAt(r, 0, 0), kRed));
    EXPECT_TRUE(Near(RasterAt(r, 19, 19), kRed));
    EXPECT_TRUE(Near(RasterAt(r, 20, 0), kBlue));
    EXPECT_TRUE(Near(RasterAt(r, 39, 19), kBlue));
    EXPECT_TRUE(Near(RasterAt(r, 41, 5), kWhite));
    EXPECT_TRUE(Near(RasterAt(r, 5, 21), kWhite));
    EXPECT_TRUE(Near(RasterAt(r, s.horzRes - 1, s.vertRes - 1), kWhite));
}

TEST_F(Picture, MetafilesSaveAsEitherFormat)
{
    TPicture emf = Load(L"in.emf", RecordedEmf(100, 50));
    SaveGraphicToFile(*emf.Graphic(), Path(L"out.WMF"));
    std::vector<uint8_t> wmf = Read(L"out.WMF");
    ASSERT_GE(wmf.size(), 22u);
    EXPECT_EQ(DetectMetafile(wmf), MetafileType::Placeable);
    const PlaceableHeader box = CheckPlaceableMetafile(wmf);
    EXPECT_EQ(box.right - box.left, 100);
    EXPECT_EQ(box.bottom - box.top, 50);
    EXPECT_EQ(box.inch, 96);

    // Read back, it is the same picture.
    TPicture again;
    LoadPictureFromFile(again, Path(L"out.WMF"));
    const ScreenFacts s = Facts();
    EXPECT_EQ(again.Width(), MulDiv(100, s.logX, 96));
    Raster r = AsRaster(again);
    ASSERT_GE(r.Width(), 20);
    ASSERT_GE(r.Height(), 20);
    EXPECT_TRUE(Near(RasterAt(r, 10, 10), kRed));
    EXPECT_TRUE(Near(RasterAt(r, r.Width() - 10, 10), kWhite));

    // A metafile loaded from a .wmf keeps its placeable box; ".emf" always
    // writes an enhanced metafile.
    TPicture fromWmf = Load(L"hand.wmf", HandMadeWmf(150, 75));
    SaveGraphicToFile(*fromWmf.Graphic(), Path(L"copy.wmf"));
    const PlaceableHeader kept = CheckPlaceableMetafile(Read(L"copy.wmf"));
    EXPECT_EQ(kept.right, 150);
    EXPECT_EQ(kept.bottom, 75);
    EXPECT_EQ(kept.inch, 96);
    SaveGraphicToFile(*fromWmf.Graphic(), Path(L"copy.emf"));
    EXPECT_EQ(DetectMetafile(Read(L"copy.emf")), MetafileType::Enhanced);
}

TEST_F(Picture, JpegSavesUnchangedBytesOrRecompresses)
{
    const std::vector<uint8_t> original = EncodeJpeg(TwoColourRaster(24, 16));
    TPicture jpeg = Load(L"photo.jpeg", original);
    (void)jpeg.Graphic()->Pixels();   // decoding does not count as a change
    SaveGraphicToFile(*jpeg.Graphic(), Path(L"copy.JPG"));
    EXPECT_EQ(Read(L"copy.JPG"), original);

    // A JPEG image assigned from a raster is compressed when saved.
    TJpegImage changed;
    changed.Assign(TBitmapGraphic(TwoColourRaster(10, 6)));
    SaveGraphicToFile(changed, Path(L"changed.jpg"));
    const Raster back = DecodeJpeg(Read(L"changed.jpg"));
    EXPECT_EQ(back.Width(), 10);
    EXPECT_TRUE(Near(RasterAt(back, 0, 0), kRed, 40));
    EXPECT_TRUE(Near(RasterAt(back, 9, 5), kBlue, 40));

    // Transparent PNG areas become white in a JPEG.
    TPicture png = Load(L"t.png", TransparentPng(16, 8));
    SaveGraphicToFile(*png.Graphic(), Path(L"t.jpg"));
    EXPECT_EQ(png.Graphic()->Kind(), GraphicKind::Png);   // the caller's graphic is untouched
    const Raster fromPng = DecodeJpeg(Read(L"t.jpg"));
    EXPECT_TRUE(Near(RasterAt(fromPng, 1, 1), kWhite, 6));
    EXPECT_TRUE(Near(RasterAt(fromPng, 14, 6), kGreen, 6));
}

TEST_F(Picture, SaveChoosesTheFormatByExtension)
{
    TBitmapGraphic raster(TwoColourRaster(12, 8));
    const auto before = Names();
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, Path(L"x.ICO")); }), L"Saving as an Icon is not supported");
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, Path(L"x.gif")); }), L"Saving as a GIF image is not supported");
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, Path(L"x.avif")); }),
              L"Saving as an AVIF image is not supported");
    EXPECT_EQ(Names(), before);

    for (const std::wstring name : {L"x.xyz", L"x", L"x.bmp"}) {
        SCOPED_TRACE(Narrow(name));
        SaveGraphicToFile(raster, Path(name));
        std::vector<uint8_t> bytes = Read(name);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        const Raster back = DecodeBmp(bytes);
        EXPECT_EQ(back.Width(), 12);
        EXPECT_TRUE(Near(RasterAt(back, 11, 7), kBlue));
    }

    SaveGraphicToFile(raster, Path(L"x.Png"));
    const PngImage png = DecodePng(Read(L"x.Png"));
    EXPECT_EQ(png.width, 12u);
    EXPECT_EQ(png.colorType, 2);

    // An icon saved as PNG goes through a raster on white.
    TPicture icon = Load(L"i.ico", IconFile({{32, 32}}));
    SaveGraphicToFile(*icon.Graphic(), Path(L"icon.png"));
    const Raster iconPixels = PngToRaster(DecodePng(Read(L"icon.png")));
    EXPECT_TRUE(Near(RasterAt(iconPixels, 0, 0), kRed));
    EXPECT_TRUE(Near(RasterAt(iconPixels, 0, 31), kWhite));

    // A PNG saved as PNG keeps its colour type and transparency, and its
    // interlacing; a raster saved as PNG is not interlaced.
    TPicture transparent = Load(L"t.png", TransparentPng(6, 2));
    SaveGraphicToFile(*transparent.Graphic(), Path(L"t2.png"));
    EXPECT_EQ(DecodePng(Read(L"t2.png")).colorType, 6);
    EXPECT_FALSE(DecodePng(Read(L"t2.png")).interlaced);
    PngImage interlaced = DecodePng(TransparentPng(9, 7));
    interlaced.interlaced = true;
    TPicture loadedInterlaced = Load(L"i.png", EncodePng(interlaced));
    SaveGraphicToFile(*loadedInterlaced.Graphic(), Path(L"i2.png"));
    const std::vector<uint8_t> written = Read(L"i2.png");
    ASSERT_GT(written.size(), 28u);
    EXPECT_EQ(written[28], 1) << "the header's interlace method";
    EXPECT_EQ(DecodePng(written).rows, interlaced.rows);

    // Nothing but the files asked for is left in the folder.
    for (const std::wstring& name : Names())
        EXPECT_EQ(name.find(L".tmp"), std::wstring::npos) << Narrow(name);
}

TEST_F(Picture, FailedSavesLeaveTheExistingFileIntact)
{
    TBitmapGraphic raster(TwoColourRaster(12, 8));
    const std::wstring missingFolder = Path(L"no such folder\\x.bmp");
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, missingFolder); }), L"Cannot create file " + missingFolder);

    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    const std::wstring locked = Write(L"locked.bmp", old);
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, locked); }), L"Cannot create file " + locked);
    EXPECT_EQ(Read(L"locked.bmp"), old);

    // A conversion that fails writes nothing either.
    Write(L"empty.jpg", old);
    TJpegImage empty;
    EXPECT_NE(MessageOf([&] { SaveGraphicToFile(empty, Path(L"empty.jpg")); }), L"(no failure)");
    EXPECT_EQ(Read(L"empty.jpg"), old);

    // A successful save replaces the file.
    Write(L"replace.bmp", old);
    SaveGraphicToFile(raster, Path(L"replace.bmp"));
    EXPECT_EQ(DecodeBmp(Read(L"replace.bmp")).Width(), 12);

    const auto names = Names();
    EXPECT_EQ(names.size(), 3u);
    for (const std::wstring& name : names)
        EXPECT_EQ(name.find(L".tmp"), std::wstring::npos) << Narrow(name);
}

TEST_F(Picture, OnlyAWholeNewFileReplacesTheOldOneAtAnyPathLength)
{
    TBitmapGraphic raster(TwoColourRaster(12, 8));
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    const size_t whole = raster.SaveToBytes(L".bmp").size();
    // The disk full before the first byte, after some, or before the last:
    // the old file keeps its bytes and no temporary file is left. The whole
    // file written, the save goes through.
    for (size_t limit : {size_t(0), size_t(100), whole - 1, whole}) {
        SCOPED_TRACE(limit);
        Write(L"old.bmp", old);
        SaveWriteLimit() = limit;
        const std::wstring message = MessageOf([&] { SaveGraphicToFile(raster, Path(L"old.bmp")); });
        SaveWriteLimit().reset();
        EXPECT_EQ(message, limit < whole ? L"Stream write error" : L"(no failure)");
        EXPECT_EQ(Read(L"old.bmp").size(), limit < whole ? old.size() : whole);
        EXPECT_EQ(Names(), std::vector<std::wstring>{L"old.bmp"});
    }
    DeleteFileW(Path(L"old.bmp").c_str());

    // Files whose own path is valid never fail for the temporary file's
    // name: a path one short of the length limit, and a name of the longest
    // length a name can have.
    const size_t room = MAX_PATH - 1 - Path(L"").size();
    ASSERT_LT(room, 250u);
    for (size_t length : {room, size_t(255)}) {
        SCOPED_TRACE(length);
        const std::wstring name = std::wstring(length - 4, L'n') + L".bmp";
        Write(name, old);
        EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(raster, Path(name)); }), L"(no failure)");
        EXPECT_EQ(Read(name).size(), whole);
        EXPECT_EQ(Names(), std::vector<std::wstring>{name});
        DeleteFileW(Path(name).c_str());
    }
}

TEST_F(Picture, SampleFilesLoadAndConvert)
{
    const std::wstring data = Widen(PIXAVO_TEST_DATA);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((data + L"/sample*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int loaded = 0;
    do {
        const std::wstring name = found.cFileName;
        if (!IsSupportedImageFile(name))
            continue;
        SCOPED_TRACE(Narrow(name));
        TPicture picture;
        LoadPictureFromFile(picture, data + L"/" + name);
        Raster r = AsRaster(picture);
        ASSERT_FALSE(r.Empty());
        ++loaded;
        // The bitmap samples have a red top-left and a blue bottom-right corner.
        if (picture.Graphic()->Kind() == GraphicKind::Raster) {
            EXPECT_TRUE(Near(RasterAt(r, 0, 0), kRed));
            EXPECT_TRUE(Near(RasterAt(r, r.Width() - 1, r.Height() - 1), kBlue));
        }
        // The icon's corners are transparent: white once converted.
        if (picture.Graphic()->Kind() == GraphicKind::Icon) {
            EXPECT_TRUE(Near(RasterAt(r, 0, 0), kWhite));
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_GT(loaded, 0);
}

// The icon entry chosen for drawing is the one the system itself would pick
// from a resource directory of the same entries.
TEST(IconEntryChoice, MatchesTheSystemsChoice)
{
    const std::vector<std::vector<std::pair<int, int>>> sets = {
        {{16, 4}, {32, 4}, {48, 8}},
        {{16, 32}, {32, 8}, {32, 32}, {32, 24}},
        {{24, 32}, {48, 32}},
        {{256, 32}, {64, 32}},
        {{32, 1}, {32, 4}, {32, 8}},
        {{48, 8}, {48, 32}, {16, 32}},
        {{28, 32}, {36, 32}},
        {{20, 4}, {40, 24}, {40, 32}, {24, 8}},
    };
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    for (size_t s = 0; s < sets.size(); ++s) {
        SCOPED_TRACE(s);
        IconDirectory dir;
        ByteWriter group;
        group.U16(0).U16(1).U16(uint32_t(sets[s].size()));
        for (size_t i = 0; i < sets[s].size(); ++i) {
            const auto [size, bits] = sets[s][i];
            IconEntry e;
            e.width = e.height = size;
            e.bitCount = bits;
            dir.entries.push_back(e);
            // GRPICONDIRENTRY: width, height, colours, reserved, planes, bit count, bytes, id.
            group.U8(uint32_t(size & 0xFF)).U8(uint32_t(size & 0xFF)).U8(bits < 8 ? 1u << bits : 0u).U8(0);
            group.U16(1).U16(uint32_t(bits)).U32(1000).U16(uint32_t(i + 1));
        }
        const int systemId =
            LookupIconIdFromDirectoryEx(group.bytes.data(), TRUE, cx, cy, LR_DEFAULTCOLOR);
        EXPECT_EQ(int(PickIconEntry(dir, cx, cy, ScreenBitsPerPixel())) + 1, systemId);
    }
}

} // namespace
