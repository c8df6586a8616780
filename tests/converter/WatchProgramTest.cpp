// `kvsc watch` as a player runs it, against writers that take their time as games and tools do.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "FileOperations.h"
#include "FilePath.h"
#include "FreedesktopTrash.h"
#include "JpegFile.h"
#include "TestSupport.h"

namespace kv::converter {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// kvsc watch, started with args, its lines in out.log and err.log of dir; its settings and trash
// in folders of dir's own.
class WatchProcess
{
public:
    WatchProcess(const test::TempDir &dir, const std::vector<std::string> &args)
        : out_(dir.File("out.log")), err_(dir.File("err.log"))
    {
#ifdef _WIN32
        std::wstring command = L"\"" + imaging::PathFromUtf8(KV_KVSC_PROGRAM).wstring() + L"\"";
        for (const std::string &arg : args) {
            command += L" \"" + imaging::PathFromUtf8(arg).wstring() + L"\"";
        }
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const auto open = [&](const std::string &path) {
            return CreateFileW(imaging::PathFromUtf8(path).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = open(out_);
        startup.hStdError = open(err_);
        PROCESS_INFORMATION info{};
        // Ctrl+Break reaches only a process of the caller's console, which a test run from a
        // pipe (as CTest runs it) has not.
        if (GetConsoleWindow() == nullptr) {
            AllocConsole();
        }
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                  CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
        CloseHandle(startup.hStdOutput);
        CloseHandle(startup.hStdError);
        if (started_) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = info.dwProcessId;
        }
#else
        std::vector<std::string> all{KV_KVSC_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const std::string config = dir.File("config");
        const std::string data = dir.File("data");
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            dup2(open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        started_ = pid_ > 0;
#endif
    }

    ~WatchProcess()
    {
        if (!exited_) {
            Kill();
        }
    }

    bool Started() const
    {
        return started_;
    }

    // Asks the watch to stop as Ctrl+C (or SIGTERM) does and waits for its exit status; -1 when
    // it had to be killed.
    int Stop(bool interrupt = true)
    {
#ifdef _WIN32
        (void)interrupt;
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id_);
        if (WaitForSingleObject(process_, 20000) != WAIT_OBJECT_0) {
            Kill();
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        CloseHandle(process_);
        exited_ = true;
        return int(code);
#else
        kill(pid_, interrupt ? SIGINT : SIGTERM);
        for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        Kill();
        return -1;
#endif
    }

    std::string Out() const
    {
        return Text(out_);
    }
    std::string Err() const
    {
        return Text(err_);
    }

private:
    static std::string Text(const std::string &path)
    {
        std::ifstream file(imaging::PathFromUtf8(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    void Kill()
    {
#ifdef _WIN32
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
#else
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
#endif
        exited_ = true;
    }

    std::string out_;
    std::string err_;
    bool started_ = false;
    bool exited_ = false;
#ifdef _WIN32
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
#else
    pid_t pid_ = -1;
#endif
};

// The exit status of a watch asked to stop: 0 when it ended cleanly. Under Wine, Ctrl+Break
// reaches no process (its consoles are no real ones), so there the watch is ended by force and
// only what it did counts.
void ExpectStoppedCleanly(int status)
{
#ifdef _WIN32
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        return;
    }
#endif
    EXPECT_EQ(status, 0);
}

// Watches folder with every stored setting given, so that no store is read: Ravelock 800 x 600
// screenshots cut to the scoreboard.
std::vector<std::string> WatchArgs(const fs::path &folder, const std::string &out,
                                   std::vector<std::string> extra)
{
    std::vector<std::string> args{"watch",
                                  "--game",
                                  "ravelock",
                                  "--team",
                                  "6",
                                  "--no-spectator",
                                  "--scoreboard-only",
                                  "--size",
                                  "50",
                                  "--save-folder",
                                  out,
                                  "--save-name",
                                  "Board"};
    if (std::find(extra.begin(), extra.end(), "--trash") == extra.end()) {
        args.push_back("--no-trash");
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(imaging::Utf8FromPath(folder));
    return args;
}

std::vector<std::uint8_t> ScreenshotBytes(const test::TempDir &dir, const std::string &name,
                                          int seed)
{
    imaging::WorkingBitmap picture(800, 600, 24);
    for (int y = 0; y < 600; ++y) {
        std::uint8_t *row = picture.Row(y);
        for (int x = 0; x < 800 * 3; ++x) {
            row[x] = std::uint8_t(x * 7 + y * 3 + seed * 11);
        }
    }
    const std::string path = dir.File(name);
    if (name.ends_with(".jpg")) {
        imaging::WriteJpegFile(picture, path, 90);
    } else {
        imaging::WriteBitmapFile(picture, path);
    }
    std::ifstream file(imaging::PathFromUtf8(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Writes bytes to path in pieces, pausing between them as a slow writer does; the file stays
// open meanwhile, and for hold after the last piece.
void WriteInPieces(const std::string &path, const std::vector<std::uint8_t> &bytes,
                   const std::vector<std::chrono::milliseconds> &pauses,
                   std::chrono::milliseconds hold = {})
{
    std::ofstream file(imaging::PathFromUtf8(path), std::ios::binary);
    const std::size_t piece = bytes.size() / (pauses.size() + 1);
    std::size_t done = 0;
    for (const auto pause : pauses) {
        file.write(reinterpret_cast<const char *>(bytes.data() + done), std::streamsize(piece));
        file.flush();
        done += piece;
        std::this_thread::sleep_for(pause);
    }
    file.write(reinterpret_cast<const char *>(bytes.data() + done),
               std::streamsize(bytes.size() - done));
    file.flush();
    std::this_thread::sleep_for(hold);
}

std::vector<std::int64_t> ModificationTimes(const std::vector<std::string> &paths)
{
    std::vector<std::int64_t> times;
    for (const std::string &path : paths) {
        if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
            times.push_back(identity->modified);
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

std::vector<std::string> FilesIn(const fs::path &folder, const std::string &extension)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == extension) {
            files.push_back(imaging::Utf8FromPath(entry.path()));
        }
    }
    return files;
}

// Waits until done() holds or timeout passed; returns done().
bool WaitUntil(const std::function<bool()> &done, std::chrono::seconds timeout)
{
    for (const auto end = Clock::now() + timeout; !done() && Clock::now() < end;) {
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

// The watch has listed its folders when it says so.
bool WaitUntilWatching(const WatchProcess &watch)
{
    return WaitUntil([&] { return watch.Err().find("Watching ") != std::string::npos; }, 20s);
}

// Each way a screenshot arrives, at once: only complete files are converted, each once, none
// from an earlier state of the file (its JPEG has the final file's time), and one still cut short
// after the wait is reported and kept.
TEST(WatchProgram, ConvertsEachScreenshotOnceWhenCompleteHoweverItIsWritten)
{
    test::TempDir dir;
    const fs::path shots = dir.Path() / "shots";
    fs::create_directories(shots);
    const std::string out = dir.File("out");
    const auto bmp = ScreenshotBytes(dir, "template.bmp", 1);
    const auto jpeg = ScreenshotBytes(dir, "template.jpg", 2);
    const auto shot = [&](const std::string &name) { return dir.File("shots/" + name); };
    test::WriteBytes(shot("before.bmp"), {bmp.begin(), bmp.end()});

    WatchProcess watch(dir, WatchArgs(shots, out, {}));
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(WaitUntilWatching(watch)) << watch.Err();

    std::vector<std::thread> writers;
    // Pauses shorter than the settle time, and one longer: the file is then unchanged but not
    // whole.
    writers.emplace_back([&] { WriteInPieces(shot("pieces.bmp"), bmp, {700ms, 700ms, 3000ms}); });
    writers.emplace_back([&] { WriteInPieces(shot("pieces.jpg"), jpeg, {3000ms}); });
    // A temporary name of another type, then the final one.
    writers.emplace_back([&] {
        WriteInPieces(shot("renamed.bmp.part"), bmp, {300ms});
        fs::rename(shots / "renamed.bmp.part", shots / "renamed.bmp");
    });
    // A whole screenshot under a name it keeps long enough to be converted, then renamed: the
    // same file, converted once.
    writers.emplace_back([&] {
        WriteInPieces(shot("writing.bmp"), bmp, {});
        std::this_thread::sleep_for(4500ms);
        fs::rename(shots / "writing.bmp", shots / "done.bmp");
    });
    // Converted, then moved away (a hidden name is none the watch takes) and back, as a sync tool
    // may: the same file, converted once.
    writers.emplace_back([&] {
        WriteInPieces(shot("moved.bmp"), bmp, {});
        std::this_thread::sleep_for(4000ms);
        fs::rename(shots / "moved.bmp", shots / ".moved.bmp");
        std::this_thread::sleep_for(1000ms);
        fs::rename(shots / ".moved.bmp", shots / "moved.bmp");
    });
    // Cut short for a while, then completed.
    writers.emplace_back([&] { WriteInPieces(shot("cut.bmp"), bmp, {4000ms}); });
    // Whole, but closed long after (Windows lets no one read it meanwhile): converted once.
    writers.emplace_back([&] { WriteInPieces(shot("held.bmp"), bmp, {}, 4000ms); });
    writers.emplace_back([&] {
        test::WriteBytes(shot("stuck.bmp"), {bmp.begin(), bmp.begin() + bmp.size() / 2});
    });
    for (std::thread &writer : writers) {
        writer.join();
    }
    const std::vector<std::int64_t> finalTimes =
        ModificationTimes({shot("pieces.bmp"), shot("pieces.jpg"), shot("renamed.bmp"),
                           shot("done.bmp"), shot("moved.bmp"), shot("cut.bmp"), shot("held.bmp")});
    ASSERT_EQ(finalTimes.size(), 7u);

    EXPECT_TRUE(WaitUntil([&] { return FilesIn(out, ".jpg").size() >= 7; }, 30s)) << watch.Err();
    EXPECT_TRUE(
        WaitUntil([&] { return watch.Err().find("still cut short") != std::string::npos; }, 30s))
        << watch.Err();
    std::this_thread::sleep_for(2500ms); // time for a second conversion, which must not come
    ExpectStoppedCleanly(watch.Stop());

    EXPECT_EQ(ModificationTimes(FilesIn(out, ".jpg")), finalTimes);
    const std::string err = watch.Err();
    EXPECT_NE(err.find("stuck.bmp: still cut short after waiting"), std::string::npos) << err;
    EXPECT_EQ(err.find("Screenshot"), std::string::npos) << err; // no note on a converted one
    EXPECT_TRUE(fs::exists(shots / "stuck.bmp"));
    EXPECT_TRUE(fs::exists(shots / "before.bmp"));
    const std::string lines = watch.Out();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 7) << lines;
}

// With --catch-up the screenshots already there go too; a watched folder removed and made again
// is watched again; SIGTERM ends the watch like Ctrl+C.
TEST(WatchProgram, CatchesUpAndWatchesAFolderAgainThatCameBack)
{
    test::TempDir dir;
    const fs::path shots = dir.Path() / "shots";
    fs::create_directories(shots);
    const std::string out = dir.File("out");
    const auto bmp = ScreenshotBytes(dir, "template.bmp", 3);
    for (const char *name : {"a.bmp", "b.bmp"}) {
        test::WriteBytes(dir.File("shots/" + std::string(name)), {bmp.begin(), bmp.end()});
    }
    WatchProcess watch(dir, WatchArgs(shots, out, {"--catch-up", "--delete-originals"}));
    ASSERT_TRUE(watch.Started());
    EXPECT_TRUE(WaitUntil([&] { return FilesIn(out, ".jpg").size() == 2; }, 30s)) << watch.Err();
    // Windows refuses to remove a folder while the watch lists it or deletes an original from
    // it; a person would try again.
    std::error_code removal;
    const auto remove = [&] {
        fs::remove_all(shots, removal);
        return !removal;
    };
    EXPECT_TRUE(WaitUntil(remove, 10s)) << removal.message();
#ifndef _WIN32
    // Windows removes a folder only once no program holds it open, which the watch does.
    EXPECT_TRUE(
        WaitUntil([&] { return watch.Err().find("is not there") != std::string::npos; }, 20s))
        << watch.Err();
#endif
    fs::create_directories(shots);
    test::WriteBytes(dir.File("shots/c.bmp"), {bmp.begin(), bmp.end()});
    EXPECT_TRUE(WaitUntil([&] { return FilesIn(out, ".jpg").size() == 3; }, 30s)) << watch.Err();
    ExpectStoppedCleanly(watch.Stop(false));
    EXPECT_TRUE(FilesIn(shots, ".bmp").empty());
}

// A thousand screenshots written as fast as the disk takes them: each converted exactly once,
// from its whole file, and no original lost.
TEST(WatchProgram, ConvertsABurstOfAThousandEachOnceAndLosesNoOriginal)
{
    constexpr int kShots = 1000;
    test::TempDir dir;
    const fs::path shots = dir.Path() / "shots";
    fs::create_directories(shots);
    const std::string out = dir.File("out");
    const auto bmp = ScreenshotBytes(dir, "template.bmp", 4);
    WatchProcess watch(dir, WatchArgs(shots, out, {"--delete-originals", "--jobs", "2"}));
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(WaitUntilWatching(watch)) << watch.Err();

    std::vector<std::int64_t> finalTimes;
    const auto start = Clock::now();
    for (int i = 0; i < kShots; ++i) {
        const std::string path = dir.File("shots/Shot" + std::to_string(1000 + i) + ".bmp");
        test::WriteBytes(path, {bmp.begin(), bmp.end()});
        finalTimes.push_back(IdentityOf(path)->modified);
    }
    const auto written = Clock::now();
    std::sort(finalTimes.begin(), finalTimes.end());
    EXPECT_TRUE(WaitUntil([&] { return FilesIn(out, ".jpg").size() >= kShots; }, 600s))
        << FilesIn(out, ".jpg").size();
    const auto converted = Clock::now();
    std::this_thread::sleep_for(2500ms);
    ExpectStoppedCleanly(watch.Stop());

    EXPECT_EQ(ModificationTimes(FilesIn(out, ".jpg")), finalTimes);
    EXPECT_TRUE(FilesIn(shots, ".bmp").empty());
    EXPECT_EQ(watch.Err().find("Screenshot"), std::string::npos) << watch.Err();
    const auto seconds = [](auto span) { return std::chrono::duration<double>(span).count(); };
    std::cout << kShots << " screenshots written in " << seconds(written - start)
              << " s, the last JPEG " << seconds(converted - written) << " s after the last one\n";
}

// --trash moves each original to the trash instead of deleting it; its .trashinfo says where it
// came from, and putting it back there (the desktop's "restore") gives back the very file.
TEST(WatchProgram, MovesOriginalsToTheTrashFromWhereTheyCanBeRestored)
{
    test::TempDir dir;
    const fs::path shots = dir.Path() / "shots";
    fs::create_directories(shots);
    const std::string out = dir.File("out");
    const auto bmp = ScreenshotBytes(dir, "template.bmp", 5);
    const std::vector<std::string> names{"a.bmp", "with blank.bmp", "p%rcent#.bmp",
                                         "\xc3\xa4rger.bmp"};
    WatchProcess watch(dir, WatchArgs(shots, out, {"--trash", "--catch-up"}));
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(WaitUntilWatching(watch)) << watch.Err();
    for (const std::string &name : names) {
        test::WriteBytes(dir.File("shots/" + name), {bmp.begin(), bmp.end()});
    }
    EXPECT_TRUE(WaitUntil([&] { return FilesIn(out, ".jpg").size() == names.size(); }, 30s))
        << watch.Err();
    EXPECT_TRUE(WaitUntil([&] { return FilesIn(shots, ".bmp").empty(); }, 10s));
    ExpectStoppedCleanly(watch.Stop());
#ifndef _WIN32
    const fs::path trash = dir.Path() / "data" / "Trash";
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        const std::string original = dir.File("shots/" + name);
        std::ifstream info(trash / "info" / (name + ".trashinfo"));
        std::string header, path, date;
        std::getline(info, header);
        std::getline(info, path);
        std::getline(info, date);
        EXPECT_EQ(header, "[Trash Info]");
        EXPECT_EQ(path, "Path=" + PercentEncodedPath(original));
        EXPECT_EQ(date.size(), std::string("DeletionDate=2026-01-02T03:04:05").size()) << date;
        // Restore: the file goes back to where Path says.
        fs::rename(trash / "files" / name, original);
        EXPECT_EQ(test::ReadBytes(original), std::vector<unsigned char>(bmp.begin(), bmp.end()));
    }
#endif
}

} // namespace
} // namespace kv::converter
