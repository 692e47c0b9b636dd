// A metafile (enhanced, or old-style with the placeable header).
#pragma once

#include "imaging/pictures/PictureUtilUnit.h"

class TMetafileGraphic : public TGraphic {
public:
    GraphicKind Kind() const override { return GraphicKind::Metafile; }
    const wchar_t* KindName() const override { return L"TMetafile"; }
    bool Empty() const override { return !meta_; }
    int Width() const override;
    int Height() const override;
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    // ".wmf": an old-style metafile with the placeable header; else enhanced.
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TMetafileGraphic>(*this); }
    void Assign(const TGraphic& source) override;
    // Records a drawing: the frame is the screen's display area (0.01 mm).
    static TMetafileGraphic Record(const TGraphic& source);
    HENHMETAFILE Handle() const;

private:
    struct Meta;
    std::shared_ptr<const Meta> meta_;
};
