#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <streambuf>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "CommandLine.h"
#include "ConversionError.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "FaultyFileSystem.h"
#include "FileOperations.h"
#include "ImagingTexts.h"
#include "JpegFile.h"
#include "ScreenshotFiles.h"
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
    // The bar moves once after each row.
    void SetProgress(int) override
    {
        if (onRowDone) {
            onRowDone(++rowsDone);
        }
    }
    void ShowMessage(const std::string &text) override { messages.push_back(text); }
    void AddResultRow(const ResultRow &row) override { results.push_back(row); }

    std::function<void(int)> onRowDone; // k after row k
    int rowsDone = 0;
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
            ConversionRun run(rows, ReadConversionSettings(settings), observer, GetParam(), files);
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
    ConversionSettingTexts settings;
    CallbackObserver observer;
    kv::test::FaultyFileSystem files;
    std::vector<ScreenshotRow> rows;
    std::vector<std::string> shots;
};

TEST_P(ConversionFault, DiskFullMidFileKeepsTheOriginalAndLeavesNoPartialJpeg)
{
    AddShots(3);
    observer.onRowDone = [&](int row) {
        if (row == 1) {
            files.FailNextWrite(ENOSPC);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(ENOSPC))));
    ExpectOnlyTheFirstConverted();
}

TEST_P(ConversionFault, InputOutputErrorMidFileKeepsTheOriginalAndLeavesNoPartialJpeg)
{
    AddShots(3);
    observer.onRowDone = [&](int row) {
        if (row == 1) {
            files.FailNextWrite(EIO);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(EIO))));
    ExpectOnlyTheFirstConverted();
}

TEST_P(ConversionFault, FolderEntryThatCannotBeFlushedKeepsTheOriginal)
{
    AddShots(3);
    observer.onRowDone = [&](int row) {
        if (row == 1) {
            files.FailNextFolderFlush(EIO);
        }
    };
    EXPECT_EQ(RunForError(),
              ErrorAt(1, kv::imaging::texts::CannotCreateFile(Output(2), std::strerror(EIO))));
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
    observer.onRowDone = [&](int row) {
        if (row == 1) {
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
    observer.onRowDone = [&](int row) {
        if (row == 1) {
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

// kvsc's path and args as execv takes them; the pointers live as long as all.
std::vector<char *> KvscArgv(std::vector<std::string> &all, const std::vector<std::string> &args)
{
    all = {KV_KVSC_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// Starts kvsc with args, its output in files beside the shots and its settings in a folder of
// its own; returns the process id.
pid_t StartKvsc(const fs::path &dir, const std::vector<std::string> &args)
{
    std::vector<std::string> all;
    std::vector<char *> argv = KvscArgv(all, args);
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

// Hostile screenshots and runs, through `kvsc convert` as a user gives them: each case once lost
// an original, reported a failure as success, hung or crashed.

// The command line's standard output: keeps the lines and calls onLine after each one (a result
// line comes after its JPEG is written and before its original is deleted); when broken, every
// write fails as on a closed pipe or a full device.
class ResultLines : public std::streambuf
{
public:
    std::function<void(int)> onLine;
    bool broken = false;

protected:
    int overflow(int c) override
    {
        if (broken) {
            return traits_type::eof();
        }
        if (c != traits_type::eof() && char(c) == '\n' && onLine) {
            onLine(++lines_);
        }
        return traits_type::not_eof(c);
    }

private:
    int lines_ = 0;
};

enum class Stdout
{
    File,
    ClosedPipe, // nobody reads it: a write raises SIGPIPE, or fails once that is ignored
    FullDevice,
};

// One case's folder: screenshots beside the save folder "out", and how the run is made.
struct HostileScene
{
    HostileScene()
    {
        stored.edition = texts::kSelectGame;
        stored.saveFolder = out;
    }

    // A screenshot (BMP or JPEG by its name) of noise, so that a JPEG's data is spread evenly
    // over its rows. Tracked ones are expected gone after the run unless the case keeps them.
    std::string Shot(const std::string &name, int width = 800, int height = 600, int seed = 1,
                     bool tracked = true)
    {
        std::mt19937 noise{std::uint32_t(seed)};
        const WorkingBitmap image = kv::test::MakeImage(width, height, 24, [&](int, int) {
            return PaletteEntry{std::uint8_t(noise()), std::uint8_t(noise()),
                                std::uint8_t(noise())};
        });
        const std::string path = dir.File(name);
        if (IsBitmapFileName(path)) {
            kv::imaging::WriteBitmapFile(image, path);
        } else {
            kv::imaging::WriteJpegFile(image, path, 95);
        }
        if (tracked) {
            shots.push_back(name);
        }
        return path;
    }

    // The command line with every setting given and originals deleted, less the options named
    // in left (which then come from `stored`), and files.
    std::vector<std::string> Args(const std::vector<std::string> &files,
                                  const std::vector<std::string> &left = {}) const
    {
        const std::vector<std::pair<std::string, std::string>> options{
            {"--game", "ravelock"},        {"--team", "1"},           {"--no-spectator", ""},
            {"--scoreboard-only", ""},     {"--size", "100"},         {"--save-folder", out},
            {"--save-name", "Screenshot"}, {"--delete-originals", ""}};
        std::vector<std::string> args{"convert", "--jobs", std::to_string(jobs)};
        for (const auto &[option, value] : options) {
            if (std::find(left.begin(), left.end(), option) != left.end()) {
                continue;
            }
            args.push_back(option);
            if (!value.empty()) {
                args.push_back(value);
            }
        }
        args.insert(args.end(), files.begin(), files.end());
        return args;
    }

    kv::test::TempDir dir;
    std::string out = dir.File("out") + kPathSeparator;
    int jobs = 1;
    std::vector<std::string> shots;
    ConversionSettingTexts stored;    // what the store would give for options left out
    kv::test::FaultyFileSystem files; // the run's file calls, unless it is the real program
    std::function<void(int)> onLine;
    bool brokenStdout = false;
    // The real program, for what only a process shows: signals, limits, its settings file.
    bool program = false;
    long fileSizeLimit = 0;
    Stdout stdoutTo = Stdout::File;
    std::vector<int> openDescriptors; // closed when the case ends
    long long readBefore = -1;        // BytesRead() before the run
};

struct Expected
{
    int status;
    std::vector<std::string> errHas; // texts stderr must hold; none: stderr stays empty
    std::vector<std::string> kept;   // tracked screenshots still there afterwards
    int jpegs;                       // whole JPEG files in the save folder afterwards
};

struct HostileCase
{
    const char *name;
    Expected expected;
    // Sets the scene up; returns the command line.
    std::function<std::vector<std::string>(HostileScene &)> arrange;
    std::function<void(HostileScene &)> check = nullptr;
};

void PrintTo(const HostileCase &c, std::ostream *os)
{
    *os << c.name;
}

struct Outcome
{
    int status = -1;
    std::string err;
};

#if defined(KV_KVSC_BINARY) && !defined(_WIN32)

// Runs kvsc as the scene says, with SIGPIPE and SIGXFSZ at their defaults whatever this process
// does with them, so that only the program's own handling counts.
Outcome RunProgram(HostileScene &scene, const std::vector<std::string> &args)
{
    std::vector<std::string> all;
    std::vector<char *> argv = KvscArgv(all, args);
    const std::string config = scene.dir.File("config");
    const std::string outLog = scene.dir.File("stdout.log");
    const std::string errLog = scene.dir.File("stderr.log");
    int unread[2] = {-1, -1};
    if (scene.stdoutTo == Stdout::ClosedPipe && pipe(unread) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, SIG_DFL);
        if (scene.fileSizeLimit > 0) {
            const rlimit limit{rlim_t(scene.fileSizeLimit), rlim_t(scene.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        int outFd = -1;
        switch (scene.stdoutTo) {
        case Stdout::File:
            outFd = open(outLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            break;
        case Stdout::ClosedPipe:
            close(unread[0]);
            outFd = unread[1];
            break;
        case Stdout::FullDevice:
            outFd = open("/dev/full", O_WRONLY);
            break;
        }
        dup2(outFd, 1);
        dup2(open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (unread[0] >= 0) {
        close(unread[0]);
        close(unread[1]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), TextOf(errLog)};
}

#endif

#ifndef _WIN32

// A FIFO named name in the scene's folder; its path.
std::string MakeFifo(HostileScene &scene, const std::string &name)
{
    const std::string path = scene.dir.File(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
    return path;
}

#endif

// Bytes this process has read from files so far (Linux); -1 where the system does not say.
long long BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return -1;
}

// A BMP of 800 x 600 at 8 bits, run-length compressed, whose data stops after 300 rows without
// an end code: a file the game had not finished writing.
std::string RleBitmapCutShort(HostileScene &scene, const std::string &name)
{
    std::vector<unsigned char> data;
    for (int row = 0; row < 300; ++row) {
        for (int run = 0; run < 4; ++run) {
            data.insert(data.end(), {200, std::uint8_t(row + run)});
        }
        data.insert(data.end(), {0, 0});
    }
    const auto u32 = [](std::vector<unsigned char> &b, std::uint32_t v) {
        b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                           std::uint8_t(v >> 24)});
    };
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<unsigned char> bytes{'B', 'M'};
    u32(bytes, offset + std::uint32_t(data.size()));
    u32(bytes, 0);
    u32(bytes, offset);
    u32(bytes, 40);
    u32(bytes, 800);
    u32(bytes, 600);
    bytes.insert(bytes.end(), {1, 0, 8, 0}); // planes, bits per pixel
    u32(bytes, 1);                           // RLE8
    for (int i = 0; i < 5; ++i) {
        u32(bytes, 0); // image size (not given), resolutions, colours used and important
    }
    for (int i = 0; i < 256; ++i) {
        u32(bytes, std::uint32_t(i * 0x010101));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    const std::string path = scene.dir.File(name);
    kv::test::WriteBytes(path, bytes);
    scene.shots.push_back(name);
    return path;
}

// A JPEG screenshot cut after the given share of its bytes.
std::string JpegCutShort(HostileScene &scene, const std::string &name, double share)
{
    const std::string path = scene.Shot(name);
    std::vector<unsigned char> bytes = kv::test::ReadBytes(path);
    bytes.resize(std::size_t(double(bytes.size()) * share));
    kv::test::WriteBytes(path, bytes);
    return path;
}

void ReplaceWithAnotherPicture(HostileScene &scene, const std::string &name)
{
    const std::string fresh = scene.Shot("fresh.bmp", 800, 600, 2, false);
    fs::rename(kv::imaging::PathFromUtf8(fresh), kv::imaging::PathFromUtf8(scene.dir.File(name)));
}

// Once the first result line is out, the second screenshot's file becomes bytes. On Windows a
// worker reading it ahead of the run keeps others from writing it until it is done, so the write
// waits for that; it happens once, as a player's one overwrite would.
std::function<void(int)> RewriteAfterTheFirstLine(HostileScene &scene, const std::string &name,
                                                  const std::vector<unsigned char> &bytes)
{
    return [&scene, name, bytes](int line) {
        if (line != 1) {
            return;
        }
        for (int tries = 0; tries < 1000; ++tries) {
            std::ofstream out(kv::imaging::PathFromUtf8(scene.dir.File(name)), std::ios::binary);
            if (out.write(reinterpret_cast<const char *>(bytes.data()),
                          std::streamsize(bytes.size())) &&
                out.flush()) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << name << " could not be written";
    };
}

// One screenshot to convert into a save folder that already holds Screenshot1.jpg.
std::vector<std::string> BesideAJpegOfTheSameName(HostileScene &scene)
{
    fs::create_directories(kv::imaging::PathFromUtf8(scene.out));
    scene.Shot("out/Screenshot1.jpg", 16, 16, 9, false);
    return scene.Args({scene.Shot("a.bmp")});
}

void TheJpegOfTheSameNameIsUntouched(HostileScene &scene)
{
    EXPECT_EQ(kv::imaging::ReadJpegSize(scene.out + "Screenshot1.jpg").width, 16);
}

std::string InShot(int number, const std::string &caption, const std::string &text)
{
    return texts::InScreenshot(number, caption, text);
}

std::vector<HostileCase> MakeHostileCases()
{
    std::vector<HostileCase> cases{
        // A picture that did not come whole from its file is converted, its original kept.
        {"JpegCutInsideTheScoreboard",
         {0, {InShot(1, "a.jpg", texts::kPictureNotWhole)}, {"a.jpg"}, 1},
         [](HostileScene &s) { return s.Args({JpegCutShort(s, "a.jpg", 0.15)}); }},
        {"JpegCutBelowTheScoreboard",
         {0, {InShot(1, "a.jpg", texts::kPictureNotWhole)}, {"a.jpg"}, 1},
         [](HostileScene &s) { return s.Args({JpegCutShort(s, "a.jpg", 0.6)}); }},
        {"RunLengthBitmapWhoseDataEndsEarly",
         {0, {InShot(1, "a.bmp", texts::kPictureNotWhole)}, {"a.bmp"}, 1},
         [](HostileScene &s) { return s.Args({RleBitmapCutShort(s, "a.bmp")}); }},
        // Only the very file that was read is deleted.
        {"ReplacedAfterItWasRead",
         {0, {InShot(1, "a.bmp", texts::kChangedSinceRead)}, {"a.bmp"}, 1},
         [](HostileScene &s) {
             s.onLine = [&s](int) { ReplaceWithAnotherPicture(s, "a.bmp"); };
             return s.Args({s.Shot("a.bmp")});
         }},
        {"RewrittenInPlaceAfterItWasRead",
         {0, {InShot(1, "a.bmp", texts::kChangedSinceRead)}, {"a.bmp"}, 1},
         [](HostileScene &s) {
             s.onLine = [&s](int) {
                 std::fstream file(s.dir.File("a.bmp"),
                                   std::ios::in | std::ios::out | std::ios::binary);
                 file.seekp(-1, std::ios::end);
                 file.put('\x7F');
             };
             return s.Args({s.Shot("a.bmp")});
         }},
        // A size other than the listed one is not converted with the listed geometry.
        {"EmptiedAfterItWasListed",
         {0, {InShot(2, "b.bmp", texts::SizeChanged("0 x 0", "800 x 600"))}, {"b.bmp"}, 1},
         [](HostileScene &s) {
             s.onLine = RewriteAfterTheFirstLine(s, "b.bmp", {});
             return s.Args({s.Shot("a.bmp"), s.Shot("b.bmp")});
         }},
        // A failed delete is reported, and a screenshot given twice is converted once.
        {"DeleteThatFailsOfAScreenshotGivenTwice",
         {1, {InShot(1, "a.bmp", texts::CannotDelete(std::strerror(EACCES)))}, {"a.bmp"}, 1},
         [](HostileScene &s) {
             s.files.FailNextRemove(EACCES);
             const std::string shot = s.Shot("a.bmp");
             return s.Args({shot, shot});
         }},
        // Where no trash takes an original it stays, the run says why and fails, as for a
        // delete; the JPEG still carries the screenshot's time.
        {"TrashThatTakesNothing",
         {1,
          {InShot(1, "a.bmp", texts::CannotMoveToTrash("no trash on this volume"))},
          {"a.bmp"},
          1},
         [](HostileScene &s) {
             s.files.FailNextTrash("no trash on this volume");
             std::vector<std::string> args = s.Args({s.Shot("a.bmp")});
             args.insert(args.end() - 1, "--trash");
             return args;
         },
         [](HostileScene &s) {
             EXPECT_EQ(IdentityOf(s.out + "Screenshot1.jpg")->modified,
                       IdentityOf(s.dir.File("a.bmp"))->modified);
         }},
        // What is no regular file is refused at once with the same clear error.
        {"FolderNamedLikeAScreenshot",
         {1, {"shots.bmp\". Not a file"}, {}, 0},
         [](HostileScene &s) {
             fs::create_directory(s.dir.Path() / "shots.bmp");
             return s.Args({s.dir.File("shots.bmp")});
         }},
        {"EmptyName",
         {1, {"Cannot open file \"\". Not a file"}, {}, 0},
         [](HostileScene &s) { return s.Args({""}); }},
        {"Dot",
         {1, {"Invalid or no file selected: .: ", "\". Not a file"}, {}, 0},
         [](HostileScene &s) { return s.Args({"."}); }},
        {"DotDot",
         {1, {"Invalid or no file selected: ..: ", "\". Not a file"}, {}, 0},
         [](HostileScene &s) { return s.Args({".."}); }},
        // The headers are checked, and the file's length, before anything else is read.
        {"GigabyteBitmapReadOnlyAsFarAsItsPicture",
         {0, {}, {}, 1},
         [](HostileScene &s) {
             const std::string shot = s.Shot("big.bmp");
             fs::resize_file(kv::imaging::PathFromUtf8(shot), std::uintmax_t(1) << 30);
             s.readBefore = BytesRead();
             return s.Args({shot});
         },
         [](HostileScene &s) {
             // The picture is 1.4 MB, read twice (listed, converted); the file is 1 GB.
             if (s.readBefore >= 0) {
                 EXPECT_LT(BytesRead() - s.readBefore, 16ll << 20);
             }
         }},
        // Stored values that match no label, and an empty save folder, are refused.
        {"StoredTeamSizeWithoutItsLeadingBlank",
         {1, {texts::StoredTeamSizeUnknown("7 on 7")}, {"a.bmp"}, 0},
         [](HostileScene &s) {
             s.stored.teamSize = "7 on 7";
             return s.Args({s.Shot("a.bmp")}, {"--team"});
         }},
        {"StoredGameMatchingNoTitle",
         {1, {texts::StoredEditionUnknown("korvane: ravelock")}, {"a.bmp"}, 0},
         [](HostileScene &s) {
             s.stored.edition = "korvane: ravelock";
             return s.Args({s.Shot("a.bmp")}, {"--game"});
         }},
        {"EmptySaveFolderOption",
         {2, {"the save folder must not be empty"}, {"a.bmp"}, 0},
         [](HostileScene &s) {
             std::vector<std::string> args = s.Args({s.Shot("a.bmp")}, {"--save-folder"});
             args.insert(args.end() - 1, {"--save-folder", ""});
             return args;
         }},
        {"StoredEmptySaveFolder",
         {1, {texts::kStoredSaveFolderEmpty}, {"a.bmp"}, 0},
         [](HostileScene &s) {
             s.stored.saveFolder = "";
             return s.Args({s.Shot("a.bmp")}, {"--save-folder"});
         }},
        // Lost result lines fail the run once its file work is done.
        {"ResultLinesThatCannotBeWritten",
         {1, {texts::kOutputNotWritten}, {}, 2},
         [](HostileScene &s) {
             s.brokenStdout = true;
             return s.Args({s.Shot("a.bmp"), s.Shot("b.bmp")});
         }},
        // Never a half-written file under a final name, never one replaced, on file systems
        // without hard links too; the JPEG already there stays as it was.
        {"FileSystemWithoutHardLinks",
         {0, {}, {}, 2},
         [](HostileScene &s) {
             s.files.DropHardLinks();
             return BesideAJpegOfTheSameName(s);
         },
         TheJpegOfTheSameNameIsUntouched},
        {"FileSystemWithoutHardLinksOrExclusiveRename",
         {0, {}, {}, 2},
         [](HostileScene &s) {
             s.files.DropHardLinks(true);
             return BesideAJpegOfTheSameName(s);
         },
         TheJpegOfTheSameNameIsUntouched},
        // The temporary file's name is never the one too long.
        {"LongestSaveNamesThatFit",
         {0, {}, {}, 1},
         [](HostileScene &s) {
             std::vector<std::string> args = s.Args({s.Shot("a.bmp")}, {"--save-name"});
             args.insert(args.end() - 1, {"--save-name", std::string(243, 'n')});
             return args;
         }},
        // An error that ends the run names its screenshot.
        {"JpegBrokenAfterItWasListed",
         {1, {"Screenshot 2 (b.jpg): JPEG error #"}, {"b.jpg"}, 1},
         [](HostileScene &s) {
             s.onLine = RewriteAfterTheFirstLine(s, "b.jpg", {'n', 'o'});
             return s.Args({s.Shot("a.bmp"), s.Shot("b.jpg")});
         }},
    };
#ifndef _WIN32
    const std::vector<HostileCase> posix{
        {"FifoNamedLikeAJpeg",
         {1, {"x.jpg\". Not a file"}, {}, 0},
         [](HostileScene &s) { return s.Args({MakeFifo(s, "x.jpg")}); }},
        {"FifoNamedLikeABitmap",
         {1, {"y.bmp\". Not a file"}, {}, 0},
         [](HostileScene &s) { return s.Args({MakeFifo(s, "y.bmp")}); }},
        {"PipeAsScreenshot",
         {1, {". Not a file"}, {}, 0},
         [](HostileScene &s) {
             int ends[2] = {-1, -1};
             EXPECT_EQ(pipe(ends), 0);
             s.openDescriptors = {ends[0], ends[1]};
             return s.Args({"/dev/fd/" + std::to_string(ends[0])});
         }},
        {"DeviceLinkedAsABitmap",
         {1, {"z.bmp\". Not a file"}, {}, 0},
         [](HostileScene &s) {
             fs::create_symlink("/dev/zero", s.dir.Path() / "z.bmp");
             return s.Args({s.dir.File("z.bmp")});
         }},
        // With workers, a file the run replaces before it gets there (here through a link to an
        // input in the save folder) is read only then, as one screenshot after the other does.
        {"InputInTheSaveFolderThatTheRunReplaces",
         {0, {InShot(3, "zz.jpg", texts::SizeChanged("637 x 97", "800 x 600"))}, {"zz.jpg"}, 2},
         [](HostileScene &s) {
             fs::create_directories(kv::imaging::PathFromUtf8(s.out));
             const std::string first = s.Shot("out/Screenshot1.jpg", 800, 600, 3, false);
             fs::create_symlink(first, s.dir.Path() / "zz.jpg");
             s.shots.push_back("zz.jpg");
             return s.Args({first, s.Shot("a.bmp"), s.dir.File("zz.jpg")});
         }},
    };
    cases.insert(cases.end(), posix.begin(), posix.end());
#endif
#if defined(KV_KVSC_BINARY) && !defined(_WIN32)
    const std::vector<HostileCase> program{
        // Signals and limits only a process shows.
        {"FileSizeLimit",
         {1, {"Cannot create file", std::strerror(EFBIG)}, {"a.bmp"}, 0},
         [](HostileScene &s) {
             s.program = true;
             s.fileSizeLimit = 32 * 1024;
             return s.Args({s.Shot("a.bmp")});
         }},
        {"ResultLinesIntoAClosedPipe",
         {1, {texts::kOutputNotWritten}, {}, 2},
         [](HostileScene &s) {
             s.program = true;
             s.stdoutTo = Stdout::ClosedPipe;
             return s.Args({s.Shot("a.bmp"), s.Shot("b.bmp")});
         }},
    };
    cases.insert(cases.end(), program.begin(), program.end());
#ifdef __linux__
    cases.push_back(
        {"ResultLinesOntoAFullDevice", {1, {texts::kOutputNotWritten}, {}, 1}, [](HostileScene &s) {
             s.program = true;
             s.stdoutTo = Stdout::FullDevice;
             return s.Args({s.Shot("a.bmp")});
         }});
#endif
#ifdef KV_KVSC_WINDOW_MODULE
    cases.push_back({"FifoAsTheSettingsFile",
                     {1, {"KVSC.conf\" is not a file"}, {"a.bmp"}, 0},
                     [](HostileScene &s) {
                         s.program = true;
                         fs::create_directories(s.dir.Path() / "config" / "KVSC");
                         MakeFifo(s, "config/KVSC/KVSC.conf");
                         return s.Args({s.Shot("a.bmp")}, {"--save-name"});
                     }});
#endif
#endif
    return cases;
}

const std::vector<HostileCase> &HostileCases()
{
    static const std::vector<HostileCase> cases = MakeHostileCases();
    return cases;
}

class HostileConversion : public ::testing::TestWithParam<std::tuple<HostileCase, int>>
{
protected:
    void TearDown() override
    {
#ifndef _WIN32
        for (const int fd : scene.openDescriptors) {
            close(fd);
        }
#endif
    }

    Outcome Run(const std::vector<std::string> &args)
    {
#if defined(KV_KVSC_BINARY) && !defined(_WIN32)
        if (scene.program) {
            return RunProgram(scene, args);
        }
#endif
        ResultLines lines;
        lines.onLine = scene.onLine;
        lines.broken = scene.brokenStdout;
        std::ostream out(&lines);
        std::ostringstream err;
        const int status = RunCommandLine(args, scene.stored, out, err, scene.files);
        return {status, err.str()};
    }

    HostileScene scene;
};

TEST_P(HostileConversion, KeepsEveryOriginalItCannotVouchForAndReportsEveryFailure)
{
    const HostileCase &c = std::get<0>(GetParam());
    const Expected &expected = c.expected;
    scene.jobs = std::get<1>(GetParam());
    const std::vector<std::string> args = c.arrange(scene);
    const Outcome outcome = Run(args);

    EXPECT_EQ(outcome.status, expected.status) << outcome.err;
    for (const std::string &text : expected.errHas) {
        EXPECT_NE(outcome.err.find(text), std::string::npos) << "stderr lacks \"" << text << "\":\n"
                                                             << outcome.err;
    }
    if (expected.errHas.empty()) {
        EXPECT_EQ(outcome.err, "");
    }
    for (const std::string &shot : scene.shots) {
        const bool kept =
            std::find(expected.kept.begin(), expected.kept.end(), shot) != expected.kept.end();
        EXPECT_EQ(fs::exists(kv::imaging::PathFromUtf8(scene.dir.File(shot))), kept)
            << shot << (kept ? " was deleted" : " is still there");
    }
    // Every file in the save folder is a whole JPEG under its final name: no temporary file,
    // no claim on a name, nothing cut short.
    int jpegs = 0;
    std::error_code none;
    for (const auto &entry : fs::directory_iterator(kv::imaging::PathFromUtf8(scene.out), none)) {
        const std::string name = kv::imaging::Utf8FromPath(entry.path().filename());
        std::ifstream in(entry.path(), std::ios::binary); // long names too, on Windows
        const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                               std::istreambuf_iterator<char>()};
        EXPECT_TRUE(name[0] != '.' && name.ends_with(".jpg")) << "left behind: " << name;
        EXPECT_TRUE(bytes.size() > 2 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9)
            << name << " is no whole JPEG";
        ++jpegs;
    }
    EXPECT_EQ(jpegs, expected.jpegs);
    if (c.check) {
        c.check(scene);
    }
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoJobs, HostileConversion,
                         ::testing::Combine(::testing::ValuesIn(HostileCases()),
                                            ::testing::Values(1, 2)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + "Jobs" +
                                    std::to_string(std::get<1>(info.param));
                         });

} // namespace
