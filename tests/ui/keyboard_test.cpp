// The window as a keyboard user drives it: mnemonics, page switching and Escape.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "tests/cdda/cd_fixture.h"
#include "tests/support/local_server.h"
#include "tests/ui/ui_support.h"
#include "ui/cd_audio_page.h"
#include "ui/file_page.h"
#include "ui/settings_page.h"

using uitest::RunUntil;
using uitest::Window;

TEST(Keyboard, MnemonicsPagesAndEscapeReachEveryCommand) {
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    MainWindow& main = *w.window;
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(RunUntil([&] { return main.isActiveWindow(); }, 10));
    // A batch that lasts while the keys are pressed: a minute of noise encodes in a fraction of
    // a second, so the list names it under twenty names.
    const std::string first =
        testwav::WritePcm16(dir.File("long.wav"), testwav::Noise(44100 * 60, 2), 2, 44100);
    std::vector<std::string> files{first};
    for (int n = 2; n <= 20; ++n) {
        files.push_back(dir.File("long" + std::to_string(n) + ".wav"));
        std::filesystem::create_hard_link(first, files.back());
    }
    main.FilePage()->AddFiles(files);
    main.FilePage()->List()->setFocus();
    // Keys go where a keyboard sends them: to the widget with the focus.
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };

    key(Qt::Key_Tab, Qt::ControlModifier);  // the next page
    EXPECT_EQ(main.Pages()->currentIndex(), MainWindow::kAudioCdPage);
    key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(main.Pages()->currentIndex(), MainWindow::kFilesPage);

    key(Qt::Key_G, Qt::AltModifier);  // "&Go": the button shows itself pressed, then clicks
    ASSERT_TRUE(RunUntil([&] { return main.Job().m_bRunning != 0; }, 10));
    // The slider reaches a running batch: idle priority within ten frames.
    main.ShowPage(MainWindow::kSettingsPage);
    main.SettingsPage()->priority->setFocus();
    key(Qt::Key_Home);
    EXPECT_EQ(main.SettingsPage()->priority->value(), 0);
    EXPECT_TRUE(RunUntil([&] { return main.Job().m_nPriority == -15; }, 20));

    w.boxes->Answer(platform::IDNO);
    key(Qt::Key_Escape);  // the close procedure asks
    EXPECT_EQ(w.boxes->Texts().back(), "This will terminate encoding, \ndo you really want to exit?");
    EXPECT_TRUE(main.isVisible());
    key(Qt::Key_S, Qt::AltModifier);  // "&Stop"
    ASSERT_TRUE(w.BatchEnded());

    main.ShowPage(MainWindow::kFilesPage);
    key(Qt::Key_C, Qt::AltModifier);  // "&Clear All"
    EXPECT_TRUE(RunUntil([&] { return main.FilePage()->List()->topLevelItemCount() == 0; }, 10));
    key(Qt::Key_Escape);  // idle: closes without a question
    EXPECT_FALSE(main.isVisible());
}

TEST(Keyboard, TheAudioCdPagesMnemonicsLookUpAndGoTakesATitleStillBeingEdited) {
    cdtest::Discs discs;
    discs.Insert(0, {{.sectors = 150}, {.sectors = 150, .seed = 2}});
    testwav::TempDir dir;
    const std::string profile = "[Folders]\nTrackNameTemplate=%n %t\n";
    testwav::WriteBytes(dir.File("Velto.INI"), std::vector<std::uint8_t>(profile.begin(), profile.end()));
    Window w(dir.File("Velto.INI"));
    MainWindow& main = *w.window;
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(RunUntil([&] { return main.isActiveWindow(); }, 10));
    main.ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = main.AudioCdPage();
    page->SetFolder(QString::fromStdString(dir.Path()));
    testnet::LocalServer server(404, R"({"error": "Not Found"})");
    testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());

    QTreeWidget* tracks = page->tracks;
    tracks->setFocus();
    QTest::keyClick(tracks, Qt::Key_U, Qt::AltModifier);  // "Look &Up"
    ASSERT_TRUE(RunUntil([&] { return page->lookupStatus->text() == "No disc information found"; }, 15));
    EXPECT_EQ(server.Requests().size(), 1u);

    // A title typed but not yet confirmed with Return when Alt+G starts the batch: disabling the
    // page closes the editor, which hands the title over before the worker reads the selection.
    tracks->setCurrentItem(tracks->topLevelItem(1));
    QTest::keyClick(tracks, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "Late");
    QTest::keyClick(editor, Qt::Key_G, Qt::AltModifier);  // "&Go"
    ASSERT_TRUE(RunUntil([&] { return main.Job().m_bRunning != 0; }, 10));
    ASSERT_TRUE(w.BatchEnded());
    EXPECT_FALSE(testwav::ReadBytes(dir.File("02 Late.mp3")).empty());
    EXPECT_EQ(w.boxes->Count(), 0u);
}
