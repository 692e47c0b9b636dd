// Colour management: what is shown (the image area, the open dialog's
// preview) is converted from each picture's profile, sRGB when it names
// none, to the profile of the monitor the window is on
// (imaging/colour/ColourTransform.h), taken again when the window goes to another
// monitor or the display changes. The right-click menu turns it off and on;
// the choice is kept.
#include <windows.h>

#include "app/MainUnit.h"
#include "base/Failure.h"
#include "base/Numbers.h"
#include "imaging/pictures/FileBytes.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {

// Profiles larger than this are no monitor's: such a file is not read.
constexpr DWORD kMaxMonitorProfile = 16u << 20;

// The bytes of the profile the system names for the monitor; empty when it
// names none or the file cannot be read (the monitor is then taken as sRGB).
std::vector<uint8_t> MonitorProfile(HMONITOR monitor)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        return {};
    const DcHandle dc(CreateDCW(L"DISPLAY", info.szDevice, nullptr, nullptr));
    if (!dc)
        return {};
    DWORD length = 0;
    GetICMProfileW(dc.Get(), &length, nullptr);
    if (length == 0 || length > MAX_PATH * 4)
        return {};
    std::wstring path(length, L'\0');
    if (!GetICMProfileW(dc.Get(), &length, path.data()))
        return {};
    path.resize(wcsnlen(path.c_str(), path.size()));
    try {
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) ||
            attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow > kMaxMonitorProfile)
            return {};
        return ReadWholeFile(path);
    } catch (const Failure&) {
        return {};
    }
}

} // namespace

void TMainForm::ReadColourManagementSetting()
{
    colourManaged_ = true;
    const std::wstring stored = ReadSettingValue(EncodeSettingName(kColourManagementSetting));
    if (!stored.empty())
        if (auto value = ParseSettingBoolean(stored))
            colourManaged_ = *value;
    ColourManagement1->SetChecked(colourManaged_);
    TakeMonitorColours(true);
}

void TMainForm::ToggleColourManagement()
{
    // Stored first: a value that cannot be written stops the change here.
    WriteSettingValue(EncodeSettingName(kColourManagementSetting), colourManaged_ ? L"0" : L"-1");
    colourManaged_ = !colourManaged_;
    ColourManagement1->SetChecked(colourManaged_);
    TakeMonitorColours(true);
}

void TMainForm::TakeMonitorColours(bool again)
{
    const HMONITOR monitor = MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST);
    if (!again && monitor == colourMonitor_)
        return;
    colourMonitor_ = monitor;
    auto colours = std::make_shared<const MonitorColours>(
        colourManaged_, colourManaged_ ? MonitorProfile(monitor) : std::vector<uint8_t>());
    DecodeAhead.SetColours(colours);
    DlgOpenPicture.Colours = colours;
    Image1.SetColours(std::move(colours));
}
