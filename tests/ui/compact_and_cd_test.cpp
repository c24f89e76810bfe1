// The Audio CD page with a disc image in a virtual drive, the compact progress window, and
// message boxes asked for by the worker.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <thread>

#include "app/compact_window.h"
#include "layer3/layer3_encoder.h"
#include "platform/message_box.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_window.h"
#include "tests/cdda/cd_fixture.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/process.h"
#include "tests/ui/ui_support.h"
#include "ui/cd_audio_page.h"

namespace {

using uitest::RunUntil;
using uitest::Window;

// Answers the next modal box on the user-interface thread as a user clicking its button.
void ClickWhenShown(QMessageBox::StandardButton button) {
    QTimer::singleShot(10, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return ClickWhenShown(button);
        box->button(button)->click();
    });
}

}  // namespace

TEST(AudioCdPage, ListsTheDiscsAudioTracksAndGoExtractsAndEncodesTheSelected) {
    cdtest::Discs discs;
    discs.Insert(2, {{false, 160, testcd::Fill::Noise, 1}, {true, 100}, {false, 230, testcd::Fill::Tone, 3}});
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    ASSERT_EQ(page->drives->count(), 1);
    QTreeWidget* tracks = page->tracks;
    ASSERT_EQ(tracks->topLevelItemCount(), 2);  // the data track is not listed
    EXPECT_EQ(tracks->topLevelItem(0)->text(0), "Track  1");
    EXPECT_EQ(tracks->topLevelItem(1)->text(0), "Track  3");
    EXPECT_EQ(tracks->topLevelItem(1)->text(1), "0:03");

    page->SetFolder(QString::fromStdString(dir.Path()));
    tracks->topLevelItem(1)->setSelected(true);
    w.window->GoButton()->click();
    EXPECT_FALSE(page->refresh->isEnabled());
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_TRUE(page->refresh->isEnabled());
    const testmp3::Decoded mp3 = testmp3::DecodeFile(dir.File("Track 03.mp3"));
    EXPECT_TRUE(mp3.Clean());
    EXPECT_EQ(mp3.rate, 44100);
    EXPECT_FALSE(testwav::ReadBytes(dir.File("Track 03.wav")).size() > 0);  // deleted after encoding
    EXPECT_TRUE(testwav::ReadBytes(dir.File("Track 01.mp3")).empty());
    EXPECT_TRUE(tracks->selectedItems().isEmpty());  // the batch moved through the selection
    EXPECT_EQ(w.boxes->Count(), 0u);
}

TEST(CompactWindow, EncodesTheFileAndClosesItself) {
    testwav::TempDir dir;
    const std::string wav =
        testwav::WritePcm16(dir.File("song.wav"), testwav::Noise(44100 * 2, 2, 3), 2, 44100);
    CMakerCommandLineInfo info;
    info.fileName = wav;
    info.mono = 1;
    EncodingSettings settings;
    CompactWindow dialog(info, settings, [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    dialog.Start();
    dialog.exec();  // returns when the window closes itself
    EXPECT_TRUE(dialog.Completed());
    const testmp3::Decoded mp3 = testmp3::DecodeFile(dir.File("song.mp3"));
    EXPECT_TRUE(mp3.Clean());
    EXPECT_EQ(mp3.channels, 1);
}

TEST(CompactWindow, CancelLeavesAShorterWholeFile) {
    testwav::TempDir dir;
    const std::string wav =
        testwav::WritePcm16(dir.File("long.wav"), testwav::Noise(44100 * 120, 2, 3), 2, 44100);
    CMakerCommandLineInfo info;
    info.fileName = wav;
    EncodingSettings settings;
    CompactWindow dialog(info, settings, [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    QTimer::singleShot(300, &dialog, [&] {
        EXPECT_TRUE(dialog.windowTitle().startsWith("Velto - Encoding "));
        dialog.CancelButton()->click();
    });
    dialog.Start();
    dialog.exec();
    EXPECT_FALSE(dialog.Completed());
    const testmp3::Decoded mp3 = testmp3::DecodeFile(dir.File("long.mp3"));
    EXPECT_TRUE(mp3.Clean());
    EXPECT_GT(mp3.frames, 0);
    EXPECT_LT(mp3.SamplesPerChannel(), 44100u * 120);
}

TEST(QtMessageBoxes, AWorkersBoxIsShownByTheWindowEvenWhileItWaitsForTheWorker) {
    platform::QtWindow window([](const platform::Message&) { return std::intptr_t{0}; });
    platform::QtMessageBox boxes(&window);
    std::atomic<int> answer{0};
    std::atomic<bool> done{false};
    ClickWhenShown(QMessageBox::No);
    std::thread worker([&] {
        answer = platform::MessageBox("Go on?", "Velto", platform::MB_YESNO);
        done = true;
    });
    ASSERT_TRUE(RunUntil([&] { return done.load(); }, 30));
    worker.join();
    EXPECT_EQ(answer, platform::IDNO);

    // The user-interface thread waiting for the worker, handling only what the worker sends.
    done = false;
    std::thread second([&] {
        answer = platform::MessageBox("Again?", "Velto", platform::MB_OKCANCEL);
        done = true;
    });
    ClickWhenShown(QMessageBox::Ok);
    while (!done)
        window.DispatchPending();
    second.join();
    EXPECT_EQ(answer, platform::IDOK);
}

TEST(StartUp, WithoutADisplayTheWindowPointsToTheConsolePrograms) {
    testcd::ScopedEnv noPlatform("QT_QPA_PLATFORM", std::nullopt);
    const testproc::Result r = testproc::Run("velto", {});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("needs a display"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("velto-batch"), std::string::npos) << r.output;
}
