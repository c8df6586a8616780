#include "FreedesktopTrash.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace kv::converter {
namespace {

namespace fs = std::filesystem;

TEST(FreedesktopTrash, PercentEncodesAllButUnreservedCharactersAndSlashes)
{
    const struct
    {
        const char *path;
        const char *encoded;
    } cases[] = {
        {"/home/me/shot1.bmp", "/home/me/shot1.bmp"},
        {"/a b/c", "/a%20b/c"},
        {"/100%/#?&=+", "/100%25/%23%3F%26%3D%2B"},
        {"/-_.!~*'()", "/-_.!~*'()"},
        {"/\xc3\xa4", "/%C3%A4"}, // UTF-8 bytes one by one
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PercentEncodedPath(c.path), c.encoded) << c.path;
    }
    std::tm date{};
    date.tm_year = 126;
    date.tm_mon = 0;
    date.tm_mday = 2;
    date.tm_hour = 3;
    date.tm_min = 4;
    date.tm_sec = 5;
    EXPECT_EQ(TrashInfoText("/a b.bmp", date),
              "[Trash Info]\nPath=/a%20b.bmp\nDeletionDate=2026-01-02T03:04:05\n");
}

// A volume's trash: the shared .Trash only when nobody can replace it (a folder, no link, the
// sticky bit), else the user's own .Trash-UID, never one that is no folder of the user's.
TEST(FreedesktopTrash, ChoosesTheVolumeTrashAsTheRulesSay)
{
    const unsigned uid = ::getuid();
    const std::string user = std::to_string(uid);
    const struct
    {
        const char *name;
        void (*prepare)(const fs::path &top);
        const char *expected; // below top; empty for none
    } cases[] = {
        {"sticky .Trash",
         [](const fs::path &top) {
             fs::create_directory(top / ".Trash");
             ::chmod((top / ".Trash").c_str(), 01777);
         },
         ".Trash/UID"},
        {".Trash without the sticky bit",
         [](const fs::path &top) {
             fs::create_directory(top / ".Trash");
             ::chmod((top / ".Trash").c_str(), 0777);
         },
         ".Trash-UID"},
        {".Trash a link to a sticky folder",
         [](const fs::path &top) {
             fs::create_directory(top / "elsewhere");
             ::chmod((top / "elsewhere").c_str(), 01777);
             fs::create_directory_symlink(top / "elsewhere", top / ".Trash");
         },
         ".Trash-UID"},
        {"no .Trash", [](const fs::path &) {}, ".Trash-UID"},
        {".Trash-UID a file",
         [](const fs::path &top) { std::ofstream(top / (".Trash-" + std::to_string(::getuid()))); },
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir top;
        c.prepare(top.Path());
        std::string why;
        const std::optional<std::string> folder = VolumeTrashFolder(top.Path().string(), uid, why);
        std::string expected = c.expected;
        if (const auto at = expected.find("UID"); at != std::string::npos) {
            expected.replace(at, 3, user);
        }
        if (expected.empty()) {
            EXPECT_FALSE(folder);
            EXPECT_FALSE(why.empty());
        } else {
            ASSERT_TRUE(folder) << why;
            EXPECT_EQ(*folder, (top.Path() / expected).string());
            EXPECT_TRUE(fs::is_directory(*folder));
        }
    }
}

// A second file of the same name gets a name of its own, and each info file names its origin.
TEST(FreedesktopTrash, KeepsFilesOfOneNameApartAndRefusesWhereItCannotWrite)
{
    test::TempDir dir;
    const fs::path trash = dir.Path() / "Trash";
    for (const char *folder : {"one", "two"}) {
        fs::create_directory(dir.Path() / folder);
        test::WriteBytes(dir.File(std::string(folder) + "/shot.bmp"), {'B', 'M', 1});
        EXPECT_EQ(MoveIntoTrashFolder(dir.File(std::string(folder) + "/shot.bmp"), trash.string()),
                  "");
    }
    EXPECT_TRUE(fs::exists(trash / "files" / "shot.bmp"));
    EXPECT_TRUE(fs::exists(trash / "files" / "shot 2.bmp"));
    std::ifstream info(trash / "info" / "shot 2.bmp.trashinfo");
    std::string header, path;
    std::getline(info, header);
    std::getline(info, path);
    EXPECT_EQ(path, "Path=" + PercentEncodedPath(dir.File("two/shot.bmp")));

    // A trash whose info folder is a file: the screenshot stays and the answer says why.
    const fs::path broken = dir.Path() / "Broken";
    fs::create_directories(broken / "files");
    test::WriteBytes((broken / "info").string(), {'x'});
    test::WriteBytes(dir.File("kept.bmp"), {'B', 'M'});
    EXPECT_NE(MoveIntoTrashFolder(dir.File("kept.bmp"), broken.string()), "");
    EXPECT_TRUE(fs::exists(dir.Path() / "kept.bmp"));
}

} // namespace
} // namespace kv::converter
