// Playing an animated picture (GIF, WebP): its frames one after the other,
// each for its own time, as often as the file asks.
#pragma once

#include <memory>

#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pictures/PictureUtilUnit.h"

class TAnimationPlayer {
public:
    // A player of the picture's animation, at its first frame (the one the
    // picture shows, which playing goes on from rather than decoding it
    // again, unless the picture was edited); null when the picture has no
    // more than one frame. Nothing is decoded before the first step.
    static std::unique_ptr<TAnimationPlayer> For(const TPicture& picture);
    // Its frames are in the colours of the file's profile (colour), edited
    // as the record says (turned, flipped, resized as the picture was).
    TAnimationPlayer(std::shared_ptr<const PictureRecord> record, Raster firstFrame,
                     std::shared_ptr<const ColourProfile> colour);

    // How long the frame shown stays, in ms.
    int DelayMs() const { return delayMs_; }
    // Moves to the next frame; false (and the frame shown stays) once the
    // loops the file asks for are done or the next frame cannot be decoded.
    bool Advance();
    // The frame moved to, as a still picture of its own: the composed
    // canvas, shared with the decoder until it makes the next frame.
    std::unique_ptr<TGraphic> Frame() const;

private:
    std::shared_ptr<const PictureRecord> record_;
    std::shared_ptr<const ColourProfile> colour_;   // the file's, for every frame
    std::unique_ptr<AnimationDecoder> decoder_;   // opened at the first step
    Raster frame_;   // the first frame until the first step
    int delayMs_ = 100;
    int loopsDone_ = 0;
};
