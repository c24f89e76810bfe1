#include "job/main_dlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "job/batch_alert.h"
#include "job/encoding_settings.h"
#include "platform/scripted_message_box.h"
#include "platform/time_format.h"
#include "tests/support/wav_writer.h"

namespace {

// The window: records what the driver shows.
class TestWindow : public JobWindowView {
  public:
    void SetFileBar(int, int high, int pos) override { fileRange = high, filePos = pos; }
    void SetFileBarPosition(int pos) override { filePos = pos; }
    void SetBatchBar(int, int high, int pos) override { batchRange = high, batchPos = pos; }
    void SetBatchBarPosition(int pos) override { batchPos = pos; }
    void SetStatus(const std::string& t) override { status = t; }
    void SetElapsed(const std::string& t) override { elapsed = t; }
    void SetRemaining(const std::string& t) override { remaining = t; }
    std::string Title() const override { return title; }
    void SetTitle(const std::string& t) override { title = t; }
    void SetGoButton(const std::string& caption, int bitmap) override { go = caption, goBitmap = bitmap; }
    void DisableStopButton() override {}
    void EnablePages(bool e) override { pagesEnabled = e; }
    void Refresh() override {}
    void AlertDone(const std::string& text, const std::string& details) override {
        ++alerts;
        alert = text;
        alertDetails = details;
    }
    int fileRange = 0, filePos = 0, batchRange = 0, batchPos = 0, goBitmap = 140, alerts = 0;
    bool pagesEnabled = true;
    std::string status, elapsed, remaining, title = "Velto", go = "&Go", alert, alertDetails;
};

class TestFiles : public FilesPageView {
  public:
    std::vector<std::pair<std::string, int>> entries;
    int Count() const override { return static_cast<int>(entries.size()); }
    std::string Path(int i) const override { return entries[static_cast<std::size_t>(i)].first; }
    int Frames(int i) const override { return entries[static_cast<std::size_t>(i)].second; }
    std::string LastFolder() const override { return "/music/"; }
};

class TestSettingsPage : public SettingsPageView {
  public:
    bool open = false;
    profile::SettingsValues values;
    std::atomic<int> slider{3};
    bool HasWindow() const override { return open; }
    profile::SettingsValues Values() override { return values; }
    int PrioritySliderPosition() const override { return slider; }
};

// Encodes "files" by path: each knows how many frames it gives; it can fail to open, and
// can hold every step until released.
class TestEncoder : public CEncoder {
  public:
    struct World {
        std::map<std::string, int> frames;
        std::vector<std::string> opened, outputs;
        std::atomic<int> closes{0};
        std::atomic<int> steps{0};
        std::atomic<bool> hold{false};
        std::atomic<bool> useCodec{false};
        // Frames past each file's length, as the built-in encoder gives to carry the end of
        // the input out of its filterbanks.
        int extraFrames = 0;
        int mostFramesDone = 0;  // the batch's frames done, as each step finds them
        // Long files take their time, like real ones, so that the queue of progress
        // messages stays short.
        std::chrono::microseconds stepTime{0};
    };
    explicit TestEncoder(World& w) : w_(w) {}
    void Close() override { ++w_.closes; }
    int EncodeStep() override {
        while (w_.hold)
            std::this_thread::yield();
        if (w_.stepTime.count()) std::this_thread::sleep_for(w_.stepTime);
        w_.mostFramesDone = std::max<int>(w_.mostFramesDone, s_->batchFramesDone);
        if (s_->frameCount >= remaining_) return -1;
        ++w_.steps;
        return ++s_->frameCount;
    }
    int Open(EncodingSettings& s, const std::string& in, const std::string& out) override {
        s_ = &s;
        auto it = w_.frames.find(in);
        if (it == w_.frames.end()) return 0;
        w_.opened.push_back(in);
        w_.outputs.push_back(out);
        s.frameCount = 0;
        s.totalFrames = it->second;
        remaining_ = it->second + w_.extraFrames;
        return 1;
    }

  private:
    World& w_;
    EncodingSettings* s_ = nullptr;
    int remaining_ = 0;
};

class RefusingCodec : public CodecQuery {
  public:
    std::string refusedRate = "32000";
    bool CanEncode(int rate, int, int) override { return rate != 32000; }
};

struct Batch {
    testwav::TempDir dir;
    profile::AppProfile profile{dir.File("Velto.INI")};
    EncodingSettings settings;
    TestWindow window;
    TestFiles files;
    TestSettingsPage settingsPage;
    RefusingCodec codec;
    TestEncoder::World world;
    platform::ScriptedMessageBox boxes;
    std::unique_ptr<CMainDlg> dlg;
    std::unique_ptr<platform::MessageQueueWindow> queue;

    explicit Batch(bool codecFound = false) {
        MainDlgParts parts;
        parts.window = &window;
        parts.files = &files;
        parts.settingsPage = &settingsPage;
        parts.codec = codecFound ? &codec : nullptr;
        parts.codecFound = codecFound;
        parts.profile = &profile;
        parts.makeEncoder = [this](bool useCodec) {
            world.useCodec = useCodec;
            return std::make_unique<TestEncoder>(world);
        };
        dlg = std::make_unique<CMainDlg>(std::move(parts), settings);
        queue = std::make_unique<platform::MessageQueueWindow>(
            [this](const platform::Message& m) { return dlg->OnMessage(m); });
        dlg->AttachWindow(*queue);
        dlg->OnInitDialog();
    }
    void Add(const std::string& name, int frames, bool opens = true) {
        if (frames > 1000) world.stepTime = std::chrono::microseconds(200);
        files.entries.push_back({dir.File(name), frames});
        if (opens) world.frames[dir.File(name)] = frames;
    }
    // Runs the user-interface loop until the batch has ended.
    void RunToEnd() {
        // The worker signals its end after its last message, so poll rather than wait.
        while (dlg->m_bRunning || !dlg->m_hWorkerDone.IsSet())
            queue->DispatchFor(5);
        queue->DispatchPending();
        dlg->JoinWorker();
    }
};

}  // namespace

TEST(JobDriver, EncodesEveryFileBesideItsInputAndRestoresTheWindow) {
    Batch b;
    b.Add("a.wav", 30);
    b.Add("x.WAV", 20);
    b.Add("broken.wav", 50, false);  // fails to open: skipped, the batch goes on
    b.Add("c.wav", 10);
    b.window.title = "Velto";
    b.dlg->OnGo();
    EXPECT_EQ(b.window.go, "&Stop");
    EXPECT_FALSE(b.window.pagesEnabled);
    b.RunToEnd();
    EXPECT_EQ(b.world.outputs,
              (std::vector<std::string>{b.dir.File("a.mp3"), b.dir.File("x.mp3"), b.dir.File("c.mp3")}));
    EXPECT_EQ(b.world.closes, 4);  // also after the failed open
    EXPECT_EQ(b.world.steps, 60);
    EXPECT_FALSE(b.world.useCodec);
    EXPECT_EQ(b.window.go, "&Go");
    EXPECT_EQ(b.window.goBitmap, 140);
    EXPECT_TRUE(b.window.pagesEnabled);
    EXPECT_EQ(b.window.title, "Velto");
    EXPECT_EQ(b.window.status, "");
    EXPECT_EQ(b.window.fileRange, 100);
    EXPECT_EQ(b.window.batchPos, 0);
    EXPECT_EQ(b.settings.batchFrames, 0);
    EXPECT_TRUE(b.settings.currentFile.empty());
    EXPECT_EQ(b.window.alerts, 0);
}

TEST(JobDriver, FramesPastAFilesLengthNeverTakeTheProgressPast100Percent) {
    Batch b;
    b.world.extraFrames = 2;
    b.Add("a.wav", 30);
    b.Add("b.wav", 20);
    b.dlg->OnGo();
    b.RunToEnd();
    EXPECT_EQ(b.world.steps, 54);
    EXPECT_EQ(b.world.mostFramesDone, 50);
    // The window as the last frames of a file find it.
    b.dlg->m_bRunning = 1;
    b.dlg->m_bStop = 0;
    b.settings.currentFile = "/music/song.wav";
    b.settings.totalFrames = 100;
    b.settings.frameCount = 102;
    b.settings.batchFrames = 100;
    b.settings.batchFramesDone = 100;
    b.dlg->m_fileScale = 0.1f;
    b.dlg->m_batchScale = 0.1f;
    b.dlg->OnJobProgress(0, 0);
    EXPECT_EQ(b.window.filePos, 1000);
    EXPECT_EQ(b.window.status, "Encoding song.wav at 128 Kbps - 100% done");
    EXPECT_EQ(b.window.title, "Encoding 100 %");
}

TEST(JobDriver, GoWithNothingToEncodeStartsNoBatchAndSaysSo) {
    Batch b;
    b.settingsPage.open = true;
    b.settingsPage.values.alertWhenDone = 1;
    b.dlg->OnGo();
    EXPECT_FALSE(b.dlg->m_bRunning);
    EXPECT_FALSE(b.dlg->WorkerRunning());
    EXPECT_EQ(b.boxes.Texts(), std::vector<std::string>{"There is nothing to encode."});
    EXPECT_EQ(b.window.go, "&Go");
    EXPECT_EQ(b.window.alerts, 0);
}

TEST(JobDriver, TheAlertSaysHowTheBatchEndedAndNamesWhatFailed) {
    EXPECT_EQ(EndOfBatchAlert(false, {}).text, "Encoding Complete!");
    EXPECT_EQ(EndOfBatchAlert(false, {}).details, "");
    const BatchAlert two = EndOfBatchAlert(false, {"/m/a.wav", "Track 02"});
    EXPECT_EQ(two.text, "Encoding finished: 2 files could not be encoded.");
    EXPECT_EQ(two.details, "/m/a.wav\nTrack 02\n");
    EXPECT_EQ(EndOfBatchAlert(true, {"/m/a.wav"}).text, "Encoding stopped.");

    Batch b;
    b.settingsPage.open = true;
    b.settingsPage.values.alertWhenDone = 1;
    b.Add("a.wav", 30);
    b.Add("broken.wav", 50, false);
    b.dlg->OnGo();
    b.RunToEnd();
    EXPECT_EQ(b.window.alert, "Encoding finished: 1 file could not be encoded.");
    EXPECT_EQ(b.window.alertDetails, b.dir.File("broken.wav") + "\n");

    // A stop is no failure and no success; the next batch starts from a clean slate.
    b.files.entries.pop_back();
    b.world.hold = true;
    b.dlg->OnGo();
    while (b.dlg->m_hWorkerDone.IsSet())  // the worker has begun: the loop below waits for its end
        std::this_thread::yield();
    b.dlg->OnGo();  // Stop
    b.world.hold = false;
    b.RunToEnd();
    EXPECT_EQ(b.window.alert, "Encoding stopped.");
    EXPECT_EQ(b.window.alertDetails, "");
    b.dlg->OnGo();
    b.RunToEnd();
    EXPECT_EQ(b.window.alert, "Encoding Complete!");
    EXPECT_EQ(b.window.alerts, 3);
}

TEST(JobDriver, CodecPreCheckExcludesFilesTheCodecCannotTake) {
    Batch b(true);
    b.profile.Write(profile::kUseCodec, 1);
    testwav::WritePcm16(b.dir.File("a.wav"), testwav::Silence(1152 * 4, 2), 2, 44100);
    testwav::WritePcm16(b.dir.File("b.wav"), testwav::Silence(1152 * 6, 2), 2, 32000);
    b.Add("a.wav", 4);
    b.Add("b.wav", 6);
    b.boxes.Answer(platform::IDOK);
    b.dlg->OnGo();
    ASSERT_EQ(b.boxes.Count(), 1u);
    EXPECT_EQ(b.boxes.Texts()[0],
              "The following files cannot be encoded using external codec\n"
              "using current encoding parameters: \n\n" +
                  b.dir.File("b.wav") + "\n\nThey won't be encoded.\n");
    EXPECT_EQ(b.settings.batchFrames, 4);
    b.RunToEnd();
    EXPECT_EQ(b.world.outputs, std::vector<std::string>{b.dir.File("a.mp3")});
    EXPECT_TRUE(b.world.useCodec);

    // Cancel to the question starts nothing.
    b.boxes.Answer(platform::IDCANCEL);
    b.dlg->OnGo();
    EXPECT_EQ(b.dlg->m_bRunning, 0);
    EXPECT_FALSE(b.dlg->WorkerRunning());
}

TEST(JobDriver, GoDuringABatchStopsAfterTheCurrentFrame) {
    Batch b;
    b.Add("long.wav", 1000000);
    b.Add("next.wav", 10);
    b.dlg->OnGo();
    while (b.world.steps < 5)
        b.queue->DispatchFor(1);
    b.dlg->OnGo();  // Stop
    b.RunToEnd();
    EXPECT_LT(b.world.steps, 1000000);
    EXPECT_EQ(b.world.opened.size(), 1u);  // the next file is not started
    EXPECT_EQ(b.world.closes, 1);          // the stopped file is closed
}

TEST(JobDriver, ProgressTextsTimesAndTitle) {
    Batch b;
    b.dlg->m_bRunning = 1;
    b.settings.currentFile = "/music/song.wav";
    b.settings.Bitrate = 192;
    b.settings.totalFrames = 100;
    b.settings.frameCount = 20;
    b.settings.batchFrames = 100;
    b.settings.batchFramesDone = 20;
    b.dlg->m_fileScale = 0.1f;
    b.dlg->m_batchScale = 0.1f;
    b.settings.batchStartTime = static_cast<int>(platform::NowSeconds()) - 40;
    b.dlg->OnJobProgress(0, 0);
    EXPECT_EQ(b.window.status, "Encoding song.wav at 192 Kbps - 20% done");
    EXPECT_EQ(b.window.filePos, 200);
    EXPECT_EQ(b.window.batchPos, 200);
    EXPECT_EQ(b.window.elapsed, "00:00:40");
    EXPECT_EQ(b.window.remaining, "00:02:40");
    EXPECT_EQ(b.window.title, "Encoding 20 %");
    // At 25 frames the times are left alone.
    b.settings.batchFramesDone = 25;
    b.settings.batchStartTime = static_cast<int>(platform::NowSeconds()) - 1000;
    b.dlg->OnJobProgress(0, 0);
    EXPECT_EQ(b.window.elapsed, "00:00:40");
    EXPECT_EQ(b.window.title, "Encoding 25 %");

    // Extraction reports carry the percent and the speed's bits.
    b.dlg->m_bExtracting = 1;
    b.settings.DaeMode = 2;
    b.settings.currentFile = "/rips/Track 03.wav";
    float speed = 4.25f;
    b.dlg->OnJobProgress(37, static_cast<std::intptr_t>(std::bit_cast<std::uint32_t>(speed)));
    EXPECT_EQ(b.window.status, "Extracting Track 03.wav at 4.2X - 37% done (Jitter Corr.)");
    EXPECT_EQ(b.window.filePos, 370);
    EXPECT_FLOAT_EQ(b.dlg->m_lastDaeSpeed, 4.25f);
}

TEST(JobDriver, ThePrioritySliderActsOnARunningBatch) {
    Batch b;
    b.settingsPage.open = true;
    b.Add("long.wav", 1000000);
    b.dlg->OnGo();
    EXPECT_EQ(b.dlg->m_nPriority, 0);
    b.settingsPage.slider = 1;  // lowest
    // Within ten frames the handler sees the slider.
    while (b.dlg->m_nPriority != -2)
        b.queue->DispatchFor(10);
    EXPECT_EQ(platform::NiceForPriority(b.dlg->m_nPriority), 10);
    b.dlg->OnGo();
    b.RunToEnd();
}

TEST(JobDriver, ClosingDuringABatchAsksAndSavesTheProfileWhenLeft) {
    Batch b;
    b.settingsPage.open = true;
    b.settingsPage.values.bitrate = 11;
    b.Add("long.wav", 1000000);
    b.dlg->OnGo();
    while (b.world.steps < 5)
        b.queue->DispatchFor(1);
    b.boxes.Answer(platform::IDNO);
    EXPECT_FALSE(b.dlg->OnClose());
    EXPECT_EQ(b.boxes.Texts().back(), "This will terminate encoding, \ndo you really want to exit?");
    EXPECT_EQ(b.dlg->m_bStop, 0);  // the batch goes on
    EXPECT_EQ(b.profile.Read(profile::kBitrate), 8);

    b.boxes.Answer(platform::IDYES);
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_TRUE(b.dlg->m_hWorkerDone.IsSet());  // the worker saw the flags and ended
    EXPECT_EQ(b.profile.Read(profile::kBitrate), 11);
    EXPECT_EQ(b.profile.Read(profile::kLastFolder), "/music/");
    EXPECT_EQ(b.profile.Read(profile::kDaeSpeed), 50);
    b.dlg->JoinWorker();
}

TEST(JobDriver, ClosingWithoutTheSettingsPageLeavesItsValues) {
    Batch b;
    b.profile.Write(profile::kBitrate, 3);
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_EQ(b.boxes.Count(), 0u);  // idle: no question
    EXPECT_EQ(b.profile.Read(profile::kBitrate), 3);
}

TEST(JobDriver, GoRightAfterStopNeverWaitsForTheEndingWorker) {
    Batch b;
    b.Add("long.wav", 1000000);
    // A hang here is the fault: the window waiting for a worker that waits for the window.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) std::abort();
    });
    for (int round = 0; round < 20; ++round) {
        b.dlg->OnGo();
        while (b.world.steps == 0)
            b.queue->DispatchFor(1);
        b.dlg->OnGo();  // Stop
        b.dlg->OnGo();  // at once again: ignored while the worker ends, or a new batch
        if (b.dlg->m_bRunning) b.dlg->OnGo();
        b.RunToEnd();
        b.world.steps = 0;
    }
    finished = true;
    watchdog.join();
    EXPECT_EQ(b.window.go, "&Go");
}

TEST(JobDriver, FilesAddedDuringABatchWaitForTheNextGo) {
    Batch b;
    b.Add("a.wav", 3000);
    b.Add("b.wav", 10);
    b.dlg->OnGo();
    while (b.world.steps == 0)
        b.queue->DispatchFor(1);
    // A drop puts files at the top of the list while the batch runs.
    b.files.entries.insert(b.files.entries.begin(), {b.dir.File("dropped.wav"), 5});
    b.world.frames[b.dir.File("dropped.wav")] = 5;
    b.RunToEnd();
    EXPECT_EQ(b.world.opened, (std::vector<std::string>{b.dir.File("a.wav"), b.dir.File("b.wav")}));
    b.world.opened.clear();
    b.dlg->OnGo();
    b.RunToEnd();
    EXPECT_EQ(b.world.opened.front(), b.dir.File("dropped.wav"));
}

TEST(JobDriver, ATrackFolderStartingWithATildeIsInTheHomeFolder) {
    const std::string home = profile::DefaultFolder();
    EXPECT_EQ(ExpandHomeFolder("~"), home);
    EXPECT_EQ(ExpandHomeFolder("~/Music/rips"), home + "Music/rips");
    EXPECT_EQ(ExpandHomeFolder("/srv/~/rips"), "/srv/~/rips");
    EXPECT_EQ(ExpandHomeFolder("~other/rips"), "~other/rips");
}

TEST(JobDriver, AnUnreadableProfileIsReportedOnceAtStartAndNeverWritten) {
    Batch b;
    const std::string folder = b.dir.File("folder.INI"), fifo = b.dir.File("fifo.INI");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> cases{{folder, "it is a folder"},
                                                           {fifo, "it is not a regular file"}};
    // Root reads a file of mode 000 all the same: that case shows as a normal user only.
    const std::string locked = b.dir.File("locked.INI");
    testwav::WriteBytes(locked, {'[', 'A', ']', '\n'});
    chmod(locked.c_str(), 0);
    if (geteuid() != 0) cases.push_back({locked, "Permission denied"});
    for (const auto& [path, why] : cases) {
        b.profile = profile::AppProfile(path);
        b.boxes.Clear();
        b.dlg->OnInitDialog();  // returns at once: the FIFO is never opened to wait for a writer
        ASSERT_EQ(b.boxes.Count(), 1u) << path;
        EXPECT_EQ(b.boxes.Texts()[0], "The settings file " + path + " cannot be read: " + why +
                                          ".\nThe default settings are used, and the file is left as it is.");
        b.settingsPage.open = true;
        EXPECT_TRUE(b.dlg->OnClose());
        EXPECT_EQ(b.boxes.Count(), 1u) << "said once: " << b.boxes.Texts().back();
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
    EXPECT_EQ(std::filesystem::status(locked).permissions(), std::filesystem::perms::none);
}

TEST(JobDriver, SettingsThatCannotBeSavedAreSaidOnceAtCloseAndTheProfileKept) {
    Batch b;
    const std::string path = b.dir.File("ro.INI");
    testwav::WriteBytes(path, {'[', 'D', 'A', 'E', ']', '\n'});
    chmod(path.c_str(), 0444);
    b.profile = profile::AppProfile(path);
    b.settingsPage.open = true;
    b.settingsPage.values.bitrate = 11;
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_EQ(b.boxes.Texts(), std::vector<std::string>{"The settings are not saved: " + path +
                                                        " cannot be written: it is read-only."});
    EXPECT_EQ(testwav::ReadBytes(path).size(), 6u);

    // A file where the profile's folder should be: it cannot be made.
    testwav::WriteBytes(b.dir.File("config"), {});
    b.profile = profile::AppProfile(b.dir.File("config/Velto.INI"));
    b.boxes.Clear();
    EXPECT_TRUE(b.dlg->OnClose());
    EXPECT_EQ(b.boxes.Texts(),
              std::vector<std::string>{"The settings are not saved: " + b.dir.File("config/Velto.INI") +
                                       " cannot be written: Not a directory."});
}

TEST(JobDriver, ASecondInputToTheSameOutputIsSkippedWithAReasonBeforeTheBatch) {
    Batch b;
    b.Add("a.wav", 10);
    b.Add("a.WAV", 10);
    b.Add("b.wav", 10);
    b.dlg->OnGo();
    b.RunToEnd();
    EXPECT_EQ(b.world.opened, (std::vector<std::string>{b.dir.File("a.wav"), b.dir.File("b.wav")}));
    ASSERT_EQ(b.boxes.Count(), 1u);
    EXPECT_NE(b.boxes.Texts()[0].find(b.dir.File("a.WAV") + " (" + b.dir.File("a.wav") +
                                      " is encoded to the same " + b.dir.File("a.mp3") + ")"),
              std::string::npos)
        << b.boxes.Texts()[0];
}
