#include "system/SettingsNames.h"

#include <cstdint>

#include "base/Failure.h"

std::wstring EncodeSettingName(std::wstring_view name)
{
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string bytes = Narrow(name);
    std::wstring out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t group = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                         uint32_t(uint8_t(bytes[i + 2]));
        out.push_back(alphabet[(group >> 18) & 63]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(alphabet[(group >> 6) & 63]);
        out.push_back(alphabet[group & 63]);
    }
    size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t group = uint32_t(uint8_t(bytes[i])) << 16;
        if (left == 2) group |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out.push_back(alphabet[(group >> 18) & 63]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(left == 2 ? alphabet[(group >> 6) & 63] : L'=');
        out.push_back(L'=');
    }
    return out;
}
