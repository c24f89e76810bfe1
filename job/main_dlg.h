// The job state and logic of the main window: Go turns into a batch on one worker thread,
// progress comes back as WM_JOB_PROGRESS, and closing the window stops the batch and saves the
// profile. It knows no toolkit: it draws through JobWindowView, reads the pages through their
// views, and talks to its user-interface thread through a window handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "job/file_outcome.h"
#include "job/job_views.h"
#include "job/messages.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/window.h"

struct EncodingSettings;
namespace tags {
struct AlbumTrack;
}

// Collaborators of the main window's job logic.
struct MainDlgParts {
    JobWindowView* window = nullptr;
    FilesPageView* files = nullptr;
    SettingsPageView* settingsPage = nullptr;
    DaePageView* daePage = nullptr;
    AudioCdPageView* audioCdPage = nullptr;
    CodecQuery* codec = nullptr;  // null when no codec was found at start-up
    BatchEncoderFactory makeEncoder;
    profile::AppProfile* profile = nullptr;
    bool codecFound = false;
    FileOutcomeSink onFileDone;  // optional: told of every file and track as it ends
};

class CMainDlg {
  public:
    CMainDlg(MainDlgParts parts, EncodingSettings& settings);
    ~CMainDlg();
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    // The handle the worker posts and sends through; the front end dispatches it on the
    // user-interface thread to OnMessage.
    void AttachWindow(platform::WindowHandle& handle) { handle_ = &handle; }
    // Reads "DaeSpeed" from the profile.
    void OnInitDialog();

    void OnGo();
    std::intptr_t OnMessage(const platform::Message& message);
    void OnJobProgress(std::uintptr_t wParam, std::intptr_t lParam);
    // The close procedure. Returns false when the user chose to stay (No to the question).
    bool OnClose();
    // Command 1080.
    void OnStopCommand();

    int CheckFilesAgainstCodec();

    // Job state.
    std::atomic<int> m_bRunning{0};
    std::atomic<int> m_bStop{0};
    std::atomic<int> m_bClosing{0};
    std::atomic<int> m_bExtracting{0};
    std::vector<int> m_excludedFiles;
    platform::Event m_hWorkerDone{true, true};
    int m_nPriority = 0;
    std::atomic<long long> m_extractStart{0};
    std::atomic<long long> m_excludedSeconds{0};
    std::atomic<float> m_fileScale{0.0f};
    float m_batchScale = 0.0f;
    float m_lastDaeSpeed = 0.0f;
    std::string m_savedTitle;
    // The status text the extraction asks for, shown by the user-interface thread.
    SharedString m_extractionStatus;

    // Files of this batch that could not be opened or written, and files encoded to their end.
    std::atomic<int> failedFiles{0};
    std::atomic<int> encodedFiles{0};
    // Where the read that failed the last extraction began (worker thread only).
    long long lastFailedSector = -1;

    // What the batch read at Go, for the worker: the Files list as it was then (files added
    // or dropped during a batch wait for the next Go, and the exclusions keep their meaning).
    struct BatchFile {
        std::string path;
        int frames = 0;
    };
    std::vector<BatchFile> batchFiles;
    profile::AudioCdValues audioCd;
    int alertWhenDone = 0;

    // Extracts one CD track into a WAV file on the worker thread; false after a failure that
    // has been shown (the batch then stops).
    bool ExtractTrack(int adapter, int target, std::uint32_t firstSector, std::uint32_t lastSector,
                      const std::string& path);

    bool WorkerRunning() const { return m_pWorker != nullptr; }
    // A worker that was told to stop and has not ended yet.
    bool WorkerEnding() const { return m_pWorker && !m_bRunning && !m_hWorkerDone.IsSet(); }
    // Waits for a worker that has finished and releases its thread (tests and shutdown).
    void JoinWorker();

  private:
    void TakeEncodingParameters();
    void TakeFileList();
    void TakeExtractionParameters();
    void StartBatch();
    int EncodeBatchThread();
    bool IsExcluded(int index) const;
    void EncodeFile(CEncoder& encoder, const std::string& input);
    // Encodes input to output, counting it as encoded or failed; true when it was encoded
    // to its end.
    bool Encode(CEncoder& encoder, const std::string& input, const std::string& output,
                bool postWhileClosing);
    void EncodeCdTracks(CEncoder& encoder);
    void Report(const FileOutcome& outcome) const {
        if (parts_.onFileDone) parts_.onFileDone(outcome);
    }
    bool AskToExtractWithoutEncoding();
    bool EncodeTrackWav(CEncoder& encoder, const std::string& wav);
    static std::string TrackMp3Path(const std::string& wav) { return wav.substr(0, wav.size() - 3) + "mp3"; }
    // Writes the album's gain into the MP3s of the batch's CD tracks and names those that
    // could not take it.
    void WriteAlbumGain(const std::vector<tags::AlbumTrack>& album);
    void WaitForWorkerWhileClosing();
    // Worker side.
    void ResetFileProgress();
    // User-interface side of the worker's requests.
    void ResetFileBar();
    void ShowExtractionStatus();
    void EndBatch();
    void SaveProfile();

    MainDlgParts parts_;
    EncodingSettings& settings_;
    platform::WindowHandle* handle_ = nullptr;
    // User-interface thread: a file has begun whose "Spinning up drive..." has not been shown
    // yet. Progress the previous file's encoding posted may still be queued when the next
    // extraction begins; it must not be drawn as that extraction's progress.
    bool awaitingSpinUp_ = false;
    std::unique_ptr<platform::Thread> m_pWorker;
};
