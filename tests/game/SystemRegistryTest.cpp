#include "GameLocator.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "GameLayout.h"
#include "GameTestSupport.h"
#include "TestSupport.h"

using namespace kv::game;

namespace {

// A key of its own below HKLM\SOFTWARE, written in one registry view and deleted from both.
class RegistryKey
{
public:
    explicit RegistryKey(std::wstring name)
        : name_(L"SOFTWARE\\KV tests\\" + name + std::to_wstring(GetCurrentProcessId()))
    {}
    ~RegistryKey()
    {
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, name_.c_str(), view, 0);
        }
    }
    // False where the test may not write HKLM (Windows without administrator rights).
    bool write(REGSAM view, const wchar_t *value, DWORD type, const void *data, DWORD size)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, name_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const bool written = RegSetValueExW(key, value, 0, type, static_cast<const BYTE *>(data),
                                            size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    }
    bool writeText(REGSAM view, const wchar_t *value, const std::wstring &text)
    {
        return write(view, value, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
    }
    // The key as the locator's table names it.
    std::string path(const char *below = "HKLM\\SOFTWARE\\") const
    {
        const std::u8string text = std::filesystem::path(name_.substr(9)).u8string();
        return below + std::string(text.begin(), text.end());
    }

private:
    std::wstring name_;
};

// The retail installer is a 32-bit program: on 64-bit Windows its key lies in the 32-bit view
// (below WOW6432Node), which the table's plain key must still find.
TEST(SystemRegistryValue, ReadsTheSixtyFourBitViewThenTheThirtyTwoBitOne)
{
    RegistryKey only32(L"Only32-");
    RegistryKey both(L"Both-");
    if (!only32.writeText(KEY_WOW64_32KEY, L"Folder", L"C:\\Games\\Игра 2004") ||
        !both.writeText(KEY_WOW64_32KEY, L"Folder", L"D:\\32") ||
        !both.writeText(KEY_WOW64_64KEY, L"Folder", L"D:\\64")) {
        GTEST_SKIP() << "HKLM cannot be written without administrator rights";
    }
    EXPECT_EQ(SystemRegistryValue(only32.path(), "Folder"), "C:\\Games\\Игра 2004");
    EXPECT_EQ(SystemRegistryValue(only32.path("HKLM\\SOFTWARE\\WOW6432Node\\"), "folder"),
              "C:\\Games\\Игра 2004")
        << "as the table's second row names it";
    EXPECT_EQ(SystemRegistryValue(both.path(), "Folder"), "D:\\64");
    EXPECT_EQ(SystemRegistryValue(both.path(), "Path"), std::nullopt);
    EXPECT_EQ(SystemRegistryValue(both.path("HKCU\\Software\\"), "Folder"), std::nullopt);
    EXPECT_EQ(SystemRegistryValue("HKXX\\Software\\KV tests", "Folder"), std::nullopt);
}

TEST(SystemRegistryValue, GivesOnlyText)
{
    RegistryKey key(L"Types-");
    const DWORD number = 3369;
    const std::wstring expandable = L"%SystemDrive%\\UT2004";
    if (!key.write(KEY_WOW64_64KEY, L"Version", REG_DWORD, &number, sizeof number) ||
        !key.write(KEY_WOW64_64KEY, L"Folder", REG_EXPAND_SZ, expandable.c_str(),
                   DWORD((expandable.size() + 1) * sizeof(wchar_t)))) {
        GTEST_SKIP() << "HKLM cannot be written without administrator rights";
    }
    EXPECT_EQ(SystemRegistryValue(key.path(), "Version"), std::nullopt);
    EXPECT_EQ(SystemRegistryValue(key.path(), "Folder"), "C:\\UT2004");
}

// The whole search on the real registry: the game where the value names it.
TEST(SystemRegistryValue, ServesTheLocatorsWindowsRows)
{
    kv::test::TempDir dir;
    kv::test::WriteTextFile(dir.Path() / "System/UT2004.exe", "");
    kv::test::RecordingLog log;
    RegistryKey key(L"Game-");
    if (!key.writeText(KEY_WOW64_32KEY, L"Folder", dir.Path().native())) {
        GTEST_SKIP() << "HKLM cannot be written without administrator rights";
    }
    const std::string entry = key.path() + "|Folder";
    GamePlace places[] = {GamePlace{PlaceKind::RegistryFolder, entry.c_str()}};
    PlatformLayout layout = WindowsLayout();
    layout.places = places;
    GameLocator locator(dir.Path().string(), log, PathExistsOnDisk, layout);
    const std::optional<FoundGame> game = locator.findElsewhere();
    ASSERT_TRUE(game.has_value()) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(StartFor(*game, PathExistsOnDisk).program,
              dir.Path().string() + "\\System\\UT2004.exe");
}

} // namespace

// A user name outside the ANSI code page: the profile folder arrives whole, as UTF-8.
TEST(HomeFolder, ReadsTheProfileFolderWide)
{
    const std::wstring profile = L"C:\\Users\\\u0418\u0440\u0438\u043d\u0430 \u674e";
    const std::wstring longName(400, L'x'); // beyond the first, MAX_PATH-sized read
    for (const std::wstring &folder : {profile, L"C:\\Users\\" + longName}) {
        SetEnvironmentVariableW(L"HOME", nullptr);
        SetEnvironmentVariableW(L"USERPROFILE", folder.c_str());
        const std::u8string expected = std::filesystem::path(folder).u8string();
        EXPECT_EQ(HomeFolder(), std::string(expected.begin(), expected.end()));
    }
}
