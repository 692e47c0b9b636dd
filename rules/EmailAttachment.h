// The rules of an e-mailed picture: the three sizes it can be sent at and
// the name its attachment file gets.
#pragma once

#include <string>
#include <string_view>

// The size choice of the e-mail command, as the size dialog passes it.
enum class EmailSize : int { Large = 1, Medium = 2, Small = 3 };

struct PixelSize {
    int width = 0, height = 0;
    bool operator==(const PixelSize&) const = default;
};

// Large keeps the picture's own size, Medium halves and Small quarters
// both sides; the divisions truncate.
PixelSize EmailImageSize(int width, int height, EmailSize size);

// The file name of the attachment: the image's own name, except that a
// bitmap (".bmp"), an icon (".ico") or a kind that cannot be written (".gif",
// ".avif", ...), in any letter case, is sent as ".jpg".
std::wstring EmailAttachmentName(std::wstring_view fileName);
