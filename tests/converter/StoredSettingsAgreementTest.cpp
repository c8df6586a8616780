// The settings read without Qt must be the settings the store itself reads.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "PlainSettingsStore.h"
#include "QtSettingsStore.h"
#include "StoredSettingsReader.h"
#include "TestSupport.h"

namespace kv::converter {
namespace {

const auto &kNames = setting::kConversionNames;

std::string FileText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Every value the store writes is read back identically; the usual ones without the store.
TEST(StoredSettingsAgreement, WrittenValuesReadTheSame)
{
    struct Case
    {
        std::string value;
        bool plain;
    };
    const Case cases[] = {
        {"Korvane: Ravelock", true},
        {" 6 on 6", true},
        {"", true},
        {"/home/pl\xc3\xa4yer/Shots/", true},
        {"a,b;c=d", true},
        {"q\"uo\\te", true},
        {"@at", true},
        {"@@two", true},
        {"trailing ", true},
        {"tab\there", false},
        {"line\nend", false},
        {"@ByteArray(x)", true},
        {"%41", true},
        {"[General]", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        test::TempDir dir;
        const std::string path = dir.File("KVSC.conf");
        QtSettingsStore(QString::fromStdString(path)).Write(setting::kSaveFolder, c.value);
        ASSERT_EQ(QtSettingsStore(QString::fromStdString(path)).Read(setting::kSaveFolder),
                  c.value);
        const auto values = ParsePlainSettingsText(FileText(path));
        ASSERT_EQ(values.has_value(), c.plain) << FileText(path);
        if (values) {
            EXPECT_EQ(StoredValues(*values).Read(setting::kSaveFolder), c.value);
        }
    }
}

// What the command line writes without Qt, the store reads the same, and every other value of
// the store's own file stays as the store wrote it.
TEST(StoredSettingsAgreement, TheCommandLinesWritesReadTheSameInTheStore)
{
    const std::string values[] = {"Korvane: Ravelock",
                                  " 6 on 6",
                                  "",
                                  "C:\\Shots\\",
                                  "a,b;c=d",
                                  "q\"uo\\te",
                                  "@at",
                                  "@@two",
                                  "trailing ",
                                  " lead",
                                  "#hash",
                                  "[General]",
                                  "%41",
                                  "/home/pl\xc3\xa4yer/"};
    test::TempDir dir;
    const std::string path = dir.File("KVSC.conf");
    {
        QtSettingsStore store(QString::fromStdString(path));
        WriteDefaultSettings(store);
    }
    // Qt keeps what it read of a file until its size or its time, to the millisecond, changes:
    // two of these writes within one millisecond that keep the size would look like none. Each
    // write gets a time of its own, as writes of two programs a person starts would have.
    const auto written = std::filesystem::last_write_time(path);
    int writes = 0;
    for (const std::string &value : values) {
        SCOPED_TRACE(value);
        std::unique_ptr<PlainSettingsFile> plain = PlainSettingsFile::Load(path);
        ASSERT_TRUE(plain) << FileText(path);
        plain->Write(setting::kSaveName, value);
        std::filesystem::last_write_time(path, written + std::chrono::seconds(++writes));
        const QtSettingsStore store(QString::fromStdString(path));
        EXPECT_EQ(store.StartNote(), "");
        EXPECT_EQ(store.Read(setting::kSaveName), value);
        for (const auto &[name, stored] : DefaultSettings()) {
            if (name != setting::kSavenameDefault) {
                EXPECT_EQ(store.Read(name), stored) << name;
            }
        }
    }
}

// Files the store did not write: whatever the reader reads, it reads as the store does.
TEST(StoredSettingsAgreement, HandWrittenFilesReadTheSameOrAreLeftToTheStore)
{
    const char *const texts[] = {
        "[General]\nGame=x\nSaveName=a\nSavename=b\n",
        "Game=top\n[General]\nSize=5\n",
        "[General]\nGame=\"a\" \n",
        "[general]\nGame=x\n",
        "[General]\nGame=\"unterminated\n",
        "[General]\nSIZE=9\nsize=8\n",
        "[General]\nGame=a=b\n",
        "[General]\nGame=\"\\\\\"\n",
        "[General]\r\nGame=x\r\nSize=\"a b\"\r\n",
        "[General]\nGame=\"a\r\nb\"\n",
    };
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        test::TempDir dir;
        const std::string path = dir.File("KVSC.conf");
        std::ofstream(path, std::ios::binary) << text;
        const auto values = ParsePlainSettingsText(text);
        if (!values) {
            continue;
        }
        const QtSettingsStore store(QString::fromStdString(path));
        for (const char *name : kNames) {
            EXPECT_EQ(StoredValues(*values).Read(name), store.Read(name)) << name;
        }
    }
}

#ifndef _WIN32
TEST(StoredSettingsAgreement, FindsTheFileTheStoreUses)
{
    test::TempDir dir;
    const std::string variants[][2] = {
        {dir.File("config"), dir.File("home")}, {"", dir.File("home")},
        {"", dir.File("home") + "/"},           {"", ""},
        {"relative/config", dir.File("home")},
    };
    for (const auto &[config, home] : variants) {
        SCOPED_TRACE(config + " | " + home);
        test::ScopedEnv configEnv("XDG_CONFIG_HOME", config);
        test::ScopedEnv homeEnv("HOME", home);
        const auto plain = PlainSettingsFilePath();
        ASSERT_TRUE(plain);
        EXPECT_EQ(
            std::filesystem::path(*plain).lexically_normal(),
            std::filesystem::path(QtSettingsStore().Location().toStdString()).lexically_normal());
    }
}
#endif

} // namespace
} // namespace kv::converter
