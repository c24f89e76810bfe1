// The main window as a user drives it: the Files page, Go and Stop, closing, the pages'
// values and the profile they are kept in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QUrl>
#include <atomic>

#include "job/file_list.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/process.h"
#include "tests/ui/ui_support.h"
#include "ui/dae_page.h"
#include "ui/file_page.h"
#include "ui/settings_page.h"

namespace {

using uitest::RunUntil;
using uitest::Window;

std::string NoiseWav(const testwav::TempDir& dir, const std::string& name, int seconds, int channels,
                     int rate) {
    return testwav::WritePcm16(dir.File(name), testwav::Noise(rate * seconds, channels, 7), channels, rate);
}

void Drop(QWidget* target, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths)
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    data.setUrls(urls);
    // As a file manager's drag arrives: it enters the list, then drops.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

std::vector<QString> Row(QTreeWidget* list, int row) {
    std::vector<QString> texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts.push_back(list->topLevelItem(row)->text(c));
    return texts;
}

}  // namespace

TEST(MainWindow, StartsOnTheFilesPageWithTheOtherPagesNotYetMade) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    EXPECT_EQ(w.window->windowTitle(), "Velto");
    QTabWidget* tabs = w.window->Pages();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "Files");
    EXPECT_EQ(tabs->tabText(1), "Audio CD");
    EXPECT_EQ(tabs->tabText(2), "DAE");
    EXPECT_EQ(tabs->tabText(3), "Settings");
    EXPECT_TRUE(w.window->PageHasWindow(MainWindow::kFilesPage));
    EXPECT_FALSE(w.window->PageHasWindow(MainWindow::kSettingsPage));
    EXPECT_FALSE(w.window->PageHasWindow(MainWindow::kDaePage));
    EXPECT_EQ(w.window->GoButton()->text(), "&Go");
    tabs->setCurrentIndex(3);  // as a click on the tab does
    EXPECT_TRUE(w.window->PageHasWindow(MainWindow::kSettingsPage));
    QComboBox* modes = w.window->SettingsPage()->encodingMode;
    ASSERT_EQ(modes->count(), 4);
    EXPECT_EQ(modes->currentText(), "Minimize Audible Distortion(Default)");
    EXPECT_EQ(w.window->SettingsPage()->bitrate->currentText(), "128 Kbps");
    EXPECT_FALSE(w.window->SettingsPage()->useCodec->isEnabled());  // no codec in this window
}

TEST(MainWindow, FilesPageListsAddedFilesAtTheEndAndDroppedFilesOnTop) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    const std::string a = NoiseWav(dir, "a.wav", 2, 2, 44100);
    const std::string b = NoiseWav(dir, "b.wav", 1, 1, 32000);
    const std::string c = NoiseWav(dir, "c.wav", 1, 2, 48000);
    const std::string text = testwav::WriteBytes(dir.File("notes.txt"), {'h', 'i'});
    ui::CFilePage* page = w.window->FilePage();
    QTreeWidget* list = page->List();
    EXPECT_EQ(list->headerItem()->text(0), "File name");
    EXPECT_EQ(list->headerItem()->text(3), "Mode");

    page->AddFiles({a, b});
    Drop(list->viewport(), {c, text});
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(Row(list, 0), (std::vector<QString>{QString::fromStdString(c), "0:01", "48 KHz", "Stereo"}));
    EXPECT_EQ(Row(list, 1), (std::vector<QString>{QString::fromStdString(a), "0:02", "44 KHz", "Stereo"}));
    EXPECT_EQ(Row(list, 2), (std::vector<QString>{QString::fromStdString(b), "0:01", "32 KHz", "Mono"}));
    EXPECT_EQ(w.boxes->Count(), 1u);  // the text file was refused with the reader's message
    EXPECT_EQ(w.window->Files().LastFolder(), dir.Path());

    list->topLevelItem(1)->setSelected(true);
    page->RemoveButton()->click();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(0), QString::fromStdString(b));
    page->ClearButton()->click();
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

TEST(MainWindow, GoEncodesTheListWithThePagesSettingsLikeVeltoAlone) {
    testwav::TempDir dir;
    testwav::TempDir alone;
    Window w(dir.File("Velto.INI"));
    const std::string a = NoiseWav(dir, "a.wav", 2, 2, 44100);
    const std::string b = NoiseWav(dir, "b.wav", 1, 1, 32000);
    w.window->FilePage()->AddFiles({a, b});
    w.window->ShowPage(MainWindow::kSettingsPage);
    ui::CSettingsPage* s = w.window->SettingsPage();
    s->bitrate->setCurrentIndex(9);  // 160 Kbps
    s->copyright->setChecked(true);
    s->deemphasis->setCurrentIndex(2);  // CCITT

    w.window->GoButton()->click();
    EXPECT_EQ(w.window->GoButton()->text(), "&Stop");
    EXPECT_FALSE(s->bitrate->isEnabled());
    EXPECT_TRUE(s->priority->isEnabled());
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_EQ(w.window->GoButton()->text(), "&Go");
    EXPECT_TRUE(s->bitrate->isEnabled());
    EXPECT_EQ(w.window->windowTitle(), "Velto");
    EXPECT_EQ(w.settings.Bitrate, 160);
    EXPECT_EQ(w.settings.Copyright, 1);
    EXPECT_EQ(w.settings.Deemphasis, 3);

    for (const char* name : {"a", "b"}) {
        const std::string mp3 = dir.File(std::string(name) + ".mp3");
        EXPECT_TRUE(testmp3::DecodeFile(mp3).Clean()) << name;
        // The same file encoded alone by velto (its compact window, offscreen) gives the same bytes.
        const std::string copy = testwav::WriteBytes(
            alone.File(std::string(name) + ".wav"), testwav::ReadBytes(dir.File(std::string(name) + ".wav")));
        const testproc::Result r = testproc::Run("velto", {"-b160", "-c", "-e2", copy});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(testwav::ReadBytes(alone.File(std::string(name) + ".mp3")), testwav::ReadBytes(mp3))
            << name;
    }
}

TEST(MainWindow, StopAndGoAtOnceNeverHangTheWindow) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->FilePage()->AddFiles({NoiseWav(dir, "long.wav", 30, 2, 44100)});
    QPushButton* go = w.window->GoButton();
    for (int round = 0; round < 8; ++round) {
        go->click();
        ASSERT_TRUE(RunUntil([&] { return w.settings.batchFramesDone > 3; }));
        const auto start = std::chrono::steady_clock::now();
        go->click();  // Stop
        go->click();  // and at once Go again, as a double click does
        go->click();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        if (w.window->Job().m_bRunning) go->click();
        ASSERT_TRUE(w.BatchEnded());
    }
    EXPECT_EQ(go->text(), "&Go");
    EXPECT_TRUE(testmp3::DecodeFile(dir.File("long.mp3")).Clean());
}

TEST(MainWindow, ClosingDuringABatchAsksAndKeepsTheChoices) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->FilePage()->AddFiles({NoiseWav(dir, "long.wav", 60, 2, 44100)});
    w.window->ShowPage(MainWindow::kSettingsPage);
    w.window->SettingsPage()->mono->setChecked(true);
    w.window->GoButton()->click();
    ASSERT_TRUE(RunUntil([&] { return w.settings.batchFramesDone > 3; }));

    w.boxes->Answer(platform::IDNO);
    EXPECT_FALSE(w.window->close());
    EXPECT_EQ(w.boxes->Texts().back(), "This will terminate encoding, \ndo you really want to exit?");
    EXPECT_EQ(w.boxes->Shown().back().type,
              platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
    EXPECT_TRUE(w.window->Job().m_bRunning);
    EXPECT_EQ(w.profile.Read(profile::kMono), 0);

    w.boxes->Answer(platform::IDYES);
    EXPECT_TRUE(w.window->close());
    EXPECT_TRUE(w.window->Job().m_hWorkerDone.IsSet());
    EXPECT_EQ(w.profile.Read(profile::kMono), 1);
    // The stopped file is a shorter, whole MP3.
    EXPECT_TRUE(testmp3::DecodeFile(dir.File("long.mp3")).Clean());
}

TEST(MainWindow, WhatOneWindowKeepsTheNextShows) {
    testwav::TempDir dir;
    const std::string ini = dir.File("Velto.INI");
    {
        Window w(ini);
        w.window->ShowPage(MainWindow::kSettingsPage);
        ui::CSettingsPage* s = w.window->SettingsPage();
        s->bitrate->setCurrentIndex(13);
        s->encodingMode->setCurrentIndex(0);
        s->alertWhenDone->setChecked(true);
        s->original->setChecked(true);
        w.window->ShowPage(MainWindow::kDaePage);
        ui::CDaePage* d = w.window->DaePage();
        d->buffered->click();
        d->readSectors->Edit()->setText("13");
        d->readSectors->stepBy(-1);  // 12: the overlap may be 1..6
        d->synchSectors->stepBy(10);
        w.window->FilePage()->AddFiles({NoiseWav(dir, "x.wav", 1, 1, 48000)});
        EXPECT_TRUE(w.window->close());
    }
    Window w(ini);
    EXPECT_EQ(w.window->Files().LastFolder(), dir.Path());
    w.window->ShowPage(MainWindow::kSettingsPage);
    ui::CSettingsPage* s = w.window->SettingsPage();
    EXPECT_EQ(s->bitrate->currentText(), "320 Kbps");
    EXPECT_EQ(s->encodingMode->currentText(), "ISO mode");
    EXPECT_TRUE(s->alertWhenDone->isChecked());
    EXPECT_TRUE(s->original->isChecked());
    EXPECT_FALSE(s->mono->isChecked());
    EXPECT_EQ(s->priority->value(), 3);  // the slider is not kept
    w.window->ShowPage(MainWindow::kDaePage);
    ui::CDaePage* d = w.window->DaePage();
    EXPECT_TRUE(d->buffered->isChecked());
    EXPECT_EQ(d->readSectors->Text(), "12");
    EXPECT_EQ(d->synchSectors->Text(), "6");
}

TEST(MainWindow, TheDaeFieldsAreCheckedBeforeTheyAreTaken) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kDaePage);
    ui::CDaePage* d = w.window->DaePage();
    d->readSectors->Edit()->setText("twelve");
    w.window->GoButton()->click();
    EXPECT_FALSE(w.window->Job().m_bRunning);
    ASSERT_EQ(w.boxes->Count(), 1u);
    EXPECT_EQ(w.boxes->Texts()[0], "Please enter an integer.");

    d->readSectors->Edit()->setText("40");
    w.window->Pages()->setCurrentIndex(0);  // leaving the page takes the fields too
    EXPECT_EQ(w.boxes->Texts().back(), "Please enter an integer between 1 and 27.");
    EXPECT_EQ(w.window->Pages()->currentIndex(), MainWindow::kDaePage);

    d->readSectors->Edit()->setText("20");
    w.window->Pages()->setCurrentIndex(0);
    EXPECT_EQ(w.window->Pages()->currentIndex(), MainWindow::kFilesPage);
    EXPECT_EQ(w.boxes->Count(), 2u);
}
