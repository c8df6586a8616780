#include "BaseDirectoryLine.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "LauncherTestSupport.h"
#include "TestSupport.h"

using namespace kv::launcher;

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

TEST_P(BaseDirectoryRule, FindsTheLastMatchingLineAndCutsSystemFromIt)
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
        // With LF present, a CR before it belongs to the line and is one of the 7 cut characters.
        LogCase{"CarriageReturnBeforeLineFeedStaysOnItsLine",
                "Init: Base directory: /Games/Game.app/System/\r\nLog: y\r\n",
                "Init: Base directory: /Games/Game.app/System/\r", "/Games/Game.app/S"},
        LogCase{"LastLineWithoutLineEnd", "Log: x\nInit: Base directory: /Games/Game.app/System/",
                "Init: Base directory: /Games/Game.app/System/", "/Games/Game.app/"},
        LogCase{"NoLineAtAll", "Log: x\nLog: y\n", std::nullopt, ""},
        LogCase{"EmptyLog", "", std::nullopt, ""},
        LogCase{"BaseDirectoryOfExactlySevenCharactersGivesNoLocation",
                "Init: Base directory: System/", "Init: Base directory: System/", ""},
        LogCase{"BaseDirectoryShorterThanSevenGivesNoLocation", "Init: Base directory: /Sys/",
                "Init: Base directory: /Sys/", ""},
        // Seven characters, eight bytes: the cut must not stop inside the accented letter.
        LogCase{"SevenCharactersAreCountedNotBytes", "Init: Base directory: /Spiele/Syst\xC3\xA9m/",
                "Init: Base directory: /Spiele/Syst\xC3\xA9m/", "/Spiele/"}),
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
