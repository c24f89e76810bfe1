#include "job/main_dlg.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "cdda/audio_cd_page.h"
#include "cdda/cd_reader.h"
#include "cdda/track_extractor.h"
#include "job/batch_alert.h"
#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "job/settings_translation.h"
#include "job/text.h"
#include "job/track_file_names.h"
#include "layer3/audio_reader.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/time_format.h"
#include "tags/album_gain.h"
#include "tags/loudness.h"

namespace {

// Messages the worker sends so that its window work runs on the user-interface thread.
constexpr unsigned WM_JOB_RESET_FILE_PROGRESS = platform::WM_USER + 2;
constexpr unsigned WM_JOB_END_BATCH = platform::WM_USER + 3;
constexpr unsigned WM_JOB_EXTRACTION_STATUS = platform::WM_USER + 4;
constexpr unsigned kWorkerWaitMs = 10000;

const char* DaeModeName(int mode) {
    switch (mode) {
        case 0:
            return "Normal";
        case 1:
            return "Buffered";
        default:
            return "Jitter Corr.";
    }
}

}  // namespace

CMainDlg::CMainDlg(MainDlgParts parts, EncodingSettings& settings)
    : parts_(std::move(parts)), settings_(settings) {}

CMainDlg::~CMainDlg() {
    m_bStop = 1;
    m_bClosing = 1;
    JoinWorker();
}

void CMainDlg::JoinWorker() {
    m_pWorker.reset();
}

void CMainDlg::OnInitDialog() {
    if (parts_.profile) {
        m_lastDaeSpeed = profile::ReadDaeSpeed(*parts_.profile);
        if (const std::string& why = parts_.profile->ReadProblem(); !why.empty())
            platform::MessageBox("The settings file " + parts_.profile->Path() + " cannot be read: " + why +
                                     ".\nThe default settings are used, and the file is left as it is.",
                                 platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
    m_bRunning = 0;
}

void CMainDlg::TakeEncodingParameters() {
    profile::SettingsValues v;
    const bool pageOpen = parts_.settingsPage && parts_.settingsPage->HasWindow();
    if (pageOpen) {
        v = parts_.settingsPage->Values();
        m_nPriority = PriorityForSliderPosition(parts_.settingsPage->PrioritySliderPosition());
    } else if (parts_.profile) {
        v = profile::ReadSettings(*parts_.profile, parts_.codecFound);
    }
    ApplySettingsValues(v, parts_.codecFound, settings_);
    alertWhenDone = v.alertWhenDone;
}

void CMainDlg::TakeExtractionParameters() {
    profile::DaeValues d;
    if (parts_.daePage && parts_.daePage->HasWindow())
        d = parts_.daePage->Values();
    else if (parts_.profile)
        d = profile::ReadDae(*parts_.profile);
    settings_.DaeMode = d.mode;
    settings_.nsectors = d.nsectors;
    settings_.synchsectors = d.synchsectors;
    if (parts_.audioCdPage && parts_.audioCdPage->HasWindow()) audioCd = parts_.audioCdPage->Values();
}

void CMainDlg::OnGo() {
    m_nPriority = 0;
    if (m_bRunning) {
        OnStopCommand();
        return;
    }
    // The last batch was stopped and its worker is still ending (it may be waiting for this
    // thread to show its last messages): a Go now would wait for it while it waits for the
    // window. The click is ignored; the worker ends at its next check.
    if (WorkerEnding()) return;
    // A worker that has ended but whose thread was not released yet.
    JoinWorker();
    TakeEncodingParameters();
    TakeExtractionParameters();
    TakeFileList();
    if (settings_.UseCodec) {
        if (!CheckFilesAgainstCodec()) return;
    } else {
        m_excludedFiles.clear();
    }
    if (!HasSomethingToEncode()) {
        platform::MessageBox(kNothingToEncode, platform::kAppCaption,
                             platform::MB_OK | platform::MB_ICONINFORMATION);
        return;
    }
    ExcludeSecondInputsToOneOutput();
    failedFiles = 0;
    encodedFiles = 0;
    failedNames.clear();
    m_bUserStopped = 0;
    StartBatch();
    m_pWorker = std::make_unique<platform::Thread>([this] { EncodeBatchThread(); }, m_nPriority);
}

void CMainDlg::TakeFileList() {
    batchFiles.clear();
    const int count = parts_.files ? parts_.files->Count() : 0;
    for (int i = 0; i < count; ++i)
        batchFiles.push_back({parts_.files->Path(i), parts_.files->Frames(i)});
}

bool CMainDlg::HasSomethingToEncode() {
    for (int i = 0; i < static_cast<int>(batchFiles.size()); ++i)
        if (!IsExcluded(i)) return true;
    CdSelection selection;
    return parts_.audioCdPage && parts_.audioCdPage->HasWindow() &&
           parts_.audioCdPage->GetSelection(selection) > 0;
}

void CMainDlg::CountFailure(const std::string& name) {
    ++failedFiles;
    failedNames.push_back(name);
}

int CMainDlg::CheckFilesAgainstCodec() {
    m_excludedFiles.clear();
    const int count = static_cast<int>(batchFiles.size());
    for (int i = count - 1; i >= 0; --i) {
        layer3::CAudioReader reader;
        if (!reader.Open(batchFiles[static_cast<std::size_t>(i)].path))
            continue;  // it fails later, in the encoder
        const int mono = settings_.Mono || reader.channels == 1;
        if (!parts_.codec || !parts_.codec->CanEncode(reader.sampleRate, settings_.Bitrate, mono))
            m_excludedFiles.push_back(i);
        reader.Close();
    }
    if (m_excludedFiles.empty()) return 1;
    std::string text = "The following files cannot be encoded using external codec\n";
    text += "using current encoding parameters: \n\n";
    for (int i : m_excludedFiles)
        text += batchFiles[static_cast<std::size_t>(i)].path + "\n";
    text += "\nThey won't be encoded.\n";
    if (platform::MessageBox(text, platform::kAppCaption, platform::MB_OKCANCEL) == platform::IDCANCEL)
        return 0;
    return 1;
}

// Two inputs whose outputs are one file (a.wav and a.WAV): the second would overwrite what
// the first wrote, so it is left out, and the user told which.
void CMainDlg::ExcludeSecondInputsToOneOutput() {
    std::vector<std::string> outputs;
    std::string text;
    for (int i = 0; i < static_cast<int>(batchFiles.size()); ++i) {
        const std::string& path = batchFiles[static_cast<std::size_t>(i)].path;
        const std::string identity = OutputIdentity(OutputNameFor(path));
        const auto first =
            static_cast<std::size_t>(std::find(outputs.begin(), outputs.end(), identity) - outputs.begin());
        outputs.push_back(identity);
        if (first == outputs.size() - 1 || IsExcluded(i)) continue;
        m_excludedFiles.push_back(i);
        const std::string& earlier = batchFiles[first].path;
        text += path + " (" + earlier + " is encoded to the same " + OutputNameFor(path) + ")\n";
    }
    if (text.empty()) return;
    platform::MessageBox(
        "These files are not encoded, as their MP3 file would overwrite another one's:\n\n" + text,
        platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

bool CMainDlg::IsExcluded(int index) const {
    return std::find(m_excludedFiles.begin(), m_excludedFiles.end(), index) != m_excludedFiles.end();
}

void CMainDlg::StartBatch() {
    m_bStop = 0;
    m_bRunning = 1;
    parts_.window->SetGoButton("&Stop", 141);
    int frames = 0;
    for (int i = 0; i < static_cast<int>(batchFiles.size()); ++i)
        if (!IsExcluded(i)) frames += batchFiles[static_cast<std::size_t>(i)].frames;
    if (parts_.audioCdPage && parts_.audioCdPage->HasWindow())
        frames += parts_.audioCdPage->SelectedTrackFrames();
    settings_.batchFrames = frames;
    settings_.batchFramesDone = 0;
    m_batchScale = static_cast<float>(frames) * 0.001f;
    parts_.window->SetBatchBar(0, 1000, 0);
    settings_.batchStartTime = static_cast<int>(platform::NowSeconds());
    m_excludedSeconds = 0;
    m_savedTitle = parts_.window->Title();
    parts_.window->EnablePages(false);
}

int CMainDlg::EncodeBatchThread() {
    m_hWorkerDone.Reset();
    std::unique_ptr<CEncoder> encoder = parts_.makeEncoder(settings_.UseCodec != 0);
    for (int i = 0; i < static_cast<int>(batchFiles.size()); ++i) {
        const std::string& path = batchFiles[static_cast<std::size_t>(i)].path;
        if (m_bStop || IsExcluded(i)) {
            // Not reached because the batch stopped, or left out by the codec check.
            Report({FileOutcome::kSkipped, path, OutputNameFor(path)});
            continue;
        }
        EncodeFile(*encoder, path);
    }
    if (!m_bStop && parts_.audioCdPage && parts_.audioCdPage->HasWindow()) EncodeCdTracks(*encoder);
    if (!m_bClosing) {
        m_bStop = 1;
        handle_->Send(WM_JOB_END_BATCH, 0, 0);
        handle_->Send(WM_JOB_PROGRESS, 0, 0);
    }
    settings_.frameCount = 0;
    settings_.batchFramesDone = 0;
    settings_.batchFrames = 0;
    settings_.currentFile = std::string();
    m_hWorkerDone.Set();
    encoder.reset();
    return 1;
}

void CMainDlg::EncodeFile(CEncoder& encoder, const std::string& input) {
    Encode(encoder, input, OutputNameFor(input), false);
}

bool CMainDlg::Encode(CEncoder& encoder, const std::string& input, const std::string& output,
                      bool postWhileClosing) {
    bool complete = false, failed = false;
    long long frames = 0;
    if (encoder.Open(settings_, input, output)) {
        settings_.currentFile = input;
        ResetFileProgress();
        complete = true;
        for (int r = encoder.EncodeStep(); r >= 0; r = encoder.EncodeStep()) {
            if (CountsTowardsProgress(r, settings_)) ++settings_.batchFramesDone;
            ++frames;
            if (m_bStop) {
                complete = false;
                break;
            }
            if (postWhileClosing || !m_bClosing) handle_->Post(WM_JOB_PROGRESS, 0, 0);
        }
    } else {
        CountFailure(input);
        failed = true;
    }
    encoder.Close();
    if (encoder.OutputFailed()) {
        if (!failed) CountFailure(input);
        failed = true;
        complete = false;
    } else if (complete) {
        ++encodedFiles;
    }
    FileOutcome outcome = EncodingOutcome(complete, failed, input, output, frames, settings_);
    if (failed) outcome.reason = FailureReasonFor(encoder, input);
    Report(outcome);
    return complete;
}

namespace {

// The main window as the track extraction sees it.
class WindowExtractionHost : public cdda::ExtractionHost {
  public:
    WindowExtractionHost(CMainDlg& dlg, platform::WindowHandle& window, SharedString& status,
                         unsigned statusMessage)
        : dlg_(dlg), window_(window), status_(status), statusMessage_(statusMessage) {}

    void SetStatus(const std::string& text) override {
        status_ = text;
        if (!dlg_.m_bClosing) window_.Post(statusMessage_, 0, 0);
    }
    void ReportProgress(int percent, float speed) override {
        // Once closing has begun the window waits for this thread and handles no report.
        if (dlg_.m_bClosing) return;
        window_.Send(WM_JOB_PROGRESS, static_cast<std::uintptr_t>(percent),
                     static_cast<std::intptr_t>(std::bit_cast<std::uint32_t>(speed)));
    }
    bool StopRequested() const override { return dlg_.m_bStop != 0; }
    void SetExtracting(bool running) override { dlg_.m_bExtracting = running ? 1 : 0; }
    void SetExtractStart(long long seconds) override { dlg_.m_extractStart = seconds; }
    void AddExcludedSeconds(long long seconds) override { dlg_.m_excludedSeconds += seconds; }
    void ReadFailed(std::uint32_t sector) override { dlg_.lastFailedSector = sector; }

  private:
    CMainDlg& dlg_;
    platform::WindowHandle& window_;
    SharedString& status_;
    unsigned statusMessage_;
};

}  // namespace

std::string ExpandHomeFolder(const std::string& folder) {
    if (folder == "~") return profile::DefaultFolder();
    if (folder.rfind("~/", 0) == 0) return profile::DefaultFolder() + folder.substr(2);
    return folder;
}

namespace {

// The extraction folder as typed: a leading "~" stands for the home folder, as a shell reads
// it, and an empty folder for the home folder, not the root of the file system.
std::string ExtractionFolder(const std::string& typed) {
    const std::string folder = ExpandHomeFolder(typed);
    return folder.empty() ? platform::HomeFolder() : folder;
}

// The name in the folder, joined with one '/'.
std::string InFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The folders that the template puts under an extraction folder that is there. When the
// extraction folder itself is missing, the extraction asks about it.
void MakeTemplateFolders(const std::string& folder, const std::string& stem) {
    if (!platform::IsFolder(folder)) return;
    for (std::size_t slash = stem.find('/'); slash != std::string::npos; slash = stem.find('/', slash + 1)) {
        const std::string sub = InFolder(folder, stem.substr(0, slash));
        if (!platform::IsFolder(sub)) platform::MakeFolder(sub);
    }
}

}  // namespace

bool CMainDlg::ExtractTrack(int adapter, int target, std::uint32_t firstSector, std::uint32_t lastSector,
                            const std::string& path) {
    WindowExtractionHost host(*this, *handle_, m_extractionStatus, WM_JOB_EXTRACTION_STATUS);
    cdda::ExtractionParameters p;
    p.mode = settings_.DaeMode;
    p.readSectors = settings_.nsectors;
    p.synchSectors = settings_.synchsectors;
    return cdda::ExtractTrack(host, p, adapter, target, firstSector, lastSector, path);
}

bool CMainDlg::AskToExtractWithoutEncoding() {
    const int answer = platform::MessageBox(
        "CD Audio tracks can't be encoded using current\nencoding parameters. Extract anyway?",
        platform::kAppCaption, platform::MB_OKCANCEL);
    return answer == platform::IDOK;
}

void CMainDlg::EncodeCdTracks(CEncoder& encoder) {
    bool extractOnly = audioCd.dontEncode != 0;
    const bool keep = audioCd.dontErase != 0;
    CdSelection selection;
    const int n = parts_.audioCdPage->GetSelection(selection);
    if (n > 0 && !extractOnly && settings_.UseCodec) {
        if (!parts_.codec || !parts_.codec->CanEncode(44100, settings_.Bitrate, settings_.Mono)) {
            if (!AskToExtractWithoutEncoding()) {
                m_bUserStopped = 1;
                m_bStop = 1;
                return;
            }
            extractOnly = true;
        }
    }
    const cdda::TrackEntry(&table)[cdda::kMaxTracks] = cdda::TrackTable();
    const int audioTracks =
        static_cast<int>(std::count_if(std::begin(table), std::end(table), [](const cdda::TrackEntry& e) {
            return e.trackNumber != 0 && e.IsAudio();
        }));
    std::vector<tags::AlbumTrack> album;
    TrackFileNamer namer(audioCd.trackNameTemplate);
    const std::string folder = ExtractionFolder(audioCd.extractedWavsFolder);
    for (int track : selection.tracks) {
        const cdda::TrackEntry* entry = cdda::FindTrack(table, track);
        if (!entry) continue;
        const tags::TagFields& tags = selection.trackTags[track];
        const std::string stem = namer.Next(track, tags);
        settings_.currentFile = stem.substr(stem.rfind('/') + 1) + ".wav";
        ResetFileProgress();
        MakeTemplateFolders(folder, stem);
        const std::string path = InFolder(folder, stem + ".wav");
        lastFailedSector = -1;
        FileOutcome extraction{FileOutcome::kExtracted, Printf("Track %02d", track), path};
        extraction.trackFirstSector = entry->firstSector;
        extraction.audioSeconds = (static_cast<double>(entry->lastSector) - entry->firstSector + 1) / 75.0;
        if (!ExtractTrack(selection.adapter, selection.target, entry->firstSector, entry->lastSector, path)) {
            CountFailure(Printf("Track %02d", track));
            m_bStop = 1;
            extraction.kind = FileOutcome::kExtractionFailed;
            extraction.failedSector = lastFailedSector;
        } else if (m_bStop) {
            extraction.kind = FileOutcome::kExtractionStopped;
        }
        Report(extraction);
        // A stopped or failed extraction leaves its WAV as it is.
        if (m_bStop) break;
        tags::TagFields names = tags;
        if (names.track.empty()) names.track = Printf("%d/%d", track, audioTracks);
        encoder.SetTrackTags(names);
        const bool encoded = !extractOnly && EncodeTrackWav(encoder, path);
        encoder.SetTrackTags({});
        if (encoded && encoder.LastLoudness()) album.push_back({TrackMp3Path(path), encoder.LastLoudness()});
        parts_.audioCdPage->AdvanceSelection();
        // Only a track that became a complete MP3 loses its WAV: anything else would leave
        // the user with nothing.
        if (!keep && encoded) platform::RemoveFile(path);
        if (m_bStop) break;
    }
    // Only a whole album has an album gain.
    if (!m_bStop) WriteAlbumGain(album);
}

void CMainDlg::WriteAlbumGain(const std::vector<tags::AlbumTrack>& album) {
    if (album.empty()) return;
    const std::vector<std::string> failed = tags::WriteAlbumGains(album);
    if (failed.empty()) return;
    std::string text = "The album gain could not be written to these files; they keep their track gain:\n\n";
    for (const std::string& path : failed)
        text += path + "\n";
    platform::MessageBox(text, platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

bool CMainDlg::EncodeTrackWav(CEncoder& encoder, const std::string& wav) {
    // Posting never blocks, so the track's progress goes on while the window closes.
    return Encode(encoder, wav, TrackMp3Path(wav), true);
}

void CMainDlg::ShowExtractionStatus() {
    parts_.window->SetStatus(m_extractionStatus.get());
    parts_.window->Refresh();
}

void CMainDlg::ResetFileProgress() {
    m_fileScale = static_cast<float>(settings_.totalFrames) * 0.001f;
    // Posted, not sent: it reaches the bar before the file's progress messages all the same,
    // and a worker never waits on a window that may be busy closing.
    if (!m_bClosing) handle_->Post(WM_JOB_RESET_FILE_PROGRESS, 0, 0);
}

void CMainDlg::ResetFileBar() {
    parts_.window->SetFileBar(0, 1000, 0);
}

void CMainDlg::EndBatch() {
    parts_.window->SetFileBar(0, 100, 0);
    parts_.window->SetBatchBar(0, 100, 0);
    m_bRunning = 0;
    parts_.window->SetGoButton("&Go", 140);
    parts_.window->DisableStopButton();
    parts_.window->SetStatus("");
    parts_.window->SetRemaining("");
    parts_.window->SetElapsed("");
    parts_.window->SetTitle(m_savedTitle);
    parts_.window->EnablePages(true);
    parts_.window->Refresh();
    if (alertWhenDone) {
        const BatchAlert alert = EndOfBatchAlert(m_bUserStopped != 0, failedNames);
        parts_.window->AlertDone(alert.text, alert.details);
    }
}

std::intptr_t CMainDlg::OnMessage(const platform::Message& message) {
    switch (message.id) {
        case WM_JOB_PROGRESS:
            OnJobProgress(message.wParam, message.lParam);
            break;
        case WM_JOB_RESET_FILE_PROGRESS:
            awaitingSpinUp_ = true;
            ResetFileBar();
            break;
        case WM_JOB_END_BATCH:
            EndBatch();
            break;
        case WM_JOB_EXTRACTION_STATUS:
            awaitingSpinUp_ = false;
            ShowExtractionStatus();
            break;
        default:
            break;
    }
    return 0;
}

void CMainDlg::OnJobProgress(std::uintptr_t wParam, std::intptr_t lParam) {
    JobWindowView& w = *parts_.window;
    if (m_bStop) {
        w.Refresh();
        return;
    }
    const bool extracting = m_bExtracting != 0;
    if (extracting && awaitingSpinUp_) {
        w.Refresh();
        return;
    }
    const int frameCount = FileProgressFrames(settings_);
    const int done = settings_.batchFramesDone;
    const int total = settings_.batchFrames;
    const float fileScale = m_fileScale;
    // A file or batch shorter than one frame has no scale: its bar stays where it is rather
    // than dividing by zero.
    if (extracting)
        w.SetFileBarPosition(static_cast<int>(wParam) * 10);
    else if (fileScale > 0.0f)
        w.SetFileBarPosition(static_cast<int>(static_cast<float>(frameCount) / fileScale));
    if (m_batchScale > 0.0f) w.SetBatchBarPosition(static_cast<int>(static_cast<float>(done) / m_batchScale));

    const std::string file = settings_.currentFile.get();
    if (file.empty()) {
        w.SetStatus("");
    } else if (extracting) {
        const float speed = std::bit_cast<float>(static_cast<std::uint32_t>(lParam));
        w.SetStatus(Printf("Extracting %s at %3.1fX - %d%% done (%s)", NameAfterLastSlash(file).c_str(),
                           static_cast<double>(speed), static_cast<int>(wParam),
                           DaeModeName(settings_.DaeMode)));
        m_lastDaeSpeed = speed;
    } else {
        const int percent =
            fileScale > 0.0f ? static_cast<int>(static_cast<float>(frameCount) * 0.1f / fileScale) : 0;
        w.SetStatus(Printf("Encoding %s at %d Kbps - %d%% done", NameAfterLastSlash(file).c_str(),
                           static_cast<int>(settings_.Bitrate), percent));
    }

    if (done % 10 == 0) {
        const long long elapsed = platform::NowSeconds() - settings_.batchStartTime - m_excludedSeconds;
        w.SetElapsed(platform::FormatSeconds(elapsed));
        if (!extracting && done > 0) {
            const long long remaining =
                static_cast<long long>(static_cast<double>(elapsed) / done * (total - done));
            w.SetRemaining(platform::FormatSeconds(remaining));
        }
        const int priority = parts_.settingsPage && parts_.settingsPage->HasWindow()
                                 ? PriorityForSliderPosition(parts_.settingsPage->PrioritySliderPosition())
                                 : 0;
        if (priority != m_nPriority) {
            m_nPriority = priority;
            if (m_pWorker) m_pWorker->SetPriority(priority);
        }
    }
    if (total != 0) {
        const std::string title =
            Printf("Encoding %d %%", static_cast<int>(static_cast<long long>(done) * 100 / total));
        if (title != w.Title()) w.SetTitle(title);
    }
    w.Refresh();
}

void CMainDlg::OnStopCommand() {
    m_bUserStopped = 1;
    m_bRunning = 0;
    m_bStop = 1;
}

bool CMainDlg::OnClose() {
    if (m_bRunning) {
        const int answer = platform::MessageBox(
            "This will terminate encoding, \ndo you really want to exit?", platform::kAppCaption,
            platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
        if (answer == platform::IDNO) return false;
    }
    m_bStop = 1;
    m_bClosing = 1;
    // A drive that does not answer would hold the close for its whole time-out.
    if (m_bExtracting) cdda::CAspiManager::Instance().AbortAllWaits();
    SaveProfile();
    return true;
}

void CMainDlg::SaveProfile() {
    profile::AppProfile* p = parts_.profile;
    // Everything the close saves goes to the disk in one write, so that two windows closing
    // at once never lose each other's keys.
    if (p) {
        p->HoldWrites();
        if (parts_.settingsPage && parts_.settingsPage->HasWindow())
            profile::WriteSettings(*p, parts_.settingsPage->Values());
        if (parts_.audioCdPage && parts_.audioCdPage->HasWindow())
            profile::WriteAudioCd(*p, parts_.audioCdPage->Values());
        if (parts_.daePage && parts_.daePage->HasWindow()) profile::WriteDae(*p, parts_.daePage->Values());
        if (parts_.files) {
            p->Write(profile::kLastFolder, parts_.files->LastFolder());
            std::vector<std::string> paths;
            for (int i = 0; i < parts_.files->Count(); ++i)
                paths.push_back(parts_.files->Path(i));
            profile::WriteFileList(*p, paths);
        }
    }
    WaitForWorkerWhileClosing();
    if (!p) return;
    profile::WriteDaeSpeed(*p, m_lastDaeSpeed);
    // A profile that could not be read was reported at start and is left alone.
    if (!p->Commit() && p->ReadProblem().empty())
        platform::MessageBox(
            "The settings are not saved: " + p->Path() + " cannot be written: " + p->LastError() + ".",
            platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

// Waits at most kWorkerWaitMs for the worker, handling what it sends meanwhile: a report it
// sent just before closing began would otherwise hold it, and this wait, for the whole time.
void CMainDlg::WaitForWorkerWhileClosing() {
    constexpr unsigned kSliceMs = 20;
    for (unsigned waited = 0; waited < kWorkerWaitMs; waited += kSliceMs) {
        if (m_hWorkerDone.Wait(kSliceMs) == platform::WAIT_OBJECT_0) return;
        if (handle_) handle_->DispatchPending();
    }
}
