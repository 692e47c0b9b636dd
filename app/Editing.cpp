// Rotation, flipping and resizing of the current image, in memory only.
#include "app/MainUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "imaging/pictures/PictureTransforms.h"

void TMainForm::ReplaceCurrentGraphic(const TGraphic& graphic)
{
    // Copies share the pixels: nothing is copied twice.
    state_.CurrentPicture.SetGraphic(&graphic);
    Image1.SetPicture(state_.CurrentPicture);
}

void TMainForm::TransformCurrentImage(TransformMode mode)
{
    if (!CurrentIndexValid() || !state_.CurrentPicture.Graphic())
        return;
    BusyScope busy(*this, true);
    // Made in full before anything changes: a failure leaves all as it was.
    const std::unique_ptr<TBitmapGraphic> turned = TransformGraphic(*state_.CurrentPicture.Graphic(), mode);
    // A JPEG file only turned is rearranged for its save from now on, so
    // that the save need not wait for it.
    if (auto record = turned->Turned()) {
        record->prepared = LosslessSave.Prepare(record->file, record->transform);
        turned->SetTurned(std::move(record));
    } else {
        LosslessSave.Drop();
    }
    ReplaceCurrentGraphic(*turned);
    state_.Modified = true;
    UpdateSlideShowCommands();   // the save commands, unless a running show locks them
    StepZoom(0);
    if (ToolBox)
        ToolBox->ImageTransformed(mode);
}

void TMainForm::ResizeCurrentImage(int width, int height)
{
    if (!CurrentIndexValid() || !state_.CurrentPicture.Graphic())
        return;
    BusyScope busy(*this, true);
    const std::unique_ptr<TBitmapGraphic> resized = ResizeGraphic(*state_.CurrentPicture.Graphic(), width, height);
    LosslessSave.Drop();   // the new pixels are compressed anew
    ReplaceCurrentGraphic(*resized);
    state_.Resized = true;
    state_.Modified = true;
    UpdateSlideShowCommands();   // the save commands, unless a running show locks them
    StepZoom(0);
}

void TMainForm::ShowToolBox()
{
    if (!CurrentIndexValid() || SlideShowTimer.Enabled() || !ToolBox)
        return;
    ToolBox->ShowWithFieldsReset();
}

ImageCommands::ImageSize TMainForm::CurrentImageSize() const
{
    if (!state_.CurrentPicture.Graphic())
        return {};
    return {true, state_.CurrentPicture.Width(), state_.CurrentPicture.Height()};
}
