// The CD track batch: selected tracks extracted after the files, encoded beside their WAV
// files, and cleaned up, driven by the main window's job logic.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "cdda/audio_cd_page.h"
#include "cdda/cd_reader.h"
#include "job/encoding_settings.h"
#include "job/main_dlg.h"
#include "job/text.h"
#include "layer3/layer3_encoder.h"
#include "platform/scripted_message_box.h"
#include "tests/cdda/cd_fixture.h"
#include "tests/support/mp3_decoder.h"

using testcd::TrackSpec;

namespace {

namespace fs = std::filesystem;

class QuietWindow : public JobWindowView {
  public:
    void SetFileBar(int, int, int) override {}
    void SetFileBarPosition(int) override {}
    void SetBatchBar(int, int, int) override {}
    void SetBatchBarPosition(int) override {}
    void SetStatus(const std::string& t) override { statuses.push_back(t); }
    void SetElapsed(const std::string&) override {}
    void SetRemaining(const std::string&) override {}
    std::string Title() const override { return "Velto"; }
    void SetTitle(const std::string&) override {}
    void SetGoButton(const std::string&, int) override {}
    void DisableStopButton() override {}
    void EnablePages(bool) override {}
    void Refresh() override {}
    void AlertDone(const std::string&, const std::string&) override {}
    std::vector<std::string> statuses;
};

class NoFiles : public FilesPageView {
  public:
    int Count() const override { return 0; }
    std::string Path(int) const override { return ""; }
    int Frames(int) const override { return 0; }
    std::string LastFolder() const override { return ""; }
};

class DaePage : public DaePageView {
  public:
    profile::DaeValues values;
    bool HasWindow() const override { return true; }
    profile::DaeValues Values() override { return values; }
};

class SettingsPage : public SettingsPageView {
  public:
    profile::SettingsValues values;
    bool HasWindow() const override { return true; }
    profile::SettingsValues Values() override { return values; }
    int PrioritySliderPosition() const override { return 3; }
};

class Codec : public CodecQuery {
  public:
    bool accepts = false;
    int asked = 0;
    bool CanEncode(int, int, int) override {
        ++asked;
        return accepts;
    }
};

// The built-in encoder, noting the names each file is opened with.
class TagRecordingEncoder : public layer3::CLayer3Encoder {
  public:
    explicit TagRecordingEncoder(std::vector<tags::TagFields>& seen) : seen_(seen) {}
    int Open(EncodingSettings& settings, const std::string& in, const std::string& out) override {
        seen_.push_back(trackTags_);
        return CLayer3Encoder::Open(settings, in, out);
    }

  private:
    std::vector<tags::TagFields>& seen_;
};

// A disc of twelve short tracks in target 1, the page on it, and the window's job logic.
struct CdBatch {
    cdtest::Discs discs;
    EncodingSettings settings;
    QuietWindow window;
    NoFiles files;
    DaePage dae;
    SettingsPage settingsPage;
    Codec codec;
    platform::ScriptedMessageBox boxes;
    std::unique_ptr<cdda::CCDAudioPage> page;
    std::unique_ptr<CMainDlg> dlg;
    std::unique_ptr<platform::MessageQueueWindow> queue;
    std::string folder;
    std::vector<tags::TagFields> tagsSeen;

    explicit CdBatch(bool useCodec = false) {
        std::vector<TrackSpec> tracks;
        for (int t = 1; t <= 12; ++t)
            tracks.push_back(
                TrackSpec{false, 60 + 5 * t, testcd::Fill::Noise, static_cast<std::uint32_t>(t)});
        discs.Insert(1, tracks);
        folder = discs.dir.File("rips");
        fs::create_directory(folder);
        page = std::make_unique<cdda::CCDAudioPage>(profile::AudioCdValues{folder, 0, 0});
        page->Initialise();
        dae.values = {1, 26, 3};
        MainDlgParts parts;
        parts.window = &window;
        parts.files = &files;
        parts.daePage = &dae;
        parts.settingsPage = &settingsPage;
        settingsPage.values.useCodec = useCodec ? 1 : 0;
        parts.audioCdPage = page.get();
        parts.codec = &codec;
        parts.codecFound = true;
        parts.makeEncoder = [this](bool) { return std::make_unique<TagRecordingEncoder>(tagsSeen); };
        dlg = std::make_unique<CMainDlg>(std::move(parts), settings);
        queue = std::make_unique<platform::MessageQueueWindow>(
            [this](const platform::Message& m) { return dlg->OnMessage(m); });
        dlg->AttachWindow(*queue);
        dlg->OnInitDialog();
    }
    void Select(std::initializer_list<int> tracks) {
        const std::vector<cdda::TrackItem> items = page->Items();
        for (std::size_t i = 0; i < items.size(); ++i)
            for (int t : tracks)
                if (items[i].track == t) page->SetSelected(static_cast<int>(i), true);
    }
    void Options(int keep, int extractOnly) { page->SetValues({folder, keep, extractOnly}); }
    void Run() {
        dlg->OnGo();
        while (dlg->m_bRunning || !dlg->m_hWorkerDone.IsSet())
            queue->DispatchFor(5);
        queue->DispatchPending();
        dlg->JoinWorker();
    }
    std::string In(const std::string& name) const { return folder + "/" + name; }
    std::vector<std::uint8_t> Track(int t) const { return discs.TrackBytes(1, t - 1); }
};

void ExpectDecodes(const std::string& mp3, std::size_t frames) {
    const testmp3::Decoded d = testmp3::DecodeFile(mp3);
    ASSERT_TRUE(d.opened) << mp3;
    EXPECT_EQ(d.errors, 0);
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    // The encoder's delay and padding add less than two frames of 1152 samples.
    EXPECT_GE(d.samples.size() / 2, frames);
    EXPECT_LE(d.samples.size() / 2, frames + 3 * 1152);
}

}  // namespace

TEST(CdBatch, ExtractsEncodesAndCleansUpTheSelectedTracksInOrder) {
    CdBatch b;
    b.Select({3, 12});
    b.Run();
    EXPECT_TRUE(b.boxes.Texts().empty());
    ExpectDecodes(b.In("Track 03.mp3"), 75 * 588);
    ExpectDecodes(b.In("Track 12.mp3"), 120 * 588);
    EXPECT_FALSE(fs::exists(b.In("Track 03.wav")));
    EXPECT_FALSE(fs::exists(b.In("Track 12.wav")));
    CdSelection left;
    EXPECT_EQ(b.page->GetSelection(left), 0);  // each finished track was deselected
    const auto extracting =
        std::find_if(b.window.statuses.begin(), b.window.statuses.end(), [](const std::string& s) {
            return s.rfind("Extracting Track 12.wav at ", 0) == 0 &&
                   s.find("(Buffered)") != std::string::npos;
        });
    EXPECT_NE(extracting, b.window.statuses.end());
    EXPECT_EQ(b.dlg->failedFiles, 0);
    EXPECT_EQ(b.dlg->encodedFiles, 2);
}

TEST(CdBatch, NamedTracksAreExtractedUnderTheTemplatesNamesAndEncodedWithTheirTags) {
    CdBatch b;
    // Four tracks: one without a title, two that share one, one whose title holds a '/'.
    testwav::WriteBytes(b.discs.dir.File("named.bin"), testcd::TrackBytes({.sectors = 4 * 40, .seed = 3}));
    const std::string sheet =
        "PERFORMER \"The Band\"\nTITLE \"The Album\"\nFILE \"named.bin\" BINARY\n"
        "TRACK 01 AUDIO\nTITLE \"Intro\"\nISRC GBAYE9900001\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nINDEX 01 00:00:40\n"
        "TRACK 03 AUDIO\nTITLE \"Intro\"\nPERFORMER \"A Guest\"\nINDEX 01 00:01:05\n"
        "TRACK 04 AUDIO\nTITLE \"Either/Or\"\nINDEX 01 00:01:45\n";
    testwav::WriteBytes(b.discs.dir.File("named.cue"), std::vector<std::uint8_t>(sheet.begin(), sheet.end()));
    setenv("VELTO_CD_IMAGES", ("1=" + b.discs.dir.File("named.cue")).c_str(), 1);
    ASSERT_GT(b.page->RefreshTracks(), 0);
    b.page->SetValues({b.folder, 0, 0, "%a/%A/%n %t"});
    b.page->SetTypedTitle(4, "Either/Or (live)");  // what the user typed wins
    b.Select({1, 2, 3, 4});
    b.Run();
    EXPECT_TRUE(b.boxes.Texts().empty());
    for (const char* name : {"The Band/The Album/01 Intro.mp3", "Track 02.mp3",
                             "A Guest/The Album/03 Intro.mp3", "The Band/The Album/04 Either_Or (live).mp3"})
        EXPECT_TRUE(fs::exists(b.In(name))) << name;
    ASSERT_EQ(b.tagsSeen.size(), 4u);
    EXPECT_EQ(b.tagsSeen[0].title, "Intro");
    EXPECT_EQ(b.tagsSeen[0].artist, "The Band");
    EXPECT_EQ(b.tagsSeen[0].album, "The Album");
    EXPECT_EQ(b.tagsSeen[0].isrc, "GBAYE9900001");
    EXPECT_EQ(b.tagsSeen[0].track, "1/4");
    EXPECT_EQ(b.tagsSeen[2].artist, "A Guest");
    EXPECT_EQ(b.tagsSeen[3].title, "Either/Or (live)");
}

TEST(CdBatch, KeepsTheWavFilesWhenAskedAndWheneverATrackWasNotEncoded) {
    {
        CdBatch b;
        b.Options(1, 0);
        b.folder += "/";  // a folder given with its trailing '/'
        b.Options(1, 0);
        b.Select({5});
        b.Run();
        EXPECT_EQ(cdtest::WavData(b.folder + "Track 05.wav"), b.Track(5));
        EXPECT_TRUE(fs::exists(b.folder + "Track 05.mp3"));
    }
    {
        CdBatch b;
        b.Options(0, 1);  // extract only, keep unticked: the WAV is all there is
        b.Select({1, 2});
        b.Run();
        EXPECT_EQ(cdtest::WavData(b.In("Track 01.wav")), b.Track(1));
        EXPECT_EQ(cdtest::WavData(b.In("Track 02.wav")), b.Track(2));
        EXPECT_FALSE(fs::exists(b.In("Track 01.mp3")));
        CdSelection left;
        EXPECT_EQ(b.page->GetSelection(left), 0);
    }
}

TEST(CdBatch, AsksOnceWhenTheCodecCannotEncodeTheTracks) {
    {
        CdBatch b(true);
        b.boxes.Answer(platform::IDCANCEL);
        b.Select({1, 2});
        b.Run();
        EXPECT_EQ(b.boxes.Texts(), std::vector<std::string>{"CD Audio tracks can't be encoded using current\n"
                                                            "encoding parameters. Extract anyway?"});
        EXPECT_FALSE(fs::exists(b.In("Track 01.wav")));
    }
    {
        CdBatch b(true);
        b.boxes.Answer(platform::IDOK);
        b.Select({1, 2});
        b.Run();
        EXPECT_EQ(b.boxes.Count(), 1u);
        EXPECT_EQ(b.codec.asked, 1);
        EXPECT_EQ(cdtest::WavData(b.In("Track 02.wav")), b.Track(2));
        EXPECT_FALSE(fs::exists(b.In("Track 02.mp3")));
    }
}

TEST(CdBatch, AFailedExtractionStopsTheBatchAndKeepsItsPartialWav) {
    CdBatch b;
    b.Select({3, 4, 5});
    b.discs.Faults(Printf("fail=%u", b.discs.First(1, 3) + 30));
    b.Run();
    EXPECT_EQ(b.boxes.Texts(), std::vector<std::string>{"Cannot read from CD."});
    EXPECT_TRUE(fs::exists(b.In("Track 03.mp3")));
    EXPECT_FALSE(fs::exists(b.In("Track 03.wav")));
    const std::vector<std::uint8_t> partial = cdtest::WavData(b.In("Track 04.wav"));
    EXPECT_EQ(partial.size(), 26u * 2352);
    EXPECT_FALSE(fs::exists(b.In("Track 04.mp3")));
    EXPECT_FALSE(fs::exists(b.In("Track 05.wav")));
    EXPECT_EQ(b.dlg->failedFiles, 1);
    CdSelection left;
    EXPECT_EQ(b.page->GetSelection(left), 2);  // tracks 4 and 5 were never finished
}

TEST(CdBatch, AStopDuringAnExtractionKeepsTheTrackAsItIs) {
    CdBatch b;
    b.dae.values = {1, 1, 3};  // a report after every sector
    b.Select({6, 7});
    bool stopped = false;
    b.queue = std::make_unique<platform::MessageQueueWindow>([&](const platform::Message& m) {
        const std::intptr_t r = b.dlg->OnMessage(m);
        if (m.id == WM_JOB_PROGRESS && b.dlg->m_bExtracting && !stopped) {
            stopped = true;
            b.dlg->OnGo();  // the Stop button
        }
        return r;
    });
    b.dlg->AttachWindow(*b.queue);
    b.Run();
    const std::vector<std::uint8_t> wav = cdtest::WavData(b.In("Track 06.wav"));
    EXPECT_GT(wav.size(), 0u);
    EXPECT_LT(wav.size(), b.Track(6).size());
    EXPECT_TRUE(std::equal(wav.begin(), wav.end(), b.Track(6).begin()));
    EXPECT_FALSE(fs::exists(b.In("Track 06.mp3")));
    EXPECT_FALSE(fs::exists(b.In("Track 07.wav")));
}

TEST(CdBatch, ClosingDuringAnExtractionDoesNotWaitOutTheWorker) {
    CdBatch b;
    b.dae.values = {1, 1, 3};
    b.Select({12});
    bool closeNow = false;
    b.queue = std::make_unique<platform::MessageQueueWindow>([&](const platform::Message& m) {
        const std::intptr_t r = b.dlg->OnMessage(m);
        if (m.id == WM_JOB_PROGRESS && b.dlg->m_bExtracting) closeNow = true;
        return r;
    });
    b.dlg->AttachWindow(*b.queue);
    b.dlg->OnGo();
    while (!closeNow)
        b.queue->DispatchFor(5);
    // The worker is reading on and sending its next report while the window closes.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    b.boxes.Answer(platform::IDYES);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(b.dlg->m_hWorkerDone.IsSet());
    b.dlg->JoinWorker();
    EXPECT_TRUE(fs::exists(b.In("Track 12.wav")));
}

TEST(CdBatch, NoExtractionLineIsShownBeforeTheDriveHasSpunUp) {
    CdBatch b;
    b.Select({1, 2});
    b.dlg->OnGo();
    // A window that falls behind: the progress the first track's encoding posted is handled
    // only once the worker has begun to extract the second track.
    while (b.dlg->m_bRunning || !b.dlg->m_hWorkerDone.IsSet()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        b.queue->DispatchPending();
    }
    b.queue->DispatchPending();
    b.dlg->JoinWorker();
    for (const char* track : {"Track 01.wav", "Track 02.wav"}) {
        const auto line =
            std::find_if(b.window.statuses.begin(), b.window.statuses.end(), [&](const std::string& s) {
                return s.rfind(std::string("Extracting ") + track, 0) == 0 ||
                       s.rfind("Spinning up drive...", 0) == 0;
            });
        ASSERT_NE(line, b.window.statuses.end()) << track;
        EXPECT_EQ(*line, "Spinning up drive...") << track;
        b.window.statuses.erase(b.window.statuses.begin(), line + 1);
    }
}

namespace {

// Runs the window's loop until the worker is in the middle of the extraction.
void WaitUntilExtracting(CdBatch& b) {
    while (!b.dlg->m_bExtracting)
        b.queue->DispatchFor(5);
    b.queue->DispatchFor(200);  // the read of the stalled sector is under way
}

}  // namespace

TEST(CdBatch, ClosingDuringAReadTheDriveNeverAnswersGivesItUpAtOnce) {
    CdBatch b;  // the drive's time-out stays at ten seconds
    b.Select({4});
    b.discs.Faults(Printf("pending=%u", b.discs.First(1, 3) + 30));
    b.dlg->OnGo();
    WaitUntilExtracting(b);
    b.queue->DispatchFor(800);  // the sectors before the stalled one are written, also under load
    b.boxes.Answer(platform::IDYES);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(b.dlg->m_hWorkerDone.IsSet());
    b.dlg->JoinWorker();
    EXPECT_EQ(b.boxes.Texts(),
              std::vector<std::string>{"This will terminate encoding, \ndo you really want to exit?"});
    EXPECT_EQ(b.dlg->failedFiles, 0);
    EXPECT_FALSE(cdtest::WavData(b.In("Track 04.wav")).empty());
}

TEST(CdBatch, AStopDuringAReadTheDriveNeverAnswersReadsAsAStop) {
    CdBatch b;
    cdda::CAspiManager::Instance().SetWaitMsForTesting(300);
    b.Select({4, 5});
    b.discs.Faults(Printf("pending=%u", b.discs.First(1, 3) + 30));
    b.dlg->OnGo();
    WaitUntilExtracting(b);
    b.dlg->OnGo();  // the Stop button
    while (b.dlg->m_bRunning || !b.dlg->m_hWorkerDone.IsSet())
        b.queue->DispatchFor(5);
    b.dlg->JoinWorker();
    EXPECT_EQ(b.boxes.Count(), 0u) << b.boxes.Texts()[0];
    EXPECT_EQ(b.dlg->failedFiles, 0);
    EXPECT_FALSE(cdtest::WavData(b.In("Track 04.wav")).empty());
    EXPECT_FALSE(fs::exists(b.In("Track 05.wav")));
}

TEST(CdBatch, AnEmptyTrackFolderMeansTheHomeFolderNotTheRoot) {
    CdBatch b;
    const std::string home = b.discs.dir.File("home");
    fs::create_directory(home);
    const char* saved = std::getenv("HOME");
    const std::string savedHome = saved ? saved : "";
    setenv("HOME", home.c_str(), 1);
    b.page->SetValues({"", 1, 1});  // keep the WAV, extract only
    b.Select({2});
    b.Run();
    if (saved) setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(cdtest::WavData(home + "/Track 02.wav"), b.Track(2));
    EXPECT_FALSE(fs::exists("/Track 02.wav"));
}
