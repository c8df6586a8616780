#include "MainWindow.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMargins>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QUrl>
#include <QWindow>

#include "BackgroundJob.h"
#include "CaptionOrder.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "CropPreview.h"
#include "FileOperations.h"
#include "FolderNotifier.h"
#include "GameScreenshotFolder.h"
#include "KVSCDialogs.h"
#include "OutputNames.h"
#include "ResolutionSupport.h"
#include "ScreenshotFiles.h"
#include "SettingsStore.h"
#include "WatchConversion.h"
#include "ui_MainWindow.h"

namespace kv::converter {

namespace {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

std::string S(const QString &text)
{
    return text.toStdString();
}

// "Supported Files (*.bmp; *.jpg)|*.bmp;*.jpg" in Qt's form: description, then the patterns in
// parentheses (the dialog hides that second list).
QString QtNameFilter(const QString &filter)
{
    const QString description = filter.section('|', 0, 0);
    QStringList patterns = filter.section('|', 1).split(';', Qt::SkipEmptyParts);
    for (QString &pattern : patterns) {
        pattern = pattern.trimmed();
    }
    return description + " (" + patterns.join(' ') + ")";
}

QString FolderRoot()
{
#ifdef _WIN32
    // The Computer folder, so that browsing starts at the list of drives.
    return QStringLiteral("clsid:0AC0837C-BBF8-452A-850D-79D08E667CA7");
#else
    return QDir::rootPath();
#endif
}

// Keys and the wheel move on from a combo box's current item, so that item must be the one whose
// text the box shows, or none when the text is no item (typed, or "Select Game:").
void SyncCurrentItem(QComboBox *box)
{
    const QString text = box->currentText();
    const int item = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (item == box->currentIndex()) {
        return;
    }
    const QSignalBlocker blocker(box);
    if (item >= 0) {
        box->setCurrentIndex(item);
        return;
    }
    // Leaving the item clears the text: put it back, with the cursor where the user typed.
    QLineEdit *edit = box->lineEdit();
    const int cursor = edit->cursorPosition();
    box->setCurrentIndex(-1);
    edit->setText(text);
    edit->setCursorPosition(cursor);
}

// The Supported column's text.
QString SupportedText(const ScreenshotRow &row)
{
    return row.supported ? texts::kYes : texts::kNo;
}

} // namespace

// What a run reports, from its own thread: reports become calls queued on the window's thread, so
// the window shows them in the run's order and the run never touches a widget.
class MainWindow::RunObserver : public ConversionObserver
{
public:
    // A watch's runs, one per few screenshots, leave the bar alone: its place says what the
    // watch does.
    RunObserver(MainWindow &form, BackgroundJob &job, bool showsProgress = true)
        : form_(form), job_(job), showsProgress_(showsProgress)
    {}
    void ShowProgressBar(bool visible) override
    {
        if (showsProgress_) {
            Report([bar = form_.ui->progressBar, visible] { bar->setVisible(visible); });
        }
    }
    void SetProgress(int position) override
    {
        if (showsProgress_) {
            Report([bar = form_.ui->progressBar, position] { bar->setValue(position); });
        }
    }
    // The run goes on once the message has been dismissed, as the user expects from a modal one.
    void ShowMessage(const std::string &text) override
    {
        HandReports();
        job_.PostAndWait(
            [&form = form_, text = Q(text)] { form.dialogs_.showMessage(&form, text); });
    }
    void AddResultRow(const ResultRow &row) override
    {
        Report([&form = form_, row] { form.AddResultRow(row); });
    }
    bool StopRequested() const override { return job_.StopRequested(); }

    // Hands the reports kept back to the window; the last thing a run does.
    void HandReports()
    {
        if (!kept_.empty()) {
            job_.Post([calls = std::move(kept_)] {
                for (const std::function<void()> &call : calls) {
                    call();
                }
            });
            kept_.clear();
        }
        sinceHanded_.start();
    }

private:
    // The first report reaches the window at once, later ones together every kPaintInterval:
    // handling and painting each one at once took the cores the run's workers need.
    void Report(std::function<void()> call)
    {
        kept_.push_back(std::move(call));
        if (!sinceHanded_.isValid() || sinceHanded_.elapsed() >= kPaintInterval.count()) {
            HandReports();
        }
    }

    MainWindow &form_;
    BackgroundJob &job_;
    bool showsProgress_;
    std::vector<std::function<void()>> kept_;
    QElapsedTimer sinceHanded_;
};

// What the watch asks of the window, from the job's thread: screenshots are converted as a run
// converts them, with its messages and result rows; what the watch does shows in the place of the
// progress bar.
class MainWindow::WindowWatch : public WatchHandler
{
public:
    WindowWatch(MainWindow &form, BackgroundJob &job, ConversionSettingTexts settings)
        : form_(form), job_(job), observer_(form, job, false), settings_(std::move(settings))
    {}

    Outcome Convert(const std::vector<std::string> &paths) override
    {
        Outcome outcome = ConvertWatchedScreenshots(
            paths, settings_, DefaultJobs(), observer_, [this](const std::string &text) {
                // The watch goes on once the user has seen what went wrong.
                observer_.HandReports();
                job_.PostAndWait(
                    [&form = form_, text = Q(text)] { form.dialogs_.showError(&form, text); });
            });
        // The rows of these screenshots show now, not with the next ones, which may be long.
        observer_.HandReports();
        return outcome;
    }
    void Incomplete(const std::string &path) override
    {
        observer_.ShowWarning(texts::StillIncomplete(path));
    }
    void Watching(const std::string &folder) override { Show(texts::WatchingFolder(folder)); }
    void FolderMissing(const std::string &folder) override { Show(texts::FolderMissing(folder)); }
    bool StopRequested() const override { return job_.StopRequested(); }

    // The last thing the watch does.
    void HandReports() { observer_.HandReports(); }

private:
    void Show(const std::string &text)
    {
        job_.Post([label = form_.ui->watchLabel, text = Q(text)] {
            label->setText(text);
            label->setToolTip(text);
        });
    }

    MainWindow &form_;
    BackgroundJob &job_;
    RunObserver observer_;
    ConversionSettingTexts settings_;
};

MainWindow::MainWindow(SettingsStore &store, KVSCDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), findGameScreenshots(GameScreenshotFolder),
      ui(std::make_unique<Ui::MainWindow>()), store_(store), dialogs_(dialogs)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // Where fonts are larger than at 96 dots per inch and the system does not scale the window
    // itself, every place and size grows with them.
    scale_ = std::max(1.0, logicalDpiY() / 96.0);
    const auto scaled = [this](int length) { return int(std::lround(length * scale_)); };
    for (QWidget *child : ui->centralwidget->findChildren<QWidget *>()) {
        const QWidget *parent = child->parentWidget();
        if (parent == ui->centralwidget || qobject_cast<const QGroupBox *>(parent) != nullptr) {
            designedPlaces_.push_back({child, child->geometry()});
        }
    }
    const int openWidths[] = {95, 80, 74, 131};
    for (int c = 0; c < 4; ++c) {
        ui->screenshotList->setColumnWidth(c, scaled(openWidths[c]));
        ui->screenshotList->horizontalHeaderItem(c)->setTextAlignment(
            c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
    const int saveWidths[] = {113, 50, 217};
    for (int c = 0; c < 3; ++c) {
        ui->resultList->setColumnWidth(c, scaled(saveWidths[c]));
    }
    for (QTableWidget *list : {ui->screenshotList, ui->resultList}) {
        list->verticalHeader()->setDefaultSectionSize(
            scaled(list->verticalHeader()->defaultSectionSize()));
    }
    // The designed client area is 413 x 405, the menu bar on top of it. The window can be made
    // taller, and lower down to a row in each list, which take what it gains or loses.
    const QSize client(scaled(kClientSize.width()), scaled(kClientSize.height()));
    const int menu = ui->menuBar->sizeHint().height();
    int listsCanLose = 0;
    for (const QTableWidget *list : {ui->screenshotList, ui->resultList}) {
        const int lowest = list->horizontalHeader()->sizeHint().height() +
                           list->verticalHeader()->defaultSectionSize() + 2 * list->frameWidth();
        listsCanLose += std::max(0, scaled(list->height()) - lowest);
    }
    setMinimumSize(client.width(), client.height() - listsCanLose + menu);
    setMaximumWidth(client.width());
    resize(client.width(), client.height() + menu);
    ui->centralwidget->resize(client); // as the window's layout will make it when shown
    PlaceControls();
    ui->centralwidget->installEventFilter(this);
    ui->teamSizeBox->setMaxVisibleItems(10);
    SizeEdit()->setMaxLength(3);
    // An edition is chosen by choosing it, never by completing a few typed letters.
    ui->gameBox->setCompleter(nullptr);
    for (QComboBox *box : {ui->gameBox, ui->teamSizeBox}) {
        connect(box, &QComboBox::editTextChanged, this, [box] { SyncCurrentItem(box); });
    }

    connect(ui->gameBox, &QComboBox::currentTextChanged, this, &MainWindow::gameChanged);
    connect(ui->teamSizeBox, &QComboBox::currentTextChanged, this, &MainWindow::teamSizeChanged);
    connect(ui->spectatorCheck, &QCheckBox::toggled, this, &MainWindow::spectatorToggled);
    connect(ui->trashCheck, &QCheckBox::toggled, this,
            [this](bool checked) { Store(setting::kTrash, checked ? texts::kYes : texts::kNo); });
    connect(ui->scoreboardOnlyCheck, &QCheckBox::toggled, this, &MainWindow::scoreboardOnlyToggled);
    connect(ui->saveFolderEdit, &QLineEdit::textChanged, this, &MainWindow::saveFolderChanged);
    connect(ui->saveNameEdit, &QLineEdit::textChanged, this, &MainWindow::saveNameChanged);
    // The spin box refreshes its editor with signals blocked, so its own signal is the one to use.
    connect(ui->sizeSpin, &QSpinBox::textChanged, this, &MainWindow::sizeChanged);
    connect(ui->browseButton, &QPushButton::clicked, this, &MainWindow::browseClicked);
    connect(ui->openButton, &QPushButton::clicked, this, &MainWindow::openClicked);
    connect(ui->removeSelectedButton, &QPushButton::clicked, this,
            &MainWindow::removeSelectedClicked);
    connect(ui->convertButton, &QPushButton::clicked, this, &MainWindow::convertClicked);
    connect(ui->resetSettingsAction, &QAction::triggered, this, &MainWindow::resetSettingsClicked);
    connect(ui->aboutAction, &QAction::triggered, this, &MainWindow::aboutClicked);
    connect(ui->exitAction, &QAction::triggered, this, &MainWindow::exitClicked);
    connect(ui->watchFolderAction, &QAction::triggered, this, &MainWindow::watchFolderClicked);
    connect(ui->stopWatchingAction, &QAction::triggered, this, &MainWindow::stopWatchingClicked);

    ui->gameBox->installEventFilter(this);
    if (ui->gameBox->lineEdit()) {
        ui->gameBox->lineEdit()->installEventFilter(this);
    }
    // Long names and paths are cut off in their fields; the tooltip shows them whole.
    connect(ui->saveFolderEdit, &QLineEdit::textChanged, ui->saveFolderEdit,
            &QLineEdit::setToolTip);

    // The crop preview follows every setting the crop and the output size depend on.
    connect(ui->gameBox, &QComboBox::currentTextChanged, this, &MainWindow::UpdatePreview);
    connect(ui->teamSizeBox, &QComboBox::currentTextChanged, this, &MainWindow::UpdatePreview);
    connect(ui->spectatorCheck, &QCheckBox::toggled, this, &MainWindow::UpdatePreview);
    connect(ui->scoreboardOnlyCheck, &QCheckBox::toggled, this, &MainWindow::UpdatePreview);
    connect(ui->sizeSpin, &QSpinBox::textChanged, this, &MainWindow::UpdatePreview);
    // A text that is no value yet (emptied, say) reaches only the editor's own signal.
    connect(SizeEdit(), &QLineEdit::textChanged, this, &MainWindow::UpdatePreview);
    connect(ui->screenshotList, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { PreviewRow(row); });
    ui->screenshotList->addAction(ui->previewAction);
    connect(ui->previewAction, &QAction::triggered, this,
            [this] { PreviewRow(ui->screenshotList->currentRow()); });

    ui->screenshotList->setAcceptDrops(true);
    ui->screenshotList->viewport()->setAcceptDrops(true);
    ui->screenshotList->viewport()->installEventFilter(this);
    removeShortcut_ = new QShortcut(QKeySequence::Delete, ui->screenshotList);
    removeShortcut_->setContext(Qt::WidgetWithChildrenShortcut);
    connect(removeShortcut_, &QShortcut::activated, this, &MainWindow::removeSelectedClicked);

    // The frame's margins are known once the window exists on most systems. X11 frames the
    // window only once it is shown, and puts the frame round the place asked for: room is left
    // for a title bar of the style's height and a border.
    create();
    QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const bool frameComesLater =
        frame.isNull() && QGuiApplication::platformName() == QLatin1String("xcb");
    if (frameComesLater) {
        const int border = 1;
        frame = QMargins(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border,
                         border);
    }
    QScreen *screen = QGuiApplication::screenAt(kStartPoint);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        // Wholly inside the free area; on a screen too low for it the lists give way.
        const QRect available = screen->availableGeometry();
        const int highest = available.height() - frame.top() - frame.bottom();
        if (height() > highest) {
            resize(width(), std::max(minimumHeight(), highest));
        }
        const QPoint framePosition = StartPosition(size().grownBy(frame), available);
        move(frameComesLater ? framePosition + QPoint(frame.left(), frame.top()) : framePosition);
    }

    loadSettings();
}

QRect MainWindow::PlaceFor(const QRect &designed, double scale, const QRect &firstList,
                           const QRect &secondList, int firstExtra, int secondExtra)
{
    // Edges are scaled, so that controls that meet keep meeting.
    const auto at = [scale](int position) { return int(std::lround(position * scale)); };
    QRect place(QPoint(at(designed.left()), at(designed.top())),
                QPoint(at(designed.left() + designed.width()) - 1,
                       at(designed.top() + designed.height()) - 1));
    if (designed == firstList) {
        place.setBottom(place.bottom() + firstExtra);
    } else if (designed == secondList) {
        place.translate(0, firstExtra);
        place.setBottom(place.bottom() + secondExtra);
    } else if (designed.top() > secondList.bottom()) {
        place.translate(0, firstExtra + secondExtra);
    } else if (designed.top() > firstList.bottom()) {
        place.translate(0, firstExtra);
    }
    return place;
}

void MainWindow::PlaceControls()
{
    QRect firstList;
    QRect secondList;
    for (const DesignedPlace &designed : designedPlaces_) {
        if (designed.widget == ui->screenshotList) {
            firstList = designed.rect;
        } else if (designed.widget == ui->resultList) {
            secondList = designed.rect;
        }
    }
    const int extra = ui->centralwidget->height() - int(std::lround(kClientSize.height() * scale_));
    const int firstExtra = extra / 2;
    for (const DesignedPlace &designed : designedPlaces_) {
        // Inside a group box only the scale applies.
        const bool inGroup = designed.widget->parentWidget() != ui->centralwidget;
        designed.widget->setGeometry(inGroup
                                         ? PlaceFor(designed.rect, scale_, {}, {}, 0, 0)
                                         : PlaceFor(designed.rect, scale_, firstList, secondList,
                                                    firstExtra, extra - firstExtra));
    }
}

QPoint MainWindow::StartPosition(QSize frame, const QRect &screen)
{
    const int x = std::min(kStartPoint.x(), screen.x() + screen.width() - frame.width());
    const int y = std::min(kStartPoint.y(), screen.y() + screen.height() - frame.height());
    return {std::max(x, screen.x()), std::max(y, screen.y())};
}

MainWindow::~MainWindow()
{
    // A run or an Open still under way ends after the file in hand, before the widgets go.
    job_.reset();
}

QLineEdit *MainWindow::SizeEdit() const
{
    return ui->sizeSpin->findChild<QLineEdit *>();
}

template <class Handler> void MainWindow::Guarded(Handler handler)
{
    try {
        handler();
    } catch (const std::bad_alloc &) {
        dialogs_.showError(this, QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        dialogs_.showError(this, QString::fromStdString(e.what()));
    }
}

void MainWindow::Store(const char *name, const QString &value)
{
    if (loading_) {
        return;
    }
    Guarded([&] { store_.Write(name, S(value)); });
}

void MainWindow::SetComboText(QWidget *combo, const QString &text)
{
    // Setting a combo box's text runs no handler.
    auto *box = static_cast<QComboBox *>(combo);
    const QSignalBlocker blocker(box);
    box->setEditText(text);
    SyncCurrentItem(box);
}

void MainWindow::loadSettings()
{
    setFont(QApplication::font());
    if (const std::string note = store_.StartNote(); !note.empty()) {
        dialogs_.showMessage(this, Q(note));
    }
    if (!store_.KeyExists() && store_.Writable()) {
        Guarded([&] { WriteDefaultSettings(store_); });
    }
    // Where the defaults could not be written the window shows them all the same: they are the
    // values it works with.
    selectedGame = Q(StoredOrDefault(store_, setting::kGame));
    ReadStoredSettings();
}

void MainWindow::ReadStoredSettings()
{
    // Read in this order; check boxes still enable and disable what they govern, but nothing
    // read is written back.
    const bool wasLoading = loading_;
    loading_ = true;
    const auto read = [&](const char *name) { return Q(StoredOrDefault(store_, name)); };
    SetComboText(ui->teamSizeBox, read(setting::kSizeNumber));
    ui->saveNameEdit->setText(read(setting::kSaveName));
    ui->saveFolderEdit->setText(read(setting::kSaveFolder));
    SizeEdit()->setText(read(setting::kSize));
    const QString scoreBoardOnly = read(setting::kScoreBoardOnly);
    openFolderPath = read(setting::kOpenFolder);
    SetComboText(ui->gameBox, read(setting::kGame));
    ui->spectatorCheck->setChecked(read(setting::kSpectator) == texts::kYes);
    ui->trashCheck->setChecked(read(setting::kTrash) == texts::kYes);
    ui->scoreboardOnlyCheck->setChecked(scoreBoardOnly == texts::kYes);
    scoreboardOnlyToggled(); // the enabled state follows the box also when it kept its state
    loading_ = wasLoading;
}

void MainWindow::gameChanged()
{
    const QString text = ui->gameBox->currentText();
    // A text typed in part is no edition and changes nothing.
    if (text == texts::kVeskar || text == texts::kRavelock) {
        selectedGame = text;
        Store(setting::kGame, text);
        ShowSupport();
    }
}

void MainWindow::ShowSupport()
{
    const std::vector<std::string> &supported = SupportedResolutions(S(selectedGame));
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        ScreenshotRow &row = rows_[r];
        row.supported =
            std::find(supported.begin(), supported.end(), row.resolution) != supported.end();
        ui->screenshotList->item(int(r), 2)->setText(SupportedText(row));
    }
}

void MainWindow::gameFocused()
{
    if (QLineEdit *edit = ui->gameBox->lineEdit()) {
        edit->setPalette(QPalette());
    }
    ui->gameBox->setPalette(QPalette());
}

void MainWindow::teamSizeChanged()
{
    Store(setting::kSizeNumber, ui->teamSizeBox->currentText());
}

void MainWindow::spectatorToggled()
{
    Store(setting::kSpectator, ui->spectatorCheck->isChecked() ? texts::kYes : texts::kNo);
}

void MainWindow::scoreboardOnlyToggled()
{
    const bool checked = ui->scoreboardOnlyCheck->isChecked();
    ui->teamSizeBox->setEnabled(checked);
    ui->spectatorCheck->setEnabled(checked);
    Store(setting::kScoreBoardOnly, checked ? texts::kYes : texts::kNo);
}

void MainWindow::saveFolderChanged()
{
    Store(setting::kSaveFolder, ui->saveFolderEdit->text());
}

void MainWindow::saveNameChanged()
{
    Store(setting::kSaveName, ui->saveNameEdit->text());
}

void MainWindow::sizeChanged()
{
    Store(setting::kSize, SizeEdit()->text());
}

bool MainWindow::SelectFolder(QWidget *owner, const QString &title, const QString &root,
                              QString &folder)
{
    // The picker offers file-system folders only.
    folder.clear();
    const std::optional<QString> chosen = dialogs_.getExistingDirectory(owner, title, root);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    folder = QDir::toNativeSeparators(*chosen);
    return true;
}

void MainWindow::browseClicked()
{
    Guarded([&] {
        QString folder;
        if (!SelectFolder(this, texts::kSelectFolderTitle, FolderRoot(), folder)) {
            return;
        }
        if (!folder.endsWith(QChar(kPathSeparator))) {
            folder += QChar(kPathSeparator);
        }
        store_.Write(setting::kSaveFolder, S(folder));
        ui->saveFolderEdit->setText(Q(store_.Read(setting::kSaveFolder)));
    });
}

void MainWindow::resetSettingsClicked()
{
    Guarded([&] {
        store_.DeleteKey();
        WriteDefaultSettings(store_);
        // selectedGame keeps its value until an edition is chosen again.
        ReadStoredSettings();
        ui->deleteOriginalsCheck->setChecked(false);
        UpdatePreview();
        dialogs_.showMessage(this, texts::kSettingsReset);
    });
}

void MainWindow::aboutClicked()
{
    dialogs_.showAbout(this, texts::kAbout);
}

void MainWindow::exitClicked()
{
    close();
    QCoreApplication::quit();
}

bool MainWindow::GameChosen()
{
    if (ui->gameBox->currentText() != texts::kSelectGame) {
        return true;
    }
    dialogs_.showMessage(this, texts::kSelectGameFirst);
    // Red until the box next takes the focus (gameFocused).
    QPalette red = ui->gameBox->palette();
    red.setColor(QPalette::Text, QColor(255, 0, 0));
    ui->gameBox->setPalette(red);
    if (QLineEdit *edit = ui->gameBox->lineEdit()) {
        edit->setPalette(red);
    }
    return false;
}

void MainWindow::openClicked()
{
    Guarded([&] {
        if (GameChosen()) {
            AddFiles(
                dialogs_.getOpenFileNames(this, openFolderPath, QtNameFilter(texts::kOpenFilter)));
        }
    });
}

void MainWindow::AddFiles(const QStringList &paths)
{
    if (paths.isEmpty() || job_) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto lastAdded = std::make_shared<QString>();
    const std::string game = S(selectedGame);
    StartJob(
        [this, paths, game, lastAdded](BackgroundJob &job) {
            std::vector<ScreenshotRow> measured; // not handed to the list yet
            const auto hand = [&] {
                job.Post([this, rows = std::move(measured)] { InsertSorted(rows); });
                measured.clear();
            };
            QElapsedTimer sinceHanded;
            for (const QString &path : paths) {
                if (job.StopRequested()) {
                    break;
                }
                std::optional<ScreenshotRow> row = MeasureFile(path, game);
                if (!row) {
                    hand();
                    job.Post([this] { dialogs_.showError(this, texts::kInvalidOrNoFile); });
                    break;
                }
                measured.push_back(std::move(*row));
                *lastAdded = path;
                // The first row shows at once, later ones every kPaintInterval, since inserting
                // and painting rows one by one takes longer than measuring the files.
                if (!sinceHanded.isValid() || sinceHanded.elapsed() >= kPaintInterval.count()) {
                    hand();
                    sinceHanded.start();
                }
            }
            hand();
        },
        [this, lastAdded] {
            QApplication::restoreOverrideCursor();
            if (!lastAdded->isEmpty()) {
                // Takes effect at the next start; this run keeps its Open folder. Stored once,
                // not per file: each write reaches the disk.
                Store(setting::kOpenFolder,
                      QDir::toNativeSeparators(QFileInfo(*lastAdded).absolutePath()) +
                          QChar(kPathSeparator));
            }
        });
}

void MainWindow::StartJob(std::function<void(BackgroundJob &)> work, std::function<void()> ended)
{
    SetInputEnabled(false);
    job_ =
        std::make_unique<BackgroundJob>(*this, std::move(work), [this, ended = std::move(ended)] {
            ended();
            const bool closeRequested = closeAfterJob_;
            closeAfterJob_ = false;
            job_.reset();
            ShowNewestResult();
            SetInputEnabled(true);
            emit workDone();
            if (closeRequested) {
                close();
            }
        });
}

std::optional<ScreenshotRow> MainWindow::MeasureFile(const QString &path, const std::string &game)
{
    try {
        ScreenshotRow row = MeasureScreenshot(S(path), game);
        // The Full Path column shows the path as the system writes it ("C:\shots\a.bmp").
        row.path = S(QDir::toNativeSeparators(path));
        return row;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

void MainWindow::InsertSorted(std::vector<ScreenshotRow> rows)
{
    if (rows.empty()) {
        return;
    }
    SortByCaption(rows);
    for (const ScreenshotRow &row : rows) {
        // After every caption that sorts before it or equal to it, so equal names keep their
        // order. The list is always in caption order.
        const auto at = std::upper_bound(rows_.begin(), rows_.end(), row,
                                         [](const ScreenshotRow &a, const ScreenshotRow &b) {
                                             return CompareCaptions(a.caption, b.caption) < 0;
                                         });
        const int position = int(at - rows_.begin());
        rows_.insert(at, row);
        ui->screenshotList->insertRow(position);
        const QString cells[] = {Q(row.caption), Q(row.resolution), SupportedText(row),
                                 Q(row.path)};
        for (int c = 0; c < 4; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
            if (c == 0 || c == 3) {
                item->setToolTip(cells[c]);
            }
            ui->screenshotList->setItem(position, c, item);
        }
    }
}

ConversionSettingTexts MainWindow::ControlTexts() const
{
    ConversionSettingTexts settings;
    settings.edition = S(ui->gameBox->currentText());
    settings.teamSize = S(ui->teamSizeBox->currentText());
    settings.spectator = ui->spectatorCheck->isChecked();
    settings.scoreboardOnly = ui->scoreboardOnlyCheck->isChecked();
    settings.sizePercent = S(SizeEdit()->text());
    settings.saveFolder = S(ui->saveFolderEdit->text());
    settings.saveName = S(ui->saveNameEdit->text());
    settings.deleteOriginals = ui->deleteOriginalsCheck->isChecked();
    settings.trash = ui->trashCheck->isChecked();
    return settings;
}

void MainWindow::removeSelectedClicked()
{
    QList<int> rows;
    for (const QModelIndex &index : ui->screenshotList->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows) {
        ui->screenshotList->removeRow(row);
        rows_.erase(rows_.begin() + row);
    }
}

void MainWindow::AddResultRow(const ResultRow &row)
{
    const int position = ui->resultList->rowCount();
    ui->resultList->insertRow(position);
    auto *name = new QTableWidgetItem(Q(row.fileName));
    name->setToolTip(name->text());
    auto *path = new QTableWidgetItem(Q(row.path));
    path->setToolTip(path->text());
    ui->resultList->setItem(position, 0, name);
    ui->resultList->setItem(position, 1, new QTableWidgetItem(Q(row.result)));
    ui->resultList->setItem(position, 2, path);
    if (newestResultShown_) {
        // Once for the rows that came in together, after them.
        newestResultShown_ = false;
        QMetaObject::invokeMethod(this, &MainWindow::ShowNewestResult, Qt::QueuedConnection);
    }
}

void MainWindow::ShowNewestResult()
{
    if (newestResultShown_ || ui->resultList->rowCount() == 0) {
        return;
    }
    // Laid out first: the scroll range is otherwise updated only later and misses the new row.
    // Once for rows that come in together, not per row: laying out the whole list grows with it.
    ui->resultList->doItemsLayout();
    ui->resultList->scrollToItem(ui->resultList->item(ui->resultList->rowCount() - 1, 0));
    newestResultShown_ = true;
}

void MainWindow::PreviewRow(int row)
{
    if (row < 0 || row >= ui->screenshotList->rowCount()) {
        return;
    }
    const bool first = preview_ == nullptr;
    if (first) {
        preview_ = new CropPreview(this);
    }
    preview_->showRow(rows_[std::size_t(row)]);
    preview_->showSettings(ControlTexts());
    // Beside the window, not over the controls it follows; later where the user left it.
    if (first && screen() != nullptr) {
        preview_->move(CropPreview::BesidePosition(frameGeometry(), preview_->size(),
                                                   screen()->availableGeometry()));
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

void MainWindow::UpdatePreview()
{
    if (preview_ != nullptr && preview_->isVisible()) {
        preview_->showSettings(ControlTexts());
    }
}

void MainWindow::SetInputEnabled(bool enabled)
{
    // While a run, an Open or a watch goes the window keeps painting and moving the bar, but
    // takes no input that could start a second one or change the settings and rows they started
    // from. The lists and what the watch does stay readable.
    for (QWidget *child : ui->centralwidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child != ui->progressBar && child != ui->watchLabel && child != ui->screenshotList &&
            child != ui->resultList) {
            child->setEnabled(enabled);
        }
    }
    // A watch is stopped from its menu, which keeps only what changes no setting.
    ui->menuBar->setEnabled(enabled || watching_);
    ui->resetSettingsAction->setEnabled(enabled);
    ui->watchFolderAction->setVisible(!watching_);
    ui->stopWatchingAction->setVisible(watching_);
    ui->stopWatchingAction->setEnabled(watching_);
    removeShortcut_->setEnabled(enabled);
    if (enabled) {
        // scoreboardOnlyCheck decides whether these two are usable.
        ui->teamSizeBox->setEnabled(ui->scoreboardOnlyCheck->isChecked());
        ui->spectatorCheck->setEnabled(ui->scoreboardOnlyCheck->isChecked());
    }
}

void MainWindow::convertClicked()
{
    if (job_) {
        return;
    }
    // "../x" would write outside the save folder.
    if (const auto problem = SaveNameProblem(S(ui->saveNameEdit->text()))) {
        dialogs_.showMessage(this, Q(*problem));
        return;
    }
    const ConversionSettingTexts shown = ControlTexts();
    const ConversionSettings settings = ReadConversionSettings(shown);
    if (settings.edition == nullptr) {
        // Nothing to convert. A text that names no game is told; no game chosen needs no word.
        if (!rows_.empty() && shown.edition != texts::kSelectGame) {
            dialogs_.showMessage(this, Q(texts::NothingConvertedEdition(shown.edition)));
        }
        return;
    }
    // The field shows the folder the files go to, with its separator, once a screenshot is
    // converted; the run itself leaves the controls alone.
    if (ConvertsAnyRow(rows_, settings)) {
        ui->saveFolderEdit->setText(Q(settings.saveFolder));
    }
    auto failure = std::make_shared<QString>();
    StartJob(
        [this, rows = rows_, settings, teamSize = shown.teamSize, failure](BackgroundJob &job) {
            RunObserver observer(*this, job);
            try {
                ConversionRun run(rows, settings, observer, DefaultJobs());
                run.Run();
                if (run.SkippedForTeamSize()) {
                    observer.ShowMessage(texts::NothingConvertedTeamSize(teamSize));
                }
            } catch (const std::bad_alloc &) {
                *failure = QStringLiteral("Out of memory");
            } catch (const std::exception &e) {
                *failure = QString::fromStdString(e.what());
            }
            observer.HandReports();
        },
        [this, failure] {
            if (!failure->isEmpty()) {
                // The run ended at this screenshot: no bar left standing at its last position.
                ui->progressBar->hide();
                ui->progressBar->setValue(0);
                dialogs_.showError(this, *failure);
            }
        });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A screenshot is never left half-done: a run ends after the one in hand, an Open after the
    // file it measures, and the window closes then.
    if (job_) {
        closeAfterJob_ = true;
        job_->RequestStop();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::endRequested()
{
    // Dismissed as their own close buttons would: the question a watch or a run waits on is
    // answered, and the window's close then stops it after the screenshot in hand.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible()) {
            window->close();
        }
    }
    close();
}

void MainWindow::watchFolderClicked()
{
    if (job_) {
        return;
    }
    Guarded([&] {
        if (!GameChosen()) {
            return;
        }
        if (const auto problem = SaveNameProblem(S(ui->saveNameEdit->text()))) {
            dialogs_.showMessage(this, Q(*problem));
            return;
        }
        const ConversionSettingTexts shown = ControlTexts();
        const ConversionSettings settings = ReadConversionSettings(shown);
        if (settings.edition == nullptr) {
            dialogs_.showMessage(this, Q(texts::NothingConvertedEdition(shown.edition)));
            return;
        }
        // The game's own folder first; else where screenshots were last opened from.
        QString offered = Q(findGameScreenshots ? findGameScreenshots() : std::string());
        if (offered.isEmpty()) {
            offered = openFolderPath;
        }
        QString folder;
        if (!SelectFolder(this, texts::kWatchFolderTitle, offered, folder)) {
            return;
        }
        // As for a run: the field shows the folder the files go to, with its separator.
        ui->saveFolderEdit->setText(Q(settings.saveFolder));
        StartWatch(folder, ControlTexts());
    });
}

void MainWindow::StartWatch(const QString &folder, const ConversionSettingTexts &settings)
{
    const std::string watched = S(QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()));
    watching_ = true;
    // Empty until the watch has looked at the folder: what appears from then on is converted.
    ui->watchLabel->clear();
    ui->watchLabel->show();
    StartJob(
        [this, watched, settings, times = watchTimes](BackgroundJob &job) {
            WindowWatch handler(*this, job, settings);
            const std::unique_ptr<FolderNotifier> notifier = SystemFolderNotifier();
            FolderWatch({watched}, *notifier, handler, times).Run(false);
            handler.HandReports();
        },
        [this] {
            watching_ = false;
            ui->watchLabel->hide();
            ui->watchLabel->clear();
        });
}

void MainWindow::stopWatchingClicked()
{
    if (job_ && watching_) {
        // Until the screenshot in hand is done.
        ui->stopWatchingAction->setEnabled(false);
        job_->RequestStop();
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->centralwidget && event->type() == QEvent::Resize) {
        PlaceControls();
    }
    if (event->type() == QEvent::FocusIn &&
        (watched == ui->gameBox || watched == ui->gameBox->lineEdit())) {
        gameFocused();
    }
    if (watched == ui->screenshotList->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDropEvent *>(event);
            const QList<QUrl> urls = drag->mimeData()->urls();
            const bool files = std::any_of(urls.begin(), urls.end(), [](const QUrl &url) {
                return url.isLocalFile() && IsScreenshotFileName(S(url.toLocalFile()));
            });
            if (files && !job_) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (job_) {
                drop->ignore();
                return true;
            }
            QStringList paths;
            for (const QUrl &url : drop->mimeData()->urls()) {
                if (url.isLocalFile() && IsScreenshotFileName(S(url.toLocalFile()))) {
                    paths.append(url.toLocalFile());
                }
            }
            drop->acceptProposedAction();
            Guarded([&] {
                if (GameChosen()) {
                    AddFiles(paths);
                }
            });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace kv::converter
