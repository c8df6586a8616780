// The KVSC window where people wait for it: converting 30 screenshots and opening 100, each
// beside what the command line's core does with the same files. Counters give the longest time
// the window went without painting.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "BitmapFile.h"
#include "CaptionOrder.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "KVSCDialogs.h"
#include "MainWindow.h"
#include "QtSettingsStore.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"

using namespace kv::converter;
namespace fs = std::filesystem;

namespace {

class SilentDialogs : public KVSCDialogs
{
public:
    void showMessage(QWidget *, const QString &) override {}
    void showError(QWidget *, const QString &) override {}
    void showAbout(QWidget *, const QString &) override {}
    QStringList getOpenFileNames(QWidget *, const QString &, const QString &) override
    {
        return {};
    }
    std::optional<QString> getExistingDirectory(QWidget *, const QString &,
                                                const QString &) override
    {
        return std::nullopt;
    }
};

// The longest time between two paints of a widget, from Start() on.
class PaintGaps : public QObject
{
public:
    explicit PaintGaps(QWidget *widget) { widget->installEventFilter(this); }
    void Start()
    {
        clock_.start();
        last_ = 0;
        longest_ = 0;
    }
    // Up to now, so that a silent end counts too.
    double LongestMs()
    {
        Note();
        return double(longest_);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            Note();
        }
        return false;
    }

private:
    void Note()
    {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// Runs the window's event loop until the run or the Open under way has ended.
void WaitForWork(MainWindow &form)
{
    if (form.IsBusy()) {
        QEventLoop loop;
        QObject::connect(&form, &MainWindow::workDone, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// Runs the event loop until nothing is left to paint or handle.
void Settle()
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

// 1680 x 1050 BMP screenshots in a folder of their own, and a settings file that has the window
// start on Ravelock, "10 on 10", spectator, scoreboard only, 75 %.
struct Shots
{
    explicit Shots(int count)
    {
        dir = fs::temp_directory_path() / ("kv-window-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir / "config");
        const std::string first = (dir / "shot1.bmp").string();
        kv::imaging::WriteBitmapFile(kv::bench::Screenshot(1680, 1050), first);
        for (int i = 1; i <= count; ++i) {
            const fs::path path = dir / ("shot" + std::to_string(i) + ".bmp");
            if (i > 1) {
                fs::copy_file(first, path);
            }
            paths.append(QString::fromStdString(path.string()));
        }
        std::ofstream(dir / "config" / "KVSC.conf")
            << "[General]\nGame=Korvane: Ravelock\nSizeNumber=10 on 10\nSpectator=Yes\n"
               "ScoreBoardOnly=Yes\nSize=75\nSaveName=S\nSaveFolder="
            << (dir / "out").string() << "/\nOpenFolder=" << dir.string() << "/\n";
    }
    ~Shots() { fs::remove_all(dir); }
    QString Store() const
    {
        return QString::fromStdString((dir / "config" / "KVSC.conf").string());
    }
    void EmptyOutput() const
    {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
    }

    fs::path dir;
    QStringList paths;
};

void BM_WindowConvert(benchmark::State &state)
{
    const Shots shots(int(state.range(0)));
    QtSettingsStore store(shots.Store());
    SilentDialogs dialogs;
    MainWindow form(store, dialogs);
    form.show();
    form.AddFiles(shots.paths);
    WaitForWork(form);
    PaintGaps gaps(form.findChild<QProgressBar *>("progressBar"));
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        shots.EmptyOutput();
        Settle();
        gaps.Start();
        state.ResumeTiming();
        form.convertClicked();
        WaitForWork(form);
        longest = std::max(longest, gaps.LongestMs());
    }
    state.counters["longest_unpainted_ms"] = longest;
}

void BM_CoreConvert(benchmark::State &state)
{
    const Shots shots(int(state.range(0)));
    std::vector<ScreenshotRow> rows;
    for (const QString &path : shots.paths) {
        rows.push_back(MeasureScreenshot(path.toStdString(), texts::kRavelock));
    }
    SortByCaption(rows);
    ConversionSettingTexts settings;
    settings.edition = texts::kRavelock;
    settings.teamSize = "10 on 10";
    settings.spectator = true;
    settings.sizePercent = "75";
    settings.saveFolder = (shots.dir / "out").string() + "/";
    settings.saveName = "S";
    kv::bench::QuietObserver observer;
    for (auto _ : state) {
        state.PauseTiming();
        shots.EmptyOutput();
        state.ResumeTiming();
        ConversionRun run(rows, ReadConversionSettings(settings), observer, DefaultJobs());
        run.Run();
    }
}

void BM_WindowOpen(benchmark::State &state)
{
    const Shots shots(int(state.range(0)));
    SilentDialogs dialogs;
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QtSettingsStore store(shots.Store());
        auto form = std::make_unique<MainWindow>(store, dialogs);
        form->show();
        Settle();
        PaintGaps gaps(form->findChild<QTableWidget *>("screenshotList")->viewport());
        gaps.Start();
        state.ResumeTiming();
        form->AddFiles(shots.paths);
        WaitForWork(*form);
        longest = std::max(longest, gaps.LongestMs());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    state.counters["longest_unpainted_ms"] = longest;
}

// What the command line does with the same files before converting: measure and order them.
void BM_CoreMeasure(benchmark::State &state)
{
    const Shots shots(int(state.range(0)));
    for (auto _ : state) {
        std::vector<ScreenshotRow> rows;
        for (const QString &path : shots.paths) {
            rows.push_back(MeasureScreenshot(path.toStdString(), texts::kRavelock));
        }
        SortByCaption(rows);
        benchmark::DoNotOptimize(rows);
    }
}

} // namespace

BENCHMARK(BM_WindowConvert)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CoreConvert)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowOpen)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CoreMeasure)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
