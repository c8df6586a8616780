#include "MainWindow.h"

#include <algorithm>
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
#include <QLineEdit>
#include <QMargins>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QWindow>

#include "CaptionOrder.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "CropPreview.h"
#include "FileOperations.h"
#include "KVSCDialogs.h"
#include "OutputNames.h"
#include "ResolutionSupport.h"
#include "ScreenshotFiles.h"
#include "SettingsStore.h"
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

// The wait cursor over every window of the program for as long as it lives.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

// The conversion settings as the controls hold them at the moment the run asks.
class MainWindow::ControlSettings : public ConversionSettings
{
public:
    explicit ControlSettings(MainWindow &form) : form_(form) {}
    std::string Edition() const override { return S(form_.ui->gameBox->currentText()); }
    std::string TeamSize() const override { return S(form_.ui->teamSizeBox->currentText()); }
    bool Spectator() const override { return form_.ui->spectatorCheck->isChecked(); }
    bool ScoreboardOnly() const override { return form_.ui->scoreboardOnlyCheck->isChecked(); }
    std::string SizePercent() const override { return S(form_.SizeEdit()->text()); }
    std::string SaveFolder() const override { return S(form_.ui->saveFolderEdit->text()); }
    void SetSaveFolder(const std::string &folder) override
    {
        form_.ui->saveFolderEdit->setText(Q(folder));
    }
    std::string SaveName() const override { return S(form_.ui->saveNameEdit->text()); }
    bool DeleteOriginals() const override { return form_.ui->deleteOriginalsCheck->isChecked(); }
    bool Trash() const override { return form_.ui->trashCheck->isChecked(); }

private:
    MainWindow &form_;
};

// The settings of a run: the controls as they are when it starts, which they stay, since a run
// takes no input. Worker threads read this copy, never the controls; the save folder the run
// writes back still reaches its field.
class MainWindow::RunSettings : public FixedConversionSettings
{
public:
    explicit RunSettings(MainWindow &form) : form_(form)
    {
        const ControlSettings controls(form);
        edition = controls.Edition();
        teamSize = controls.TeamSize();
        spectator = controls.Spectator();
        scoreboardOnly = controls.ScoreboardOnly();
        sizePercent = controls.SizePercent();
        saveFolder = controls.SaveFolder();
        saveName = controls.SaveName();
        deleteOriginals = controls.DeleteOriginals();
        trash = controls.Trash();
    }
    void SetSaveFolder(const std::string &folder) override
    {
        FixedConversionSettings::SetSaveFolder(folder);
        ControlSettings(form_).SetSaveFolder(folder);
    }

private:
    MainWindow &form_;
};

class MainWindow::WindowObserver : public ConversionObserver
{
public:
    explicit WindowObserver(MainWindow &form) : form_(form) {}
    void ShowProgressBar(bool visible) override { form_.ui->progressBar->setVisible(visible); }
    void SetProgress(int position) override { form_.ui->progressBar->setValue(position); }
    // Painting after every screenshot would take the time of a screenshot on a batch: the window
    // paints when the run starts and then every kPaintInterval.
    void ProcessPendingMessages() override
    {
        if (!sincePaint_.isValid() || sincePaint_.elapsed() >= kPaintInterval.count()) {
            form_.ShowNewestResult();
            QCoreApplication::processEvents();
            sincePaint_.start();
        }
    }
    void Waiting() override { ProcessPendingMessages(); }
    void ShowMessage(const std::string &text) override
    {
        form_.dialogs_.showMessage(&form_, Q(text));
    }
    void AddResultRow(const ResultRow &row) override { form_.AddResultRow(row); }
    bool StopRequested() const override { return form_.closeRequested_; }

private:
    MainWindow &form_;
    QElapsedTimer sincePaint_;
};

MainWindow::MainWindow(SettingsStore &store, KVSCDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), store_(store), dialogs_(dialogs)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The designed client area is 413 x 405; the menu bar comes on top of it.
    ui->centralwidget->setFixedSize(413, 405);
    setFixedSize(413, 405 + ui->menuBar->sizeHint().height());

    const int openWidths[] = {95, 80, 74, 131};
    for (int c = 0; c < 4; ++c) {
        ui->screenshotList->setColumnWidth(c, openWidths[c]);
        ui->screenshotList->horizontalHeaderItem(c)->setTextAlignment(
            c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
    const int saveWidths[] = {113, 50, 217};
    for (int c = 0; c < 3; ++c) {
        ui->resultList->setColumnWidth(c, saveWidths[c]);
    }
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
    auto *remove = new QShortcut(QKeySequence::Delete, ui->screenshotList);
    remove->setContext(Qt::WidgetWithChildrenShortcut);
    connect(remove, &QShortcut::activated, this, &MainWindow::removeSelectedClicked);

    // The frame's margins are known once the window exists on most systems; where they are
    // known only once it is shown, the frame is taken to be the window itself.
    create();
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    QScreen *screen = QGuiApplication::screenAt(kStartPoint);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        move(StartPosition(size().grownBy(frame), screen->availableGeometry()));
    }

    loadSettings();
}

QPoint MainWindow::StartPosition(QSize frame, const QRect &screen)
{
    const int x = std::min(kStartPoint.x(), screen.x() + screen.width() - frame.width());
    const int y = std::min(kStartPoint.y(), screen.y() + screen.height() - frame.height());
    return {std::max(x, screen.x()), std::max(y, screen.y())};
}

MainWindow::~MainWindow() = default;

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
    for (int r = 0; r < ui->screenshotList->rowCount(); ++r) {
        const std::string resolution = S(ui->screenshotList->item(r, 1)->text());
        const bool yes =
            std::find(supported.begin(), supported.end(), resolution) != supported.end();
        ui->screenshotList->item(r, 2)->setText(yes ? texts::kYes : texts::kNo);
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
    if (paths.isEmpty() || adding_) {
        return;
    }
    adding_ = true;
    QString lastAdded;
    {
        const BusyCursor busy;
        std::vector<ScreenshotRow> measured; // not in the list yet
        QElapsedTimer sincePaint;
        bool painted = false;
        for (const QString &path : paths) {
            if (closeRequested_) {
                break;
            }
            std::optional<ScreenshotRow> row = MeasureFile(path);
            if (!row) {
                InsertSorted(measured);
                measured.clear();
                dialogs_.showError(this, texts::kInvalidOrNoFile);
                break;
            }
            measured.push_back(std::move(*row));
            lastAdded = path;
            // The first row shows at once, later ones every kPaintInterval, since painting the
            // list takes longer than measuring a file. A close request is taken then too; clicks
            // and keys wait till the end.
            if (!painted || sincePaint.elapsed() >= kPaintInterval.count()) {
                InsertSorted(measured);
                measured.clear();
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                sincePaint.start();
                painted = true;
            }
        }
        InsertSorted(measured);
    }
    adding_ = false;
    if (!lastAdded.isEmpty()) {
        // Takes effect at the next start; this run keeps its Open folder. Stored once, not per
        // file: each write reaches the disk.
        Store(setting::kOpenFolder, QDir::toNativeSeparators(QFileInfo(lastAdded).absolutePath()) +
                                        QChar(kPathSeparator));
    }
    if (closeRequested_) {
        close();
    }
}

std::optional<ScreenshotRow> MainWindow::MeasureFile(const QString &path) const
{
    try {
        ScreenshotRow row = MeasureScreenshot(S(path), S(selectedGame));
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
    std::vector<std::string> captions;
    for (int r = 0; r < ui->screenshotList->rowCount(); ++r) {
        captions.push_back(S(ui->screenshotList->item(r, 0)->text()));
    }
    for (const ScreenshotRow &row : rows) {
        // After every caption that sorts before it or equal to it, so equal names keep their
        // order. The list is always in caption order.
        const auto at = std::upper_bound(
            captions.begin(), captions.end(), row.caption,
            [](const std::string &a, const std::string &b) { return CompareCaptions(a, b) < 0; });
        const int position = int(at - captions.begin());
        captions.insert(at, row.caption);
        ui->screenshotList->insertRow(position);
        const QString cells[] = {Q(row.caption), Q(row.resolution), Q(row.supported), Q(row.path)};
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

ScreenshotRow MainWindow::RowAt(int row) const
{
    return {
        S(ui->screenshotList->item(row, 0)->text()), S(ui->screenshotList->item(row, 1)->text()),
        S(ui->screenshotList->item(row, 2)->text()), S(ui->screenshotList->item(row, 3)->text())};
}

std::vector<ScreenshotRow> MainWindow::ScreenshotRows() const
{
    std::vector<ScreenshotRow> rows;
    for (int r = 0; r < ui->screenshotList->rowCount(); ++r) {
        rows.push_back(RowAt(r));
    }
    return rows;
}

void MainWindow::removeSelectedClicked()
{
    if (converting_) {
        return;
    }
    QList<int> rows;
    for (const QModelIndex &index : ui->screenshotList->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows) {
        ui->screenshotList->removeRow(row);
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
    newestResultShown_ = false;
}

void MainWindow::ShowNewestResult()
{
    if (newestResultShown_ || ui->resultList->rowCount() == 0) {
        return;
    }
    // Laid out first: the scroll range is otherwise updated only later and misses the new row.
    // Once before each paint, not per row: laying out the whole list per row grows with it.
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
    preview_->showRow(RowAt(row));
    preview_->showSettings(ControlSettings(*this));
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
        preview_->showSettings(ControlSettings(*this));
    }
}

void MainWindow::SetInputEnabled(bool enabled)
{
    // While a run goes the window keeps painting and moving the bar, but takes no input that
    // could start a second run or change the settings the run is reading. The lists stay
    // readable and scrollable: the run works on a copy of the rows and guards removing them.
    for (QWidget *child : ui->centralwidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child != ui->progressBar && child != ui->screenshotList && child != ui->resultList) {
            child->setEnabled(enabled);
        }
    }
    ui->menuBar->setEnabled(enabled);
    if (enabled) {
        // scoreboardOnlyCheck decides whether these two are usable.
        ui->teamSizeBox->setEnabled(ui->scoreboardOnlyCheck->isChecked());
        ui->spectatorCheck->setEnabled(ui->scoreboardOnlyCheck->isChecked());
    }
}

void MainWindow::convertClicked()
{
    if (converting_) {
        return;
    }
    // "../x" would write outside the save folder.
    if (const auto problem = SaveNameProblem(S(ui->saveNameEdit->text()))) {
        dialogs_.showMessage(this, Q(*problem));
        return;
    }
    converting_ = true;
    SetInputEnabled(false);
    const std::vector<ScreenshotRow> rows = ScreenshotRows();
    RunSettings settings(*this);
    WindowObserver observer(*this);
    try {
        ConversionRun run(rows, settings, observer, DefaultJobs());
        run.Run();
    } catch (const std::exception &e) {
        // The run ended at this screenshot: no bar left standing at its last position.
        ui->progressBar->hide();
        ui->progressBar->setValue(0);
        const QString text = dynamic_cast<const std::bad_alloc *>(&e)
                                 ? QStringLiteral("Out of memory")
                                 : QString::fromStdString(e.what());
        dialogs_.showError(this, text);
    }
    ShowNewestResult();
    SetInputEnabled(true);
    converting_ = false;
    if (closeRequested_) {
        close();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A screenshot is never left half-done: a run ends after the one in hand, an Open after the
    // file it measures, and the window closes then.
    if (converting_ || adding_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
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
            if (files && !converting_ && !adding_) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (converting_ || adding_) {
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
