#include "system/RegistryUnit.h"

#include <cstring>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/ImageFormats.h"

namespace {

// Registry values are small; anything larger is treated as unreadable.
constexpr DWORD kMaxValueBytes = 16u << 20;
// Keys nest at most 512 levels in the registry; deeper means a link loop.
constexpr int kMaxKeyDepth = 512;

std::wstring KeyPath(std::wstring_view path)
{
    while (!path.empty() && path.front() == L'\\') path.remove_prefix(1);
    return std::wstring(path);
}

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Fetches a value's type and bytes; the registry's status code on failure.
LSTATUS QueryRawValue(HKEY key, const std::wstring& name, RawValue& value)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
        if (rc != ERROR_SUCCESS) return rc;
        if (size > kMaxValueBytes) return ERROR_NOT_ENOUGH_MEMORY;
        value.data.assign(size, 0);
        if (size == 0) return ERROR_SUCCESS;
        rc = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;  // grew meanwhile: ask again
        if (rc != ERROR_SUCCESS) return rc;
        value.data.resize(size);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

std::wstring TextOf(const RawValue& value)
{
    size_t chars = value.data.size() / sizeof(wchar_t);
    std::wstring text(chars, L'\0');
    if (chars) memcpy(text.data(), value.data.data(), chars * sizeof(wchar_t));
    size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos) text.resize(zero);
    return text;
}

// A value's text, or nothing when it cannot be read as text.
std::optional<std::wstring> ReadStringIfAny(const RegKey& key, std::wstring_view name)
{
    try {
        return key.ReadString(name);
    } catch (const Failure&) {
        return std::nullopt;
    }
}

bool KeyExists(HKEY root, std::wstring_view path)
{
    return static_cast<bool>(RegKey::Open(root, path, KEY_READ));
}

void DeleteKeyTree(HKEY root, std::wstring_view path)
{
    RegDeleteTreeW(root, KeyPath(path).c_str());
}

void CopyValue(HKEY destination, const std::wstring& name, const RawValue& value)
{
    if (value.data.empty()) return;
    DWORD type = value.type;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_DWORD && type != REG_BINARY) type = REG_NONE;
    if (RegSetValueExW(destination, name.c_str(), 0, type, value.data.data(),
                       static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
        throw Failure(FormatMessageText(L"Failed to set data for '%s'", {name}));
}

void CopyValues(HKEY source, HKEY destination)
{
    RawValue value;
    if (QueryRawValue(source, L"", value) == ERROR_SUCCESS) CopyValue(destination, L"", value);

    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS rc = RegEnumValueW(source, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || length == 0) continue;  // unreadable name, or the default value again
        std::wstring valueName(name.data(), length);
        if (QueryRawValue(source, valueName, value) == ERROR_SUCCESS) CopyValue(destination, valueName, value);
    }
}

std::vector<std::wstring> SubkeyNames(HKEY key)
{
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        LSTATUS rc = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) names.emplace_back(name, length);
        else if (rc != ERROR_MORE_DATA) break;
    }
    return names;
}

void CopyKey(HKEY source, HKEY destination, const std::wstring& destinationPath, int depth)
{
    CopyValues(source, destination);
    if (depth >= kMaxKeyDepth) return;
    // Names first, so keys created while copying are not visited.
    for (const std::wstring& name : SubkeyNames(source)) {
        RegKey from = RegKey::Open(source, name, KEY_READ);
        if (!from) continue;
        std::wstring toPath = destinationPath + L"\\" + name;
        RegKey to = RegKey::Create(destination, name);
        if (!to) throw Failure(FormatMessageText(L"Failed to create key %s", {toPath}));
        CopyKey(from.Get(), to.Get(), toPath, depth + 1);
    }
}

std::wstring ProgramOf(const AssociationScope& scope)
{
    return scope.programPath.empty() ? ProgramFilePath() : scope.programPath;
}

bool Contains(std::wstring_view text, std::wstring_view part)
{
    return text.find(part) != std::wstring_view::npos;
}

// Name for a kept "open" verb: the program file named by its command.
std::wstring KeptVerbName(std::wstring_view command)
{
    size_t cut = command.find_last_of(L"\\:");
    std::wstring_view name = cut == std::wstring_view::npos ? command : command.substr(cut + 1);
    name = name.substr(0, name.find(L'"'));
    name = name.substr(0, name.find(L' '));
    return std::wstring(name);
}


} // namespace

// ---- RegKey ----

RegKey RegKey::Open(HKEY root, std::wstring_view path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KeyPath(path).c_str(), 0, access, &key) != ERROR_SUCCESS) return RegKey();
    return RegKey(key);
}

RegKey RegKey::Create(HKEY root, std::wstring_view path, REGSAM access)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, KeyPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return RegKey();
    return RegKey(key);
}

std::wstring RegKey::ReadString(std::wstring_view name) const
{
    const std::wstring valueName(name);
    RawValue value;
    LSTATUS rc = QueryRawValue(key_.Get(), valueName, value);
    if (rc == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (rc != ERROR_SUCCESS) throw Failure(FormatMessageText(L"Failed to get data for '%s'", {valueName}));
    if (value.data.empty()) return std::wstring();
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
        throw Failure(FormatMessageText(L"Invalid data type for '%s'", {valueName}));
    return TextOf(value);
}

void RegKey::WriteString(std::wstring_view name, std::wstring_view value) const
{
    const std::wstring valueName(name);
    const std::wstring data(value);
    if (RegSetValueExW(key_.Get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        throw Failure(FormatMessageText(L"Failed to set data for '%s'", {valueName}));
}

bool RegKey::HasValue(std::wstring_view name) const
{
    const std::wstring valueName(name);
    return RegQueryValueExW(key_.Get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::vector<std::wstring> RegKey::SubkeyNames() const { return ::SubkeyNames(key_.Get()); }

// ---- Settings store ----

std::wstring ReadSettingValue(std::wstring_view valueName, const SettingsKey& location)
{
    RegKey key = RegKey::Create(location.root, location.path);
    if (!key) return std::wstring();
    return key.ReadString(valueName);
}

void WriteSettingValue(std::wstring_view valueName, std::wstring_view value, const SettingsKey& location)
{
    RegKey key = RegKey::Create(location.root, location.path);
    if (!key) return;
    key.WriteString(valueName, value);
}

// ---- File-type associations ----

std::wstring ProgramFilePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring AssociationClassName(std::wstring_view extension)
{
    return L"PixavoImageBrowser" + std::wstring(extension) + L"Image";
}

void TransferKey(std::wstring_view source, std::wstring_view destination, bool deleteSource,
                 const AssociationScope& scope)
{
    if (!KeyExists(scope.root, source) || KeyExists(scope.root, destination)) return;
    RegKey from = RegKey::Open(scope.root, source);
    if (!from) return;
    const std::wstring destinationPath(destination);
    RegKey to = RegKey::Create(scope.root, destinationPath);
    if (!to) throw Failure(FormatMessageText(L"Failed to create key %s", {destinationPath}));
    CopyKey(from.Get(), to.Get(), destinationPath, 0);
    to.Reset();
    from.Reset();
    if (deleteSource) DeleteKeyTree(scope.root, source);
}

void InstallAssociation(std::wstring_view extension, std::wstring_view description, const AssociationScope& scope)
{
    const HKEY root = scope.root;
    const std::wstring program = ProgramOf(scope);
    const std::wstring ext(extension);
    const std::wstring cls = AssociationClassName(extension);
    const bool isIcon = ext == L".ico";

    // Take over what the previous owner registered: verbs, shell extensions, icon.
    std::optional<std::wstring> previous;
    if (RegKey key = RegKey::Open(root, ext)) previous = ReadStringIfAny(key, L"");
    if (previous && *previous != cls) {
        std::wstring owner = *previous;
        for (int link = 0; link < 10 && !owner.empty(); ++link) {
            RegKey curVer = RegKey::Open(root, owner + L"\\CurVer");
            if (!curVer) break;
            owner = ReadStringIfAny(curVer, L"").value_or(std::wstring());
        }
        if (!owner.empty()) {
            for (const wchar_t* part : {L"shell", L"shellex", L"DefaultIcon"}) {
                const std::wstring own = cls + L"\\" + part;
                if (!KeyExists(root, own)) TransferKey(owner + L"\\" + part, own, false, scope);
            }
        }
    }

    if (RegKey key = RegKey::Create(root, ext)) key.WriteString(L"", cls);
    if (RegKey key = RegKey::Create(root, cls)) key.WriteString(L"", description);

    // Back up an icon that is not the program's own, once.
    const std::wstring iconPath = cls + L"\\DefaultIcon";
    std::optional<std::wstring> icon;
    if (RegKey key = RegKey::Open(root, iconPath)) icon = ReadStringIfAny(key, L"");
    if (!isIcon && icon && !icon->empty() && !Contains(*icon, program))
        TransferKey(iconPath, cls + L"\\OldDefaultIcon", true, scope);
    if (RegKey key = RegKey::Create(root, iconPath)) key.WriteString(L"", isIcon ? L"%1" : program + L",0");

    // Keep the previous "open" verb under a name of its own.
    const std::wstring commandPath = cls + L"\\shell\\open\\command";
    std::optional<std::wstring> command;
    if (RegKey key = RegKey::Open(root, commandPath)) command = ReadStringIfAny(key, L"");
    if (command && !Contains(*command, program)) {
        const std::wstring name = KeptVerbName(*command);
        const std::wstring verb = name.empty() ? L"Open2" : L"Open with " + name;
        TransferKey(cls + L"\\shell\\open", cls + L"\\shell\\" + verb, true, scope);
    }
    if (RegKey key = RegKey::Create(root, commandPath)) key.WriteString(L"", program + L" /nosplash \"%1\"");
}

void UninstallAssociation(std::wstring_view extension, const AssociationScope& scope)
{
    const HKEY root = scope.root;
    const std::wstring program = ProgramOf(scope);

    std::optional<std::wstring> owner;
    if (RegKey key = RegKey::Open(root, extension)) owner = ReadStringIfAny(key, L"");
    if (!owner || owner->empty()) return;
    const std::wstring& cls = *owner;

    // Bring back the icon saved at install time.
    if (KeyExists(root, cls + L"\\OldDefaultIcon")) {
        DeleteKeyTree(root, cls + L"\\DefaultIcon");
        TransferKey(cls + L"\\OldDefaultIcon", cls + L"\\DefaultIcon", true, scope);
    }

    // Put a kept verb back in place of the program's "open".
    std::optional<std::wstring> command;
    if (RegKey key = RegKey::Open(root, cls + L"\\shell\\open\\command")) command = ReadStringIfAny(key, L"");
    if (!command || !Contains(*command, program)) return;
    std::wstring kept;
    if (RegKey shell = RegKey::Open(root, cls + L"\\shell")) {
        for (const std::wstring& verb : SubkeyNames(shell.Get())) {
            if (LowerAscii(verb) != L"open" && Contains(verb, L"Open")) {
                kept = verb;
                break;
            }
        }
    }
    if (kept.empty()) return;
    DeleteKeyTree(root, cls + L"\\shell\\open");
    TransferKey(cls + L"\\shell\\" + kept, cls + L"\\shell\\open", true, scope);
}

void InstallAssociations(const AssociationScope& scope)
{
    for (const FileTypeEntry& type : AssociatedFileTypes(Association::TakeOver))
        InstallAssociation(type.extension, type.description, scope);
}

void UninstallAssociations(const AssociationScope& scope)
{
    for (const FileTypeEntry& type : AssociatedFileTypes(Association::TakeOver))
        UninstallAssociation(type.extension, scope);
}
