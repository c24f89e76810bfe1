// The window as a keyboard user drives it: mnemonics, page switching and Escape.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "tests/ui/ui_support.h"
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
    main.FilePage()->AddFiles(
        {testwav::WritePcm16(dir.File("long.wav"), testwav::Noise(44100 * 60, 2), 2, 44100)});
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
