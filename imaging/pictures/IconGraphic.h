// A Windows icon: the entry that suits the screen, drawn at natural size.
#pragma once

#include "imaging/pictures/PictureUtilUnit.h"

class TIconGraphic : public TGraphic {
public:
    GraphicKind Kind() const override { return GraphicKind::Icon; }
    const wchar_t* KindName() const override { return L"TIcon"; }
    bool Empty() const override { return !image_; }
    int Width() const override;
    int Height() const override;
    // At natural size at the rectangle's top-left corner.
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;   // the icon file as loaded
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TIconGraphic>(*this); }
    void Assign(const TGraphic& source) override;

private:
    struct Image;
    std::shared_ptr<const Image> image_;
};
