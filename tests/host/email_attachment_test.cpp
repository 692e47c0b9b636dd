#include <gtest/gtest.h>

#include "app/EmailAttachment.h"
#include "system/Failure.h"

TEST(EmailAttachment, BitmapsAndIconsAreSentAsJpegEveryOtherNameStays)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Photo.jpeg", L"Photo.jpeg"},   {L"Scan.bmp", L"Scan.jpg"},     {L"App.ico", L"App.jpg"},
        {L"Beach.BMP", L"Beach.jpg"},     {L"Logo.Ico", L"Logo.jpg"},     {L"Chart.png", L"Chart.png"},
        {L"Plan.wmf", L"Plan.wmf"},       {L"Plan.emf", L"Plan.emf"},     {L"PHOTO.JPG", L"PHOTO.JPG"},
        {L"a.bmp.png", L"a.bmp.png"},     {L"a.png.bmp", L"a.png.jpg"},   {L"\u6D77 scan.bmp", L"\u6D77 scan.jpg"},
        {L"bmp", L"bmp"},                 {L".bmp", L".jpg"},             {L"x.bmpx", L"x.bmpx"},
    };
    for (auto [name, sent] : cases)
        EXPECT_EQ(EmailAttachmentName(name), sent) << Narrow(name);
}

TEST(EmailAttachment, SizesTruncate)
{
    struct Case {
        int width, height;
        EmailSize size;
        PixelSize expected;
    };
    const Case cases[] = {
        {1001, 601, EmailSize::Large, {1001, 601}}, {1001, 601, EmailSize::Medium, {500, 300}},
        {1001, 601, EmailSize::Small, {250, 150}},  {3, 2, EmailSize::Small, {0, 0}},
        {3, 2, EmailSize::Medium, {1, 1}},          {7, 9, EmailSize::Small, {1, 2}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EmailImageSize(c.width, c.height, c.size), c.expected)
            << c.width << "x" << c.height << " size " << int(c.size);
}
