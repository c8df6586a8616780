#include "ArchiveExtraction.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "GameTexts.h"
#include "InstallerTexts.h"
#include "TarWriter.h"
#include "TestSupport.h"

using namespace kv::installer;
using kv::test::File;
using kv::test::Link;
using kv::test::Special;
using kv::test::TarMember;
namespace fs = std::filesystem;

namespace {

const std::string kMarker = "KVRavelock/Textures/KV2_Quarrytide1.utx";

TarMember Folder(std::string name)
{
    return {std::move(name), '5', "", "", 0, 0};
}

// Every file below root with its contents, as "relative/path" -> text; folders as "path/".
std::map<std::string, std::string> Tree(const fs::path &root)
{
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        tree[entry.is_directory() ? name + "/" : name] =
            entry.is_directory() ? "" : kv::test::ReadTextFile(entry.path());
    }
    return tree;
}

struct ArchiveCase
{
    const char *name;
    std::vector<TarMember> members;
    ExtractionResult result;
    // What lies in the test's folder afterwards: the game folder "game/" with what was unpacked,
    // beside it only the archive; a message naming the member, when refused.
    std::map<std::string, std::string> tree;
    const char *refusedMember = nullptr;
};

const std::map<std::string, std::string> kNothingWritten = {{"KVRinstall.tgz", "?"}, {"game/", ""}};

class HostileArchive : public ::testing::TestWithParam<ArchiveCase>
{
protected:
    kv::test::TempDir dir;
};

TEST_P(HostileArchive, IsUnpackedInsideTheGameFolderOrNotAtAll)
{
    const ArchiveCase &c = GetParam();
    kv::test::TarWriter writer;
    for (const TarMember &member : c.members) {
        writer.add(member);
    }
    ASSERT_TRUE(writer.writeGzip(dir.Path() / "KVRinstall.tgz"));
    fs::create_directory(dir.Path() / "game");

    const ExtractionOutcome outcome =
        ExtractArchive(dir.File("KVRinstall.tgz"), dir.File("game") + "/");

    EXPECT_EQ(outcome.result, c.result) << outcome.message;
    std::map<std::string, std::string> tree = Tree(dir.Path());
    tree["KVRinstall.tgz"] = "?";
    EXPECT_EQ(tree, c.tree);
    if (c.refusedMember != nullptr) {
        EXPECT_EQ(outcome.message,
                  kv::game::texts::Filled(texts::kArchiveMemberRefused, c.refusedMember));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archives, HostileArchive,
    ::testing::Values(
        ArchiveCase{
            "TheModFolderIsUnpacked",
            {Folder("KVRavelock/"), File(kMarker, "utx"), File("./KVRavelock/Help/a b.txt")},
            ExtractionResult::Extracted,
            {{"KVRinstall.tgz", "?"},
             {"game/", ""},
             {"game/KVRavelock/", ""},
             {"game/KVRavelock/Help/", ""},
             {"game/KVRavelock/Help/a b.txt", ""},
             {"game/KVRavelock/Textures/", ""},
             {"game/" + kMarker, "utx"}}},
        ArchiveCase{"AHardLinkToAnEarlierMemberBecomesACopy",
                    {File("KVRavelock/a", "data"), Link("KVRavelock/b", '1', "KVRavelock/a")},
                    ExtractionResult::Extracted,
                    {{"KVRinstall.tgz", "?"},
                     {"game/", ""},
                     {"game/KVRavelock/", ""},
                     {"game/KVRavelock/a", "data"},
                     {"game/KVRavelock/b", "data"}}},
        ArchiveCase{"DotDotLeavesTheFolder",
                    {File(kMarker), File("../outside", "x")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "../outside"},
        ArchiveCase{"DotDotInsideTheNameLeavesIt",
                    {File("KVRavelock/../../outside")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/../../outside"},
        ArchiveCase{"BackslashDotDotLeavesItOnWindows",
                    {File("KVRavelock\\..\\..\\outside")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock\\..\\..\\outside"},
        ArchiveCase{"AnAbsoluteName",
                    {File("/tmp/kv-outside")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "/tmp/kv-outside"},
        ArchiveCase{"ADriveLetter",
                    {File("C:\\kv-outside")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "C:\\kv-outside"},
        ArchiveCase{"AWindowsStream",
                    {File("KVRavelock:hidden")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock:hidden"},
        ArchiveCase{"AWindowsDeviceName",
                    {File("KVRavelock/a"), File("KVRavelock/Help/Lpt3.tar.gz")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/Help/Lpt3.tar.gz"},
        ArchiveCase{"DotsThatWindowsReadsAsDotDot",
                    {File("KVRavelock/.../x")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/.../x"},
        ArchiveCase{"ASymbolicLinkOut",
                    {Link("KVRavelock/etc", '2', "/etc"), File("KVRavelock/etc/kv-written")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/etc"},
        ArchiveCase{"ASymbolicLinkInside",
                    {File("KVRavelock/a"), Link("KVRavelock/b", '2', "a")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/b"},
        ArchiveCase{"AHardLinkOut",
                    {Link("KVRavelock/passwd", '1', "/etc/passwd")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/passwd"},
        ArchiveCase{"AHardLinkToALaterMember",
                    {Link("KVRavelock/b", '1', "KVRavelock/a"), File("KVRavelock/a")},
                    ExtractionResult::MemberRefused,
                    kNothingWritten,
                    "KVRavelock/b"},
        ArchiveCase{"ACharacterDevice",
                    {File(kMarker), Special("KVRavelock/null", '3', 1, 3)},
                    ExtractionResult::HoldsDevices,
                    kNothingWritten},
        ArchiveCase{"ABlockDevice",
                    {Special("KVRavelock/disk", '4', 8, 0)},
                    ExtractionResult::HoldsDevices,
                    kNothingWritten},
        ArchiveCase{"AFifo",
                    {Special("KVRavelock/fifo", '6')},
                    ExtractionResult::HoldsDevices,
                    kNothingWritten},
        ArchiveCase{"AFileWhereAFolderMustGoStopsThere",
                    {File("KVRavelock/a", "whole"), File("KVRavelock/b"), File("KVRavelock/b/c")},
                    ExtractionResult::WriteFailed,
                    {{"KVRinstall.tgz", "?"},
                     {"game/", ""},
                     {"game/KVRavelock/", ""},
                     {"game/KVRavelock/a", "whole"},
                     {"game/KVRavelock/b", ""}}}),
    [](const ::testing::TestParamInfo<ArchiveCase> &info) { return std::string(info.param.name); });

TEST(ExtractArchive, ADamagedOrMissingArchiveWritesNothing)
{
    kv::test::TempDir dir;
    fs::create_directory(dir.Path() / "game");
    kv::test::TarWriter writer;
    writer.add(File(kMarker, std::string(100000, 'u')));
    const std::string packed = writer.gzipped();
    const std::map<std::string, std::string> archives = {
        {"cut.tgz", packed.substr(0, packed.size() / 2)},
        {"corrupt.tgz", packed.substr(0, 40) + std::string(64, 'x') + packed.substr(104)},
        {"plain.tgz", "not gzip at all"},
        {"unended.tgz", [] {
             kv::test::TarWriter unended;
             unended.add(File(kMarker, "u"));
             return unended.gzipped(false).substr(0, 30);
         }()}};
    for (const auto &[name, bytes] : archives) {
        std::ofstream(dir.Path() / name, std::ios::binary) << bytes;
        const ExtractionOutcome outcome = ExtractArchive(dir.File(name), dir.File("game"));
        EXPECT_EQ(outcome.result, ExtractionResult::Unreadable) << name;
        EXPECT_EQ(outcome.message, texts::kArchiveNotListed) << name;
        EXPECT_TRUE(fs::is_empty(dir.Path() / "game")) << name;
    }
    EXPECT_EQ(ExtractArchive(dir.File("missing.tgz"), dir.File("game")).result,
              ExtractionResult::Unreadable);
}

TEST(ExtractArchive, AnExistingFileIsReplacedOnlyByAWholeOne)
{
    kv::test::TempDir dir;
    kv::test::WriteTextFile(dir.Path() / "game" / kMarker, "old");
    fs::create_directories(dir.Path() / "game/KVRavelock/Help/Manual");
    kv::test::TarWriter writer;
    writer.add(File(kMarker, "new"));
    writer.add(File("KVRavelock/Help/Manual", "a file where a folder is"));
    ASSERT_TRUE(writer.writeGzip(dir.Path() / "KVRinstall.tgz"));

    const ExtractionOutcome outcome = ExtractArchive(dir.File("KVRinstall.tgz"), dir.File("game"));

    EXPECT_EQ(outcome.result, ExtractionResult::WriteFailed);
    EXPECT_NE(outcome.message.find("Manual could not be written."), std::string::npos)
        << outcome.message;
    EXPECT_EQ(Tree(dir.Path() / "game"),
              (std::map<std::string, std::string>{{"KVRavelock/", ""},
                                                  {"KVRavelock/Help/", ""},
                                                  {"KVRavelock/Help/Manual/", ""},
                                                  {"KVRavelock/Textures/", ""},
                                                  {kMarker, "new"}}))
        << "no temporary file is left";
}

TEST(MemberNameStaysInside, AllowsPlainRelativeNamesOnly)
{
    for (const char *inside :
         {"KVRavelock", "KVRavelock/", "./KVRavelock/a.txt", "a/./b", "a..b", "CONSOLE", "COM10"}) {
        EXPECT_TRUE(MemberNameStaysInside(inside)) << inside;
    }
    for (const char *outside :
         {"", ".", "./", "..", "a/..", "/a", "\\a", "a\\..\\..", "C:a", "a/b:c", "a/.. /b",
          "a/b./c", "a/b /c", "CON", "a/nul.txt", "Aux/b", "prn.utx", "COM1"}) {
        EXPECT_FALSE(MemberNameStaysInside(outside)) << outside;
    }
}

} // namespace
