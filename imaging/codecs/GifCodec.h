// GIF through giflib: a picture of one or more frames, composed on a
// transparent canvas as browsers compose them.
#pragma once

#include <memory>

#include "imaging/codecs/Animation.h"

// Reads the file's structure (frames, their placement, delays and disposal,
// the NETSCAPE2.0 loop count, an ICC profile from an ICCRGBG1012 block)
// without decoding pixels; the frames come from Next. A file cut short keeps
// its whole frames; one without any fails with Failure("GIF image is not
// valid: ..."). The canvas is the logical screen, enlarged to hold the first
// frame when that reaches past it. Fails as DecodeLimits and AnimationLimits
// say. Throws WorkCancelled when cancelled: the scan looks before each
// record, a frame before each row.
//
// Frames: pixels of the transparent colour and indices past the colour table
// leave the canvas as it is; disposal "to background" clears the frame's
// rectangle to transparent and "to previous" puts back what it covered. A
// frame whose compressed data is damaged keeps the rows read before the
// damage. A frame whose LZW minimum code size is 9 to 11 bits (which giflib
// refuses) is decoded here; one whose codes would pass 12 bits fails. A loop count n in the file means the animation is shown n + 1
// times (0: without end); without one it is shown once.
std::unique_ptr<AnimationDecoder> OpenGif(SharedBytes file);
