#include "job/main_dlg.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "job/settings_translation.h"
#include "job/text.h"
#include "layer3/wave_reader.h"
#include "platform/message_box.h"
#include "platform/time_format.h"

namespace {

// Messages the worker sends so that its window work runs on the user-interface thread.
constexpr unsigned WM_JOB_RESET_FILE_PROGRESS = platform::WM_USER + 2;
constexpr unsigned WM_JOB_END_BATCH = platform::WM_USER + 3;
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
    if (parts_.profile) m_lastDaeSpeed = profile::ReadDaeSpeed(*parts_.profile);
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
        m_bRunning = 0;
        m_bStop = 1;
        return;
    }
    // A worker that has ended but whose thread was not released yet.
    JoinWorker();
    TakeEncodingParameters();
    TakeExtractionParameters();
    if (settings_.UseCodec) {
        if (!CheckFilesAgainstCodec()) return;
    } else {
        m_excludedFiles.clear();
    }
    failedFiles = 0;
    encodedFiles = 0;
    StartBatch();
    m_pWorker = std::make_unique<platform::Thread>([this] { EncodeBatchThread(); }, m_nPriority);
}

int CMainDlg::CheckFilesAgainstCodec() {
    m_excludedFiles.clear();
    const int count = parts_.files ? parts_.files->Count() : 0;
    for (int i = count - 1; i >= 0; --i) {
        layer3::CWaveReader reader;
        if (!reader.Open(parts_.files->Path(i))) continue;  // it fails later, in the encoder
        const int mono = settings_.Mono || reader.channels == 1;
        if (!parts_.codec || !parts_.codec->CanEncode(reader.sampleRate, settings_.Bitrate, mono))
            m_excludedFiles.push_back(i);
        reader.Close();
    }
    if (m_excludedFiles.empty()) return 1;
    std::string text = "The following files cannot be encoded using external codec\n";
    text += "using current encoding parameters: \n\n";
    for (int i : m_excludedFiles)
        text += parts_.files->Path(i) + "\n";
    text += "\nThey won't be encoded.\n";
    if (platform::MessageBox(text, platform::kAppCaption, platform::MB_OKCANCEL) == platform::IDCANCEL)
        return 0;
    return 1;
}

bool CMainDlg::IsExcluded(int index) const {
    return std::find(m_excludedFiles.begin(), m_excludedFiles.end(), index) != m_excludedFiles.end();
}

void CMainDlg::StartBatch() {
    m_bStop = 0;
    m_bRunning = 1;
    parts_.window->SetGoButton("&Stop", 141);
    int frames = 0;
    const int count = parts_.files ? parts_.files->Count() : 0;
    for (int i = 0; i < count; ++i)
        if (!IsExcluded(i)) frames += parts_.files->Frames(i);
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
    // The list is read again after every file: the user may add files while the batch runs.
    for (int i = 0; parts_.files && i < parts_.files->Count(); ++i) {
        if (IsExcluded(i)) continue;
        EncodeFile(*encoder, parts_.files->Path(i));
        if (m_bStop) break;
    }
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
    bool complete = false;
    if (encoder.Open(settings_, input, OutputNameFor(input))) {
        settings_.currentFile = input;
        ResetFileProgress();
        complete = true;
        for (int r = encoder.EncodeStep(); r >= 0; r = encoder.EncodeStep()) {
            ++settings_.batchFramesDone;
            if (m_bStop) {
                complete = false;
                break;
            }
            if (!m_bClosing) handle_->Post(WM_JOB_PROGRESS, 0, 0);
        }
    } else {
        ++failedFiles;
    }
    encoder.Close();
    if (encoder.OutputFailed())
        ++failedFiles;
    else if (complete)
        ++encodedFiles;
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
    if (alertWhenDone) parts_.window->AlertDone();
}

std::intptr_t CMainDlg::OnMessage(const platform::Message& message) {
    switch (message.id) {
        case WM_JOB_PROGRESS:
            OnJobProgress(message.wParam, message.lParam);
            break;
        case WM_JOB_RESET_FILE_PROGRESS:
            ResetFileBar();
            break;
        case WM_JOB_END_BATCH:
            EndBatch();
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
    const int frameCount = settings_.frameCount;
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
    SaveProfile();
    return true;
}

void CMainDlg::SaveProfile() {
    profile::AppProfile* p = parts_.profile;
    if (p) {
        if (parts_.settingsPage && parts_.settingsPage->HasWindow())
            profile::WriteSettings(*p, parts_.settingsPage->Values());
        if (parts_.audioCdPage && parts_.audioCdPage->HasWindow())
            profile::WriteAudioCd(*p, parts_.audioCdPage->Values());
        if (parts_.daePage && parts_.daePage->HasWindow()) profile::WriteDae(*p, parts_.daePage->Values());
        if (parts_.files) p->Write(profile::kLastFolder, parts_.files->LastFolder());
    }
    m_hWorkerDone.Wait(kWorkerWaitMs);
    if (p) profile::WriteDaeSpeed(*p, m_lastDaeSpeed);
}
