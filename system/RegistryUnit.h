// The settings store (per-user registry values) and the file-type
// associations under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Handles.h"

// An open registry key; closed when the object goes away. Predefined root
// keys (HKEY_CURRENT_USER, ...) are never wrapped.
class RegKey {
public:
    RegKey() noexcept = default;
    explicit RegKey(HKEY key) noexcept : key_(key) {}

    // Opens an existing key; an empty RegKey when it cannot be opened.
    static RegKey Open(HKEY root, std::wstring_view path, REGSAM access = KEY_ALL_ACCESS);
    // Opens the key, creating it and its missing parents; empty on failure.
    static RegKey Create(HKEY root, std::wstring_view path, REGSAM access = KEY_ALL_ACCESS);

    HKEY Get() const noexcept { return key_.Get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(key_); }
    HKEY Release() noexcept { return key_.Release(); }
    void Reset(HKEY key = nullptr) noexcept { key_.Reset(key); }

    // The value's text: empty when the value is missing or has no data; the
    // text up to the first zero for REG_SZ and REG_EXPAND_SZ (unexpanded).
    // Any other type raises "Invalid data type for '%s'"; data that cannot
    // be fetched raises "Failed to get data for '%s'".
    std::wstring ReadString(std::wstring_view name) const;
    // Writes a REG_SZ value, terminating zero included in the data length;
    // raises "Failed to set data for '%s'".
    void WriteString(std::wstring_view name, std::wstring_view value) const;
    // True when the key holds a value of that name (of any type).
    bool HasValue(std::wstring_view name) const;
    // The names of the key's subkeys, in the registry's order.
    std::vector<std::wstring> SubkeyNames() const;

private:
    KeyHandle key_;
};

// ---- Settings store ----

// Key of the settings, below HKEY_CURRENT_USER.
inline constexpr std::wstring_view kSettingsKeyPath = L"Software\\Corvane\\Pixavo Image Browser";

// Where the settings live; tests may point it elsewhere.
struct SettingsKey {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring_view path = kSettingsKeyPath;
};

// Reads one stored value (name already passed through EncodeSettingName).
// The key is created when missing; if it cannot be opened or created the
// result is empty. See RegKey::ReadString for the failures.
std::wstring ReadSettingValue(std::wstring_view valueName, const SettingsKey& key = {});
// Writes one stored value as REG_SZ; does nothing when the key cannot be
// opened or created; raises "Failed to set data for '%s'".
void WriteSettingValue(std::wstring_view valueName, std::wstring_view value, const SettingsKey& key = {});

// ---- File-type associations ----

// Where the associations are written and which program they name. The
// default is HKEY_CLASSES_ROOT and the running program file.
struct AssociationScope {
    HKEY root = HKEY_CLASSES_ROOT;
    std::wstring programPath;   // empty: the running program file
};

// Full path of the running program file.
std::wstring ProgramFilePath();

// The class name that the program uses for an extension
// ("PixavoImageBrowser" + extension + "Image").
std::wstring AssociationClassName(std::wstring_view extension);

// Registers / removes the program for every supported extension, in order.
void InstallAssociations(const AssociationScope& scope = {});
void UninstallAssociations(const AssociationScope& scope = {});

void InstallAssociation(std::wstring_view extension, std::wstring_view description,
                        const AssociationScope& scope = {});
void UninstallAssociation(std::wstring_view extension, const AssociationScope& scope = {});

// Copies a whole key (values and subkeys, depth first) to a new place below
// the scope's root, optionally deleting the source. Does nothing when the
// source is missing or the destination exists; raises "Failed to create
// key %s" when the destination cannot be created.
void TransferKey(std::wstring_view source, std::wstring_view destination, bool deleteSource,
                 const AssociationScope& scope = {});
