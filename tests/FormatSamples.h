// Sample files of the newer formats written by the libraries themselves,
// shared by the portable and the Windows tests.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <vector>

namespace format_samples {

inline int Collect(GifFileType* gif, const GifByteType* data, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// Two frames on an 8 × 6 screen: all red (index 0), then a 4 × 2 blue
// square at (2, 2) with index 2 transparent in its top row, shown three
// times (loop count 2); the first frame's delay is 0 (shown 100 ms).
inline std::vector<uint8_t> TwoFrameGif()
{
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Collect, &error);
    GifColorType colours[4] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, 8, 6, 2, 0, map);
    const GifByteType loop[] = {1, 2, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
    auto control = [&](int delay, int transparent) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, delay, transparent};
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
    };
    control(0, NO_TRANSPARENT_COLOR);
    EGifPutImageDesc(gif, 0, 0, 8, 6, false, nullptr);
    GifPixelType row[8] = {};
    for (int y = 0; y < 6; ++y)
        EGifPutLine(gif, row, 8);
    control(20, 2);
    EGifPutImageDesc(gif, 2, 2, 4, 2, false, nullptr);
    GifPixelType top[4] = {1, 2, 2, 1}, bottom[4] = {1, 1, 1, 1};
    EGifPutLine(gif, top, 4);
    EGifPutLine(gif, bottom, 4);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

} // namespace format_samples
