// What a new user meets in the first hour: page keys from anywhere, alerts that say how a
// batch ended, folders and Delete on the Files page, the extraction folder, the DAE check, no
// drive, what the window keeps between runs, the version and long names.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/compact_window.h"
#include "app/version.h"
#include "cdda/cd_reader.h"
#include "job/file_list.h"
#include "layer3/layer3_encoder.h"
#include "tests/cdda/cd_fixture.h"
#include "tests/ui/ui_support.h"
#include "ui/cd_audio_page.h"
#include "ui/dae_page.h"
#include "ui/file_page.h"
#include "ui/settings_page.h"

namespace {

using uitest::RunUntil;
using uitest::Window;

std::string Wav(const std::string& path, int seconds) {
    return testwav::WritePcm16(path, testwav::Noise(44100 * seconds, 2, 5), 2, 44100);
}

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

// Records which page is in front when each message box appears.
class PageAtEachBox : public platform::MessageBoxFrontEnd {
  public:
    explicit PageAtEachBox(QTabWidget* pages)
        : pages_(pages), previous_(platform::SetMessageBoxFrontEnd(this)) {}
    ~PageAtEachBox() override { platform::SetMessageBoxFrontEnd(previous_); }
    int Show(const platform::MessageBoxRequest& request) override {
        texts.push_back(request.text);
        pages.push_back(pages_->currentIndex());
        return platform::IDOK;
    }
    std::vector<std::string> texts;
    std::vector<int> pages;

  private:
    QTabWidget* pages_;
    platform::MessageBoxFrontEnd* previous_;
};

}  // namespace

TEST(FirstHour, CtrlTabMovesBetweenPagesFromGoAndAfterTheMenus) {
    cdtest::Discs discs;  // the Audio CD page on the way looks for drives
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    MainWindow& main = *w.window;
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(RunUntil([&] { return main.isActiveWindow(); }, 10));
    main.GoButton()->setFocus();
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(main.Pages()->currentIndex(), MainWindow::kAudioCdPage);
    Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);  // round the start
    EXPECT_EQ(main.Pages()->currentIndex(), MainWindow::kSettingsPage);
    QMenu* file = main.menuBar()->actions().at(0)->menu();
    file->popup(main.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(RunUntil([&] { return file->isVisible(); }, 10));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(RunUntil([&] { return !file->isVisible(); }, 10));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &main, Qt::Key_Tab,
                    Qt::ControlModifier);
    EXPECT_EQ(main.Pages()->currentIndex(), MainWindow::kFilesPage);
}

TEST(FirstHour, TheAlertSaysNothingToEncodeStoppedOrComplete) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kSettingsPage);
    w.window->SettingsPage()->alertWhenDone->setChecked(true);
    w.window->GoButton()->click();
    EXPECT_FALSE(w.window->Job().m_bRunning);
    EXPECT_EQ(w.boxes->Texts(), std::vector<std::string>{"There is nothing to encode."});

    w.window->FilePage()->AddFiles({Wav(dir.File("long.wav"), 30)});
    w.window->GoButton()->click();
    ASSERT_TRUE(RunUntil([&] { return w.settings.batchFramesDone > 3; }));
    w.window->GoButton()->click();  // Stop
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_EQ(w.boxes->Texts().back(), "Encoding stopped.");

    w.window->FilePage()->ClearAll();
    w.window->FilePage()->AddFiles({Wav(dir.File("short.wav"), 1)});
    w.window->GoButton()->click();
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_EQ(w.boxes->Texts().back(), "Encoding Complete!");
}

TEST(FirstHour, ADroppedFolderAddsItsWavFilesByNameAndDeleteRemovesTheSelected) {
    testwav::TempDir dir;
    const std::string folder = dir.File("album");
    std::filesystem::create_directories(folder + "/bonus");
    Wav(folder + "/b.wav", 1);
    Wav(folder + "/a.WAV", 1);
    Wav(folder + "/bonus/c.wav", 1);
    testwav::WriteBytes(folder + "/notes.txt", {'x'});
    Window w(dir.File("Velto.INI"));
    ui::CFilePage* page = w.window->FilePage();
    QTreeWidget* list = page->List();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), folder + "/a.WAV");
    EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), folder + "/b.wav");
    EXPECT_EQ(w.boxes->Count(), 0u);  // no "it is a folder"
    EXPECT_TRUE(page->AddFolderAction()->isEnabled());
    page->AddFolder(folder);
    EXPECT_EQ(list->topLevelItemCount(), 4);

    w.window->GoButton()->click();
    list->setFocus();
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);  // not during a batch
    EXPECT_EQ(list->topLevelItemCount(), 4);
    ASSERT_TRUE(w.BatchEnded());
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(3)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), folder + "/b.wav");
}

TEST(FirstHour, TheTrackFolderTakesAHomeFolderTildeAndMakesEveryMissingLevel) {
    cdtest::Discs discs;
    discs.Insert(0, {{false, 100, testcd::Fill::Tone, 1}});
    testwav::TempDir dir;
    testcd::ScopedEnv home("HOME", dir.Path());
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    page->folder->setText("~/Music/new/rips");
    page->keep->setChecked(true);
    ASSERT_EQ(page->tracks->topLevelItemCount(), 1) << page->drives->count();
    page->all->click();
    w.boxes->Answer(platform::IDYES);
    w.window->GoButton()->click();
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_EQ(w.boxes->Texts().at(0),
              dir.File("Music/new/rips") + " does not exists.\nDo you want to create it?");
    EXPECT_TRUE(std::filesystem::exists(dir.File("Music/new/rips/Track 01.wav")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("Music/new/rips/Track 01.mp3")));
}

TEST(FirstHour, TheDaeCheckSpeaksOverTheDaePage) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kDaePage);
    w.window->DaePage()->readSectors->Edit()->setText("99");
    PageAtEachBox boxes(w.window->Pages());
    w.window->Pages()->setCurrentIndex(MainWindow::kSettingsPage);  // as a click on the tab
    ASSERT_EQ(boxes.texts, std::vector<std::string>{"Please enter an integer between 1 and 27."});
    EXPECT_EQ(boxes.pages, std::vector<int>{MainWindow::kDaePage});
    EXPECT_EQ(w.window->Pages()->currentIndex(), MainWindow::kDaePage);
    EXPECT_FALSE(w.window->PageHasWindow(MainWindow::kSettingsPage));

    w.window->DaePage()->readSectors->Edit()->setText("20");
    w.window->Pages()->setCurrentIndex(MainWindow::kSettingsPage);
    EXPECT_EQ(w.window->Pages()->currentIndex(), MainWindow::kSettingsPage);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST(FirstHour, WithoutDrivesTheAudioCdPageSaysSo) {
    cdtest::Discs discs;
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    EXPECT_EQ(page->drives->count(), 0);
    EXPECT_TRUE(page->driveProblem->isVisible());
    EXPECT_EQ(page->driveProblem->text(), "No CD-ROM drive found.");
}

TEST(FirstHour, ADriveTheUserMayNotOpenIsNamedWithTheWayToTheRightToOpenIt) {
    // The transport loads one library per process; ctest runs each test in its own.
    if (cdda::CAspiManager::Instance().Loaded()) GTEST_SKIP() << "the CD transport is loaded already";
    testwav::TempDir dev;
    std::filesystem::permissions(dev.Path(), std::filesystem::perms::all);
    const std::string node = testwav::WriteBytes(dev.File("sr0"), {0});
    std::filesystem::permissions(node, std::filesystem::perms::none);
    testcd::ScopedEnv library("VELTO_ASPI_LIBRARY", std::string(VELTO_BIN_DIR) + "/libwnaspi32.so");
    testcd::ScopedEnv root("VELTO_DEVICE_ROOT", dev.Path());
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    {
        // Root opens any node: this thread, which opens the nodes, checks them as another user.
        const int uid = static_cast<int>(geteuid());
        if (uid == 0) setfsuid(65534);
        w.window->ShowPage(MainWindow::kAudioCdPage);
        if (uid == 0) setfsuid(0);
    }
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    EXPECT_EQ(page->drives->count(), 0);
    EXPECT_EQ(page->driveProblem->text().toStdString(),
              "The CD-ROM drive " + node +
                  " cannot be opened: Permission denied. Add your user to the group cdrom and log in again.");
}

TEST(FirstHour, TheFilesListAndTheWindowsPlaceAreKeptBetweenRuns) {
    testwav::TempDir dir;
    const std::string ini = dir.File("Velto.INI");
    const std::string a = Wav(dir.File("a.wav"), 1), gone = Wav(dir.File("gone.wav"), 1);
    {
        Window w(ini);
        w.window->FilePage()->AddFiles({a, gone});
        w.window->move(40, 30);
        w.window->resize(600, 420);
        ASSERT_TRUE(w.window->close());
    }
    std::filesystem::remove(gone);
    {
        Window w(ini);
        ASSERT_EQ(w.window->Files().Count(), 1);
        EXPECT_EQ(w.window->Files().Path(0), a);
        EXPECT_EQ(w.window->pos(), QPoint(40, 30));
        EXPECT_EQ(w.window->size(), QSize(600, 420));
        EXPECT_EQ(w.boxes->Count(), 0u);
    }
    // A place off every screen (a monitor since unplugged) opens centred.
    profile::AppProfile(ini).Write(profile::kWindowLeft, 5000);
    Window w(ini);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(w.window->pos(),
              screen.topLeft() + QPoint((screen.width() - 600) / 2, (screen.height() - 420) / 2));
}

TEST(FirstHour, TheAboutBoxShowsTheVersionUnderTheLogo) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    QString shown;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        if (auto* version = box->findChild<QLabel*>("version")) shown = version->text();
        box->close();
    });
    for (QAction* menu : w.window->menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->text() == "&About Velto...") item->trigger();
    EXPECT_EQ(shown, QString("Version ") + kVeltoVersion);
}

TEST(FirstHour, TheCompactWindowShortensALongNameInTheMiddleAndKeepsThePercentage) {
    testwav::TempDir dir;
    const std::string name =
        "A very long name of a live recording, " + std::string(120, 'x') + " the end.wav";
    CMakerCommandLineInfo info;
    info.fileName = Wav(dir.File(name), 20);
    EncodingSettings settings;
    CompactWindow dialog(info, settings, [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    const int width = dialog.width();
    dialog.show();
    dialog.Start();
    ASSERT_TRUE(RunUntil([&] { return dialog.StatusLine()->text().contains("% done"); }, 30));
    const ui::StatusLine* status = dialog.StatusLine();
    const QString text = status->text();
    EXPECT_TRUE(text.startsWith("Encoding A very long")) << text.toStdString();
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_TRUE(text.contains(" the end.wav at 128 Kbps - ")) << text.toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(text), status->contentsRect().width());
    EXPECT_TRUE(status->FullText().contains(QString::fromStdString(name)));
    EXPECT_EQ(dialog.width(), width);  // the name did not widen the window
    dialog.CancelButton()->click();
    ASSERT_TRUE(RunUntil([&] { return !dialog.isVisible(); }, 30));
}
