// The Audio CD page with a disc image in a virtual drive, the compact progress window, and
// message boxes asked for by the worker.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/compact_window.h"
#include "layer3/layer3_encoder.h"
#include "platform/message_box.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_window.h"
#include "tests/cdda/cd_fixture.h"
#include "tests/support/local_server.h"
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

// Edits the title of the given row as a user does: F2 on the current row, the new text typed
// over the old, Return. Empty, or what went wrong.
std::string TypeTitle(QTreeWidget* tracks, int row, const QString& title) {
    tracks->setFocus();
    tracks->setCurrentItem(tracks->topLevelItem(row));
    QTest::keyClick(tracks, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor || editor->parentWidget() != tracks->viewport()) return "F2 opened no editor in the list";
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, title);
    QTest::keyClick(editor, Qt::Key_Return);
    // The list takes the text and closes the editor once the key has been handled.
    if (!RunUntil([&] { return QApplication::focusWidget() != editor; }, 10))
        return "Return left the editor open";
    return "";
}

// The text of an ID3v2 text frame (ISO 8859-1, as the tags write plain ASCII), empty when the
// file has none.
std::string TextFrame(const std::vector<std::uint8_t>& file, const std::string& id) {
    const auto frame = std::search(file.begin(), file.end(), id.begin(), id.end());
    const std::size_t at = static_cast<std::size_t>(frame - file.begin());
    if (at + 11 > file.size()) return "";
    const std::size_t size = std::size_t{file[at + 4]} << 24 | std::size_t{file[at + 5]} << 16 |
                             std::size_t{file[at + 6]} << 8 | file[at + 7];
    if (size < 1 || at + 10 + size > file.size()) return "";
    std::string text(file.begin() + static_cast<std::ptrdiff_t>(at + 11),
                     file.begin() + static_cast<std::ptrdiff_t>(at + 10 + size));  // after the encoding byte
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
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
    // Cancel as soon as the title shows the encoding under way: two minutes of audio take well
    // under a second to encode, so a fixed delay could come after the end.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (!dialog.windowTitle().startsWith("Velto - Encoding ")) return;
        poll.stop();
        dialog.CancelButton()->click();
    });
    poll.start(1);
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

TEST(AudioCdPage, ShowsTheDiscsNamesLetsTitlesBeEditedAndLooksTheDiscUpWithoutWaiting) {
    cdtest::Discs discs;
    testwav::WriteBytes(discs.dir.File("named.bin"), testcd::TrackBytes({.sectors = 300, .seed = 8}));
    const std::string sheet =
        "PERFORMER \"The Band\"\nTITLE \"The Album\"\nFILE \"named.bin\" BINARY\n"
        "TRACK 01 AUDIO\nTITLE \"First\"\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nTITLE \"Second\"\nINDEX 01 00:01:25\n"
        "TRACK 03 AUDIO\nINDEX 01 00:02:50\n";
    testwav::WriteBytes(discs.dir.File("named.cue"), std::vector<std::uint8_t>(sheet.begin(), sheet.end()));
    setenv("VELTO_CD_IMAGES", ("0=" + discs.dir.File("named.cue")).c_str(), 1);
    testwav::TempDir dir;
    const std::string profile = "[Folders]\nTrackNameTemplate=%n %t\n";
    testwav::WriteBytes(dir.File("Velto.INI"), std::vector<std::uint8_t>(profile.begin(), profile.end()));
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    QTreeWidget* tracks = page->tracks;
    ASSERT_EQ(tracks->topLevelItemCount(), 3);
    EXPECT_EQ(tracks->topLevelItem(1)->text(2), "Second");
    EXPECT_EQ(page->album->text(), "The Album");
    EXPECT_EQ(page->artist->text(), "The Band");

    // F2 edits the current track's title as the user types it; what was typed stays through a
    // lookup and reaches the file's name and tag.
    QApplication::setActiveWindow(w.window.get());
    ASSERT_TRUE(RunUntil([&] { return w.window->isActiveWindow(); }, 10));
    EXPECT_EQ(TypeTitle(tracks, 2, "Typed"), "");
    EXPECT_EQ(tracks->topLevelItem(2)->text(2), "Typed");

    // A slow server that then knows two releases: the window stays responsive meanwhile, and
    // the user's choice of the second gives its names.
    const std::string release = R"({"id": "ID", "title": "TITLE", "artist-credit": [{"name": "Looked Up"}],
        "media": [{"tracks": [{"position": 1, "title": "Eins"}, {"position": 3, "title": "Drei"}]}]})";
    auto named = [&](const char* id, const char* title) {
        std::string r = release;
        r.replace(r.find("ID"), 2, id);
        r.replace(r.find("TITLE"), 5, title);
        return r;
    };
    testnet::LocalServer server(
        200, R"({"releases": [)" + named("r1", "Erste") + "," + named("r2", "Zweite") + "]}", 700);
    testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());
    std::vector<std::string> offered;
    page->chooseRelease = [&](const std::vector<lookup::Release>& releases) {
        for (const lookup::Release& r : releases)
            offered.push_back(r.title);
        return 1;
    };
    EXPECT_EQ(page->lookUp->text(), "Look &Up");
    page->lookUp->click();
    EXPECT_FALSE(page->lookUp->isEnabled()) << "the click returned before the reply came";
    ASSERT_TRUE(RunUntil([&] { return page->lookUp->isEnabled(); }, 15));
    EXPECT_EQ(offered, (std::vector<std::string>{"Erste", "Zweite"}));
    EXPECT_EQ(page->album->text(), "Zweite");
    EXPECT_EQ(page->artist->text(), "Looked Up");
    EXPECT_EQ(tracks->topLevelItem(0)->text(2), "Eins");
    EXPECT_EQ(tracks->topLevelItem(2)->text(2), "Typed");

    // Go takes the names into the files' names and tags.
    page->SetFolder(QString::fromStdString(dir.Path()));
    tracks->topLevelItem(2)->setSelected(true);
    w.window->GoButton()->click();
    ASSERT_TRUE(w.BatchEnded());
    const std::vector<std::uint8_t> mp3 = testwav::ReadBytes(dir.File("03 Typed.mp3"));
    EXPECT_TRUE(testmp3::DecodeFile(dir.File("03 Typed.mp3")).Clean());
    EXPECT_EQ(TextFrame(mp3, "TIT2"), "Typed");
    EXPECT_EQ(TextFrame(mp3, "TALB"), "Zweite");
}

TEST(AudioCdPage, ALookupThatFindsNothingSaysSo) {
    cdtest::Discs discs;
    discs.Insert(0, {{.sectors = 100}});
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    w.window->ShowPage(MainWindow::kAudioCdPage);
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    testnet::LocalServer server(404, R"({"error": "Not Found"})");
    testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());
    page->lookUp->click();
    ASSERT_TRUE(RunUntil([&] { return page->lookUp->isEnabled(); }, 15));
    EXPECT_EQ(page->lookupStatus->text(), "No disc information found");
}

// The window closed mid-lookup: with the request still waiting for a slow server, or with its
// reply already queued to the page, the window goes at once and nothing of the lookup is left to
// run (the queued reply is dropped with the page).
TEST(AudioCdPage, AWindowClosedMidLookupGoesAtOnceAndLeavesNothingRunning) {
    cdtest::Discs discs;
    discs.Insert(0, {{.sectors = 100}});
    testwav::TempDir dir;
    for (const int delayMs : {20000, 0}) {
        SCOPED_TRACE(delayMs);
        testnet::LocalServer server(404, "{}", delayMs);
        testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());
        auto w = std::make_unique<Window>(dir.File("Velto.INI"));
        w->window->ShowPage(MainWindow::kAudioCdPage);
        ASSERT_TRUE(w->window->AudioCdPage()->LookingUp());
        // The event loop does not turn here, so that a reply stays queued.
        const auto asked = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (server.Requests().empty() && std::chrono::steady_clock::now() < asked)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(server.Requests().size(), 1u);
        if (delayMs == 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));

        const auto start = std::chrono::steady_clock::now();
        w.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        if (delayMs > 0) {
            EXPECT_TRUE(RunUntil([&] { return server.HungUp() == 1; }, 2)) << "the request was left running";
        }
        QApplication::processEvents();
    }
}

TEST(AudioCdPage, LooksADiscUpByItselfWhenItIsListedWhileTheWindowGoesOn) {
    cdtest::Discs discs;
    discs.Insert(0, {{.sectors = 150}, {.sectors = 150, .seed = 2}});
    discs.Insert(1, {{true, 100}});
    testnet::LocalServer server(200, R"({"releases": [{"id": "r1", "title": "Gefunden",
        "artist-credit": [{"name": "Looked Up"}],
        "media": [{"tracks": [{"position": 1, "title": "Eins"}, {"position": 2, "title": "Zwei"}]}]}]})",
                                2000);
    testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());
    testwav::TempDir dir;
    Window w(dir.File("Velto.INI"));
    QApplication::setActiveWindow(w.window.get());
    ASSERT_TRUE(RunUntil([&] { return w.window->isActiveWindow(); }, 10));
    const auto start = std::chrono::steady_clock::now();
    w.window->ShowPage(MainWindow::kAudioCdPage);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    ui::CCDAudioPage* page = w.window->AudioCdPage();
    QTreeWidget* tracks = page->tracks;
    ASSERT_EQ(tracks->topLevelItemCount(), 2);
    EXPECT_TRUE(page->LookingUp());
    EXPECT_EQ(page->lookupStatus->text(), "Looking up...");
    EXPECT_FALSE(page->lookUp->isEnabled());

    // The user types a title while the server takes its time; the event loop never stalls.
    EXPECT_EQ(TypeTitle(tracks, 1, "Mine"), "");
    auto last = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longest{};
    ASSERT_TRUE(RunUntil(
        [&] {
            const auto now = std::chrono::steady_clock::now();
            longest = std::max(longest, now - last);
            last = now;
            return !page->LookingUp();
        },
        15));
    EXPECT_LT(longest, std::chrono::milliseconds(1000));
    EXPECT_TRUE(page->lookUp->isEnabled());
    EXPECT_EQ(page->lookupStatus->text(), "");
    EXPECT_EQ(page->album->text(), "Gefunden");
    EXPECT_EQ(page->artist->text(), "Looked Up");
    EXPECT_EQ(tracks->topLevelItem(0)->text(2), "Eins");
    EXPECT_EQ(tracks->topLevelItem(1)->text(2), "Mine");

    // The same disc read again keeps its names and is not looked up again; "Look Up" is.
    page->refresh->click();
    EXPECT_FALSE(page->LookingUp());
    EXPECT_EQ(tracks->topLevelItem(0)->text(2), "Eins");
    EXPECT_EQ(tracks->topLevelItem(1)->text(2), "Mine");
    EXPECT_EQ(server.Requests().size(), 1u);
    page->lookUp->click();
    EXPECT_TRUE(page->LookingUp());

    // A reply for a disc that is no longer listed names nothing.
    page->drives->setCurrentIndex(1);
    ASSERT_EQ(tracks->topLevelItemCount(), 0);
    ASSERT_TRUE(RunUntil([&] { return !page->LookingUp(); }, 15));
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(page->album->text(), "");
    EXPECT_EQ(page->lookupStatus->text(), "");
    // With no disc listed there is nothing to look up.
    EXPECT_FALSE(page->lookUp->isEnabled());
    page->drives->setCurrentIndex(0);
    EXPECT_TRUE(page->lookUp->isEnabled());
}
