#include "ConversionRun.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "BitmapFile.h"
#include "CaptionOrder.h"
#include "ConversionError.h"
#include "ConverterTexts.h"
#include "FileOperations.h"
#include "FilePath.h"
#include "ImageError.h"
#include "JpegFile.h"
#include "OutputNames.h"
#include "Resample.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"
#include "TestSupport.h"

using namespace kv::converter;
using kv::imaging::PaletteEntry;
using kv::imaging::WorkingBitmap;

namespace fs = std::filesystem;

namespace {

// Grey 8x8 blocks aligned at (left, top): a crop taken one pixel off shows at block edges, and
// JPEG's own 8x8 blocks keep flat greys nearly exact.
std::uint8_t BlockGrey(int x, int y, int left, int top)
{
    const int bx = (x - left + 8000) / 8;
    const int by = (y - top + 8000) / 8;
    return std::uint8_t((bx + by) % 2 ? 220 : 30);
}

class RecordingObserver : public ConversionObserver
{
public:
    void ShowProgressBar(bool visible) override { events.push_back(visible ? "show" : "hide"); }
    void SetProgress(int position) override { progress.push_back(position); }
    void ShowMessage(const std::string &text) override { messages.push_back(text); }
    void AddResultRow(const ResultRow &row) override { results.push_back(row); }

    std::vector<std::string> events;
    std::vector<int> progress;
    std::vector<std::string> messages;
    std::vector<ResultRow> results;
};

class ConversionRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        settings.edition = texts::kRavelock;
        settings.saveFolder = (dir.Path() / "out").string() + kPathSeparator;
    }

    // Writes a screenshot whose blocks line up with (left, top) and adds its row as Open would.
    std::string AddScreenshot(const std::string &name, int width, int height, int left = 0,
                              int top = 0, const std::string &edition = "")
    {
        const std::string path = dir.File(name);
        const WorkingBitmap image = kv::test::MakeImage(width, height, 24, [&](int x, int y) {
            const std::uint8_t g = BlockGrey(x, y, left, top);
            return PaletteEntry{g, g, g};
        });
        if (IsBitmapFileName(path)) {
            kv::imaging::WriteBitmapFile(image, path);
        } else {
            kv::imaging::WriteJpegFile(image, path, 100);
        }
        rows.push_back(MeasureScreenshot(path, edition.empty() ? settings.edition : edition));
        SortByCaption(rows);
        return path;
    }

    void Run(int jobs = 1)
    {
        ConversionRun run(rows, ReadConversionSettings(settings), observer, jobs);
        run.Run();
    }

    static void ExpectSize(const std::string &path, int width, int height)
    {
        const kv::imaging::ImageSize size = kv::imaging::ReadJpegSize(path);
        EXPECT_EQ(size.width, width) << path;
        EXPECT_EQ(size.height, height) << path;
    }

    std::string Output(int n) const
    {
        return OutputPath(WithTrailingSeparator(settings.saveFolder), "Screenshot", n);
    }

    kv::test::TempDir dir;
    ConversionSettingTexts settings;
    RecordingObserver observer;
    std::vector<ScreenshotRow> rows;
};

struct GeometryCase
{
    const char *edition;
    int screenWidth, screenHeight;
    const char *team;
    bool spectator;
    int width, height, left, top;
};

class ScoreboardCrop : public ConversionRunTest, public ::testing::WithParamInterface<GeometryCase>
{
};

} // namespace

TEST_P(ScoreboardCrop, CutsTheScoreboardRectangleAtItsCorner)
{
    const GeometryCase c = GetParam();
    settings.edition = c.edition;
    settings.teamSize = c.team;
    settings.spectator = c.spectator;
    AddScreenshot("shot.bmp", c.screenWidth, c.screenHeight, c.left, c.top);
    Run();

    ASSERT_EQ(observer.results.size(), 1u);
    const WorkingBitmap out = kv::imaging::LoadJpegFile(Output(1));
    ASSERT_EQ(out.Width(), c.width);
    ASSERT_EQ(out.Height(), c.height);
    int wrong = 0;
    for (int y = 0; y < out.Height() && wrong < 5; ++y) {
        for (int x = 0; x < out.Width() && wrong < 5; ++x) {
            const int expected = BlockGrey(x, y, 0, 0);
            const int actual = out.ColourAt(x, y).green;
            if (std::abs(actual - expected) > 12) {
                ADD_FAILURE() << "at " << x << "," << y << " expected about " << expected << " got "
                              << actual;
                ++wrong;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ScoreboardCrop,
    ::testing::Values(
        GeometryCase{texts::kVeskar, 1024, 768, " 6 on 6", false, 782, 304, 145, 30},
        GeometryCase{texts::kVeskar, 1024, 768, " 6 on 6", true, 782, 326, 145, 30},
        GeometryCase{texts::kRavelock, 1680, 1050, "10 on 10", true, 1337, 486, 170, 105},
        GeometryCase{texts::kRavelock, 800, 600, " 1 on 1", false, 637, 97, 81, 59},
        GeometryCase{texts::kRavelock, 1280, 960, " 2 on 2", true, 1022, 190, 127, 95}));

struct PipelineCase
{
    const char *file; // its extension chooses the format
    bool scoreboardOnly;
    const char *percent;
    int jobs; // 2: the one screenshot loads on a second thread while it is scaled and encoded
};

class FastPipeline : public ConversionRunTest, public ::testing::WithParamInterface<PipelineCase>
{
};

// The written file is byte for byte what the plain steps give: a whole load, drawing onto
// itself and cutting, the per-pixel resampler and the encoder.
TEST_P(FastPipeline, WritesTheBytesOfThePlainSteps)
{
    const PipelineCase c = GetParam();
    settings.teamSize = "10 on 10";
    settings.spectator = true;
    settings.scoreboardOnly = c.scoreboardOnly;
    settings.sizePercent = c.percent;
    const std::string path = dir.File(c.file);
    const WorkingBitmap shot = kv::test::MakeImage(1680, 1050, 24, [](int x, int y) {
        return PaletteEntry{std::uint8_t(x * 7 + y), std::uint8_t((x / 3 + y / 5) % 2 ? 230 : 20),
                            std::uint8_t(x ^ y)};
    });
    if (IsBitmapFileName(path)) {
        kv::imaging::WriteBitmapFile(shot, path);
    } else {
        kv::imaging::WriteJpegFile(shot, path, 92);
    }
    rows.push_back(MeasureScreenshot(path, settings.edition));
    Run(c.jobs);

    WorkingBitmap image = IsBitmapFileName(path) ? kv::imaging::LoadBitmapFile(path)
                                                 : kv::imaging::LoadJpegFile(path);
    if (c.scoreboardOnly) {
        image.Draw(-170, -105, image);
        image.SetSize(1337, 486);
    }
    const int percent = std::stoi(c.percent);
    WorkingBitmap expected;
    kv::imaging::ResampleReference(image.Width() * percent / 100, image.Height() * percent / 100,
                                   kv::imaging::fkLanczos3, 0.0f, image, expected);
    const std::vector<std::uint8_t> bytes = kv::imaging::EncodeJpeg(expected, 90);
    const std::vector<unsigned char> written = kv::test::ReadBytes(Output(1));
    ASSERT_EQ(written.size(), bytes.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), bytes.begin()));
}

INSTANTIATE_TEST_SUITE_P(JpegAndBitmapCroppedOrWhole, FastPipeline,
                         ::testing::Values(PipelineCase{"shot.jpg", true, "100", 1},
                                           PipelineCase{"shot.jpg", true, "75", 1},
                                           PipelineCase{"shot.jpg", false, "50", 1},
                                           PipelineCase{"shot.bmp", true, "75", 1},
                                           PipelineCase{"shot.bmp", false, "100", 1},
                                           PipelineCase{"shot.jpg", true, "100", 2},
                                           PipelineCase{"shot.jpg", false, "50", 2},
                                           PipelineCase{"shot.bmp", true, "75", 2}));

TEST_F(ConversionRunTest, ScalesTheCropOrTheWholeImageByTheTruncatedPercentage)
{
    settings.edition = texts::kVeskar;
    settings.sizePercent = "50";
    AddScreenshot("a.bmp", 1024, 768);
    Run();
    ExpectSize(Output(1), 391, 152);

    settings.scoreboardOnly = false;
    settings.sizePercent = "75";
    rows.clear();
    AddScreenshot("b.jpg", 1280, 1024);
    Run();
    ExpectSize(Output(2), 960, 768);
}

TEST_F(ConversionRunTest, AddsTheMissingSeparatorAndFillsNameGapsWithTheLowestFreeNumber)
{
    settings.saveFolder = (dir.Path() / "shots").string();
    AddScreenshot("a.bmp", 800, 600);
    AddScreenshot("b.bmp", 800, 600);
    AddScreenshot("c.bmp", 800, 600);
    fs::create_directories(dir.Path() / "shots");
    kv::test::WriteBytes(dir.File("shots/Screenshot1.jpg"), {1, 2, 3});
    kv::test::WriteBytes(dir.File("shots/Screenshot3.jpg"), {4, 5, 6});
    Run();

    ASSERT_EQ(observer.results.size(), 3u);
    const std::vector<std::string> names = {
        observer.results[0].fileName, observer.results[1].fileName, observer.results[2].fileName};
    EXPECT_EQ(names,
              (std::vector<std::string>{"Screenshot2.jpg", "Screenshot4.jpg", "Screenshot5.jpg"}));
    EXPECT_EQ(observer.results[0].result, "Saved");
    EXPECT_EQ(observer.results[0].path, Output(2));
    EXPECT_EQ(kv::test::ReadBytes(Output(1)), (std::vector<unsigned char>{1, 2, 3}));
}

TEST_F(ConversionRunTest, SaveFolderEndingInEitherSeparatorOfTheSystemGetsNoOther)
{
    AddScreenshot("a.bmp", 800, 600);
#ifdef _WIN32
    const std::vector<std::string> kept = {dir.File("x") + "\\", dir.File("y") + "/"};
#else
    const std::vector<std::string> kept = {dir.File("x") + "/"};
#endif
    for (const std::string &folder : kept) {
        settings.saveFolder = folder;
        Run();
        EXPECT_EQ(observer.results.back().path, folder + "Screenshot1.jpg");
    }
}

TEST_F(ConversionRunTest, UnsupportedRowsGetTheMessageInTheRavelockPassOnly)
{
    AddScreenshot("a.bmp", 800, 600);
    AddScreenshot("b.bmp", 640, 480);
    Run();
    EXPECT_EQ(observer.messages,
              std::vector<std::string>{"Screenshot 2: This resolution is not (yet) supported"});
    EXPECT_EQ(observer.results.size(), 1u);

    // Veskar supports both, whatever the rows were marked when listed.
    settings.edition = texts::kVeskar;
    observer = RecordingObserver{};
    Run();
    EXPECT_TRUE(observer.messages.empty());
    ASSERT_EQ(observer.results.size(), 2u);
    ExpectSize(observer.results[1].path, 398, 92 + 5 * 24);
}

TEST_F(ConversionRunTest, YesRowWithoutGeometryInTheRunsEditionIsHandledAsUnsupported)
{
    AddScreenshot("a.bmp", 640, 480, 0, 0, texts::kVeskar);
    AddScreenshot("b.bmp", 800, 600);
    ASSERT_TRUE(rows[0].supported);
    Run();
    EXPECT_EQ(observer.messages,
              std::vector<std::string>{"Screenshot 1: This resolution is not (yet) supported"});
    ASSERT_EQ(observer.results.size(), 1u);
    ExpectSize(observer.results[0].path, 637, 97 + 5 * 36);
}

TEST_F(ConversionRunTest, TeamTextThatIsNoLabelOrNoEditionConvertsNothingButMovesProgress)
{
    AddScreenshot("a.bmp", 800, 600);
    settings.teamSize = "6 on 6";
    Run();
    EXPECT_TRUE(observer.results.empty());
    EXPECT_EQ(observer.progress, (std::vector<int>{100, 0}));

    observer = RecordingObserver{};
    settings.edition = texts::kSelectGame;
    settings.teamSize = " 6 on 6";
    Run();
    EXPECT_TRUE(observer.results.empty());
    EXPECT_EQ(observer.events, (std::vector<std::string>{"show", "hide"}));
    EXPECT_FALSE(fs::exists(settings.saveFolder));
}

TEST_F(ConversionRunTest, ProgressMovesByRowAndEndsHiddenAtZero)
{
    settings.teamSize = "none";
    for (const char *name : {"a.bmp", "b.bmp", "c.bmp"}) {
        AddScreenshot(name, 8, 8);
    }
    Run();
    EXPECT_EQ(observer.progress, (std::vector<int>{33, 66, 100, 0}));
    EXPECT_EQ(observer.messages.size(), 3u);
    AddScreenshot("d.bmp", 8, 8);
    observer = RecordingObserver{};
    Run();
    EXPECT_EQ(observer.progress, (std::vector<int>{25, 50, 75, 100, 0}));

    rows.clear();
    observer = RecordingObserver{};
    Run();
    EXPECT_EQ(observer.events, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(observer.progress, (std::vector<int>{0}));
}

TEST_F(ConversionRunTest, DeletesEachOriginalAfterItsJpegAndKeepsTheOneWhereAnErrorEndedTheRun)
{
    settings.deleteOriginals = true;
    const std::string first = AddScreenshot("a.bmp", 800, 600);
    const std::string broken = AddScreenshot("b.bmp", 800, 600);
    const std::string last = AddScreenshot("c.bmp", 800, 600);
    kv::test::WriteBytes(broken, {'B', 'M', 0, 0});
    try {
        Run();
        FAIL() << "a damaged screenshot must end the run";
    } catch (const ConversionError &e) {
        EXPECT_STREQ(e.what(), "Screenshot 2 (b.bmp): Stream read error");
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(Output(1)));
    EXPECT_TRUE(fs::exists(broken));
    EXPECT_TRUE(fs::exists(last)) << "rows after the error are not handled";
    EXPECT_FALSE(fs::exists(Output(2)));
    EXPECT_EQ(observer.results.size(), 1u);
}

// Names in the player's own script, and paths past Windows' classic limit of 260 characters,
// reach the system intact: every screenshot converts into a folder named alike and then goes.
TEST_F(ConversionRunTest, NamesOutsideAsciiAndLongPathsConvertAndDeleteTheirOriginals)
{
    using kv::imaging::PathFromUtf8;
    settings.deleteOriginals = true;
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
    for (const std::string folder : {"скриншоты", "截图", deep.c_str()}) {
        fs::create_directories(PathFromUtf8(dir.File(folder)));
        settings.saveFolder = dir.File(folder + "/выход") + kPathSeparator;
        rows.clear();
        observer = RecordingObserver{};
        const std::string bmp = AddScreenshot(folder + "/снимок.bmp", 800, 600);
        const std::string jpg = AddScreenshot(folder + "/画面.jpg", 800, 600);
        Run();
        ASSERT_EQ(observer.results.size(), 2u) << folder;
        for (const ResultRow &row : observer.results) {
            EXPECT_TRUE(fs::exists(PathFromUtf8(row.path))) << row.path;
            EXPECT_GT(kv::imaging::ReadJpegSize(row.path).width, 0) << row.path;
        }
        EXPECT_EQ(observer.results[1].fileName, "Screenshot2.jpg");
        EXPECT_FALSE(fs::exists(PathFromUtf8(bmp))) << bmp;
        EXPECT_FALSE(fs::exists(PathFromUtf8(jpg))) << jpg;
    }
}

TEST_F(ConversionRunTest, MissingScreenshotIsSkippedSilently)
{
    settings.deleteOriginals = true;
    fs::remove(AddScreenshot("a.bmp", 800, 600));
    Run();
    EXPECT_TRUE(observer.results.empty());
    EXPECT_TRUE(observer.messages.empty());
}

TEST_F(ConversionRunTest, JpegNamedDotJpegConvertsByTheSameRuleOpenMeasuresWith)
{
    AddScreenshot("shot.jpeg", 800, 600);
    AddScreenshot("upper.BMP", 800, 600);
    Run();
    EXPECT_EQ(observer.results.size(), 2u);
}

TEST_F(ConversionRunTest, SizeThatLeavesNoPixelsWritesNothingAndKeepsTheOriginal)
{
    settings.deleteOriginals = true;
    settings.sizePercent = "1";
    settings.teamSize = " 1 on 1";
    const std::string shot = AddScreenshot("a.bmp", 800, 600);
    Run();
    EXPECT_TRUE(observer.results.empty());
    EXPECT_FALSE(fs::exists(Output(1)));
    EXPECT_TRUE(fs::exists(shot));
    EXPECT_EQ(observer.messages, std::vector<std::string>{texts::NothingToSave(1, "1")});
}

TEST_F(ConversionRunTest, SizeTextThatIsNoWholeNumberEndsTheRunWithItsText)
{
    AddScreenshot("a.bmp", 800, 600);
    for (const char *text : {"", "abc", "12x", "99999999999"}) {
        settings.sizePercent = text;
        try {
            Run();
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const ConversionError &e) {
            EXPECT_EQ(e.what(), texts::InScreenshot(1, "a.bmp", texts::NotAValidInteger(text)));
        }
    }
    EXPECT_TRUE(observer.results.empty());
}

TEST(WriteNewFile, NeverReplacesAnExistingFileAndLeavesNothingWhenItFails)
{
    kv::test::TempDir dir;
    const std::string path = dir.File("x.jpg");
    EXPECT_TRUE(WriteNewFile(path, {1, 2, 3}));
    EXPECT_FALSE(WriteNewFile(path, {9}));
    EXPECT_EQ(kv::test::ReadBytes(path), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_THROW(WriteNewFile(dir.File("missing/x.jpg"), {1}), ConversionError);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "no temporary file stays behind";
}

namespace {

// Everything a run leaves behind that the user can see: messages, result rows, progress, the
// error that ended it, and every file in its folder with its bytes.
struct RunRecord
{
    std::vector<std::string> messages;
    std::vector<std::string> resultNames;
    std::vector<int> progress;
    std::string error;
    std::map<std::string, std::vector<unsigned char>> files;
    bool operator==(const RunRecord &) const = default;
};

void PrintTo(const RunRecord &r, std::ostream *os)
{
    *os << r.messages.size() << " messages, results";
    for (const std::string &name : r.resultNames) {
        *os << " " << name;
    }
    *os << ", error \"" << r.error << "\", files";
    for (const auto &[name, bytes] : r.files) {
        *os << " " << name << "(" << bytes.size() << ")";
    }
}

// Rows in list order: converted, unsupported, converted twice from one file (the second finds
// it deleted), a file that is not a JPEG (whose error ends the run when failAtEnd) and more
// after it; the output folder already holds Screenshot2.jpg.
RunRecord RunWithJobs(int jobs, bool failAtEnd)
{
    kv::test::TempDir dir;
    ConversionSettingTexts settings;
    settings.edition = texts::kRavelock;
    settings.teamSize = " 3 on 3";
    settings.sizePercent = "60";
    settings.deleteOriginals = true;
    settings.saveFolder = dir.File("out") + kPathSeparator;
    std::filesystem::create_directories(dir.File("out"));
    kv::test::WriteBytes(dir.File("out/Screenshot2.jpg"), {1, 2, 3});

    std::vector<ScreenshotRow> rows;
    const auto add = [&](const std::string &name, int width, int height, int seed) {
        const WorkingBitmap image = kv::test::MakeImage(width, height, 24, [&](int x, int y) {
            return PaletteEntry{std::uint8_t(x * seed + y), std::uint8_t(y * 3 + seed),
                                std::uint8_t((x ^ y) + seed)};
        });
        const std::string path = dir.File(name);
        if (IsBitmapFileName(path)) {
            kv::imaging::WriteBitmapFile(image, path);
        } else {
            kv::imaging::WriteJpegFile(image, path, 95);
        }
        rows.push_back(MeasureScreenshot(path, settings.edition));
    };
    add("a.jpg", 800, 600, 1);
    add("b.bmp", 640, 480, 2);
    add("c.bmp", 1024, 768, 3);
    rows.push_back(rows.back());
    add("d.jpg", 800, 600, 4);
    if (failAtEnd) {
        kv::test::WriteBytes(dir.File("e.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'g'});
        rows.push_back({"e.jpg", "800 x 600", true, dir.File("e.jpg")});
    }
    add("f.jpg", 1024, 768, 5);

    RecordingObserver observer;
    RunRecord record;
    try {
        ConversionRun run(rows, ReadConversionSettings(settings), observer, jobs);
        run.Run();
    } catch (const std::exception &e) {
        record.error = e.what();
    }
    record.messages = observer.messages;
    record.progress = observer.progress;
    for (const ResultRow &row : observer.results) {
        record.resultNames.push_back(row.fileName);
    }
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        if (entry.is_regular_file()) {
            record.files[entry.path().lexically_relative(dir.Path()).string()] =
                kv::test::ReadBytes(entry.path().string());
        }
    }
    return record;
}

} // namespace

TEST(ConversionRunJobs, WorkersLeaveWhatTheSequentialRunLeaves)
{
    const RunRecord sequential = RunWithJobs(1, false);
    ASSERT_EQ(sequential.resultNames,
              (std::vector<std::string>{"Screenshot1.jpg", "Screenshot3.jpg", "Screenshot4.jpg",
                                        "Screenshot5.jpg"}));
    ASSERT_EQ(sequential.messages.size(), 1u);
    for (const int jobs : {2, 3, 8}) {
        EXPECT_EQ(RunWithJobs(jobs, false), sequential) << jobs << " jobs";
    }
}

TEST(ConversionRunJobs, AnErrorEndsTheRunAtTheSameScreenshotWithWorkers)
{
    const RunRecord sequential = RunWithJobs(1, true);
    ASSERT_NE(sequential.error, "");
    ASSERT_TRUE(sequential.files.contains("f.jpg")) << "the screenshot after the error stays";
    ASSERT_FALSE(sequential.files.contains("d.jpg"));
    for (const int jobs : {2, 4}) {
        EXPECT_EQ(RunWithJobs(jobs, true), sequential) << jobs << " jobs";
    }
}

struct DeviceNameCase
{
    const char *name;
    bool device;
};

void PrintTo(const DeviceNameCase &c, std::ostream *os)
{
    *os << '"' << c.name << '"';
}

class DeviceName : public ::testing::TestWithParam<DeviceNameCase>
{
};

TEST_P(DeviceName, IsTheNameWindowsOpensADeviceFor)
{
    EXPECT_EQ(kv::imaging::IsDeviceName(GetParam().name), GetParam().device) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceName,
    ::testing::Values(DeviceNameCase{"CON", true}, DeviceNameCase{"con.txt", true},
                      DeviceNameCase{"Nul .tar.gz", true}, DeviceNameCase{"aux", true},
                      DeviceNameCase{"PRN.jpg", true}, DeviceNameCase{"COM1.jpg", true},
                      DeviceNameCase{"lpt9", true}, DeviceNameCase{"Com\xC2\xB9.jpg", true},
                      DeviceNameCase{"COM0.jpg", false}, DeviceNameCase{"COM10.jpg", false},
                      DeviceNameCase{"CONSOLE.jpg", false}, DeviceNameCase{"xCON", false},
                      DeviceNameCase{"LPT.jpg", false}, DeviceNameCase{".COM1.jpg.a1b2c3", false}));

#ifdef _WIN32
// Numbers whose names Windows takes for devices are passed over, never an error that ends the run.
TEST_F(ConversionRunTest, DeviceNamesAreSkippedInTheNumbering)
{
    AddScreenshot("a.bmp", 800, 600);
    for (const char *name : {"com", "LPT"}) {
        settings.saveName = name;
        observer = RecordingObserver{};
        Run();
        ASSERT_EQ(observer.results.size(), 1u) << name;
        EXPECT_EQ(observer.results[0].fileName, std::string(name) + "10.jpg");
    }
}

// A relative save folder is long once made absolute; names ending in a dot or a blank mean the
// folder without them, at every length of the path.
TEST_F(ConversionRunTest, RelativeAndOddlyNamedFoldersAreTheSameFolderAtEveryLength)
{
    AddScreenshot("a.bmp", 800, 600);
    const std::string deep = std::string(150, 'd') + "\\" + std::string(150, 'e');
    const fs::path current = fs::current_path();
    fs::current_path(dir.Path());
    for (const std::string &folder : {std::string("short"), deep}) {
        for (const char *odd : {"shots.", "shots "}) {
            settings.saveFolder = folder + "\\" + odd + "\\";
            observer = RecordingObserver{};
            Run();
            ASSERT_EQ(observer.results.size(), 1u) << settings.saveFolder;
            const std::string plain = kv::imaging::Utf8FromPath(dir.Path()) + "\\" + folder +
                                      "\\shots\\" + observer.results[0].fileName;
            EXPECT_TRUE(fs::exists(kv::imaging::PathFromUtf8(plain))) << plain;
        }
        EXPECT_EQ(observer.results[0].fileName, "Screenshot2.jpg") << "one folder for both";
    }
    fs::current_path(current);
}

// Others may read a screenshot while it is read, but not write it.
TEST_F(ConversionRunTest, ScreenshotsAreReadWithReadSharingOnly)
{
    const std::string shot = AddScreenshot("a.bmp", 800, 600);
    const std::wstring wide = kv::imaging::PathFromUtf8(shot).native();
    const auto held = [&](DWORD access) {
        return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE reader = held(GENERIC_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(MeasureImageFile(shot).width, 800);
    CloseHandle(reader);
    HANDLE writer = held(GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_THROW(MeasureImageFile(shot), kv::imaging::ImageError);
    CloseHandle(writer);
}
#endif

// Labels become numbers only where they are exactly a label; a size text that holds no number
// keeps its text for the run's message; the folder gets its separator once.
TEST(ReadConversionSettings, TakesExactLabelsWholeNumbersAndGivesTheFolderItsSeparator)
{
    ConversionSettingTexts given;
    given.edition = texts::kRavelock;
    given.teamSize = "10 on 10";
    given.sizePercent = "75";
    given.saveFolder = "out";
    ConversionSettings settings = ReadConversionSettings(given);
    EXPECT_EQ(settings.edition, FindEdition(texts::kRavelock));
    EXPECT_EQ(settings.playersPerTeam, 10);
    EXPECT_EQ(settings.size.percent, 75);
    EXPECT_EQ(settings.saveFolder, std::string("out") + kPathSeparator);
    given.saveFolder = settings.saveFolder;
    EXPECT_EQ(ReadConversionSettings(given).saveFolder, settings.saveFolder);

    given.edition = "Korvane";
    given.teamSize = "6 on 6";
    given.sizePercent = "7x";
    settings = ReadConversionSettings(given);
    EXPECT_EQ(settings.edition, nullptr);
    EXPECT_EQ(settings.playersPerTeam, std::nullopt);
    EXPECT_EQ(settings.size.percent, std::nullopt);
    EXPECT_EQ(settings.size.text, "7x");
}
