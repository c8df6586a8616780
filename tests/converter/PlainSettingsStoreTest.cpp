#include "PlainSettingsStore.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "CommandLine.h"
#include "PortableSettings.h"
#include "TestSupport.h"

namespace kv::converter {
namespace {

std::string Text(const std::string &path)
{
    const std::vector<unsigned char> bytes = test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// What the command line writes, the reader (and so the window's store, see the agreement test)
// reads back; other lines and the file's spelling of a name stay.
TEST(PlainSettingsFile, WritesWhatTheReaderReadsAndKeepsTheRest)
{
    test::TempDir dir;
    const std::string path = dir.File("config/KVSC/KVSC.conf");
    std::filesystem::create_directories(dir.File("config/KVSC"));
    std::ofstream(path) << "[General]\nSavename=Board\nOther=kept\n";
    const std::string values[] = {
        "Korvane: Ravelock", " 6 on 6",   "",          "C:\\Shots\\",
        "a,b;c=d",           "q\"uo\\te", "@at",       "@@two",
        "trailing ",         "#hash",     "[General]", "\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0"};
    for (const std::string &value : values) {
        SCOPED_TRACE(value);
        std::unique_ptr<PlainSettingsFile> store = PlainSettingsFile::Load(path);
        ASSERT_TRUE(store);
        store->Write("SaveName", value);
        const auto read = ParsePlainSettingsLines(Text(path));
        ASSERT_TRUE(read) << Text(path);
        EXPECT_EQ(*read, (SettingsLines{{"Savename", value}, {"Other", "kept"}}));
    }
}

// Nothing is written that the plain form cannot hold, and a file beyond it is left alone.
TEST(PlainSettingsFile, RefusesWhatItCannotWritePlainly)
{
    test::TempDir dir;
    const std::string path = dir.File("KVSC.conf");
    std::ofstream(path, std::ios::binary) << "[General]\nGame=x\n";
    std::unique_ptr<PlainSettingsFile> store = PlainSettingsFile::Load(path);
    ASSERT_TRUE(store);
    EXPECT_THROW(store->Write("SaveName", "tab\there"), SettingsError);
    EXPECT_EQ(Text(path), "[General]\nGame=x\n");

    for (const char *text : {"[General]\n; note\nGame=x\n", "[General]\nGame=x\ngame=y\n"}) {
        std::ofstream(path, std::ios::trunc) << text;
        EXPECT_FALSE(PlainSettingsFile::Load(path)) << text;
    }
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_FALSE(PlainSettingsFile::Load(path));
}

struct SettingsRun
{
    int code;
    std::string out;
    std::string err;
};

SettingsRun RunSettings(const std::vector<std::string> &args, PlainSettingsStore &store)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunSettingsCommand(args, store, out, err);
    return {code, out.str(), err.str()};
}

// `kvsc settings` stores the options as the window stores its controls, the default set first,
// and refuses what is no stored setting without writing anything.
TEST(SettingsCommand, StoresTheOptionsAsTheWindowDoes)
{
    test::TempDir dir;
    const std::string path = dir.File("KVSC.conf");
    std::unique_ptr<PlainSettingsFile> store = PlainSettingsFile::Load(path);
    for (const std::vector<std::string> &wrong :
         std::vector<std::vector<std::string>>{{"settings", "--jobs", "2"},
                                               {"settings", "--delete-originals"},
                                               {"settings", "--size", "0"},
                                               {"settings", "--size", "abc"},
                                               {"settings", "--game", "other"},
                                               {"settings", "shot.bmp"}}) {
        EXPECT_EQ(RunSettings(wrong, *store).code, 2) << wrong[1];
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(RunSettings({"settings"}, *store).out.find("nothing stored yet"), std::string::npos);

    const SettingsRun run =
        RunSettings({"settings", "-g", "ravelock", "-t", "10", "--whole", "--spectator", "-s", "75",
                     "-o", dir.File("out"), "-n", "Board"},
                    *store);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Settings in " + path +
                           "\nGame=Korvane: Ravelock\nSizeNumber=10 on 10\nSpectator=Yes\n"
                           "ScoreBoardOnly=No\nSize=75\nSaveFolder=" +
                           dir.File("out") + "\nSaveName=Board\n");
    const auto stored = ParsePlainSettingsText(Text(path));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->at("openfolder"), DefaultFolder()); // from the default set
    EXPECT_EQ(StoredValues(*stored).Read(setting::kSaveName), "Board");
    EXPECT_FALSE(StoredConversionSettings(StoredValues(*stored)).trash);

    // Trash, stored once asked for, reads back on.
    EXPECT_NE(RunSettings({"settings", "--trash"}, *store).out.find("\nTrash=Yes\n"),
              std::string::npos);
    EXPECT_TRUE(StoredConversionSettings(StoredValues(*ParsePlainSettingsText(Text(path)))).trash);
}

#ifdef KV_KVSC_PROGRAM
// The real program beside a KVSC.ini keeps its settings there and nowhere else: the command
// line stores them in it, and a conversion takes them from it.
TEST(PortableProgram, KeepsItsSettingsInTheFileBesideIt)
{
    test::TempDir dir;
    const std::filesystem::path program = std::filesystem::path(KV_KVSC_PROGRAM);
    std::filesystem::create_directories(dir.Path() / "portable");
    const std::filesystem::path copy = dir.Path() / "portable" / program.filename();
    std::filesystem::copy_file(program, copy);
    std::ofstream(dir.File("portable/" + std::string(kPortableSettingsName)));
    // The user's own store, which the portable program must leave alone.
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string shot = dir.File("a.bmp");
    imaging::WriteBitmapFile(imaging::WorkingBitmap(1680, 1050, 24), shot);
    // No separator at its end, which would escape the closing quote on Windows' command line:
    // the run adds one.
    const std::string out = dir.File("out");
    const auto run = [&](const std::string &arguments) {
        std::string command = "\"" + imaging::Utf8FromPath(copy) + "\" " + arguments + " > \"" +
                              dir.File("log") + "\" 2>&1";
#ifdef _WIN32
        command = "\"" + command + "\""; // cmd.exe takes the outer quotes off
#endif
        return std::system(command.c_str());
    };
    ASSERT_EQ(run("settings --game ravelock --size 50 --save-name Portable --save-folder \"" + out +
                  "\""),
              0)
        << Text(dir.File("log"));
    EXPECT_NE(Text(dir.File("log")).find(kPortableSettingsName), std::string::npos);
    const std::string ini = Text(dir.File("portable/" + std::string(kPortableSettingsName)));
    EXPECT_NE(ini.find("Game=Korvane: Ravelock"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Size=50"), std::string::npos) << ini;
    // The empty file held nothing yet: the default set came first, as at a first start.
    EXPECT_NE(ini.find("ScoreBoardOnly=Yes"), std::string::npos) << ini;
    ASSERT_EQ(run("convert --jobs 1 \"" + shot + "\""), 0) << Text(dir.File("log"));
    EXPECT_TRUE(std::filesystem::exists(imaging::PathFromUtf8(dir.File("out/Portable1.jpg"))))
        << Text(dir.File("log"));
#if defined(KV_KVSC_WINDOW_MODULE) && !defined(_WIN32)
    // A file edited beyond the plain form is read by the window's store, which the program
    // loads from beside it: from the same file.
    std::filesystem::copy_file(program.parent_path() / "kvsc-window.so",
                               dir.Path() / "portable" / "kvsc-window.so");
    std::ofstream(dir.File("portable/" + std::string(kPortableSettingsName)), std::ios::trunc)
        << "; edited by hand\n[General]\nGame=Korvane: Ravelock\nSizeNumber=\" 6 on 6\"\n"
           "ScoreBoardOnly=Yes\nSaveName=Edited\nSaveFolder="
        << out << "\nSize=50\n";
    ASSERT_EQ(run("convert --jobs 1 \"" + shot + "\""), 0) << Text(dir.File("log"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/Edited1.jpg"))) << Text(dir.File("log"));
#endif
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "config"));
}
#endif

} // namespace
} // namespace kv::converter
