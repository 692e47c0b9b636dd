// The about window, which also serves as the one-second start-up splash.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/pixels/Raster.h"
#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"
#include "widgets/Timer.h"

// A picture drawn stretched into its bounds (the about window's photograph).
class TSplashImage : public TGraphicControl {
public:
    TSplashImage(TWindow& parent, int left, int top, int width, int height);
    // Decodes a JPEG; a picture that cannot be decoded leaves the area white.
    void LoadJpeg(std::span<const uint8_t> file);
    const Raster& Picture() const { return picture_; }
    void Paint(HDC dc) override;
    // The artwork drawn for the new size is taken.
    void Rescale(int newDpi, int oldDpi) override;

private:
    Raster picture_;   // 24-bit
    Raster shown_;     // the picture at the control's size (shares its pixels when equal)
};

class TNewAboutBox : public TForm {
public:
    TNewAboutBox();
    ~TNewAboutBox() override;

    // The start-up step: the splash unless the first argument (after the
    // program name) is exactly "/nosplash".
    static bool SplashWanted(const std::vector<std::wstring>& arguments);
    void StartUp(const std::vector<std::wstring>& arguments);

    // The splash: timer started, no close button, shown without waiting.
    void ShowWithTimer();
    // The about window: timer stopped, close button shown, modal. A splash
    // that is still showing is taken down first and comes back as the modal
    // about window.
    ModalAnswer ShowModal();

    void AutoCloseTimerTimer();
    void SBtnCloseClick();
    void Label1Click();
    void FormClose() override;

    // The support page shown by Label1 and opened on a click.
    static const wchar_t* const kSupportAddress;
    static const wchar_t* const kSupportUrl;
    // Opens an address in the default browser; tests replace it.
    static std::function<void(const std::wstring&)>& OpenAddressHook();

    TPanel Panel1;
    TSplashImage ImgSplash;
    TLabel LblPixavo;
    TLabel LblImageBrowser;
    TLabel LblByCorvane;
    TLabel LblBuild;
    TLabel LblCopyright;     // the maker's notice
    TLabel LblComments;
    TLabel Label1;           // the support address, a link
    TLabel LblPhotoCredit;   // the picture's credit
    TButton SBtnClose;
    TTimer AutoCloseTimer;

private:
    void FitTitle();
};
