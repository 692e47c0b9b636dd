#include "app/AnimationPlayer.h"

#include "base/Failure.h"
#include "imaging/BitmapGraphic.h"

std::unique_ptr<TAnimationPlayer> TAnimationPlayer::For(const TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    auto source = std::dynamic_pointer_cast<const RasterFileSource>(graphic ? graphic->Display() : nullptr);
    if (!source || !source->File().animation)
        return nullptr;
    return std::make_unique<TAnimationPlayer>(source->File(), source->Pixels(), source->Colour());
}

TAnimationPlayer::TAnimationPlayer(const RasterFile& file, Raster firstFrame,
                                   std::shared_ptr<const ColourProfile> colour)
    : type_(file.type), file_(file.animation), colour_(std::move(colour)), frame_(std::move(firstFrame)),
      delayMs_(file.firstDelayMs)
{
}

bool TAnimationPlayer::Advance()
{
    if (!decoder_) {
        // The first frame is on screen already: the decoder goes on from it.
        try {
            decoder_ = OpenAnimation(type_, file_);
            decoder_->ContinueAfterFirst({frame_, 0, delayMs_});
        } catch (const Failure&) {
            return false;   // the picture stays still
        }
    }
    if (decoder_->NextIndex() == 0) {
        ++loopsDone_;
        if (decoder_->LoopCount() != 0 && loopsDone_ >= decoder_->LoopCount())
            return false;
    }
    try {
        const AnimationFrame& frame = decoder_->Next();
        frame_ = WithoutAlphaWhenOpaque(frame.pixels);
        delayMs_ = frame.delayMs;
    } catch (const Failure&) {
        return false;
    }
    return true;
}

std::unique_ptr<TGraphic> TAnimationPlayer::Frame() const
{
    return std::make_unique<TBitmapGraphic>(std::make_shared<const RasterSource>(frame_, colour_));
}
