// The program's settings key in the real per-user registry, for tests that
// change it: the values are taken when a guard is made and put back, exactly,
// when it goes (including a key that did not exist before).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "system/RegistryUnit.h"

namespace settings_test {

struct StoredValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

inline const std::wstring kKeyPath(kSettingsKeyPath);

inline bool KeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline std::vector<StoredValue> ReadAll()
{
    std::vector<StoredValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLength = 512, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        StoredValue value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
        DWORD dataSize = size;
        RegQueryValueExW(key, value.name.c_str(), nullptr, nullptr, value.data.data(), &dataSize);
        value.data.resize(dataSize);
        values.push_back(std::move(value));
    }
    RegCloseKey(key);
    return values;
}

// Removes the key with all its values: the state of a first run.
inline void DeleteKey() { RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath.c_str()); }

inline void WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

inline void WriteText(const std::wstring& name, const std::wstring& text)
{
    WriteRaw(name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

inline void WriteDword(const std::wstring& name, DWORD value) { WriteRaw(name, REG_DWORD, &value, sizeof(value)); }

// The text of a REG_SZ value; nothing when it is missing or of another type.
inline std::optional<std::wstring> ReadText(const std::wstring& name)
{
    for (const StoredValue& v : ReadAll())
        if (v.name == name && v.type == REG_SZ)
            return std::wstring(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / sizeof(wchar_t))
                .c_str();
    return std::nullopt;
}

class Guard {
public:
    Guard() : existed_(KeyExists()), saved_(ReadAll()) {}
    ~Guard()
    {
        DeleteKey();
        if (!existed_)
            return;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        for (const StoredValue& v : saved_)
            RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), DWORD(v.data.size()));
        RegCloseKey(key);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    bool existed_;
    std::vector<StoredValue> saved_;
};

} // namespace settings_test
