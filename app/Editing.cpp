// Rotation, flipping and resizing of the current image, in memory only.
#include "app/MainUnit.h"

void TMainForm::ReplaceCurrentGraphic(const TGraphic& graphic)
{
    // Copies share the pixels: nothing is copied twice.
    CurrentPicture.SetGraphic(&graphic);
    Image1.SetPicture(CurrentPicture);
}

const TGraphic& TMainForm::EditedGraphic() const
{
    // An animation is edited as the frame it shows; the result is still.
    if (const TGraphic* frame = Image1.FrameShown())
        return *frame;
    return *CurrentPicture.Graphic();
}

void TMainForm::TransformCurrentImage(TransformMode mode)
{
    if (!CurrentIndexValid() || !CurrentPicture.Graphic())
        return;
    BusyScope busy(*this, true);
    // Made in full before anything changes: a failure leaves all as it was.
    const std::unique_ptr<TBitmapGraphic> turned = TransformGraphic(EditedGraphic(), mode);
    ReplaceCurrentGraphic(*turned);
    Modified = true;
    UpdateSlideShowCommands();   // the save commands, unless a running show locks them
    StepZoom(0);
    if (ToolBox)
        ToolBox->ImageTransformed(mode);
}

void TMainForm::ResizeCurrentImage(int width, int height)
{
    if (!CurrentIndexValid() || !CurrentPicture.Graphic())
        return;
    BusyScope busy(*this, true);
    const std::unique_ptr<TBitmapGraphic> resized = ResizeGraphic(EditedGraphic(), width, height);
    ReplaceCurrentGraphic(*resized);
    Resized = true;
    Modified = true;
    UpdateSlideShowCommands();   // the save commands, unless a running show locks them
    StepZoom(0);
}

void TMainForm::ShowToolBox()
{
    if (!CurrentIndexValid() || SlideShowTimer.Enabled() || !ToolBox)
        return;
    ToolBox->ResetSizeFields();
    ToolBox->Show();
    ToolBox->EditWidth.SetFocus();
    ToolBox->EditWidth.SelectAll();
}
