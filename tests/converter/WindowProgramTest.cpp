// The real KVSC window program (its main, QApplication and quit), driven offscreen.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <QProcess>
#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "DrivenProgram.h"
#include "JpegFile.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Mended: the window program did not end on SIGTERM. Watching the game's folder, which Watch
// Folder offers first, it converts a screenshot that appears there, then ends with 0 on SIGTERM.
TEST(KVSCWindowProgram, WatchesTheGamesFolderAndEndsOnSigterm)
{
    kv::test::TempDir dir;
    const fs::path home = dir.Path() / "home";
    const fs::path watched = home / ".ut2004/ScreenShots";
    const fs::path out = dir.Path() / "out";
    fs::create_directories(watched);
    fs::create_directories(dir.Path() / "config/KVSC");
    std::ofstream(dir.Path() / "config/KVSC/KVSC.conf")
        << "[General]\nGame=Korvane: Ravelock\nSizeNumber=\" 6 on 6\"\nSaveName=Shot\nSaveFolder="
        << out.string() << "/\nSize=10\nScoreBoardOnly=Yes\nSpectator=No\nOpenFolder=/\n";
    const std::string watching = "wait watchLabel Watching " + watched.string();
    const std::unique_ptr<QProcess> program = kv::test::StartDriven(
        KV_KVSC_PROGRAM, {"trigger watchFolderAction", "click Choose", watching},
        dir.Path() / "script",
        {{"HOME", home.string()},
         {"XDG_CONFIG_HOME", (dir.Path() / "config").string()},
         {"XDG_DATA_HOME", ""}},
        dir.Path());
    program->setReadChannel(QProcess::StandardError);
    std::string log;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (log.find("done: " + watching) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        program->waitForReadyRead(100);
        log += program->readAllStandardError().toStdString();
    }
    ASSERT_NE(log.find("done: " + watching), std::string::npos) << log;

    kv::imaging::WriteBitmapFile(kv::imaging::WorkingBitmap(800, 600, 24),
                                 (watched / "Shot00001.bmp").string());
    const fs::path jpeg = out / "Shot1.jpg";
    while (!fs::exists(jpeg) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(jpeg)) << log << program->readAllStandardError().toStdString();

    program->terminate(); // SIGTERM
    const kv::test::ProgramEnd end = kv::test::WaitForEnd(*program, 10000);
    ASSERT_TRUE(end.ended) << "still running after SIGTERM:\n" << log << end.errorOutput;
    EXPECT_EQ(end.exitCode, 0) << log << end.errorOutput;
    // Ravelock's 800 x 600 scoreboard of six a side, 637 x 277, at 10 %.
    const kv::imaging::WorkingBitmap picture = kv::imaging::LoadJpegFile(jpeg.string());
    EXPECT_EQ(picture.Width(), 63);
    EXPECT_EQ(picture.Height(), 27);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1)
        << "a file beside the JPEG";
}

} // namespace
