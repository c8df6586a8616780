#include "StoredSettingsReader.h"

#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "TestSupport.h"

namespace kv::converter {
namespace {

struct TextCase
{
    const char *text;
    std::optional<std::string> game; // nothing: the reader must leave the file to the store
};

// Lines the store writes are read as it reads them; anything else is left to the store itself.
TEST(StoredSettingsReader, ReadsOnlyWhatTheStoreWrites)
{
    const TextCase cases[] = {
        {"[General]\nGame=Korvane: Ravelock\n", "Korvane: Ravelock"},
        {"Game=Korvane: Veskar\n[General]\n\n", "Korvane: Veskar"},
        {"[General]\nGame=\n", ""},
        {"[General]\nGame=\"\"\n", ""},
        {"[General]\nGame=\" lead, comma; semi=eq\"\n", " lead, comma; semi=eq"},
        {"[General]\nGame=\"q\\\"b\\\\\"\n", "q\"b\\"},
        {"[General]\nGame=@@at\n", "@at"},
        {"[General]\nGame=\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0\n",
         "\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"},
        {"[General]\ngame=lower\n", "lower"},
        {"", ""},
        {"[General]\nGame=a,b\n", std::nullopt},           // a list
        {"[General]\nGame=a;b\n", std::nullopt},           // a comment after a
        {"[General]\nGame=a \n", std::nullopt},            // blanks trimmed
        {"[General]\nGame=\\x41\n", std::nullopt},         // other escapes
        {"[General]\nGame=\"a\"b\n", std::nullopt},        // text after the quotes
        {"[General]\nGame=@Variant(x)\n", std::nullopt},   // a typed value
        {"[General]\r\nGame=x\r\n", "x"},                  // Windows' line ends
        {"[General]\nGame=x\ry=z\n", std::nullopt},        // a lone CR ends a line too
        {"\xef\xbb\xbf[General]\nGame=x\n", std::nullopt}, // a byte-order mark
        {"[General]\nGame=\xff\n", std::nullopt},          // not UTF-8
        {"[General]\n Game=x\n", std::nullopt},
        {"[General]\nGame = x\n", std::nullopt},
        {"[General]\n; note\nGame=x\n", std::nullopt},
        {"[Other]\nGame=x\n", std::nullopt},
        {"[General]\nGame=x\ngame=y\n", std::nullopt}, // which one wins is the store's rule
        {"[General]\nGa%20me=x\n", std::nullopt},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.text);
        const auto values = ParsePlainSettingsText(c.text);
        ASSERT_EQ(values.has_value(), c.game.has_value());
        if (values) {
            EXPECT_EQ(StoredValues(*values).Read(setting::kGame), *c.game);
        }
    }
}

#ifndef _WIN32
// The file is found where the store keeps it; a missing file is a first start; a folder in its
// place is left to the store, which says what is wrong.
TEST(StoredSettingsReader, FindsTheUsersFile)
{
    test::TempDir dir;
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
    std::optional<StoredValues> values = ReadStoredValuesWithoutQt();
    ASSERT_TRUE(values);
    EXPECT_FALSE(values->KeyExists());

    std::filesystem::create_directories(dir.Path() / "config" / "KVSC");
    std::ofstream(dir.File("config/KVSC/KVSC.conf")) << "[General]\nSavename=Board\nSize=75\n";
    values = ReadStoredValuesWithoutQt();
    ASSERT_TRUE(values);
    EXPECT_TRUE(values->KeyExists());
    const ConversionSettingTexts settings = StoredConversionSettings(*values);
    EXPECT_EQ(settings.saveName, "Board");
    EXPECT_EQ(settings.sizePercent, "75");

    std::filesystem::remove(dir.File("config/KVSC/KVSC.conf"));
    std::filesystem::create_directory(dir.File("config/KVSC/KVSC.conf"));
    EXPECT_FALSE(ReadStoredValuesWithoutQt());

    test::ScopedEnv noConfig("XDG_CONFIG_HOME", "");
    test::ScopedEnv home("HOME", dir.File("home"));
    EXPECT_EQ(PlainSettingsFilePath(), dir.File("home") + "/.config/KVSC/KVSC.conf");
    test::ScopedEnv upwards("HOME", dir.File("home/.."));
    EXPECT_FALSE(PlainSettingsFilePath());
}
#else
// The registry key's text values are read as the store reads them; values of other types and
// typed texts are left to the store.
TEST(StoredSettingsReader, ReadsTheRegistryKey)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVSC");
    std::optional<StoredValues> values = ReadStoredValuesWithoutQt();
    ASSERT_TRUE(values);
    EXPECT_FALSE(values->KeyExists());

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KVSC", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const auto setText = [&](const wchar_t *name, const std::wstring &text) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
    };
    setText(L"savename", L"@@\x0441\x043d\x0438\x043c\x043e\x043a");
    setText(L"SaveFolder", L"C:\\Shots\\");
    values = ReadStoredValuesWithoutQt();
    ASSERT_TRUE(values);
    const ConversionSettingTexts settings = StoredConversionSettings(*values);
    EXPECT_EQ(settings.saveName, "@\xd1\x81\xd0\xbd\xd0\xb8\xd0\xbc\xd0\xbe\xd0\xba");
    EXPECT_EQ(settings.saveFolder, "C:\\Shots\\");
    EXPECT_EQ(settings.edition, "");

    setText(L"Game", L"@Variant(x)");
    EXPECT_FALSE(ReadStoredValuesWithoutQt());
    const DWORD number = 75;
    RegSetValueExW(key, L"Game", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                   sizeof number);
    EXPECT_FALSE(ReadStoredValuesWithoutQt());
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVSC");
}
#endif

} // namespace
} // namespace kv::converter
