#include "dialogs/ToolsFormUnit.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "base/ScopedFlag.h"
#include "widgets/Glyphs.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
const std::vector<std::wstring> kUnits = {L"Pixels", L"Percent"};

// A side in pixels as the resize command takes it: sizes beyond its range
// are kept at its largest value, which no raster can have.
int SideFor(int64_t pixels) { return int(std::clamp<int64_t>(pixels, 0, INT_MAX)); }

} // namespace

TToolBox::TToolBox(ImageCommands& commands)
    : TForm(L"Image Tools", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight), WS_EX_TOPMOST),
      GrpRotate(*this, Scale(8), Scale(8), Scale(129), Scale(49), L"Rotate"),
      GrpFlip(*this, Scale(144), Scale(8), Scale(97), Scale(49), L"Flip"),
      GrpResize(*this, Scale(8), Scale(64), Scale(233), Scale(105), L"Resize"),
      SBtnRotateCW(*this, Scale(16), Scale(24), Scale(30), Scale(25)),
      SBtnRotateCCW(*this, Scale(56), Scale(24), Scale(30), Scale(25)),
      SBtnRotateFull(*this, Scale(96), Scale(24), Scale(30), Scale(25)),
      SBtnFlipHorz(*this, Scale(160), Scale(24), Scale(30), Scale(25)),
      SBtnFlipVert(*this, Scale(200), Scale(24), Scale(30), Scale(25)),
      LblWidth(*this, Scale(16), Scale(88), L"Width"),
      EditWidth(*this, Scale(56), Scale(80), Scale(80), Scale(21)),
      CmbWidthType(*this, Scale(144), Scale(80), Scale(80), false, kUnits),
      LblHeight(*this, Scale(16), Scale(112), L"Height"),
      EditHeight(*this, Scale(56), Scale(108), Scale(80), Scale(21)),
      CmbHeightType(*this, Scale(144), Scale(108), Scale(80), false, kUnits),
      CbProportional(*this, Scale(16), Scale(136), Scale(129), Scale(25), L"Constrain Proportions"),
      SBtnResize(*this, Scale(152), Scale(136), Scale(30), Scale(25)),
      SBtnResetSizes(*this, Scale(192), Scale(136), Scale(30), Scale(25)),
      SBtnReload(*this, Scale(10), Scale(176), Scale(111), Scale(25), L"Reload from File"),
      SBtnSave(*this, Scale(130), Scale(176), Scale(111), Scale(25), L"Save to File"),
      SBtnCancel(*this, Scale(93), Scale(208), Scale(73), Scale(25), L"Close"),
      commands_(commands)
{
    SetColor(kWhite);
    SetKeyPreview(true);
    // Opened first on the main window's monitor; then where the user leaves it.
    SetPlacement(Placement::FirstShow);
    struct Entry {
        TButton& button;
        const wchar_t* hint;
        GlyphId glyph;
    };
    const Entry entries[] = {
        {SBtnRotateCW, L"90\u00B0 Clockwise|Rotate Image 90\u00B0 Clockwise", GlyphId::RotateCW},
        {SBtnRotateCCW, L"90\u00B0 Counter Clockwise|Rotate Image 90\u00B0 Counter Clockwise", GlyphId::RotateCCW},
        {SBtnRotateFull, L"Full 180\u00B0|Rotate Image Full 180\u00B0", GlyphId::Rotate180},
        {SBtnFlipHorz, L"Flip Horizontally|Flip Image Horizontally", GlyphId::FlipHorizontal},
        {SBtnFlipVert, L"Flip Vertically|Flip Image Vertically", GlyphId::FlipVertical},
        {SBtnResize, L"Resize Image", GlyphId::Resize},
        {SBtnResetSizes,
         L"Revert Width and Height|Revert Width and Height to Current Image Width and Height", GlyphId::RevertSize},
    };
    for (const Entry& e : entries) {
        e.button.SetHint(e.hint);
        glyphs_.push_back(MakeGlyph(e.glyph, Scale(16)));
        e.button.SetGlyph(glyphs_.back().Get());
    }
    SBtnReload.SetHint(L"Reload Image from File|Reload Image from File");
    SBtnSave.SetHint(L"Save Image to File|Save Image to File");
    CmbWidthType.SetItemIndex(0);
    CmbHeightType.SetItemIndex(0);
    CbProportional.SetChecked(true);
    SBtnSave.SetEnabled(false);
    SBtnResize.SetEnabled(false);
    SBtnResetSizes.SetEnabled(false);

    SBtnRotateCW.onClick = [this] { SBtnRotateCWClick(); };
    SBtnRotateCCW.onClick = [this] { SBtnRotateCCWClick(); };
    SBtnRotateFull.onClick = [this] { SBtnRotateFullClick(); };
    SBtnFlipHorz.onClick = [this] { SBtnFlipHorzClick(); };
    SBtnFlipVert.onClick = [this] { SBtnFlipVertClick(); };
    EditWidth.onChange = [this] { EditWidthChange(); };
    EditHeight.onChange = [this] { EditHeightChange(); };
    EditWidth.onKeyPress = [this](wchar_t& key) {
        EditWidthKeyPress(key);
        return key != 0;
    };
    EditHeight.onKeyPress = [this](wchar_t& key) {
        EditHeightKeyPress(key);
        return key != 0;
    };
    CmbWidthType.onChange = [this] { CmbWidthTypeChange(); };
    CmbHeightType.onChange = [this] { CmbHeightTypeChange(); };
    SBtnResize.onClick = [this] { SBtnResizeClick(); };
    SBtnResetSizes.onClick = [this] { SBtnResetClick(); };
    SBtnReload.onClick = [this] { SBtnReloadClick(); };
    SBtnSave.onClick = [this] { SBtnSaveClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
    FormCreate();
}

TToolBox::~TToolBox() { DestroyHandle(); }

void TToolBox::FormCreate() { UpdatingProportions = false; }

// ---------------------------------------------------------------- The fields

int TToolBox::ImageWidth() const { return commands_.CurrentImageSize().width; }
int TToolBox::ImageHeight() const { return commands_.CurrentImageSize().height; }

int64_t TToolBox::WidthPercent() const
{
    return FieldPercent(SizeFieldNumber(EditWidth.Text()), widthUnit_, ImageWidth());
}

int64_t TToolBox::HeightPercent() const
{
    return FieldPercent(SizeFieldNumber(EditHeight.Text()), heightUnit_, ImageHeight());
}

int64_t TToolBox::WidthPixels() const
{
    return FieldPixels(SizeFieldNumber(EditWidth.Text()), widthUnit_, ImageWidth());
}

int64_t TToolBox::HeightPixels() const
{
    return FieldPixels(SizeFieldNumber(EditHeight.Text()), heightUnit_, ImageHeight());
}

void TToolBox::SetFieldText(TEdit& field, const std::wstring& text)
{
    if (field.Text() != text)
        field.SetText(text);
}

void TToolBox::ResetSizeFields()
{
    if (commands_.CurrentImageSize().present) {
        SetFieldText(EditWidth, widthUnit_ == SizeUnit::Percent ? L"100" : std::to_wstring(ImageWidth()));
        SetFieldText(EditHeight, heightUnit_ == SizeUnit::Percent ? L"100" : std::to_wstring(ImageHeight()));
    }
    UpdateSizeButtons();
}

void TToolBox::ShowWithFieldsReset()
{
    ResetSizeFields();
    Show();
    EditWidth.SetFocus();
    EditWidth.SelectAll();
}

void TToolBox::UpdateSizeButtons()
{
    const bool change = commands_.CurrentImageSize().present &&
                        !FieldsKeepImageSize(WidthPercent(), HeightPercent(), WidthPixels(), HeightPixels(),
                                             ImageWidth(), ImageHeight());
    SetButtonEnabled(SBtnResize, change);
    SetButtonEnabled(SBtnResetSizes, change);
}

void TToolBox::SetButtonEnabled(TButton& button, bool enabled)
{
    if (!enabled && button.Focused())
        EditWidth.SetFocus();
    button.SetEnabled(enabled);
}

void TToolBox::SetSaveEnabled(bool enabled) { SetButtonEnabled(SBtnSave, enabled); }

void TToolBox::EditWidthChange()
{
    if (CbProportional.Checked() && !UpdatingProportions) {
        const ScopedFlag guard(UpdatingProportions);
        SetFieldText(EditHeight, CoupledFieldText(EditWidth.Text(), widthUnit_, ImageWidth(), heightUnit_,
                                                  ImageHeight()));
    }
    UpdateSizeButtons();
}

void TToolBox::EditHeightChange()
{
    if (CbProportional.Checked() && !UpdatingProportions) {
        const ScopedFlag guard(UpdatingProportions);
        SetFieldText(EditWidth, CoupledFieldText(EditHeight.Text(), heightUnit_, ImageHeight(), widthUnit_,
                                                 ImageWidth()));
    }
    UpdateSizeButtons();
}

void TToolBox::EditWidthKeyPress(wchar_t& key)
{
    if (!SizeFieldAccepts(key))
        key = 0;
}

void TToolBox::EditHeightKeyPress(wchar_t& key)
{
    if (!SizeFieldAccepts(key))
        key = 0;
}

void TToolBox::ConvertField(TEdit& field, const TComboBox& list, SizeUnit& shownUnit, int side)
{
    const SizeUnit picked = list.ItemIndex() == 1 ? SizeUnit::Percent : SizeUnit::Pixels;
    // Picking the unit the field is already in converts nothing.
    if (picked == shownUnit)
        return;
    const uint32_t number = SizeFieldNumber(field.Text());
    shownUnit = picked;
    SetFieldText(field, ConvertedFieldText(number, picked, side));
    UpdateSizeButtons();
}

void TToolBox::CmbWidthTypeChange() { ConvertField(EditWidth, CmbWidthType, widthUnit_, ImageWidth()); }
void TToolBox::CmbHeightTypeChange() { ConvertField(EditHeight, CmbHeightType, heightUnit_, ImageHeight()); }

void TToolBox::ImageTransformed(TransformMode mode)
{
    if (mode == TransformMode::RotateClockwise || mode == TransformMode::RotateCounterClockwise) {
        const ScopedFlag guard(UpdatingProportions);
        const std::wstring width = EditWidth.Text(), height = EditHeight.Text();
        std::swap(widthUnit_, heightUnit_);
        CmbWidthType.SetItemIndex(widthUnit_ == SizeUnit::Percent ? 1 : 0);
        CmbHeightType.SetItemIndex(heightUnit_ == SizeUnit::Percent ? 1 : 0);
        SetFieldText(EditWidth, height);
        SetFieldText(EditHeight, width);
    }
    UpdateSizeButtons();
}

// ---------------------------------------------------------------- Commands

void TToolBox::SBtnRotateCWClick() { commands_.TurnImage(TransformMode::RotateClockwise); }
void TToolBox::SBtnRotateCCWClick() { commands_.TurnImage(TransformMode::RotateCounterClockwise); }
void TToolBox::SBtnRotateFullClick() { commands_.TurnImage(TransformMode::Rotate180); }
void TToolBox::SBtnFlipHorzClick() { commands_.TurnImage(TransformMode::FlipHorizontal); }
void TToolBox::SBtnFlipVertClick() { commands_.TurnImage(TransformMode::FlipVertical); }

// A failure (a side of 0 pixels, a raster too large) leaves before the
// fields are reset: the image and the fields stay as they were.
void TToolBox::SBtnResizeClick()
{
    const int64_t height = HeightPixels(), width = WidthPixels();
    commands_.ResizeImage(SideFor(width), SideFor(height));
    ResetSizeFields();
}

void TToolBox::SBtnResetClick() { ResetSizeFields(); }
void TToolBox::SBtnReloadClick() { commands_.ReloadImage(); }
void TToolBox::SBtnSaveClick() { commands_.SaveImage(); }
void TToolBox::SBtnCancelClick() { Close(); }

void TToolBox::FormClose() { ResetSizeFields(); }

void TToolBox::FormKeyPress(wchar_t& key)
{
    CloseOnEscape(key);
}

LRESULT TToolBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE) {
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus))
                lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            ::SetFocus(lastFocus_ && IsChild(handle_, lastFocus_) ? lastFocus_ : EditWidth.Handle());
            return 0;
        }
    }
    return TForm::HandleMessage(message, wParam, lParam);
}

void TToolBox::ApplicationHint(const std::wstring& longHint) { commands_.ShowLongHint(longHint); }
