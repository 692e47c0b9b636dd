// The image tools window: a small modeless window, always on top, that
// turns, flips and resizes the main window's current image (by pixels or by
// percent, with constrained proportions), reloads it from its file and saves
// it. It holds no image of its own: every button acts through the main
// window's commands, and the size fields are worked out from the current
// image's width and height.
#pragma once

#include "dialogs/ImageCommands.h"
#include "rules/SizeFields.h"
#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"
#include "widgets/GroupFrame.h"

class TToolBox : public TForm {
public:
    explicit TToolBox(ImageCommands& commands);
    ~TToolBox() override;

    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 252, kClientHeight = 241;

    // The fields show the current image's width and height ("100" for a
    // field in percent), and the Resize and Revert buttons follow.
    void ResetSizeFields();
    // Shows the window with its fields reset and the width field's text
    // selected for typing.
    void ShowWithFieldsReset();
    // The two fields in percent of the image's sides and in pixels.
    int64_t WidthPercent() const;
    int64_t HeightPercent() const;
    int64_t WidthPixels() const;
    int64_t HeightPixels() const;
    // The save button follows the current image's Modified flag.
    void SetSaveEnabled(bool enabled);
    // The current image was turned or flipped: after a quarter turn the
    // fields (and their units) change places, so that they describe the
    // turned image as they described the image before.
    void ImageTransformed(TransformMode mode);

    void EditWidthChange();
    void EditHeightChange();
    void EditWidthKeyPress(wchar_t& key);
    void EditHeightKeyPress(wchar_t& key);
    void CmbWidthTypeChange();
    void CmbHeightTypeChange();
    void SBtnRotateCWClick();
    void SBtnRotateCCWClick();
    void SBtnRotateFullClick();
    void SBtnFlipHorzClick();
    void SBtnFlipVertClick();
    void SBtnResizeClick();
    void SBtnResetClick();
    void SBtnReloadClick();
    void SBtnSaveClick();
    void SBtnCancelClick();
    void FormCreate();
    // Closing only hides the window; the fields are reset.
    void FormClose() override;
    // Escape closes the window, wherever the focus is.
    void FormKeyPress(wchar_t& key) override;
    // The long hints go to the main window's status bar.
    void ApplicationHint(const std::wstring& longHint) override;

    // Guard: set while one field is recomputed from the other.
    bool UpdatingProportions = false;

    // In tab order.
    TGroupFrame GrpRotate;
    TGroupFrame GrpFlip;
    TGroupFrame GrpResize;
    TButton SBtnRotateCW;
    TButton SBtnRotateCCW;
    TButton SBtnRotateFull;
    TButton SBtnFlipHorz;
    TButton SBtnFlipVert;
    TLabel LblWidth;
    TEdit EditWidth;
    TComboBox CmbWidthType;
    TLabel LblHeight;
    TEdit EditHeight;
    TComboBox CmbHeightType;
    TCheckBox CbProportional;
    TButton SBtnResize;
    TButton SBtnResetSizes;
    TButton SBtnReload;
    TButton SBtnSave;
    TButton SBtnCancel;

protected:
    // Activating the window gives the focus back to the control that had it
    // (the width field the first time).
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int ImageWidth() const;
    int ImageHeight() const;
    // Sets a field's text unless it already has it: only a real change runs
    // the field's change handler.
    static void SetFieldText(TEdit& field, const std::wstring& text);
    // A unit picked in a list: the field's number converted to it.
    void ConvertField(TEdit& field, const TComboBox& list, SizeUnit& shownUnit, int side);
    // Resize and Revert are enabled unless the fields give the image's own size.
    void UpdateSizeButtons();
    // A button that is disabled while it has the focus hands the focus to
    // the width field: the keyboard is never left on a control that takes
    // no input.
    void SetButtonEnabled(TButton& button, bool enabled);

    ImageCommands& commands_;
    std::vector<BitmapHandle> glyphs_;
    // The units the fields' texts are in (the lists' choices once handled).
    SizeUnit widthUnit_ = SizeUnit::Pixels, heightUnit_ = SizeUnit::Pixels;
    HWND lastFocus_ = nullptr;
};
