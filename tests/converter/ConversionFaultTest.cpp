#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "ConversionError.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "FileOperations.h"
#include "ImagingTexts.h"
#include "JpegFile.h"
#include "ScreenshotRow.h"
#include "TestSupport.h"

using namespace kv::converter;
using kv::imaging::PaletteEntry;
using kv::imaging::WorkingBitmap;

namespace fs = std::filesystem;

namespace {

// Screenshot i is one flat colour, told apart from its neighbours by 4 levels of red and of
// blue, well beyond what JPEG changes in a flat colour.
PaletteEntry ShotColour(int i)
{
    return {std::uint8_t(20 + 4 * i), 90, std::uint8_t(230 - 4 * i)};
}

// The index of the screenshot whose colour is nearest to a decoded one, or -1 when none is near.
int ShotIndexOf(const PaletteEntry &c)
{
    int best = -1;
    int bestDistance = 3 * 3 * 3;
    for (int i = 0; i < 50; ++i) {
        const PaletteEntry want = ShotColour(i);
        const int dr = c.red - want.red;
        const int dg = c.green - want.green;
        const int db = c.blue - want.blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void WriteShot(const std::string &path, int width, int height, int index, bool noisy = false)
{
    std::mt19937 noise(std::uint32_t(index + 1));
    const WorkingBitmap image = kv::test::MakeImage(width, height, 24, [&](int, int) {
        return noisy ? PaletteEntry{std::uint8_t(noise()), std::uint8_t(noise()),
                                    std::uint8_t(noise())}
                     : ShotColour(index);
    });
    kv::imaging::WriteBitmapFile(image, path);
}

bool IsFinalName(const std::string &name)
{
    return name.starts_with("Screenshot") && name.ends_with(".jpg") && name[0] != '.';
}

// A temporary of WriteNewFile: "." + final name + "." + six characters.
bool IsTemporaryName(const std::string &name)
{
    return name.starts_with(".Screenshot") && name.size() > 11 &&
           name.compare(name.size() - 11, 5, ".jpg.") == 0;
}

// What an output folder holds: every final JPEG's bytes, and the temporaries a kill left.
struct OutputFolder
{
    std::map<std::string, std::vector<unsigned char>> finals;
    int temporaries = 0;
};

// Reads folder and checks that every file under a final name is a whole JPEG (it ends with
// the end-of-image marker; a cut one would decode with filler, not fail) of the given size,
// and that nothing but finals and temporaries is there.
OutputFolder ReadOutputs(const fs::path &folder, int width, int height)
{
    OutputFolder result;
    std::error_code ec;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsTemporaryName(name)) {
            ++result.temporaries;
            continue;
        }
        EXPECT_TRUE(IsFinalName(name)) << "unexpected file " << entry.path();
        const std::vector<unsigned char> bytes = kv::test::ReadBytes(entry.path().string());
        EXPECT_GE(bytes.size(), 2u) << "empty JPEG under the final name " << entry.path();
        if (bytes.size() >= 2) {
            EXPECT_TRUE(bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9)
                << "partial JPEG under the final name " << entry.path();
            const kv::imaging::ImageSize size = kv::imaging::ReadJpegSize(entry.path().string());
            EXPECT_EQ(size.width, width) << entry.path();
            EXPECT_EQ(size.height, height) << entry.path();
        }
        result.finals[name] = bytes;
    }
    return result;
}

// The screenshots the final JPEGs show, by the colour at their centre.
std::vector<int> ShownShots(const fs::path &folder, const OutputFolder &outputs)
{
    std::vector<int> shown;
    for (const auto &[name, bytes] : outputs.finals) {
        const WorkingBitmap image = kv::imaging::LoadJpegFile((folder / name).string());
        const int index = ShotIndexOf(image.ColourAt(image.Width() / 2, image.Height() / 2));
        EXPECT_GE(index, 0) << name << " shows no screenshot's colour";
        shown.push_back(index);
    }
    return shown;
}

class CallbackObserver : public ConversionObserver
{
public:
    void ShowProgressBar(bool) override {}
    void SetProgress(int) override {}
    void ProcessPendingMessages() override
    {
        if (onPump) {
            onPump(++pumps);
        }
    }
    void ShowMessage(const std::string &text) override { messages.push_back(text); }
    void AddResultRow(const ResultRow &row) override { results.push_back(row); }

    std::function<void(int)> onPump; // pump 1 starts the run, pump k + 1 follows row k
    int pumps = 0;
    std::vector<std::string> messages;
    std::vector<ResultRow> results;
};

// Three screenshots converted with their originals deleted; the parameter is the job count.
class ConversionFault : public ::testing::TestWithParam<int>
{
protected:
    static constexpr int kCropWidth = 637; // Ravelock 800 x 600, 1 on 1
    static constexpr int kCropHeight = 97;

    void SetUp() override
    {
        settings.edition = texts::kRavelock;
        settings.teamSize = " 1 on 1";
        settings.deleteOriginals = true;
        settings.saveFolder = out.string() + kPathSeparator;
    }

    void AddShots(int count, bool noisyAfterFirst = false)
    {
        for (int i = 0; i < count; ++i) {
            const std::string path = dir.File("shot" + std::to_string(i) + ".bmp");
            WriteShot(path, 800, 600, i, noisyAfterFirst && i > 0);
            shots.push_back(path);
            rows.push_back(MeasureScreenshot(path, settings.edition));
        }
    }

    // Runs and returns the text of the error that ended the run ("" when none did).
    std::string RunForError()
    {
        try {
            ConversionRun run(rows, settings, observer, GetParam());
            run.Run();
        } catch (const std::exception &e) {
            return e.what();
        }
        return "";
    }

    std::string Output(int n) const { return OutputPath(settings.saveFolder, "Screenshot", n); }

    // The error that ended the run at shot<index>.bmp, the failure's own text inside.
    static std::string ErrorAt(int index, const std::string &text)
    {
        return texts::InScreenshot(index + 1, "shot" + std::to_string(index) + ".bmp", text);
    }

    // Only the first screenshot went: its JPEG is whole under Screenshot1.jpg and nothing else,
    // not even a temporary, is in the output folder.
    void ExpectOnlyTheFirstConverted()
    {
        EXPECT_FALSE(fs::exists(shots[0]));
        for (std::size_t i = 1; i < shots.size(); ++i) {
            EXPECT_TRUE(fs::exists(shots[i])) << "original " << i << " deleted";
        }
        const OutputFolder outputs = ReadOutputs(out, kCropWidth, kCropHeight);
        EXPECT_EQ(outputs.temporaries, 0);
        ASSERT_EQ(outputs.finals.size(), 1u);
        EXPECT_EQ(outputs.finals.begin()->first, "Screenshot1.jpg");
        EXPECT_EQ(observer.results.size(), 1u);
    }

    kv::test::TempDir dir;
    fs::path out = dir.Path() / "out";
    FixedConversionSettings settings;
    CallbackObserver observer;
    std::vector<ScreenshotRow> rows;
    std::vector<std::string> shots;
};

TEST_P(ConversionFault, DiskFullMidFileKeepsTheOriginalAndLeavesNoPartialJpeg)
{
    AddShots(3);
    observer.onPump = [](int pump) {
        if (pump == 2) {
            FailNextWriteForTesting(ENOSPC);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(ENOSPC))));
    FailNextWriteForTesting(0);
    ExpectOnlyTheFirstConverted();
}

TEST_P(ConversionFault, InputOutputErrorMidFileKeepsTheOriginalAndLeavesNoPartialJpeg)
{
    AddShots(3);
    observer.onPump = [](int pump) {
        if (pump == 2) {
            FailNextWriteForTesting(EIO);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(EIO))));
    FailNextWriteForTesting(0);
    ExpectOnlyTheFirstConverted();
}

TEST_P(ConversionFault, FolderEntryThatCannotBeFlushedKeepsTheOriginal)
{
    AddShots(3);
    observer.onPump = [](int pump) {
        if (pump == 2) {
            FailNextWriteForTesting(EIO, true);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(EIO))));
    FailNextWriteForTesting(0, true);
    // The second JPEG is whole under its name, but its name might not survive a crash.
    EXPECT_FALSE(fs::exists(shots[0]));
    EXPECT_TRUE(fs::exists(shots[1])) << "original deleted although its JPEG may be lost";
    EXPECT_TRUE(fs::exists(shots[2]));
    const OutputFolder outputs = ReadOutputs(out, kCropWidth, kCropHeight);
    EXPECT_EQ(outputs.temporaries, 0);
    EXPECT_EQ(ShownShots(out, outputs), (std::vector<int>{0, 1}));
}

#ifndef _WIN32
TEST_P(ConversionFault, FileSizeLimitEndsTheRunAtTheFirstJpegTooLargeForIt)
{
    // The flat first screenshot encodes to a few kilobytes, the noisy second to far more.
    AddShots(3, true);
    std::string error;
    {
        const kv::test::FileSizeLimit limit(32 * 1024);
        error = RunForError();
    }
    EXPECT_EQ(error,
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(EFBIG))));
    ExpectOnlyTheFirstConverted();
}
#endif

TEST_P(ConversionFault, OutputFolderRemovedBetweenScreenshotsIsMadeAgain)
{
    AddShots(3);
    observer.onPump = [&](int pump) {
        if (pump == 2) {
            fs::remove_all(out);
        }
    };
    EXPECT_EQ(RunForError(), "");
    for (const std::string &shot : shots) {
        EXPECT_FALSE(fs::exists(shot)) << shot;
    }
    // The first JPEG went with the folder; the two after it take the freed numbers.
    const OutputFolder outputs = ReadOutputs(out, kCropWidth, kCropHeight);
    EXPECT_EQ(ShownShots(out, outputs), (std::vector<int>{1, 2}));
}

TEST_P(ConversionFault, OutputFolderReplacedByAFileEndsTheRunAndKeepsTheOriginal)
{
    AddShots(3);
    observer.onPump = [&](int pump) {
        if (pump == 2) {
            fs::remove_all(out);
            kv::test::WriteBytes(out.string(), {'x'});
        }
    };
#ifdef _WIN32
    // Windows reports a path through a file as a path not found.
    const int expected = ENOENT;
#else
    const int expected = ENOTDIR;
#endif
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(1), std::strerror(expected))));
    EXPECT_FALSE(fs::exists(shots[0]));
    EXPECT_TRUE(fs::exists(shots[1]));
    EXPECT_TRUE(fs::exists(shots[2]));
    EXPECT_EQ(observer.results.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoJobs, ConversionFault, ::testing::Values(1, 2),
                         [](const auto &info) { return "Jobs" + std::to_string(info.param); });

#if defined(KV_KVSC_BINARY) && !defined(_WIN32)

// Starts kvsc with args, its output in files beside the shots and its settings in a folder of
// its own; returns the process id.
pid_t StartKvsc(const fs::path &dir, const std::vector<std::string> &args)
{
    std::vector<std::string> all{KV_KVSC_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string config = (dir / "config").string();
    const std::string log = (dir / "kvsc.log").string();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::string TextOf(const std::string &path)
{
    const std::vector<unsigned char> bytes = kv::test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

int FinalCount(const fs::path &folder)
{
    int count = 0;
    std::error_code ec;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, ec)) {
        count += IsFinalName(entry.path().filename().string()) ? 1 : 0;
    }
    return count;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

TEST(KilledConversion, RerunFinishesTheBatchWithoutLosingOrOverwritingAnything)
{
    constexpr int kShots = 50;
    constexpr int kRounds = 4;
    constexpr int kCropWidth = 398; // Veskar 640 x 480, 1 on 1
    constexpr int kCropHeight = 92;
    kv::test::TempDir templates;
    for (int i = 0; i < kShots; ++i) {
        WriteShot(templates.File("shot" + std::to_string(100 + i) + ".bmp"), 640, 480, i);
    }
    std::mt19937 rng(7); // fixed: the same kill points on every run
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        kv::test::TempDir dir;
        const fs::path out = dir.Path() / "out";
        std::vector<std::string> shots;
        for (int i = 0; i < kShots; ++i) {
            shots.push_back(dir.File("shot" + std::to_string(100 + i) + ".bmp"));
            fs::copy_file(templates.File("shot" + std::to_string(100 + i) + ".bmp"), shots.back());
        }
        const std::vector<std::string> options{"convert",
                                               "--game",
                                               "veskar",
                                               "--team",
                                               "1",
                                               "--no-spectator",
                                               "--scoreboard-only",
                                               "--size",
                                               "100",
                                               "--save-folder",
                                               out.string() + "/",
                                               "--delete-originals",
                                               "--jobs",
                                               std::to_string(1 + round % 2)};
        const auto command = [&](const std::vector<std::string> &files) {
            std::vector<std::string> args = options;
            args.insert(args.end(), files.begin(), files.end());
            return args;
        };

        // The kill lands once a number of JPEGs drawn from the generator are written, plus a
        // few milliseconds into the next one; how long anything takes is never checked.
        const pid_t pid = StartKvsc(dir.Path(), command(shots));
        ASSERT_GT(pid, 0);
        const int written = std::uniform_int_distribution<int>(0, kShots - 1)(rng);
        const int jitterMs = std::uniform_int_distribution<int>(0, 30)(rng);
        bool exited = false;
        while (FinalCount(out) < written) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!exited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(jitterMs));
            kill(pid, SIGKILL);
            WaitFor(pid);
        }

        const OutputFolder killed = ReadOutputs(out, kCropWidth, kCropHeight);
        const std::vector<int> shownAfterKill = ShownShots(out, killed);
        std::vector<std::string> left;
        for (int i = 0; i < kShots; ++i) {
            if (fs::exists(shots[std::size_t(i)])) {
                left.push_back(shots[std::size_t(i)]);
            } else {
                EXPECT_NE(std::find(shownAfterKill.begin(), shownAfterKill.end(), i),
                          shownAfterKill.end())
                    << "original " << i << " deleted without its JPEG";
            }
        }

        if (!left.empty()) {
            const int status = WaitFor(StartKvsc(dir.Path(), command(left)));
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "rerun failed with status " << status << ":\n"
                << TextOf(dir.File("kvsc.log"));
        }
        for (const std::string &shot : shots) {
            EXPECT_FALSE(fs::exists(shot)) << shot << " is left after the rerun";
        }
        const OutputFolder done = ReadOutputs(out, kCropWidth, kCropHeight);
        for (const auto &[name, bytes] : killed.finals) {
            ASSERT_TRUE(done.finals.contains(name)) << name << " vanished in the rerun";
            EXPECT_EQ(done.finals.at(name), bytes) << name << " was overwritten by the rerun";
        }
        std::vector<int> shown = ShownShots(out, done);
        std::sort(shown.begin(), shown.end());
        for (int i = 0; i < kShots; ++i) {
            EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), i))
                << "no JPEG shows screenshot " << i;
        }
        // A kill between writing a JPEG and deleting its original converts that one twice.
        EXPECT_LE(done.finals.size(), std::size_t(kShots + 1));
    }
}

#endif

} // namespace
