#include "app/AnimationPlayer.h"

#include "base/Failure.h"
#include "imaging/pictures/BitmapGraphic.h"

std::unique_ptr<TAnimationPlayer> TAnimationPlayer::For(const TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    if (!graphic || !graphic->Record() || !graphic->Record()->Animated())
        return nullptr;
    return std::make_unique<TAnimationPlayer>(graphic->Record(), graphic->Pixels(), graphic->Colour());
}

TAnimationPlayer::TAnimationPlayer(std::shared_ptr<const PictureRecord> record, Raster firstFrame,
                                   std::shared_ptr<const ColourProfile> colour)
    : record_(std::move(record)), colour_(std::move(colour)), frame_(std::move(firstFrame)),
      delayMs_(record_->firstDelayMs)
{
}

bool TAnimationPlayer::Advance()
{
    if (!decoder_) {
        // The first frame is on screen already: the decoder goes on from it,
        // or from the first frame it composes again when what is shown is
        // that frame edited.
        try {
            decoder_ = OpenAnimation(record_->type, record_->file);
            if (record_->edits.empty())
                decoder_->ContinueAfterFirst({frame_, 0, delayMs_});
            else
                decoder_->Next();
        } catch (const Failure&) {
            decoder_.reset();
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
        frame_ = ApplyEdits(WithoutAlphaWhenOpaque(frame.pixels), record_->edits);
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
