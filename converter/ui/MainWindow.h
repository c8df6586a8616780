#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "ConversionSettings.h"
#include "FolderWatch.h"
#include "ResultRow.h"
#include "ScreenshotRow.h"

class QLineEdit;
class QShortcut;

namespace Ui {
class MainWindow;
}

namespace kv::converter {

class BackgroundJob;
class CropPreview;
class KVSCDialogs;
class SettingsStore;

// The KVSC main window: settings controls that write through to the store, the screenshot
// list and the conversion run. Handlers are named after what they answer (openClicked,
// gameChanged).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // store and dialogs must outlive the window. loadSettings runs as part of construction.
    MainWindow(SettingsStore &store, KVSCDialogs &dialogs, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Adds files as Open does, once an edition is chosen; used by Open and by drops. The files
    // are measured on a thread of their own and their rows come in as they are measured;
    // nothing happens while a run or another Open is under way.
    void AddFiles(const QStringList &paths);
    // The rows of the screenshot list, top to bottom.
    const std::vector<ScreenshotRow> &ScreenshotRows() const { return rows_; }
    // A run, an Open or a watch is under way; workDone follows its end.
    bool IsBusy() const { return job_ != nullptr; }
    // Watch Folder is watching a folder; Stop Watching or a close ends it.
    bool IsWatching() const { return watching_; }

    // Where the window opens: (406, 282), moved left and up as far as a frame of that size needs
    // to lie inside screen; the top-left corner stays on it when the window is the larger.
    static QPoint StartPosition(QSize frame, const QRect &screen);
    // The designed client area at 96 dots per inch.
    static constexpr QSize kClientSize{413, 405};
    // Where a control designed at designed goes at scale (1 at 96 dots per inch) when the first
    // and the second list (as designed) are firstExtra and secondExtra pixels taller than
    // designed, or lower where negative: controls below a list move down with it.
    static QRect PlaceFor(const QRect &designed, double scale, const QRect &firstList,
                          const QRect &secondList, int firstExtra, int secondExtra);
    static constexpr QPoint kStartPoint{406, 282};
    // How often a run's or an Open's reports are handed to the window, which then paints: often
    // enough to look live, seldom enough to leave the cores to the work.
    static constexpr std::chrono::milliseconds kPaintInterval{25};

    QString selectedGame;
    QString openFolderPath;
    // The folder Watch Folder offers first: the game's screenshot folder, or empty when there is
    // none. Tests put their own.
    std::function<std::string()> findGameScreenshots;
    // How long a watched screenshot must stay unchanged, and how often the watch looks.
    WatchTimes watchTimes;

public slots:
    void loadSettings();
    void gameChanged();
    void gameFocused();
    void teamSizeChanged();
    void spectatorToggled();
    void scoreboardOnlyToggled();
    void saveFolderChanged();
    void saveNameChanged();
    void sizeChanged();
    void browseClicked();
    void resetSettingsClicked();
    void aboutClicked();
    void exitClicked();
    void openClicked();
    void removeSelectedClicked();
    void convertClicked();
    void watchFolderClicked();
    void stopWatchingClicked();
    // The system asks the program to end (SIGTERM): dialogs open on the window are dismissed and
    // the window closes as its close button closes it.
    void endRequested();

signals:
    // A run or an Open has ended and the window takes input again.
    void workDone();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class RunObserver;
    class WindowWatch;

    // Puts the picker's choice into folder; true when a folder was chosen.
    bool SelectFolder(QWidget *owner, const QString &title, const QString &root, QString &folder);
    void Store(const char *name, const QString &value);
    // Puts the stored values into the controls and openFolderPath, as a start does.
    void ReadStoredSettings();
    // False, with the message and the red game text, while no edition is chosen.
    bool GameChosen();
    // Shows what a handler did not catch in the message box titled "KVSC".
    template <class Handler> void Guarded(Handler handler);
    void SetComboText(QWidget *combo, const QString &text);
    // Marks every listed screenshot supported or not for selectedGame, as it is now.
    void ShowSupport();
    // The file's row, marked for game; nothing when it cannot be read or is no picture. Any
    // thread.
    static std::optional<ScreenshotRow> MeasureFile(const QString &path, const std::string &game);
    // Adds rows to the screenshot list where their captions belong.
    void InsertSorted(std::vector<ScreenshotRow> rows);
    // The settings as the controls show them now.
    ConversionSettingTexts ControlTexts() const;
    void AddResultRow(const ResultRow &row);
    // Scrolls the result list to its last row, once after rows were added.
    void ShowNewestResult();
    void SetInputEnabled(bool enabled);
    // Watches folder with settings on a job of its own until Stop Watching or a close.
    void StartWatch(const QString &folder, const ConversionSettingTexts &settings);
    // Puts every control where PlaceFor says for the client area's height now.
    void PlaceControls();

    // Starts work on its own thread with the window's input off until it has ended.
    void StartJob(std::function<void(BackgroundJob &)> work, std::function<void()> ended);
    QLineEdit *SizeEdit() const;
    // Opens the crop preview on row of the screenshot list.
    void PreviewRow(int row);
    // Redraws an open preview for the settings as the controls now hold them.
    void UpdatePreview();

    std::unique_ptr<Ui::MainWindow> ui;
    SettingsStore &store_;
    KVSCDialogs &dialogs_;
    struct DesignedPlace
    {
        QWidget *widget;
        QRect rect; // as designed, at 96 dots per inch
    };
    std::vector<DesignedPlace> designedPlaces_;
    double scale_ = 1;
    std::vector<ScreenshotRow> rows_; // the screenshot list's rows, in its order
    bool loading_ = false;            // the controls are being set from the store
    bool newestResultShown_ = true;
    CropPreview *preview_ = nullptr; // made on first use, owned by the window
    QShortcut *removeShortcut_ = nullptr;
    // The run, the Open or the watch under way; a close request stops it after the screenshot in
    // hand and closes the window then.
    std::unique_ptr<BackgroundJob> job_;
    bool closeAfterJob_ = false;
    bool watching_ = false;
};

} // namespace kv::converter
