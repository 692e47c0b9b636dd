#include "system/OpenWith.h"

#include <windows.h>

namespace {

std::wstring ProgramOf(const AssociationScope& scope)
{
    return scope.programPath.empty() ? ProgramFilePath() : scope.programPath;
}

// Deletes the key when it holds neither values nor subkeys.
void DeleteIfEmpty(HKEY root, const std::wstring& path)
{
    DWORD subkeys = 1, values = 1;
    if (RegKey key = RegKey::Open(root, path, KEY_READ))
        if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
    if (subkeys == 0 && values == 0)
        RegDeleteKeyW(root, path.c_str());
}

} // namespace

void OfferOpenWith(const std::vector<OpenWithType>& types, const AssociationScope& scope)
{
    const std::wstring program = ProgramOf(scope);
    for (const OpenWithType& type : types) {
        const std::wstring cls = AssociationClassName(type.extension);
        if (RegKey key = RegKey::Create(scope.root, cls))
            key.WriteString(L"", type.description);
        if (RegKey key = RegKey::Create(scope.root, cls + L"\\shell\\open\\command"))
            key.WriteString(L"", program + L" /nosplash \"%1\"");
        if (RegKey key = RegKey::Create(scope.root, type.extension + L"\\OpenWithProgids"))
            key.WriteString(cls, L"");
    }
}

void WithdrawOpenWith(const std::vector<OpenWithType>& types, const AssociationScope& scope)
{
    for (const OpenWithType& type : types) {
        const std::wstring cls = AssociationClassName(type.extension);
        const std::wstring list = type.extension + L"\\OpenWithProgids";
        if (RegKey key = RegKey::Open(scope.root, list))
            RegDeleteValueW(key.Get(), cls.c_str());
        DeleteIfEmpty(scope.root, list);
        DeleteIfEmpty(scope.root, type.extension);
        RegDeleteTreeW(scope.root, cls.c_str());
        RegDeleteKeyW(scope.root, cls.c_str());
    }
}
