#include "MainWindow.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "BitmapFile.h"
#include "ConverterTexts.h"
#include "CropPreview.h"
#include "FileOperations.h"
#include "JpegFile.h"
#include "KVSCDialogs.h"
#include "QtSettingsStore.h"
#include "SettingsStore.h"
#include "TestSupport.h"

using namespace kv::converter;

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

// Failures print texts, not their bytes.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Answers the window's dialogs from queues and records every message.
class ScriptedDialogs : public KVSCDialogs
{
public:
    void showMessage(QWidget *, const QString &text) override
    {
        messages.append(text);
        if (onMessage) {
            onMessage(text);
        }
    }
    // Failures are messages too, recorded once more as shown with the error icon.
    void showError(QWidget *owner, const QString &text) override
    {
        errors.append(text);
        showMessage(owner, text);
    }
    void showAbout(QWidget *, const QString &text) override { about = text; }
    QStringList getOpenFileNames(QWidget *, const QString &folder, const QString &filter) override
    {
        openFolders.append(folder);
        lastFilter = filter;
        return files;
    }
    std::optional<QString> getExistingDirectory(QWidget *, const QString &title,
                                                const QString &root) override
    {
        folderTitle = title;
        folderRoot = root;
        return folder;
    }

    QStringList messages;
    QStringList errors;
    QStringList openFolders;
    QString lastFilter;
    QString about;
    QString folderTitle;
    QString folderRoot;
    QStringList files;
    std::optional<QString> folder;
    std::function<void(const QString &)> onMessage;
};

class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest() : storeFile(QString::fromStdString(dir.File("config/KVSC/KVSC.conf"))) {}

    // A fresh window over the store file, as a new program start would make it.
    MainWindow &Start()
    {
        form.reset();
        store = std::make_unique<QtSettingsStore>(storeFile);
        form = std::make_unique<MainWindow>(*store, dialogs);
        return *form;
    }

    template <class T> T *Find(const char *name) const
    {
        T *widget = form->findChild<T *>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::string Stored(const char *name) const { return QtSettingsStore(storeFile).Read(name); }
    // Where the store puts a file it cannot read anything from.
    std::string Aside() const { return storeFile.toStdString() + ".damaged"; }

    QString Screenshot(const std::string &name, int width, int height)
    {
        const std::string path = dir.File(name);
        kv::imaging::WriteBitmapFile(kv::imaging::WorkingBitmap(width, height, 24), path);
        return QString::fromStdString(path);
    }

    void ChooseGame(const char *title) { Find<QComboBox>("gameBox")->setCurrentText(title); }

    // Until the run or the Open under way has ended: both go on their own thread.
    void WaitForWork()
    {
        if (form->IsBusy()) {
            QSignalSpy done(form.get(), &MainWindow::workDone);
            ASSERT_TRUE(done.wait(60000)) << "the work never ended";
        }
    }
    void Open()
    {
        form->openClicked();
        WaitForWork();
    }
    void Convert()
    {
        form->convertClicked();
        WaitForWork();
    }

    // On screen and active, as a person meets it: focus and shortcuts work only then.
    void Show()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // Converts 640 x 480 screenshots named a.bmp, b.bmp, ... into the folder out with Veskar.
    void ConvertScreenshots(int count)
    {
        ChooseGame("Korvane: Veskar");
        Find<QLineEdit>("saveFolderEdit")->setText(QString::fromStdString(dir.File("out")));
        Find<QSpinBox>("sizeSpin")->setValue(10);
        dialogs.files.clear();
        for (int i = 0; i < count; ++i) {
            dialogs.files.append(Screenshot(std::string(1, char('a' + i)) + ".bmp", 640, 480));
        }
        Open();
        Convert();
    }

    QStringList Column(const char *list, int column) const
    {
        QStringList cells;
        auto *table = form->findChild<QTableWidget *>(list);
        for (int r = 0; r < table->rowCount(); ++r) {
            cells.append(table->item(r, column)->text());
        }
        return cells;
    }

    kv::test::TempDir dir;
    QString storeFile;
    ScriptedDialogs dialogs;
    std::unique_ptr<QtSettingsStore> store;
    std::unique_ptr<MainWindow> form;
};

} // namespace

TEST_F(MainWindowTest, FirstStartWritesTheDefaultsAndShowsThem)
{
    Start();
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Select Game:");
    EXPECT_EQ(Find<QComboBox>("teamSizeBox")->currentText(), " 6 on 6");
    EXPECT_FALSE(Find<QCheckBox>("spectatorCheck")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("scoreboardOnlyCheck")->isChecked());
    EXPECT_EQ(Find<QSpinBox>("sizeSpin")->text(), "100");
    EXPECT_EQ(Find<QLineEdit>("saveFolderEdit")->text().toStdString(), DefaultFolder());
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Screenshot");
    EXPECT_EQ(Stored("Savename"), "Screenshot");
    EXPECT_EQ(Stored("SAVENAME"), "Screenshot") << "names match without regard to case";
    EXPECT_EQ(Stored("Game"), "Select Game:");
    EXPECT_EQ(Stored("Spectator"), "");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(form->windowTitle(), "KV Screenshot Converter 3.0");
    EXPECT_EQ(form->centralWidget()->size(), QSize(413, 405));
}

TEST_F(MainWindowTest, StoredValuesComeBackAndScoreboardOffDisablesTeamAndSpectator)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QSpinBox>("sizeSpin")->setValue(75);
    EXPECT_EQ(Stored("Size"), "75") << "stored the moment the field changes";
    Find<QCheckBox>("spectatorCheck")->setChecked(true);
    Find<QCheckBox>("scoreboardOnlyCheck")->setChecked(false);
    Find<QComboBox>("teamSizeBox")->setCurrentText("10 on 10");
    Find<QLineEdit>("saveNameEdit")->setText("Board");

    Start();
    EXPECT_EQ(form->selectedGame, "Korvane: Ravelock");
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Korvane: Ravelock");
    EXPECT_EQ(Find<QComboBox>("teamSizeBox")->currentText(), "10 on 10");
    EXPECT_EQ(Find<QSpinBox>("sizeSpin")->text(), "75");
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Board");
    EXPECT_TRUE(Find<QCheckBox>("spectatorCheck")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("scoreboardOnlyCheck")->isChecked());
    EXPECT_FALSE(Find<QComboBox>("teamSizeBox")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>("spectatorCheck")->isEnabled());
}

TEST_F(MainWindowTest, PartialGameTextStoresNothing)
{
    Start();
    ChooseGame("Korvane: Veskar");
    Find<QComboBox>("gameBox")->setCurrentText("Korvane: Rave");
    EXPECT_EQ(Stored("Game"), "Korvane: Veskar");
    EXPECT_EQ(form->selectedGame, "Korvane: Veskar");
}

TEST_F(MainWindowTest, ResetRestoresDefaultsAndTheOpenFolder)
{
    Start();
    ChooseGame("Korvane: Veskar");
    Find<QCheckBox>("deleteOriginalsCheck")->setChecked(true);
    Find<QCheckBox>("trashCheck")->setChecked(true);
    EXPECT_EQ(Stored("Trash"), "Yes");
    Find<QLineEdit>("saveFolderEdit")->setText("/elsewhere/");
    form->openFolderPath = "/shots/";
    form->resetSettingsClicked();
    EXPECT_EQ(dialogs.messages, QStringList{"All settings have been reset!"});
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Select Game:");
    EXPECT_FALSE(Find<QCheckBox>("deleteOriginalsCheck")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("trashCheck")->isChecked()); // no part of the default set
    EXPECT_EQ(Stored("Game"), "Select Game:");
    EXPECT_EQ(Stored("SaveFolder"), DefaultFolder());
    EXPECT_EQ(form->openFolderPath.toStdString(), DefaultFolder());
    EXPECT_EQ(form->selectedGame, "Korvane: Veskar") << "kept until an edition is chosen again";
}

TEST_F(MainWindowTest, BrowseStoresTheChosenFolderWithSeparatorAndCancelKeepsTheField)
{
    Start();
    const QString before = Find<QLineEdit>("saveFolderEdit")->text();
    form->browseClicked();
    EXPECT_EQ(dialogs.folderTitle, "Select a folder:");
    EXPECT_EQ(Find<QLineEdit>("saveFolderEdit")->text(), before);

    dialogs.folder = QString::fromStdString(dir.File("shots"));
    form->browseClicked();
    const std::string expected = dir.File("shots") + kPathSeparator;
    EXPECT_EQ(Find<QLineEdit>("saveFolderEdit")->text().toStdString(), expected);
    EXPECT_EQ(Stored("SaveFolder"), expected);
}

TEST_F(MainWindowTest, OpenWithoutAnEditionIsRefusedAndTurnsTheGameTextRed)
{
    Start();
    dialogs.files = {Screenshot("a.bmp", 8, 8)};
    Open();
    EXPECT_EQ(dialogs.messages, QStringList{"Select a game first"});
    EXPECT_TRUE(dialogs.errors.isEmpty()) << "an expected situation, not a failure";
    EXPECT_TRUE(dialogs.openFolders.isEmpty()) << "no dialog";
    auto *game = Find<QComboBox>("gameBox");
    EXPECT_EQ(game->lineEdit()->palette().color(QPalette::Text), QColor(255, 0, 0));
    form->gameFocused();
    EXPECT_NE(game->lineEdit()->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(MainWindowTest, OpenMeasuresMarksAndSortsRowsAndStoresTheFolderForNextStart)
{
    Start();
    const QString startFolder = form->openFolderPath;
    ChooseGame("Korvane: Veskar");
    dialogs.files = {Screenshot("b.bmp", 1680, 1050), Screenshot("a.bmp", 640, 480)};
    Open();
    EXPECT_EQ(dialogs.lastFilter, "Supported Files (*.bmp; *.jpg) (*.bmp *.jpg)");
    EXPECT_EQ(Column("screenshotList", 0), (QStringList{"a.bmp", "b.bmp"}));
    EXPECT_EQ(Column("screenshotList", 1), (QStringList{"640 x 480", "1680 x 1050"}));
    EXPECT_EQ(Column("screenshotList", 2), (QStringList{"Yes", "No"}));
    EXPECT_EQ(Stored("OpenFolder"), dir.Path().string() + kPathSeparator);
    EXPECT_EQ(form->openFolderPath, startFolder);

    ChooseGame("Korvane: Ravelock");
    dialogs.files = {Screenshot("c.bmp", 1680, 1050)};
    Open();
    EXPECT_EQ(Column("screenshotList", 2), (QStringList{"No", "Yes", "Yes"}))
        << "for the game chosen now";

    Start();
    EXPECT_EQ(form->openFolderPath.toStdString(), dir.Path().string() + kPathSeparator);
}

TEST_F(MainWindowTest, AFileThatFailsEndsTheSelectionWithoutAHalfFilledRow)
{
    Start();
    ChooseGame("Korvane: Veskar");
    const QString broken = QString::fromStdString(dir.File("b.jpg"));
    kv::test::WriteBytes(broken.toStdString(), {'n', 'o'});
    dialogs.files = {Screenshot("a.bmp", 800, 600), broken, Screenshot("c.bmp", 800, 600)};
    Open();
    EXPECT_EQ(dialogs.messages, QStringList{"Invalid or no file selected"});
    EXPECT_EQ(dialogs.errors, dialogs.messages);
    EXPECT_EQ(Column("screenshotList", 0), QStringList{"a.bmp"});
}

TEST_F(MainWindowTest, RemoveSelectedTakesOutOnlyTheSelectedRows)
{
    Start();
    ChooseGame("Korvane: Veskar");
    dialogs.files = {Screenshot("a.bmp", 8, 8), Screenshot("b.bmp", 8, 8),
                     Screenshot("c.bmp", 8, 8)};
    Open();
    auto *list = Find<QTableWidget>("screenshotList");
    list->selectRow(0);
    list->selectionModel()->select(list->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form->removeSelectedClicked();
    EXPECT_EQ(Column("screenshotList", 0), QStringList{"b.bmp"});
    list->clearSelection();
    form->removeSelectedClicked();
    EXPECT_EQ(list->rowCount(), 1);
}

TEST_F(MainWindowTest, ConvertWritesFilesShowsMessagesAndMovesTheProgressBar)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QLineEdit>("saveFolderEdit")->setText(QString::fromStdString(dir.File("out")));
    dialogs.files = {Screenshot("a.bmp", 800, 600), Screenshot("b.bmp", 640, 480),
                     Screenshot("c.bmp", 1024, 768), Screenshot("d.bmp", 1680, 1050)};
    Open();
    auto *bar = Find<QProgressBar>("progressBar");
    QList<int> positions;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { positions.append(v); });
    bool blockedDuringRun = false;
    bool listsReadableDuringRun = false;
    dialogs.onMessage = [&](const QString &) {
        blockedDuringRun = form->IsBusy() && !Find<QPushButton>("convertButton")->isEnabled() &&
                           !Find<QLineEdit>("saveNameEdit")->isEnabled() && !bar->isHidden();
        listsReadableDuringRun = Find<QTableWidget>("screenshotList")->isEnabled() &&
                                 Find<QTableWidget>("resultList")->isEnabled();
    };
    form->convertClicked();
    EXPECT_TRUE(form->IsBusy()) << "the run went on the window's thread";
    WaitForWork();

    EXPECT_EQ(dialogs.messages,
              QStringList{"Screenshot 2: This resolution is not (yet) supported"});
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(blockedDuringRun);
    EXPECT_TRUE(listsReadableDuringRun) << "the lists were greyed out during the run";
    EXPECT_EQ(positions, (QList<int>{25, 50, 75, 100, 0}));
    EXPECT_TRUE(bar->isHidden());
    EXPECT_TRUE(Find<QPushButton>("convertButton")->isEnabled());
    const std::string out = dir.File("out") + kPathSeparator;
    EXPECT_EQ(Find<QLineEdit>("saveFolderEdit")->text().toStdString(), out);
    EXPECT_EQ(Stored("SaveFolder"), out);
    EXPECT_EQ(Column("resultList", 0),
              (QStringList{"Screenshot1.jpg", "Screenshot2.jpg", "Screenshot3.jpg"}));
    EXPECT_EQ(Column("resultList", 1), (QStringList{"Saved", "Saved", "Saved"}));
    for (const QString &path : Column("resultList", 2)) {
        EXPECT_TRUE(std::filesystem::exists(path.toStdString())) << path.toStdString();
    }
}

TEST_F(MainWindowTest, ErrorEndsTheRunInTheKVSCBoxAndHidesTheProgressBar)
{
    Start();
    ChooseGame("Korvane: Veskar");
    dialogs.files = {Screenshot("a.bmp", 800, 600)};
    Open();
    Find<QSpinBox>("sizeSpin")->findChild<QLineEdit *>()->setText("");
    Convert();
    EXPECT_EQ(dialogs.messages,
              QStringList{"Screenshot 1 (a.bmp): '' is not a valid integer value"});
    EXPECT_EQ(dialogs.errors, dialogs.messages) << "not shown with the error icon";
    EXPECT_TRUE(Find<QProgressBar>("progressBar")->isHidden());
    EXPECT_TRUE(Find<QPushButton>("openButton")->isEnabled());
}

TEST_F(MainWindowTest, DroppedScreenshotsAreAddedAsOpenAddsThem)
{
    Start();
    ChooseGame("Korvane: Veskar");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Screenshot("z.bmp", 1024, 768)),
                  QUrl::fromLocalFile(QString::fromStdString(dir.File("notes.txt")))});
    auto *viewport = Find<QTableWidget>("screenshotList")->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    WaitForWork();
    EXPECT_EQ(Column("screenshotList", 0), QStringList{"z.bmp"});
    EXPECT_EQ(Column("screenshotList", 2), QStringList{"Yes"});
}

TEST_F(MainWindowTest, DamagedStoreStartsOnDefaultsWithAMessage)
{
    std::filesystem::create_directories(dir.Path() / "config/KVSC");
    const std::vector<unsigned char> damaged = {'[', 'G', 'e', 0, 1, 2, '=', 'x'};
    kv::test::WriteBytes(storeFile.toStdString(), damaged);
    Start();
    EXPECT_EQ(dialogs.messages, QStringList{Q(texts::SettingsMovedAside(Aside()))});
    EXPECT_EQ(kv::test::ReadBytes(Aside()), damaged) << "kept as it was";
    EXPECT_EQ(Stored("Size"), "100");
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Select Game:");
}

// A file the store reads values from is the player's, however it was edited: nothing is said,
// replaced or deleted.
TEST_F(MainWindowTest, ReadableStoreWithoutFinalLineEndKeepsEveryValue)
{
    std::filesystem::create_directories(dir.Path() / "config/KVSC");
    const std::string text = "[General]\nGame=Korvane: Ravelock\nSaveName=Mine\nSize=75";
    kv::test::WriteBytes(storeFile.toStdString(), {text.begin(), text.end()});
    Start();
    EXPECT_EQ(dialogs.messages, QStringList{});
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Korvane: Ravelock");
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Mine");
    EXPECT_EQ(Find<QSpinBox>("sizeSpin")->value(), 75);
    EXPECT_EQ(Stored("Size"), "75");
    EXPECT_FALSE(std::filesystem::exists(Aside()));
}

#ifndef _WIN32
// Permissions bind only a user other than root; kvsc convert is checked as another user too.
TEST_F(MainWindowTest, StoreThatCannotBeOpenedIsLeftAsItIsWithTheReason)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads any file";
    }
    std::filesystem::create_directories(dir.Path() / "config/KVSC");
    kv::test::WriteBytes(storeFile.toStdString(), {'[', 'G', ']'});
    std::filesystem::permissions(storeFile.toStdString(), std::filesystem::perms::none);
    Start();
    ASSERT_FALSE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.messages.first().contains("Permission denied"));
    std::filesystem::permissions(storeFile.toStdString(), std::filesystem::perms::owner_read);
    EXPECT_EQ(kv::test::ReadBytes(storeFile.toStdString()),
              (std::vector<unsigned char>{'[', 'G', ']'}));
}
#endif

struct DamagedStoreCase
{
    const char *name;
    std::function<std::vector<unsigned char>(const std::vector<unsigned char> &good)> damage;
};

void PrintTo(const DamagedStoreCase &c, std::ostream *os)
{
    *os << c.name;
}

// A store file written by an earlier start, then damaged; the window must start on the
// defaults with the message.
class DamagedStore : public MainWindowTest, public ::testing::WithParamInterface<DamagedStoreCase>
{
};

TEST_P(DamagedStore, StartsOnDefaultsWithTheMessage)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QLineEdit>("saveNameEdit")->setText("Mine");
    form.reset();
    const std::vector<unsigned char> good = kv::test::ReadBytes(storeFile.toStdString());
    ASSERT_FALSE(good.empty());
    // Qt keeps what it read of a file until its size or its time, to the millisecond, changes;
    // damage of the same size within that millisecond would look like none. Another start comes
    // later, as the player's next one does.
    const auto written = std::filesystem::last_write_time(storeFile.toStdString());
    kv::test::WriteBytes(storeFile.toStdString(), GetParam().damage(good));
    std::filesystem::last_write_time(storeFile.toStdString(), written + std::chrono::seconds(1));

    dialogs.messages.clear();
    Start();
    EXPECT_EQ(dialogs.messages, QStringList{Q(texts::SettingsMovedAside(Aside()))});
    EXPECT_EQ(kv::test::ReadBytes(Aside()), GetParam().damage(good));
    EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Select Game:");
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Screenshot");
    EXPECT_EQ(Stored("SizeNumber"), " 6 on 6");
}

INSTANTIATE_TEST_SUITE_P(
    CutShortOrGarbage, DamagedStore,
    ::testing::Values(DamagedStoreCase{"CutInTheGroupLine",
                                       [](const std::vector<unsigned char> &good) {
                                           return std::vector<unsigned char>(good.begin(),
                                                                             good.begin() + 4);
                                       }},
                      // What a crash right after the file was created but before its data reached
                      // the disk leaves behind.
                      DamagedStoreCase{"CutToNothing",
                                       [](const std::vector<unsigned char> &) {
                                           return std::vector<unsigned char>{};
                                       }},
                      DamagedStoreCase{"ZeroBytes",
                                       [](const std::vector<unsigned char> &good) {
                                           return std::vector<unsigned char>(good.size(), 0);
                                       }},
                      DamagedStoreCase{"RandomBytes",
                                       [](const std::vector<unsigned char> &) {
                                           std::mt19937 rng(11);
                                           std::vector<unsigned char> bytes(4096);
                                           for (unsigned char &b : bytes) {
                                               b = static_cast<unsigned char>(rng());
                                           }
                                           return bytes;
                                       }},
                      DamagedStoreCase{"OneHugeLineWithoutEnd",
                                       [](const std::vector<unsigned char> &) {
                                           return std::vector<unsigned char>(1 << 20, 'G');
                                       }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, StoreCutShortAnywhereNeverStopsTheStart)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QCheckBox>("spectatorCheck")->setChecked(true);
    form.reset();
    const std::vector<unsigned char> good = kv::test::ReadBytes(storeFile.toStdString());
    for (std::size_t length = 0; length < good.size(); length += 5) {
        kv::test::WriteBytes(storeFile.toStdString(),
                             std::vector<unsigned char>(good.begin(), good.begin() + length));
        dialogs.messages.clear();
        Start();
        // A cut that leaves values leaves a shorter store, whose missing values read as empty.
        if (!dialogs.messages.isEmpty()) {
            EXPECT_EQ(dialogs.messages.first(), Q(texts::SettingsMovedAside(Aside())))
                << "cut at " << length;
            EXPECT_EQ(Stored("Size"), "100") << "cut at " << length;
            std::filesystem::remove(Aside());
        }
    }
}

#ifndef _WIN32
// A window whose store held "Before" as the save name when writing "After" failed.
class FailedStoreWrite : public MainWindowTest
{
protected:
    void SetUp() override
    {
        Start();
        Find<QLineEdit>("saveNameEdit")->setText("Before");
        dialogs.messages.clear();
        // The store is rewritten whole through a temporary file, which cannot grow past this.
        const kv::test::FileSizeLimit limit(16);
        Find<QLineEdit>("saveNameEdit")->setText("After");
    }
};

TEST_F(FailedStoreWrite, IsReportedAndLeavesThePreviousValuesReadableInThisProcessToo)
{
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().startsWith("Cannot write the setting \"SaveName\""))
        << dialogs.messages.first().toStdString();
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "After") << "the field keeps what was typed";
    // QSettings shares values not yet written between its objects of one file.
    EXPECT_EQ(store->Read("SaveName"), "Before");
    EXPECT_EQ(Stored("SaveName"), "Before");
    EXPECT_EQ(Stored("Size"), "100");
    EXPECT_EQ(Stored("SizeNumber"), " 6 on 6");
}

TEST_F(FailedStoreWrite, DoesNotMakeLaterWritesFailOnceTheStoreCanBeWrittenAgain)
{
    dialogs.messages.clear();
    Find<QLineEdit>("saveNameEdit")->setText("Later");
    Find<QComboBox>("teamSizeBox")->setCurrentText(" 2 on 2");
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("|").toStdString();
    EXPECT_EQ(Stored("SaveName"), "Later");
    EXPECT_EQ(Stored("SizeNumber"), " 2 on 2");
}
#endif

TEST_F(MainWindowTest, AboutNamesProductVersionAndMaker)
{
    Start();
    Find<QAction>("aboutAction")->trigger();
    EXPECT_TRUE(dialogs.about.contains("KV Screenshot Converter"));
    EXPECT_TRUE(dialogs.about.contains("3.0"));
    EXPECT_TRUE(dialogs.about.contains("Orlinde"));
}

TEST_F(MainWindowTest, StoreThatCannotBeWrittenIsReportedAndTheControlKeepsItsValue)
{
    Start();
    // A file where the store's folder should be: nothing can be written below it.
    storeFile = QString::fromStdString(dir.File("blocker/KVSC.conf"));
    kv::test::WriteBytes(dir.File("blocker"), {'x'});
    dialogs.messages.clear();
    store = std::make_unique<QtSettingsStore>(storeFile);
    form = std::make_unique<MainWindow>(*store, dialogs);
    ASSERT_FALSE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.messages.first().startsWith("Cannot write the setting"))
        << dialogs.messages.first().toStdString();
    dialogs.messages.clear();
    Find<QLineEdit>("saveNameEdit")->setText("Kept");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Kept");
}

// A folder or a FIFO where the settings file belongs is refused at once, never waited on or
// deleted; values that match no label make Convert say why nothing was converted.
TEST_F(MainWindowTest, SaysWhyItCannotStoreSettingsOrConvertAnything)
{
    const std::filesystem::path file = storeFile.toStdString();
    std::filesystem::create_directories(file);
    QStringList notFiles{storeFile};
#ifndef _WIN32
    const std::string fifo = dir.File("fifo.conf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    notFiles.append(QString::fromStdString(fifo));
#endif
    for (const QString &notAFile : notFiles) {
        dialogs.messages.clear();
        form.reset();
        store = std::make_unique<QtSettingsStore>(notAFile);
        form = std::make_unique<MainWindow>(*store, dialogs);
        ASSERT_FALSE(dialogs.messages.isEmpty());
        EXPECT_EQ(dialogs.messages.first().toStdString(),
                  texts::SettingsFileNotAFile(notAFile.toStdString()));
        EXPECT_TRUE(QFileInfo::exists(notAFile)) << "the store deleted what stood there";
        // It shows the values it works with, not its layout's texts, and refuses Open.
        EXPECT_EQ(Find<QComboBox>("gameBox")->currentText(), "Select Game:");
        EXPECT_EQ(Find<QComboBox>("teamSizeBox")->currentText(), " 6 on 6");
        EXPECT_EQ(Find<QLineEdit>("saveFolderEdit")->text(), Q(DefaultFolder()));
        EXPECT_EQ(Find<QLineEdit>("saveNameEdit")->text(), "Screenshot");
        dialogs.messages.clear();
        Open();
        EXPECT_EQ(dialogs.messages, QStringList{texts::kSelectGameFirst});
    }

    std::filesystem::remove(file);
    Start();
    ChooseGame("Korvane: Ravelock");
    dialogs.files = {Screenshot("a.bmp", 800, 600)};
    Open();
    dialogs.messages.clear();
    Find<QComboBox>("teamSizeBox")->setCurrentText("7 on 7");
    Convert();
    EXPECT_EQ(dialogs.messages,
              QStringList{QString::fromStdString(texts::NothingConvertedTeamSize("7 on 7"))});
    dialogs.messages.clear();
    Find<QComboBox>("teamSizeBox")->setCurrentText(" 7 on 7");
    Find<QComboBox>("gameBox")->setCurrentText("Korvane");
    Convert();
    EXPECT_EQ(dialogs.messages,
              QStringList{QString::fromStdString(texts::NothingConvertedEdition("Korvane"))});
    EXPECT_EQ(Column("resultList", 0), QStringList{});
}

// The Supported column, the preview and the run go by the game chosen now.
TEST_F(MainWindowTest, SupportFollowsTheGameChosenNow)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QLineEdit>("saveFolderEdit")->setText(QString::fromStdString(dir.File("out")));
    dialogs.files = {Screenshot("a.bmp", 1680, 1050), Screenshot("b.bmp", 640, 480)};
    Open();
    EXPECT_EQ(Column("screenshotList", 2), (QStringList{"Yes", "No"}));
    ChooseGame("Korvane: Veskar");
    EXPECT_EQ(Column("screenshotList", 2), (QStringList{"No", "Yes"}));
    dialogs.messages.clear();
    Convert();
    EXPECT_EQ(dialogs.messages, QStringList{});
    ASSERT_EQ(Column("resultList", 2).size(), 1);
    EXPECT_EQ(kv::imaging::ReadJpegSize(Column("resultList", 2)[0].toStdString()).width, 398);
    ChooseGame("Korvane: Ravelock");
    EXPECT_EQ(Column("screenshotList", 2), (QStringList{"Yes", "No"}));
    Convert();
    EXPECT_EQ(dialogs.messages,
              QStringList{QString::fromStdString(texts::ResolutionNotSupported(2))});
    ASSERT_EQ(Column("resultList", 2).size(), 2);
    EXPECT_EQ(kv::imaging::ReadJpegSize(Column("resultList", 2)[1].toStdString()).width, 1337);
}

TEST_F(MainWindowTest, SaveNameThatWouldLeaveTheFolderIsRefused)
{
    Start();
    ChooseGame("Korvane: Veskar");
    Find<QLineEdit>("saveFolderEdit")->setText(QString::fromStdString(dir.File("out/")));
    dialogs.files = {Screenshot("a.bmp", 640, 480)};
    Open();
    Find<QLineEdit>("saveNameEdit")->setText("../x");
    dialogs.messages.clear();
    Convert();
    EXPECT_EQ(dialogs.messages, QStringList{Q(texts::SaveNameRefused("\"/\""))});
    EXPECT_EQ(Column("resultList", 0), QStringList{});
    EXPECT_FALSE(std::filesystem::exists(dir.File("x1.jpg")));
}

TEST_F(MainWindowTest, CommandLineStartsFromTheStoredSettings)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    Find<QComboBox>("teamSizeBox")->setCurrentText(" 3 on 3");
    Find<QCheckBox>("spectatorCheck")->setChecked(true);
    const ConversionSettingTexts stored = StoredConversionSettings(QtSettingsStore(storeFile));
    EXPECT_EQ(stored.edition, "Korvane: Ravelock");
    EXPECT_EQ(stored.teamSize, " 3 on 3");
    EXPECT_TRUE(stored.spectator);
    EXPECT_TRUE(stored.scoreboardOnly);
    EXPECT_EQ(stored.saveName, "Screenshot");
    EXPECT_FALSE(stored.deleteOriginals);

    const ConversionSettingTexts fresh =
        StoredConversionSettings(QtSettingsStore(QString::fromStdString(dir.File("none.conf"))));
    EXPECT_EQ(fresh.edition, "Select Game:");
    EXPECT_EQ(fresh.saveFolder, DefaultFolder());
}

struct ComboMoveCase
{
    const char *name;
    const char *box;
    const char *setting;       // the stored value the box writes
    const char *storedAtStart; // written to the store before the start, when set
    bool reset;                // Reset settings once started
    const char *typed;         // typed over the box's text, when set
    int wheelOrKey;            // Qt::Key_Up / Qt::Key_Down, or a wheel's angle (+-120)
    const char *expected;
};

void PrintTo(const ComboMoveCase &c, std::ostream *os)
{
    *os << c.name;
}

class ComboMove : public MainWindowTest, public ::testing::WithParamInterface<ComboMoveCase>
{
};

// Mended: after a start or a Reset the box showed the stored text while the first item stayed
// current behind it, so Down stored " 2 on 2" and the next crop had the wrong height.
TEST_P(ComboMove, KeysAndWheelMoveOnFromTheTextShown)
{
    const ComboMoveCase &c = GetParam();
    Start();
    if (c.storedAtStart != nullptr) {
        store->Write(c.setting, c.storedAtStart);
        Start();
    }
    auto *box = Find<QComboBox>(c.box);
    if (c.reset) {
        box->setCurrentIndex(8);
        form->resetSettingsClicked();
    }
    if (c.typed != nullptr) {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), c.typed);
    }
    if (c.wheelOrKey == Qt::Key_Up || c.wheelOrKey == Qt::Key_Down) {
        QTest::keyClick(box, Qt::Key(c.wheelOrKey));
    } else {
        const QPointF at(box->width() / 2.0, box->height() / 2.0);
        QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, c.wheelOrKey), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
    }
    EXPECT_EQ(box->currentText(), c.expected);
    EXPECT_EQ(Stored(c.setting), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    StartResetTyping, ComboMove,
    ::testing::Values(ComboMoveCase{"TeamDownAfterFirstStart", "teamSizeBox", "SizeNumber", nullptr,
                                    false, nullptr, Qt::Key_Down, " 7 on 7"},
                      ComboMoveCase{"TeamUpAfterStoredStart", "teamSizeBox", "SizeNumber",
                                    " 9 on 9", false, nullptr, Qt::Key_Up, " 8 on 8"},
                      ComboMoveCase{"TeamWheelAfterStart", "teamSizeBox", "SizeNumber", "10 on 10",
                                    false, nullptr, 120, " 9 on 9"},
                      ComboMoveCase{"TeamUpAfterReset", "teamSizeBox", "SizeNumber", nullptr, true,
                                    nullptr, Qt::Key_Up, " 5 on 5"},
                      ComboMoveCase{"TeamDownAfterTyping", "teamSizeBox", "SizeNumber", nullptr,
                                    false, " 3 on 3", Qt::Key_Down, " 4 on 4"},
                      ComboMoveCase{"GameUpAfterStoredStart", "gameBox", "Game",
                                    "Korvane: Ravelock", false, nullptr, Qt::Key_Up,
                                    "Korvane: Veskar"},
                      ComboMoveCase{"GameWheelDownFromSelectGame", "gameBox", "Game", nullptr,
                                    false, nullptr, -120, "Korvane: Veskar"},
                      ComboMoveCase{"GameDownAfterReset", "gameBox", "Game", "Korvane: Ravelock",
                                    true, nullptr, Qt::Key_Down, "Korvane: Veskar"}),
    [](const auto &info) { return std::string(info.param.name); });

// Mended: "Korv" used to complete to "Korvane: Veskar", which was stored as the edition.
TEST_F(MainWindowTest, TypingInTheGameBoxCompletesNothing)
{
    Start();
    Show();
    auto *game = Find<QComboBox>("gameBox");
    game->setFocus();
    game->lineEdit()->selectAll();
    QTest::keyClicks(game->lineEdit(), "Korv");
    EXPECT_EQ(game->currentText(), "Korv");
    EXPECT_EQ(Stored("Game"), "Select Game:");
    EXPECT_EQ(form->selectedGame, "Select Game:");
    QTest::keyClicks(game->lineEdit(), "ane: Ravelock");
    EXPECT_EQ(Stored("Game"), "Korvane: Ravelock") << "a whole title typed is still chosen";
}

// Mended: Tab walked cell by cell through both lists.
TEST_F(MainWindowTest, TabLeavesEachListAtOnceInTheWindowsTabOrder)
{
    Start();
    ConvertScreenshots(3);
    ASSERT_EQ(Find<QTableWidget>("resultList")->rowCount(), 3);
    Show();
    const QStringList order = {"openButton",
                               "removeSelectedButton",
                               "convertButton",
                               "resultList",
                               "screenshotList",
                               "browseButton",
                               "spectatorCheck",
                               "scoreboardOnlyCheck",
                               "sizeSpin",
                               "teamSizeBox",
                               "saveFolderEdit",
                               "saveNameEdit",
                               "deleteOriginalsCheck",
                               "trashCheck",
                               "gameBox",
                               "openButton"};
    Find<QPushButton>("openButton")->setFocus();
    QStringList visited;
    for (int i = 0; i < order.size(); ++i) {
        // The focus may sit in a part of the control (a spin box's or combo box's editor).
        QWidget *focus = QApplication::focusWidget();
        while (focus != nullptr && !order.contains(focus->objectName())) {
            focus = focus->parentWidget();
        }
        visited.append(focus != nullptr ? focus->objectName() : QStringLiteral("?"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, order);
}

TEST_F(MainWindowTest, ResultListScrollsToEachNewRowAndTooltipsShowNamesAndPathsWhole)
{
    Start();
    Show();
    ConvertScreenshots(8);
    auto *saved = Find<QTableWidget>("resultList");
    ASSERT_EQ(saved->rowCount(), 8);
    EXPECT_GT(saved->verticalScrollBar()->maximum(), 0) << "eight rows should not fit";
    const QRect last = saved->visualItemRect(saved->item(7, 0));
    EXPECT_TRUE(saved->viewport()->rect().contains(last)) << "the newest row is out of sight";

    // What a person sees when resting the mouse on a cell or on the field.
    const auto tipAt = [](QWidget *widget, QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &help);
        const QString text = QToolTip::text();
        QToolTip::hideText();
        return text;
    };
    const std::string out = dir.File("out") + kPathSeparator;
    EXPECT_EQ(tipAt(saved->viewport(), last.center()), "Screenshot8.jpg");
    EXPECT_EQ(tipAt(saved->viewport(), saved->visualItemRect(saved->item(7, 2)).center()),
              QString::fromStdString(out + "Screenshot8.jpg"));
    auto *open = Find<QTableWidget>("screenshotList");
    open->scrollToTop();
    EXPECT_EQ(tipAt(open->viewport(), open->visualItemRect(open->item(0, 0)).center()), "a.bmp");
    EXPECT_EQ(tipAt(open->viewport(), open->visualItemRect(open->item(0, 3)).center()),
              QString::fromStdString(dir.File("a.bmp")));
    auto *folder = Find<QLineEdit>("saveFolderEdit");
    EXPECT_EQ(tipAt(folder, folder->rect().center()), QString::fromStdString(out));
}

// Mended: a close request during a run was dropped.
TEST_F(MainWindowTest, CloseDuringARunIsHonouredAfterTheScreenshotInHand)
{
    Start();
    Show();
    ChooseGame("Korvane: Ravelock");
    Find<QLineEdit>("saveFolderEdit")->setText(QString::fromStdString(dir.File("out")));
    Find<QSpinBox>("sizeSpin")->setValue(10);
    dialogs.files = {Screenshot("a.bmp", 800, 600), Screenshot("b.bmp", 640, 480),
                     Screenshot("c.bmp", 1024, 768), Screenshot("d.bmp", 800, 600)};
    Open();
    bool closedAtOnce = true;
    dialogs.onMessage = [&](const QString &) { closedAtOnce = form->close(); };
    Convert();

    EXPECT_FALSE(closedAtOnce) << "closed in the middle of the run";
    EXPECT_FALSE(form->isVisible()) << "the close request was dropped";
    EXPECT_FALSE(form->IsBusy());
    EXPECT_EQ(Column("resultList", 0), QStringList{"Screenshot1.jpg"}) << "c and d were converted";
    std::vector<std::string> written;
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path() / "out")) {
        written.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{"Screenshot1.jpg"});
}

// Mended: Open left the window unpainted, without a busy cursor, until every file was measured.
TEST_F(MainWindowTest, OpenShowsABusyCursorKeepsPaintingAndTakesACloseAfterTheFileInHand)
{
    Start();
    Show();
    ChooseGame("Korvane: Veskar");
    dialogs.files = {Screenshot("a.bmp", 800, 600), Screenshot("b.bmp", 800, 600),
                     Screenshot("c.bmp", 800, 600)};
    auto *list = Find<QTableWidget>("screenshotList");
    int rowsWhenServiced = -1;
    Qt::CursorShape cursorWhenServiced = Qt::ArrowCursor;
    bool closedAtOnce = true;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, form.get(), [&] {
        if (rowsWhenServiced < 0) {
            rowsWhenServiced = list->rowCount();
            const QCursor *cursor = QApplication::overrideCursor();
            cursorWhenServiced = cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
            closedAtOnce = form->close();
        }
    });
    form->openClicked();
    EXPECT_TRUE(form->IsBusy()) << "the files were measured on the window's thread";
    EXPECT_FALSE(Find<QPushButton>("convertButton")->isEnabled());
    WaitForWork();

    EXPECT_EQ(rowsWhenServiced, 1) << "the first row was not shown on its own";
    EXPECT_EQ(cursorWhenServiced, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor stayed";
    EXPECT_FALSE(closedAtOnce);
    // Files measured before the close came in are listed, in order.
    const QStringList listed = Column("screenshotList", 0);
    EXPECT_EQ(listed, (QStringList{"a.bmp", "b.bmp", "c.bmp"}.mid(0, listed.size())));
    EXPECT_FALSE(form->isVisible());
}

struct WatchStopCase
{
    const char *name;
    void (*stop)(MainWindow &form);
    bool windowStays;
};

void PrintTo(const WatchStopCase &c, std::ostream *os)
{
    *os << c.name;
}

class WatchFolder : public MainWindowTest, public ::testing::WithParamInterface<WatchStopCase>
{
};

// Watch Folder converts each screenshot that appears in the folder into a result row and a
// JPEG; however the watch is stopped, it finishes the screenshot in hand and converts no other.
TEST_P(WatchFolder, ConvertsWhatAppearsUntilStoppedAfterTheScreenshotInHand)
{
    Start();
    Show();
    const std::string watched = dir.File("ScreenShots");
    std::filesystem::create_directories(watched);
    Screenshot("ScreenShots/old.bmp", 800, 600);
    form->findGameScreenshots = [&] { return watched; };
    // No waiting for files to settle: those written here are whole once they are there.
    form->watchTimes = {std::chrono::milliseconds(0), std::chrono::milliseconds(1000),
                        std::chrono::milliseconds(1000), std::chrono::milliseconds(10)};
    ChooseGame("Korvane: Ravelock");
    const std::string out = dir.File("out");
    Find<QLineEdit>("saveFolderEdit")->setText(Q(out));
    Find<QSpinBox>("sizeSpin")->setValue(10);
    dialogs.folder = Q(watched);
    form->watchFolderClicked();
    EXPECT_EQ(dialogs.folderTitle, texts::kWatchFolderTitle);
    EXPECT_EQ(dialogs.folderRoot, Q(watched)) << "the game's folder is not offered first";
    ASSERT_TRUE(form->IsWatching());
    EXPECT_FALSE(Find<QPushButton>("convertButton")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>("spectatorCheck")->isEnabled());
    auto *label = Find<QLabel>("watchLabel");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return label->text() == Q(texts::WatchingFolder(watched)); }, 10000))
        << label->text().toStdString();

    Screenshot("ScreenShots/a.bmp", 800, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Column("resultList", 0).isEmpty(); }, 30000))
        << dialogs.messages.join('\n').toStdString() << label->text().toStdString();
    EXPECT_EQ(Column("resultList", 0), QStringList{"Screenshot1.jpg"}) << "old.bmp was converted";
    // Ravelock's 800 x 600 scoreboard of six a side, 637 x 277, at 10 %.
    const kv::imaging::WorkingBitmap jpeg = kv::imaging::LoadJpegFile(out + "/Screenshot1.jpg");
    EXPECT_EQ(jpeg.Width(), 63);
    EXPECT_EQ(jpeg.Height(), 27);

    // The stop comes while b.bmp, which Ravelock does not support, is in hand.
    dialogs.onMessage = [&](const QString &) { GetParam().stop(*form); };
    Screenshot("ScreenShots/b.bmp", 640, 480);
    Screenshot("ScreenShots/c.bmp", 800, 600);
    WaitForWork();
    EXPECT_EQ(dialogs.messages, QStringList{Q(texts::ResolutionNotSupported(1))});
    EXPECT_FALSE(form->IsWatching());
    EXPECT_EQ(Column("resultList", 0), QStringList{"Screenshot1.jpg"}) << "c.bmp was converted";
    std::vector<std::string> written;
    for (const auto &entry : std::filesystem::directory_iterator(out)) {
        written.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{"Screenshot1.jpg"});
    EXPECT_EQ(form->isVisible(), GetParam().windowStays);
    if (GetParam().windowStays) {
        EXPECT_TRUE(Find<QPushButton>("convertButton")->isEnabled());
        EXPECT_FALSE(label->isVisible());
        EXPECT_TRUE(Find<QAction>("watchFolderAction")->isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stopped, WatchFolder,
    ::testing::Values(
        WatchStopCase{"FromTheMenu",
                      [](MainWindow &form) {
                          auto *stop = form.findChild<QAction *>("stopWatchingAction");
                          ASSERT_TRUE(stop->isVisible() && stop->isEnabled());
                          stop->trigger();
                      },
                      true},
        WatchStopCase{"ByClosingTheWindow", [](MainWindow &form) { form.close(); }, false},
        WatchStopCase{"ByTheSystem", [](MainWindow &form) { form.endRequested(); }, false}),
    [](const auto &info) { return std::string(info.param.name); });

struct StartPositionCase
{
    const char *name;
    QRect screen;
    QPoint expected;
};

void PrintTo(const StartPositionCase &c, std::ostream *os)
{
    *os << c.name;
}

class StartPosition : public ::testing::TestWithParam<StartPositionCase>
{
};

// A 413 x 430 frame: the 413 x 405 client area under a menu bar.
TEST_P(StartPosition, IsTheStartPointMovedJustInsideTheScreen)
{
    EXPECT_EQ(MainWindow::StartPosition(QSize(413, 430), GetParam().screen), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, StartPosition,
    ::testing::Values(
        StartPositionCase{"LargeScreenKeepsIt", QRect(0, 0, 1920, 1050), QPoint(406, 282)},
        StartPositionCase{"JustLargeEnough", QRect(0, 0, 819, 712), QPoint(406, 282)},
        StartPositionCase{"NarrowMovesLeft", QRect(0, 0, 800, 768), QPoint(387, 282)},
        StartPositionCase{"LowMovesUp", QRect(0, 0, 1024, 600), QPoint(406, 170)},
        StartPositionCase{"PanelAboveAndLeft", QRect(500, 400, 1024, 768), QPoint(500, 400)},
        StartPositionCase{"SmallerThanTheWindowKeepsItsCorner", QRect(0, 0, 320, 240),
                          QPoint(0, 0)}),
    [](const auto &info) { return std::string(info.param.name); });

// Mended: the window opened at (0, 0).
TEST_F(MainWindowTest, WindowOpensAt406By282OrAsNearAsTheScreenAllows)
{
    Start();
    Show();
    const QRect screen = form->screen()->availableGeometry();
    const QRect frame = form->frameGeometry();
    EXPECT_TRUE(screen.contains(frame))
        << "partly off a screen of " << screen.width() << " x " << screen.height();
    EXPECT_EQ(frame.x(), std::min(406, screen.right() + 1 - frame.width()));
    EXPECT_EQ(frame.y(), std::min(282, screen.bottom() + 1 - frame.height()));
}

struct PlaceCase
{
    const char *name;
    QRect designed;
    double scale;
    int firstExtra, secondExtra;
    QRect expected;
};

void PrintTo(const PlaceCase &c, std::ostream *os)
{
    *os << c.name;
}

class ControlPlace : public ::testing::TestWithParam<PlaceCase>
{
};

// The two lists as designed take the height the window gains or loses; what lies below a list
// moves with it, and at 1.5 times the font size every edge is 1.5 times as far out.
TEST_P(ControlPlace, FollowsTheScaleAndTheListsAbove)
{
    const QRect first(8, 40, 401, 97);
    const QRect second(8, 264, 401, 97);
    const PlaceCase &c = GetParam();
    EXPECT_EQ(MainWindow::PlaceFor(c.designed, c.scale, first, second, c.firstExtra, c.secondExtra),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, ControlPlace,
    ::testing::Values(
        PlaceCase{"ConvertAsDesigned", QRect(328, 368, 81, 33), 1, 0, 0, QRect(328, 368, 81, 33)},
        PlaceCase{"FirstListGrows", QRect(8, 40, 401, 97), 1, 30, 31, QRect(8, 40, 401, 127)},
        PlaceCase{"GroupMovesWithFirstList", QRect(8, 144, 129, 113), 1, 30, 31,
                  QRect(8, 174, 129, 113)},
        PlaceCase{"SecondListMovesAndGrows", QRect(8, 264, 401, 97), 1, 30, 31,
                  QRect(8, 294, 401, 128)},
        PlaceCase{"ConvertMovesWithBoth", QRect(328, 368, 81, 33), 1, 30, 31,
                  QRect(328, 429, 81, 33)},
        PlaceCase{"ListsGiveWay", QRect(328, 368, 81, 33), 1, -20, -20, QRect(328, 328, 81, 33)},
        PlaceCase{"LargerFonts", QRect(8, 8, 75, 25), 1.5, 0, 0, QRect(12, 12, 113, 38)}),
    [](const auto &info) { return std::string(info.param.name); });

// Mended: the window could not be made taller, and its lists showed no more rows.
TEST_F(MainWindowTest, ATallerWindowShowsMoreRowsAndKeepsConvertAtTheBottom)
{
    Start();
    Show();
    auto *list = Find<QTableWidget>("screenshotList");
    auto *convert = Find<QPushButton>("convertButton");
    EXPECT_EQ(list->geometry(), QRect(8, 40, 401, 97));
    EXPECT_EQ(convert->geometry(), QRect(328, 368, 81, 33));
    const int below = form->centralWidget()->height() - convert->geometry().bottom();
    form->resize(form->width(), form->height() + 100);
    EXPECT_EQ(list->height(), 97 + 50);
    EXPECT_EQ(Find<QTableWidget>("resultList")->height(), 97 + 50);
    EXPECT_EQ(form->centralWidget()->height() - convert->geometry().bottom(), below);
    EXPECT_LT(form->minimumHeight(), 405) << "the lists cannot give way on a low screen";
}

// The crop preview as a player meets it: opened on a row, then following the settings.
class CropPreviewTest : public MainWindowTest
{
protected:
    CropPreview *Preview() const { return form->findChild<CropPreview *>(); }
    QString Said() const { return Preview()->findChild<QLabel *>("OutputSize")->text(); }
    QImage Shown() const { return Preview()->findChild<QLabel *>("Picture")->pixmap().toImage(); }
};

TEST_F(CropPreviewTest, DoubleClickShowsTheCropAndItFollowsEverySettingItDependsOn)
{
    Start();
    Show();
    ChooseGame("Korvane: Ravelock");
    dialogs.files = {Screenshot("board.bmp", 1680, 1050)};
    Open();
    auto *list = Find<QTableWidget>("screenshotList");
    const QPoint cell = list->visualItemRect(list->item(0, 0)).center();
    // A double click is a click followed by the double-click event, as the system sends it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    ASSERT_NE(Preview(), nullptr) << "no preview after a double click";
    ASSERT_TRUE(Preview()->isVisible());

    struct Step
    {
        const char *did;
        std::function<void()> change;
        std::optional<QRect> crop;
        QString said;
    };
    auto *spectator = Find<QCheckBox>("spectatorCheck");
    auto *cut = Find<QCheckBox>("scoreboardOnlyCheck");
    const std::vector<Step> steps = {
        {"opened at 6 on 6", [] {}, QRect(170, 105, 1337, 321), "Output: 1337 x 321 pixels"},
        {"10 on 10",
         [&] {
             Find<QComboBox>("teamSizeBox")->lineEdit()->selectAll();
             QTest::keyClicks(Find<QComboBox>("teamSizeBox")->lineEdit(), "10 on 10");
         },
         QRect(170, 105, 1337, 465), "Output: 1337 x 465 pixels"},
        {"spectator",
         [&] {
             QTest::mouseClick(spectator, Qt::LeftButton, {}, QPoint(4, spectator->height() / 2));
         },
         QRect(170, 105, 1337, 486), "Output: 1337 x 486 pixels"},
        {"75 %", [&] { Find<QSpinBox>("sizeSpin")->setValue(75); }, QRect(170, 105, 1337, 486),
         "Output: 1002 x 364 pixels"},
        {"whole picture",
         [&] { QTest::mouseClick(cut, Qt::LeftButton, {}, QPoint(4, cut->height() / 2)); },
         std::nullopt, "Output: 1260 x 787 pixels"},
        {"no size",
         [&] {
             auto *size = Find<QSpinBox>("sizeSpin")->findChild<QLineEdit *>();
             size->selectAll();
             QTest::keyClick(size, Qt::Key_Backspace);
         },
         std::nullopt, "'' is not a valid integer value"},
        {"Veskar", [&] { ChooseGame("Korvane: Veskar"); }, std::nullopt,
         "1680 x 1050: not supported"},
    };
    for (const Step &step : steps) {
        step.change();
        EXPECT_EQ(Preview()->crop(), step.crop) << step.did;
        EXPECT_EQ(Said(), step.said) << step.did;
    }
}

TEST_F(CropPreviewTest, DrawsTheRectangleOnTheScaledScreenshotAndDimsWhatIsCutAway)
{
    Start();
    Show();
    ChooseGame("Korvane: Veskar");
    dialogs.files = {Screenshot("white.bmp", 1024, 768)};
    Open();
    Find<QTableWidget>("screenshotList")->setCurrentCell(0, 0);
    Find<QAction>("previewAction")->trigger();
    ASSERT_NE(Preview(), nullptr);
    // 782 x 304 at (145, 30) in a white 1024 x 768 picture.
    ASSERT_EQ(Preview()->crop(), QRect(145, 30, 782, 304));
    const QImage shown = Shown();
    ASSERT_FALSE(shown.isNull());
    EXPECT_NEAR(shown.width() * 768.0 / 1024, shown.height(), 1) << "not scaled to fit";
    const double scale = shown.width() / 1024.0;
    const auto at = [&](double x, double y) {
        return shown.pixelColor(int(x * scale), int(y * scale));
    };
    EXPECT_EQ(at(145 + 391, 30 + 152), QColor(Qt::white)) << "inside the crop";
    EXPECT_EQ(at(145, 30 + 152), QColor(255, 0, 0)) << "on its left edge";
    EXPECT_EQ(at(145 + 391, 30 + 304), QColor(255, 0, 0)) << "on its bottom edge";
    EXPECT_LT(at(60, 600).lightness(), 200) << "outside, not dimmed";
}

TEST_F(CropPreviewTest, ContextMenuOffersPreviewAndAnUnsupportedRowSaysSo)
{
    Start();
    ChooseGame("Korvane: Ravelock");
    dialogs.files = {Screenshot("old.bmp", 640, 480)};
    Open();
    auto *list = Find<QTableWidget>("screenshotList");
    EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(list->actions().size(), 1);
    EXPECT_EQ(list->actions().first()->text(), "Preview");
    list->setCurrentCell(0, 0);
    list->actions().first()->trigger();
    ASSERT_NE(Preview(), nullptr);
    EXPECT_EQ(Said(), "640 x 480: not supported");
    EXPECT_EQ(Preview()->crop(), std::nullopt);
    EXPECT_FALSE(Shown().isNull()) << "the screenshot itself is still shown";
}

TEST_F(CropPreviewTest, OpensBesideTheWindowAndEscapeClosesIt)
{
    // Right of the window when it fits, else left, inside the screen either way.
    const QRect screen(0, 0, 1600, 900);
    EXPECT_EQ(CropPreview::BesidePosition(QRect(100, 50, 420, 450), QSize(600, 400), screen),
              QPoint(520, 50));
    EXPECT_EQ(CropPreview::BesidePosition(QRect(1000, 600, 420, 450), QSize(600, 400), screen),
              QPoint(400, 500));
    EXPECT_EQ(CropPreview::BesidePosition(QRect(500, 0, 420, 450), QSize(900, 400), screen),
              QPoint(700, 0))
        << "room on neither side: toward the roomier one, inside the screen";

    Start();
    Show();
    ChooseGame("Korvane: Ravelock");
    dialogs.files = {Screenshot("board.bmp", 1680, 1050)};
    Open();
    Find<QTableWidget>("screenshotList")->setCurrentCell(0, 0);
    Find<QAction>("previewAction")->trigger();
    ASSERT_NE(Preview(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Preview()));
    Preview()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Preview()));
    QTest::keyClick(Preview(), Qt::Key_Escape);
    EXPECT_FALSE(Preview()->isVisible());
}
