#include "BaseDirectoryLine.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "GameTestSupport.h"
#include "TestSupport.h"

using namespace kv::game;

namespace {

struct LogCase
{
    const char *name;
    std::string text;
    std::optional<std::string> line; // the base-directory line found, prefix included
    std::string location;            // the game location derived from it
};

void PrintTo(const LogCase &c, std::ostream *os)
{
    *os << c.name;
}

class BaseDirectoryRule : public ::testing::TestWithParam<LogCase>
{
};

} // namespace

TEST_P(BaseDirectoryRule, FindsTheLastMatchingLineAndTakesTheParentOfItsFolder)
{
    const LogCase &c = GetParam();
    const std::optional<std::string> line = FindBaseDirectoryLine(c.text);
    ASSERT_EQ(line.has_value(), c.line.has_value())
        << "log " << ::testing::PrintToString(c.text) << " gave line "
        << ::testing::PrintToString(line);
    if (line) {
        EXPECT_EQ(*line, *c.line);
        EXPECT_EQ(GameLocationOf(BaseDirectoryOf(*line)), c.location)
            << "location from line " << ::testing::PrintToString(*line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Logs, BaseDirectoryRule,
    ::testing::Values(
        LogCase{"TypicalLog", kv::test::LogNaming("/Games/Game.app"),
                "Init: Base directory: /Games/Game.app/System/", "/Games/Game.app/"},
        LogCase{"SecondOfTwoLinesWins",
                "Init: Base directory: /Old/Game.app/System/\nLog: x\n"
                "Init: Base directory: /New/Game.app/System/\nLog: y\n",
                "Init: Base directory: /New/Game.app/System/", "/New/Game.app/"},
        LogCase{"ExactlyThePrefixMatchesWithEmptyBaseDirectory",
                "Log: x\nInit: Base directory: ", "Init: Base directory: ", ""},
        LogCase{"PrefixLessItsBlankIsTooShort", "Init: Base directory:", std::nullopt, ""},
        LogCase{"PrefixInOtherLetterCaseDoesNotMatch",
                "init: base directory: /Games/Game.app/System/\n", std::nullopt, ""},
        LogCase{"DoubleBlankInsideThePrefixDoesNotMatch",
                "Init:  Base directory: /Games/Game.app/System/\n", std::nullopt, ""},
        // The comparison covers 22 characters only: a second blank after them is the path's.
        LogCase{"DoubleBlankAfterThePrefixStaysInTheBaseDirectory",
                "Init: Base directory:  /Games/Game.app/System/\n",
                "Init: Base directory:  /Games/Game.app/System/", " /Games/Game.app/"},
        LogCase{"PrefixInsideALineDoesNotMatch",
                "Log: Init: Base directory: /Games/Game.app/System/\n", std::nullopt, ""},
        LogCase{"CarriageReturnsAloneSeparateLines",
                "Log: x\rInit: Base directory: /Games/Game.app/System/\rLog: y\r",
                "Init: Base directory: /Games/Game.app/System/", "/Games/Game.app/"},
        // With LF present, a CR before it belongs to the line, and so to the folder it names.
        LogCase{"CarriageReturnBeforeLineFeedStaysOnItsLine",
                "Init: Base directory: /Games/Game.app/System/\r\nLog: y\r\n",
                "Init: Base directory: /Games/Game.app/System/\r", "/Games/Game.app/System/"},
        LogCase{"LastLineWithoutLineEnd", "Log: x\nInit: Base directory: /Games/Game.app/System/",
                "Init: Base directory: /Games/Game.app/System/", "/Games/Game.app/"},
        LogCase{"NoLineAtAll", "Log: x\nLog: y\n", std::nullopt, ""},
        LogCase{"EmptyLog", "", std::nullopt, ""},
        LogCase{"FolderWithoutParentGivesNoLocation", "Init: Base directory: System/",
                "Init: Base directory: System/", ""},
        LogCase{"FolderAtTheRootGivesNoLocation", "Init: Base directory: /Sys/",
                "Init: Base directory: /Sys/", ""},
        LogCase{"NonAsciiFolderIsCutWhole", "Init: Base directory: /Spiele/Syst\xC3\xA9m/",
                "Init: Base directory: /Spiele/Syst\xC3\xA9m/", "/Spiele/"},
        // Whatever folder the game ran from, its parent holds the game.
        LogCase{"OtherSystemFolderName", "Init: Base directory: /opt/ut2004/SystemARM64/\n",
                "Init: Base directory: /opt/ut2004/SystemARM64/", "/opt/ut2004/"},
        LogCase{"WithoutTrailingSlash", "Init: Base directory: /opt/ut2004/System\n",
                "Init: Base directory: /opt/ut2004/System", "/opt/ut2004/"},
        LogCase{"WindowsPath", "Init: Base directory: C:\\UT2004\\System\\\n",
                "Init: Base directory: C:\\UT2004\\System\\", "C:\\UT2004\\"},
        LogCase{"WindowsDriveRootGivesNoLocation", "Init: Base directory: D:\\System\\\n",
                "Init: Base directory: D:\\System\\", ""}),
    [](const ::testing::TestParamInfo<LogCase> &info) { return std::string(info.param.name); });

TEST(ReadBaseDirectoryLine, ReadsTheFileAndGivesNothingWhenItIsMissing)
{
    kv::test::TempDir dir;
    kv::test::WriteTextFile(dir.Path() / "UT2004.log", kv::test::LogNaming("/Games/Game.app"));
    EXPECT_EQ(ReadBaseDirectoryLine(dir.File("UT2004.log")),
              "Init: Base directory: /Games/Game.app/System/");
    EXPECT_EQ(ReadBaseDirectoryLine(dir.File("missing.log")), std::nullopt);
    EXPECT_EQ(ReadBaseDirectoryLine(dir.Path().string()), std::nullopt) << "a folder as the log";
}

namespace {

constexpr std::size_t kReadPiece = std::size_t(1) << 20; // the reader's piece size
const std::string kGameLine = "Init: Base directory: /Games/Game.app/System/";

// Logs no player should have, and the line they must give: read from disk, in pieces.
struct HostileLog
{
    const char *name;
    std::function<std::string()> text;
    std::optional<std::string> line;
};

void PrintTo(const HostileLog &c, std::ostream *os)
{
    *os << c.name;
}

class HostileLogFile : public ::testing::TestWithParam<HostileLog>
{
};

// Filler of log lines up to exactly size bytes, each line ending in separator.
std::string Filler(std::size_t size, char separator)
{
    std::string text;
    const std::string line = std::string("Log: an ordinary line of the game's log") + separator;
    while (text.size() + line.size() <= size) {
        text += line;
    }
    text.append(size - text.size(), separator);
    return text;
}

// Bytes of every value, NULs and stray CRs included, but no LF and no line start "Init".
std::string BinaryNoise(std::size_t size)
{
    std::string text(size, '\0');
    std::uint32_t state = 12345;
    for (char &byte : text) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
        if (byte == '\n' || byte == 'I') {
            byte = '\0';
        }
    }
    return text;
}

} // namespace

TEST_P(HostileLogFile, GivesTheLastBaseDirectoryLineOrNothingWithoutCrashing)
{
    kv::test::TempDir dir;
    const std::string path = dir.File("UT2004.log");
    kv::test::WriteTextFile(path, GetParam().text());
    EXPECT_EQ(ReadBaseDirectoryLine(path), GetParam().line) << "log " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, HostileLogFile,
    ::testing::Values(
        // The prefix split across two reads, by a few characters either way.
        HostileLog{"PrefixSplitOneCharacterIntoTheNextRead",
                   [] { return Filler(kReadPiece - 1, '\n') + kGameLine + "\n"; }, kGameLine},
        HostileLog{"PrefixSplitInItsMiddleBetweenReads",
                   [] { return Filler(kReadPiece - 11, '\n') + kGameLine + "\n"; }, kGameLine},
        HostileLog{"PrefixEndingExactlyAtTheEndOfARead",
                   [] { return Filler(kReadPiece - 22, '\n') + kGameLine; }, kGameLine},
        HostileLog{"CarriageReturnLogSplitBetweenReads",
                   [] { return Filler(kReadPiece - 5, '\r') + kGameLine + "\r"; }, kGameLine},
        // A lone LF in the last read still makes LF the only separator for the whole log.
        HostileLog{
            "LineFeedOnlyInTheLastReadOverrulesEarlierCarriageReturns",
            [] { return "Log: x\r" + kGameLine + "\r" + Filler(2 * kReadPiece, '\r') + "\n"; },
            std::nullopt},
        HostileLog{"BinaryNoiseGivesNothing", [] { return BinaryNoise(3 * kReadPiece); },
                   std::nullopt},
        HostileLog{"LineAfterBinaryNoiseIsFound",
                   [] { return BinaryNoise(3 * kReadPiece) + "\n" + kGameLine + "\n"; }, kGameLine},
        HostileLog{"ThreeMegabytesWithoutLineEndGiveNothing",
                   [] { return std::string(3 * kReadPiece, 'x'); }, std::nullopt},
        HostileLog{"ThreeMegabyteLineWithoutLineEndIsTheLine",
                   [] { return kGameLine + std::string(3 * kReadPiece, 'x'); },
                   kGameLine + std::string(3 * kReadPiece, 'x')},
        // A stand-in for a huge log; bench/LogReadBench.cpp times 100 MB.
        HostileLog{"SixteenMegabytesOfLogWithTheLineLast",
                   [] { return Filler(16 * kReadPiece, '\n') + kGameLine + "\n"; }, kGameLine}),
    [](const ::testing::TestParamInfo<HostileLog> &info) { return std::string(info.param.name); });

TEST(ReadBaseDirectoryLine, FolderInPlaceOfTheLogGivesNothing)
{
    kv::test::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "UT2004.log");
    EXPECT_EQ(ReadBaseDirectoryLine(dir.File("UT2004.log")), std::nullopt);
}

#ifdef _WIN32
// Devices open like files on Windows; reading one as the log could wait for good (CON).
TEST(ReadBaseDirectoryLine, DeviceInPlaceOfTheLogGivesNothing)
{
    EXPECT_EQ(ReadBaseDirectoryLine("NUL"), std::nullopt);
    EXPECT_EQ(ReadBaseDirectoryLine("CONIN$"), std::nullopt);
}
#else
// Regression: opening a FIFO without a writer used to block the launcher for good.
TEST(ReadBaseDirectoryLine, FifoInPlaceOfTheLogGivesNothingAtOnce)
{
    kv::test::TempDir dir;
    const std::string path = dir.File("UT2004.log");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&path] { return ReadBaseDirectoryLine(path); });
    if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // Free the blocked reader (a writer that ends at once) so the test can end.
        const int writer = open(path.c_str(), O_WRONLY);
        if (writer >= 0) {
            close(writer);
        }
        read.wait();
        FAIL() << "reading a FIFO as the log blocked until a writer came";
    }
    EXPECT_EQ(read.get(), std::nullopt);
}
#endif
