// Names of the stored settings and the rule that turns a setting's name into
// the name of its registry value.
#pragma once

#include <string>
#include <string_view>

// The settings kept between runs.
inline constexpr std::wstring_view kSlideShowIntervalSetting = L"SlideShowInterval";
inline constexpr std::wstring_view kStartAtBeginningSetting = L"StartAtBeginning";
inline constexpr std::wstring_view kBackGroundColorSetting = L"BackGroundColor";
inline constexpr std::wstring_view kColourManagementSetting = L"ColourManagement";

// Standard Base64 (alphabet with "+" and "/", "=" padding, no line breaks) of
// the name's bytes; settings names are plain ASCII, anything else is encoded
// as UTF-8.
std::wstring EncodeSettingName(std::wstring_view name);
