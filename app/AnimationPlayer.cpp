#include "app/AnimationPlayer.h"

#include "system/Failure.h"

std::unique_ptr<TAnimationPlayer> TAnimationPlayer::For(const TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    auto source = std::dynamic_pointer_cast<const RasterFileSource>(graphic ? graphic->Display() : nullptr);
    if (!source || !source->File().animation)
        return nullptr;
    try {
        return std::make_unique<TAnimationPlayer>(OpenAnimation(source->File().type, source->File().animation));
    } catch (const Failure&) {
        return nullptr;   // the first frame was read; the picture stays still
    }
}

TAnimationPlayer::TAnimationPlayer(std::unique_ptr<AnimationDecoder> decoder) : decoder_(std::move(decoder))
{
    // The first frame is on screen already: only its time is wanted.
    delayMs_ = decoder_->Next().delayMs;
}

bool TAnimationPlayer::Advance()
{
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
    return std::make_unique<TBitmapGraphic>(std::make_shared<const RasterSource>(frame_));
}
