// What the image tools window and the e-mail size dialog may ask of the
// window that shows the current image: its size, and the commands they
// offer. They know nothing else of that window.
#pragma once

#include <string>

#include "imaging/pixels/Transform.h"
#include "rules/EmailAttachment.h"

class ImageCommands {
public:
    // The current image's width and height; no image: present is false.
    struct ImageSize {
        bool present = false;
        int width = 0, height = 0;
    };
    virtual ImageSize CurrentImageSize() const = 0;
    virtual void TurnImage(TransformMode mode) = 0;
    virtual void ResizeImage(int width, int height) = 0;
    virtual void ReloadImage() = 0;
    virtual void SaveImage() = 0;
    virtual void SendImage(EmailSize size) = 0;
    // The long hint of the control under the pointer, for the status bar.
    virtual void ShowLongHint(const std::wstring& longHint) = 0;

protected:
    ~ImageCommands() = default;
};
