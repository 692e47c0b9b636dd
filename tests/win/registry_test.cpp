#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "system/OpenWith.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {

// Scratch keys live below this key of HKEY_CURRENT_USER, one per process.
std::wstring ScratchPath(std::wstring_view what)
{
    return L"Software\\PixavoTests\\" + std::wstring(what) + std::to_wstring(GetCurrentProcessId());
}

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size)
{
    RegKey key = RegKey::Create(root, path);
    ASSERT_TRUE(key) << Narrow(path);
    ASSERT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
             DWORD type = REG_SZ)
{
    SetValue(root, path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value)
{
    SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

// Raw type and bytes of a value, or type REG_NONE with "missing" when absent.
struct Stored {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool exists = false;
};

Stored Query(HKEY root, const std::wstring& path, const std::wstring& name)
{
    Stored out;
    RegKey key = RegKey::Open(root, path, KEY_READ);
    if (!key) return out;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &out.type, nullptr, &size) != ERROR_SUCCESS) return out;
    out.data.resize(size);
    if (size) RegQueryValueExW(key.Get(), name.c_str(), nullptr, &out.type, out.data.data(), &size);
    out.exists = true;
    return out;
}

// Default value of a key as text; "<none>" when key or value is missing.
std::wstring Default(HKEY root, const std::wstring& path)
{
    Stored s = Query(root, path, L"");
    if (!s.exists) return L"<none>";
    std::wstring text(s.data.size() / 2, L'\0');
    memcpy(text.data(), s.data.data(), text.size() * 2);
    return text.substr(0, text.find(L'\0'));
}

bool Exists(HKEY root, const std::wstring& path)
{
    return static_cast<bool>(RegKey::Open(root, path, KEY_READ));
}

std::vector<std::wstring> Subkeys(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> names;
    RegKey key = RegKey::Open(root, path, KEY_READ);
    if (!key) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Everything below a key as text (names, types, bytes, subkeys), for
// "nothing changed" comparisons.
std::wstring Dump(HKEY root, const std::wstring& path)
{
    RegKey key = RegKey::Open(root, path, KEY_READ);
    if (!key) return L"<missing " + path + L">";
    std::vector<std::wstring> lines;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = 16384;
        if (RegEnumValueW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Stored s = Query(root, path, std::wstring(name, length));
        std::wstring line = L"[" + path + L"] " + std::wstring(name, length) + L" type " + std::to_wstring(s.type) + L":";
        for (BYTE b : s.data) line += L" " + std::to_wstring(b);
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::wstring out;
    for (const auto& line : lines) out += line + L"\n";
    std::vector<std::wstring> subkeys = Subkeys(root, path);
    std::sort(subkeys.begin(), subkeys.end());
    for (const auto& sub : subkeys) out += Dump(root, path + L"\\" + sub);
    return out;
}

std::wstring ThrownMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure.Message();
    }
    return L"<no failure>";
}

// ---------------------------------------------------------------- settings

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        location_.path = path_;
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PixavoTests");  // only once empty
    }

    std::wstring path_ = ScratchPath(L"Settings");
    SettingsKey location_;
    const std::wstring color_ = EncodeSettingName(kBackGroundColorSetting);
    const std::wstring interval_ = EncodeSettingName(kSlideShowIntervalSetting);
};

TEST_F(SettingsStore, FirstReadCreatesTheEmptyKey)
{
    ASSERT_FALSE(Exists(HKEY_CURRENT_USER, path_));
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"");
    ASSERT_TRUE(Exists(HKEY_CURRENT_USER, path_));
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, path_), L"");
}

TEST_F(SettingsStore, WriteStoresTextWithItsTerminator)
{
    WriteSettingValue(color_, L"16777215", location_);
    Stored s = Query(HKEY_CURRENT_USER, path_, color_);
    ASSERT_TRUE(s.exists);
    EXPECT_EQ(s.type, DWORD(REG_SZ));
    EXPECT_EQ(s.data.size(), 9 * sizeof(wchar_t));
    EXPECT_EQ(ReadSettingValue(color_, location_), L"16777215");

    // Replacing a value of another type makes it text again.
    SetDword(HKEY_CURRENT_USER, path_, color_, 5);
    WriteSettingValue(color_, L"0", location_);
    s = Query(HKEY_CURRENT_USER, path_, color_);
    EXPECT_EQ(s.type, DWORD(REG_SZ));
    EXPECT_EQ(s.data.size(), 2 * sizeof(wchar_t));
    EXPECT_EQ(ReadSettingValue(color_, location_), L"0");

    WriteSettingValue(color_, L"", location_);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, path_, color_).data.size(), sizeof(wchar_t));
    EXPECT_EQ(ReadSettingValue(color_, location_), L"");
}

TEST_F(SettingsStore, TextIsReadUpToTheFirstZeroAndUnexpanded)
{
    SetText(HKEY_CURRENT_USER, path_, interval_, L"%TEMP%\\7000", REG_EXPAND_SZ);
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"%TEMP%\\7000");

    const wchar_t withZero[] = L"7000\0junk";
    SetValue(HKEY_CURRENT_USER, path_, interval_, REG_SZ, withZero, sizeof withZero);
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"7000");

    // Stored without a terminator.
    SetValue(HKEY_CURRENT_USER, path_, interval_, REG_SZ, L"123", 3 * sizeof(wchar_t));
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"123");
}

TEST_F(SettingsStore, OtherTypesFailWithTheStoredName)
{
    SetDword(HKEY_CURRENT_USER, path_, color_, 0xFFFFFF);
    EXPECT_EQ(ThrownMessage([&] { ReadSettingValue(color_, location_); }),
              L"Invalid data type for 'QmFja0dyb3VuZENvbG9y'");

    const BYTE bytes[] = {1, 2, 3};
    SetValue(HKEY_CURRENT_USER, path_, interval_, REG_BINARY, bytes, sizeof bytes);
    EXPECT_EQ(ThrownMessage([&] { ReadSettingValue(interval_, location_); }),
              L"Invalid data type for 'U2xpZGVTaG93SW50ZXJ2YWw='");

    // A value without data reads as empty whatever its type.
    SetValue(HKEY_CURRENT_USER, path_, interval_, REG_BINARY, nullptr, 0);
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"");
}

TEST_F(SettingsStore, OversizedDataIsNotFetched)
{
    const std::wstring huge(9u << 20, L'7');  // 18 MiB of text
    SetText(HKEY_CURRENT_USER, path_, interval_, huge);
    ASSERT_EQ(Query(HKEY_CURRENT_USER, path_, interval_).data.size(), (huge.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(ThrownMessage([&] { ReadSettingValue(interval_, location_); }),
              L"Failed to get data for 'U2xpZGVTaG93SW50ZXJ2YWw='");
}

TEST_F(SettingsStore, PlainNamesAreNeverRead)
{
    SetText(HKEY_CURRENT_USER, path_, L"SlideShowInterval", L"9000");
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"");
    WriteSettingValue(interval_, L"7000", location_);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, path_, L"SlideShowInterval").data.size(), 5 * sizeof(wchar_t));
    EXPECT_EQ(ReadSettingValue(interval_, location_), L"7000");
}

TEST_F(SettingsStore, KeyThatCannotBeOpenedIsPassedOver)
{
    // Key names are limited to 255 characters, so this key cannot be created.
    const std::wstring blockedPath = path_ + L"\\" + std::wstring(300, L'k');
    SettingsKey blocked{HKEY_CURRENT_USER, blockedPath};
    EXPECT_EQ(ReadSettingValue(color_, blocked), L"");
    WriteSettingValue(color_, L"255", blocked);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, blockedPath));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, path_), std::vector<std::wstring>{});
}

TEST_F(SettingsStore, UnwritableValueFails)
{
    // Value names are limited to 16383 characters.
    const std::wstring tooLong(20000, L'A');
    EXPECT_EQ(ThrownMessage([&] { WriteSettingValue(tooLong, L"1", location_); }),
              L"Failed to set data for '" + tooLong + L"'");
}

TEST(SettingsStoreDefault, UsesTheProgramKeyOfTheCurrentUser)
{
    const std::wstring probe = EncodeSettingName(L"PixavoTestProbe" + std::to_wstring(GetCurrentProcessId()));
    const bool keyExisted = Exists(HKEY_CURRENT_USER, L"Software\\Corvane\\Pixavo Image Browser");
    WriteSettingValue(probe, L"42");
    Stored s = Query(HKEY_CURRENT_USER, L"Software\\Corvane\\Pixavo Image Browser", probe);
    EXPECT_TRUE(s.exists);
    EXPECT_EQ(s.type, DWORD(REG_SZ));
    EXPECT_EQ(ReadSettingValue(probe), L"42");
    RegKey key = RegKey::Open(HKEY_CURRENT_USER, kSettingsKeyPath);
    ASSERT_TRUE(key);
    RegDeleteValueW(key.Get(), probe.c_str());
    key.Reset();
    if (!keyExisted) {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvane\\Pixavo Image Browser");
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Corvane");
    }
}

// ------------------------------------------------------------ associations

constexpr wchar_t kProgram[] = L"C:\\Program Files\\Pixavo\\pixavo.exe";
constexpr wchar_t kOurCommand[] = L"C:\\Program Files\\Pixavo\\pixavo.exe /nosplash \"%1\"";
constexpr wchar_t kOurIcon[] = L"C:\\Program Files\\Pixavo\\pixavo.exe,0";
constexpr wchar_t kViewerCommand[] = L"\"C:\\Tools\\viewer.exe\" \"%1\"";

// Associations are written below a scratch key that stands in for
// HKEY_CLASSES_ROOT.
class Associations : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        holder_ = RegKey::Create(HKEY_CURRENT_USER, path_);
        ASSERT_TRUE(holder_);
        root_ = holder_.Get();
        scope_ = AssociationScope{root_, kProgram};
    }
    void TearDown() override
    {
        holder_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PixavoTests");  // only once empty
    }

    // A previous owner class in the usual shape.
    void MakeViewerClass(const std::wstring& cls, const std::wstring& command = kViewerCommand)
    {
        SetText(root_, cls, L"", L"Viewer Picture");
        SetText(root_, cls + L"\\DefaultIcon", L"", L"C:\\Tools\\viewer.exe,1");
        SetText(root_, cls + L"\\shell\\open\\command", L"", command);
        SetText(root_, cls + L"\\shell\\open", L"FriendlyAppName", L"Viewer");
        SetText(root_, cls + L"\\shell\\print\\command", L"", L"\"C:\\Tools\\viewer.exe\" /p \"%1\"");
        SetText(root_, cls + L"\\shellex\\{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}", L"",
                L"{7376D660-C583-11d0-A3A5-00C04FD706EC}");
    }

    std::wstring path_ = ScratchPath(L"Classes");
    RegKey holder_;
    HKEY root_ = nullptr;
    AssociationScope scope_;
};

TEST_F(Associations, ExtensionWithoutPreviousOwner)
{
    InstallAssociation(L".pxa", L"Test Picture", scope_);
    const std::wstring cls = L"PixavoImageBrowser.pxaImage";
    EXPECT_EQ(Default(root_, L".pxa"), cls);
    EXPECT_EQ(Default(root_, cls), L"Test Picture");
    EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), kOurIcon);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
    EXPECT_EQ(Query(root_, cls + L"\\shell\\open\\command", L"").type, DWORD(REG_SZ));
    EXPECT_FALSE(Exists(root_, cls + L"\\OldDefaultIcon"));
    EXPECT_EQ(Subkeys(root_, cls + L"\\shell"), std::vector<std::wstring>{L"open"});
    EXPECT_FALSE(Exists(root_, cls + L"\\shellex"));

    // Installing again changes nothing, uninstalling changes nothing either.
    const std::wstring before = Dump(root_, L"");
    InstallAssociation(L".pxa", L"Test Picture", scope_);
    EXPECT_EQ(Dump(root_, L""), before);
    UninstallAssociation(L".pxa", scope_);
    EXPECT_EQ(Dump(root_, L""), before);
}

TEST_F(Associations, NewerTypesAreOfferedUnderOpenWithAndWithdrawnExactly)
{
    // .webp has an owner and an "Open with" list of its own; .avif nothing.
    SetText(root_, L".webp", L"", L"Other.webp");
    SetText(root_, L".webp\\OpenWithProgids", L"Other.webp", L"");
    const std::wstring before = Dump(root_, L"");
    const std::vector<OpenWithType> types = {{L".webp", L"WebP Image"}, {L".avif", L"AVIF Image"}};
    OfferOpenWith(types, scope_);
    EXPECT_EQ(Default(root_, L".webp"), L"Other.webp");
    EXPECT_EQ(Default(root_, L".avif"), L"<none>");
    for (const std::wstring name : {L"webp", L"avif"}) {
        const std::wstring cls = L"PixavoImageBrowser." + name + L"Image";
        EXPECT_TRUE(Query(root_, L"." + name + L"\\OpenWithProgids", cls).exists);
        EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
    }
    EXPECT_EQ(Default(root_, L"PixavoImageBrowser.avifImage"), L"AVIF Image");
    WithdrawOpenWith(types, scope_);
    EXPECT_EQ(Dump(root_, L""), before);
}

TEST_F(Associations, PreviousOwnerIsKeptAndRestored)
{
    MakeViewerClass(L"Viewer.Picture");
    SetText(root_, L".pxb", L"", L"Viewer.Picture");
    const std::wstring owner = Dump(root_, L"Viewer.Picture");
    const std::wstring cls = L"PixavoImageBrowser.pxbImage";

    InstallAssociation(L".pxb", L"Test Picture", scope_);
    EXPECT_EQ(Default(root_, L".pxb"), cls);
    EXPECT_EQ(Default(root_, cls), L"Test Picture");
    EXPECT_EQ(Default(root_, cls + L"\\OldDefaultIcon"), L"C:\\Tools\\viewer.exe,1");
    EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), kOurIcon);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\Open with viewer.exe\\command"), kViewerCommand);
    EXPECT_TRUE(Query(root_, cls + L"\\shell\\Open with viewer.exe", L"FriendlyAppName").exists);
    EXPECT_FALSE(Query(root_, cls + L"\\shell\\open", L"FriendlyAppName").exists);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\print\\command"), L"\"C:\\Tools\\viewer.exe\" /p \"%1\"");
    EXPECT_EQ(Default(root_, cls + L"\\shellex\\{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}"),
              L"{7376D660-C583-11d0-A3A5-00C04FD706EC}");
    EXPECT_EQ(Dump(root_, L"Viewer.Picture"), owner);

    // Installing again from the same program changes nothing.
    const std::wstring installed = Dump(root_, L"");
    InstallAssociation(L".pxb", L"Test Picture", scope_);
    EXPECT_EQ(Dump(root_, L""), installed);

    UninstallAssociation(L".pxb", scope_);
    EXPECT_EQ(Default(root_, L".pxb"), cls);
    EXPECT_EQ(Default(root_, cls), L"Test Picture");
    EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), L"C:\\Tools\\viewer.exe,1");
    EXPECT_FALSE(Exists(root_, cls + L"\\OldDefaultIcon"));
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kViewerCommand);
    EXPECT_TRUE(Query(root_, cls + L"\\shell\\open", L"FriendlyAppName").exists);
    EXPECT_FALSE(Exists(root_, cls + L"\\shell\\Open with viewer.exe"));
    EXPECT_TRUE(Exists(root_, cls + L"\\shell\\print"));
    EXPECT_EQ(Dump(root_, L"Viewer.Picture"), owner);
}

TEST_F(Associations, KeptVerbIsNamedAfterTheLastPathPart)
{
    struct Case {
        const wchar_t* command;
        const wchar_t* verb;
    };
    const Case cases[] = {
        {L"C:\\Tools\\viewer.exe \"%1\"", L"Open with viewer.exe"},
        {L"C:\\Tools\\viewer.exe /view %1", L"Open with viewer.exe"},
        {L"viewer.exe %1", L"Open with viewer.exe"},
        {L"C:viewer.exe", L"Open with viewer.exe"},
        {L"\"C:\\Tools\\viewer.exe\" \"D:\\Other\\%1\"", L"Open with %1"},
        {L"\"viewer.exe\" \"%1\"", L"Open2"},
        {L"", L"Open2"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::wstring ext = L".pk" + std::to_wstring(n++);
        const std::wstring owner = L"Owner" + ext;
        MakeViewerClass(owner, c.command);
        SetText(root_, ext, L"", owner);
        InstallAssociation(ext, L"Test Picture", scope_);
        const std::wstring cls = AssociationClassName(ext);
        EXPECT_EQ(Default(root_, cls + L"\\shell\\" + c.verb + L"\\command"), c.command) << Narrow(c.command);
        EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
        auto verbs = Subkeys(root_, cls + L"\\shell");
        EXPECT_EQ(verbs.size(), 3u) << Narrow(c.command);
    }
}

TEST_F(Associations, ExistingKeptVerbIsNotReplaced)
{
    MakeViewerClass(L"Viewer.Picture", L"C:\\Tools\\viewer.exe %1");
    SetText(root_, L"Viewer.Picture\\shell\\Open with viewer.exe\\command", L"", L"older command");
    SetText(root_, L".pxc", L"", L"Viewer.Picture");
    InstallAssociation(L".pxc", L"Test Picture", scope_);
    const std::wstring cls = AssociationClassName(L".pxc");
    EXPECT_EQ(Default(root_, cls + L"\\shell\\Open with viewer.exe\\command"), L"older command");
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
    // The previous "open" verb stayed where it was, with only its command replaced.
    EXPECT_TRUE(Query(root_, cls + L"\\shell\\open", L"FriendlyAppName").exists);
}

TEST_F(Associations, VersionLinksAreFollowedAtMostTenTimes)
{
    // A chain C0 -> C1 -> ... -> C12: the owner is C10.
    for (int i = 0; i <= 12; ++i) {
        const std::wstring cls = L"Chain.C" + std::to_wstring(i);
        SetText(root_, cls + L"\\DefaultIcon", L"", L"icon" + std::to_wstring(i));
        SetText(root_, cls + L"\\CurVer", L"", L"Chain.C" + std::to_wstring(i + 1));
    }
    SetText(root_, L".pxd", L"", L"Chain.C0");
    InstallAssociation(L".pxd", L"Test Picture", scope_);
    EXPECT_EQ(Default(root_, AssociationClassName(L".pxd") + L"\\OldDefaultIcon"), L"icon10");

    // A loop A -> B -> A stops after ten links, back at A.
    SetText(root_, L"Loop.A\\DefaultIcon", L"", L"iconA");
    SetText(root_, L"Loop.A\\CurVer", L"", L"Loop.B");
    SetText(root_, L"Loop.B\\DefaultIcon", L"", L"iconB");
    SetText(root_, L"Loop.B\\CurVer", L"", L"Loop.A");
    SetText(root_, L".pxe", L"", L"Loop.A");
    InstallAssociation(L".pxe", L"Test Picture", scope_);
    EXPECT_EQ(Default(root_, AssociationClassName(L".pxe") + L"\\OldDefaultIcon"), L"iconA");
}

TEST_F(Associations, IconsKeepThePlaceholderWithoutBackup)
{
    MakeViewerClass(L"Viewer.Icon");
    SetText(root_, L".ico", L"", L"Viewer.Icon");
    InstallAssociation(L".ico", L"Windows Icon", scope_);
    const std::wstring cls = L"PixavoImageBrowser.icoImage";
    EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), L"%1");
    EXPECT_FALSE(Exists(root_, cls + L"\\OldDefaultIcon"));
    EXPECT_EQ(Default(root_, cls + L"\\shell\\Open with viewer.exe\\command"), kViewerCommand);
}

TEST_F(Associations, EmptyExtensionValueNamesNoOwner)
{
    // Keys at the root that an empty class name would point at.
    SetText(root_, L"shell\\stray\\command", L"", L"stray");
    SetText(root_, L"DefaultIcon", L"", L"stray icon");
    SetText(root_, L".pxf", L"", L"");
    InstallAssociation(L".pxf", L"Test Picture", scope_);
    const std::wstring cls = AssociationClassName(L".pxf");
    EXPECT_EQ(Default(root_, L".pxf"), cls);
    EXPECT_EQ(Subkeys(root_, cls + L"\\shell"), std::vector<std::wstring>{L"open"});
    EXPECT_FALSE(Exists(root_, cls + L"\\OldDefaultIcon"));
    EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), kOurIcon);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
}

TEST_F(Associations, UninstallWhileAnotherClassOwnsTheExtension)
{
    InstallAssociation(L".pxg", L"Test Picture", scope_);
    SetText(root_, L"Other.Picture\\DefaultIcon", L"", L"new icon");
    SetText(root_, L"Other.Picture\\OldDefaultIcon", L"", L"old icon");
    SetText(root_, L"Other.Picture\\shell\\open\\command", L"", L"other.exe %1");
    SetText(root_, L"Other.Picture\\shell\\OpenNew\\command", L"", L"other.exe /new %1");
    SetText(root_, L".pxg", L"", L"Other.Picture");
    const std::wstring ours = Dump(root_, AssociationClassName(L".pxg"));

    UninstallAssociation(L".pxg", scope_);
    EXPECT_EQ(Default(root_, L"Other.Picture\\DefaultIcon"), L"old icon");
    EXPECT_FALSE(Exists(root_, L"Other.Picture\\OldDefaultIcon"));
    EXPECT_EQ(Default(root_, L"Other.Picture\\shell\\open\\command"), L"other.exe %1");
    EXPECT_EQ(Default(root_, L"Other.Picture\\shell\\OpenNew\\command"), L"other.exe /new %1");
    EXPECT_EQ(Dump(root_, AssociationClassName(L".pxg")), ours);
}

TEST_F(Associations, UninstallTakesTheFirstEnumeratedOpenVerb)
{
    MakeViewerClass(L"Viewer.Picture");
    // Sorts before "Open with viewer.exe" in the registry's enumeration.
    SetText(root_, L"Viewer.Picture\\shell\\AltOpen\\command", L"", L"alt.exe %1");
    SetText(root_, L"Viewer.Picture\\shell\\reopen\\command", L"", L"lower case only");
    SetText(root_, L".pxh", L"", L"Viewer.Picture");
    InstallAssociation(L".pxh", L"Test Picture", scope_);
    const std::wstring cls = AssociationClassName(L".pxh");
    const auto verbs = Subkeys(root_, cls + L"\\shell");
    ASSERT_LT(std::find(verbs.begin(), verbs.end(), L"AltOpen"),
              std::find(verbs.begin(), verbs.end(), L"Open with viewer.exe"));

    UninstallAssociation(L".pxh", scope_);
    EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), L"alt.exe %1");
    EXPECT_FALSE(Exists(root_, cls + L"\\shell\\AltOpen"));
    EXPECT_EQ(Default(root_, cls + L"\\shell\\Open with viewer.exe\\command"), kViewerCommand);
    EXPECT_TRUE(Exists(root_, cls + L"\\shell\\reopen"));
}

TEST_F(Associations, UninstallNeverTakesTheOpenVerbItself)
{
    // A class whose "open" verb is spelt with a capital letter.
    SetText(root_, L"Caps.Picture\\shell\\Open\\command", L"", kOurCommand);
    SetText(root_, L"Caps.Picture\\shell\\Open with viewer.exe\\command", L"", kViewerCommand);
    SetText(root_, L".pxj", L"", L"Caps.Picture");
    UninstallAssociation(L".pxj", scope_);
    EXPECT_EQ(Default(root_, L"Caps.Picture\\shell\\open\\command"), kViewerCommand);
    EXPECT_EQ(Subkeys(root_, L"Caps.Picture\\shell").size(), 1u);
}

TEST_F(Associations, UninstallLeavesForeignOpenCommandAlone)
{
    InstallAssociation(L".pxi", L"Test Picture", scope_);
    const std::wstring cls = AssociationClassName(L".pxi");
    SetText(root_, cls + L"\\shell\\open\\command", L"", L"someone.exe %1");
    SetText(root_, cls + L"\\shell\\OpenOld\\command", L"", L"old.exe %1");
    const std::wstring before = Dump(root_, L"");
    UninstallAssociation(L".pxi", scope_);
    EXPECT_EQ(Dump(root_, L""), before);
}

TEST_F(Associations, AllSupportedExtensionsInOneRun)
{
    InstallAssociations(scope_);
    const std::pair<const wchar_t*, const wchar_t*> table[] = {
        {L".jpeg", L"JPEG Image"}, {L".jpg", L"JPEG Image"},    {L".bmp", L"Bitmap"},
        {L".ico", L"Windows Icon"}, {L".png", L"PNG Image"}, {L".wmf", L"Windows Metafile Image"},
        {L".emf", L"Enhanced Metafile Image"},
    };
    for (const auto& [ext, description] : table) {
        const std::wstring cls = L"PixavoImageBrowser" + std::wstring(ext) + L"Image";
        EXPECT_EQ(Default(root_, ext), cls);
        EXPECT_EQ(Default(root_, cls), description);
        EXPECT_EQ(Default(root_, cls + L"\\shell\\open\\command"), kOurCommand);
        EXPECT_EQ(Default(root_, cls + L"\\DefaultIcon"), std::wstring(ext) == L".ico" ? L"%1" : kOurIcon);
    }
    EXPECT_EQ(Subkeys(root_, L"").size(), 14u);
    const std::wstring installed = Dump(root_, L"");
    UninstallAssociations(scope_);
    EXPECT_EQ(Dump(root_, L""), installed);
}

TEST_F(Associations, TransferKeyCopiesValuesAndSubkeys)
{
    SetText(root_, L"Src", L"", L"default text");
    SetText(root_, L"Src", L"Expand", L"%SystemRoot%", REG_EXPAND_SZ);
    SetDword(root_, L"Src", L"Number", 0x12345678);
    const BYTE bytes[] = {0, 1, 2, 255};
    SetValue(root_, L"Src", L"Bytes", REG_BINARY, bytes, sizeof bytes);
    const wchar_t multi[] = L"a\0b\0";
    SetValue(root_, L"Src", L"Multi", REG_MULTI_SZ, multi, sizeof multi);
    SetValue(root_, L"Src", L"Empty", REG_BINARY, nullptr, 0);
    SetText(root_, L"Src\\A\\Deep\\Deeper", L"Leaf", L"leaf");
    SetText(root_, L"Src\\B", L"", L"b");

    TransferKey(L"Src", L"Dst\\Inner", false, scope_);
    EXPECT_EQ(Default(root_, L"Dst\\Inner"), L"default text");
    Stored expand = Query(root_, L"Dst\\Inner", L"Expand");
    EXPECT_EQ(expand.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(expand.data, Query(root_, L"Src", L"Expand").data);
    Stored number = Query(root_, L"Dst\\Inner", L"Number");
    EXPECT_EQ(number.type, DWORD(REG_DWORD));
    EXPECT_EQ(number.data, Query(root_, L"Src", L"Number").data);
    Stored binary = Query(root_, L"Dst\\Inner", L"Bytes");
    EXPECT_EQ(binary.type, DWORD(REG_BINARY));
    EXPECT_EQ(binary.data, std::vector<BYTE>(bytes, bytes + 4));
    Stored other = Query(root_, L"Dst\\Inner", L"Multi");
    EXPECT_EQ(other.type, DWORD(REG_NONE));
    EXPECT_EQ(other.data, Query(root_, L"Src", L"Multi").data);
    EXPECT_FALSE(Query(root_, L"Dst\\Inner", L"Empty").exists);
    EXPECT_EQ(Query(root_, L"Dst\\Inner\\A\\Deep\\Deeper", L"Leaf").data, Query(root_, L"Src\\A\\Deep\\Deeper", L"Leaf").data);
    EXPECT_EQ(Default(root_, L"Dst\\Inner\\B"), L"b");
    EXPECT_TRUE(Exists(root_, L"Src"));

    // Moving deletes the source with its subkeys.
    TransferKey(L"Src\\A", L"Moved", true, scope_);
    EXPECT_FALSE(Exists(root_, L"Src\\A"));
    EXPECT_EQ(Default(root_, L"Moved\\Deep\\Deeper"), L"<none>");
    EXPECT_TRUE(Query(root_, L"Moved\\Deep\\Deeper", L"Leaf").exists);
}

TEST_F(Associations, TransferKeyNeedsSourceAndNoDestination)
{
    SetText(root_, L"Src", L"", L"source");
    SetText(root_, L"Dst", L"", L"destination");
    TransferKey(L"Src", L"Dst", true, scope_);
    EXPECT_EQ(Default(root_, L"Dst"), L"destination");
    EXPECT_EQ(Default(root_, L"Src"), L"source");

    TransferKey(L"Missing", L"Elsewhere", true, scope_);
    EXPECT_FALSE(Exists(root_, L"Elsewhere"));
}

TEST_F(Associations, TransferKeyReportsADestinationThatCannotBeCreated)
{
    SetText(root_, L"Src", L"", L"source");
    // Key names are limited to 255 characters.
    const std::wstring destination = L"New\\" + std::wstring(300, L'p');
    EXPECT_EQ(ThrownMessage([&] { TransferKey(L"Src", destination, true, scope_); }),
              L"Failed to create key " + destination);
    EXPECT_TRUE(Exists(root_, L"Src"));
}

TEST(AssociationsDefault, UsesClassesRootAndTheRunningProgram)
{
    const std::wstring ext = L".pixavotest" + std::to_wstring(GetCurrentProcessId());
    const std::wstring cls = AssociationClassName(ext);
    const std::wstring program = ProgramFilePath();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.substr(program.size() - 4), L".exe");
    EXPECT_EQ(program.substr(1, 2), L":\\");

    InstallAssociation(ext, L"Test Picture");
    EXPECT_EQ(Default(HKEY_CLASSES_ROOT, ext), cls);
    EXPECT_EQ(Default(HKEY_CLASSES_ROOT, cls + L"\\shell\\open\\command"), program + L" /nosplash \"%1\"");
    EXPECT_EQ(Default(HKEY_CLASSES_ROOT, cls + L"\\DefaultIcon"), program + L",0");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ext.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, cls.c_str());
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, ext));
}

} // namespace
