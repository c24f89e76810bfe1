// velto-batch: encodes WAV files and folders of them on the command line, with the settings
// of the profile's [Settings] section and the switches over them.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_cd.h"
#include "app/batch_console.h"
#include "app/batch_options.h"
#include "app/batch_report.h"
#include "app/encoder_choice.h"
#include "app/input_check.h"
#include "app/version.h"
#include "job/encoding_settings.h"
#include "job/main_dlg.h"
#include "job/output_names.h"
#include "job/parallel_batch.h"
#include "job/settings_translation.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "platform/time_format.h"
#include "platform/window.h"
#include "worklist/json_report.h"

namespace {

constexpr int kExitEncoded = 0, kExitFailed = 1, kExitUsage = 2;

// Where --report writes: a file it creates, standard output for "-", or nowhere.
class ReportFile {
  public:
    ReportFile() = default;
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile() {
        if (owned_) std::fclose(owned_);
    }
    // Empty, or why the file cannot be created.
    std::string Open(const std::string& path) {
        if (path == "-") {
            out_ = stdout;
        } else if (!path.empty()) {
            owned_ = out_ = std::fopen(path.c_str(), "w");
            if (!out_) return std::strerror(errno);
        }
        return "";
    }
    std::FILE* Get() const { return out_; }
    bool OnStandardOutput() const { return out_ == stdout; }

  private:
    std::FILE* out_ = nullptr;
    std::FILE* owned_ = nullptr;
};

int RunSerial(CommandLineFiles& files, CommandLineSettings& settingsPage, ProfileDaePage& daePage,
              AudioCdPageView* cdPage, bool codecFound, int refused, const FileOutcomeSink& onFileDone,
              std::FILE* display) {
    ConsoleJobWindow window(display, platform::IsTerminal(display), platform::TerminalColumns(display));
    CodecCanEncode codec;
    MainDlgParts parts;
    parts.window = &window;
    parts.files = &files;
    parts.settingsPage = &settingsPage;
    parts.daePage = &daePage;
    parts.audioCdPage = cdPage;
    parts.codec = codecFound ? &codec : nullptr;
    parts.codecFound = codecFound;
    parts.makeEncoder = MakeBatchEncoder;
    parts.onFileDone = onFileDone;
    // No profile: the command line never writes it back.

    CMainDlg* dlg = nullptr;
    bool closed = false;
    int interrupts = 0;
    constexpr unsigned WM_INTERRUPT = platform::WM_USER + 10;
    platform::MessageQueueWindow queue([&](const platform::Message& m) -> std::intptr_t {
        if (m.id != WM_INTERRUPT) return dlg->OnMessage(m);
        // The first Ctrl-C is Stop; the next one is the close procedure.
        interrupts = static_cast<int>(m.wParam);
        if (interrupts == 1 && dlg->m_bRunning) {
            dlg->OnGo();
        } else {
            // A drive that does not answer would hold the close for its whole time-out.
            cdda::CAspiManager::Instance().AbortAllWaits();
            closed = dlg->OnClose();
        }
        return 0;
    });
    platform::InterruptWatcher watcher(
        [&](int count) { queue.Post(WM_INTERRUPT, static_cast<std::uintptr_t>(count), 0); });
    CMainDlg main(std::move(parts), encodingSettings);
    dlg = &main;
    main.AttachWindow(queue);
    main.OnInitDialog();
    main.OnGo();
    while (!closed && (main.m_bRunning || !main.m_hWorkerDone.IsSet()))
        queue.DispatchFor(50);
    queue.DispatchPending();
    main.JoinWorker();
    if (platform::IsTerminal(display)) std::fputc('\n', display);
    if (interrupts > 0) return platform::InterruptExitStatus();
    return main.failedFiles > 0 || refused > 0 ? kExitFailed : kExitEncoded;
}

int RunParallel(CommandLineFiles& files, CommandLineSettings& settingsPage, const BatchOptions& options,
                int refused, const FileOutcomeSink& onFileDone, std::FILE* display) {
    EncodingSettings settings;
    ApplySettingsValues(settingsPage.Values(), true, settings);
    std::vector<ParallelBatchFile> list;
    for (int i = 0; i < files.Count(); ++i)
        list.push_back({files.Path(i), files.Frames(i)});
    // More workers than files would only be threads with nothing to do, and a large -j could
    // ask for more threads than the system gives.
    const int workers = std::min(WorkerCount(options.jobs), std::max(files.Count(), 1));
    CParallelBatch batch(settings, std::move(list), workers,
                         [useCodec = settings.UseCodec != 0] { return MakeBatchEncoder(useCodec); });
    batch.OnFileDone(onFileDone);
    int interrupts = 0;
    platform::InterruptWatcher watcher([&](int count) {
        interrupts = count;
        batch.Stop();
    });
    ConsoleJobWindow window(display, platform::IsTerminal(display), platform::TerminalColumns(display));
    const std::time_t start = platform::NowSeconds();
    window.SetBatchBar(0, 1000, 0);
    batch.Run([&] {
        const int done = batch.FramesDone();
        const int total = batch.BatchFrames();
        const std::string file = batch.CurrentFile();
        if (file.empty()) return;
        window.SetStatus("Encoding " + file.substr(file.rfind('/') + 1) + " at " +
                         std::to_string(batch.Bitrate()) + " Kbps - " +
                         std::to_string(total ? done * 100LL / total : 0) + "% done");
        window.SetBatchBarPosition(total ? static_cast<int>(done * 1000LL / total) : 0);
        const long long elapsed = platform::NowSeconds() - start;
        window.SetElapsed(platform::FormatSeconds(elapsed));
        if (done > 0)
            window.SetRemaining(platform::FormatSeconds(
                static_cast<long long>(static_cast<double>(elapsed) / done * (total - done))));
        if (total) window.SetTitle("Encoding " + std::to_string(done * 100LL / total) + " %");
        window.Refresh();
    });
    if (platform::IsTerminal(display)) std::fputc('\n', display);
    if (interrupts > 0) return platform::InterruptExitStatus();
    return batch.Failed() > 0 || refused > 0 ? kExitFailed : kExitEncoded;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything loads a library or starts a thread: they all inherit the blocked SIGINT.
    platform::RouteInterruptsToOneThread();
    BatchOptions options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::fputs(BatchUsage(), stdout);
        return kExitEncoded;
    }
    if (options.version) {
        std::printf("velto-batch %s\n", kVeltoVersion);
        return kExitEncoded;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "velto-batch: %s\n%s", options.error.c_str(), BatchUsage());
        return kExitUsage;
    }
    const bool codecFound = DetectCodecAtStartUp();
    if (options.useCodec && !codecFound) {
        std::fprintf(stderr, "velto-batch: --codec: the system's MP3 codec library is not installed\n");
        return kExitUsage;
    }
    if (options.listDrives) return ListDrives(stdout, stderr) ? kExitEncoded : kExitFailed;
    if (!options.folder.empty() && platform::FileExists(options.folder) &&
        !platform::IsFolder(options.folder)) {
        std::fprintf(stderr, "velto-batch: --folder=%s: it is not a folder\n", options.folder.c_str());
        return kExitUsage;
    }
    profile::AppProfile profileFile;
    // A missing profile means the defaults; one that is there but cannot be read would
    // silently encode with settings the user did not choose.
    if (platform::FileExists(profileFile.Path())) {
        if (const std::string why = UnreadableInputReason(profileFile.Path()); !why.empty()) {
            std::fprintf(stderr, "velto-batch: the profile %s cannot be read: %s\n",
                         profileFile.Path().c_str(), why.c_str());
            return kExitUsage;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> names;
    std::size_t listed = 0;
    std::vector<UnlistedFolder> unlisted;
    if (const std::string why = CollectInputs(options, names, listed, &unlisted); !why.empty()) {
        std::fprintf(stderr, "velto-batch: %s\n", why.c_str());
        return kExitUsage;
    }
    ReportFile jsonFile;
    if (const std::string why = jsonFile.Open(options.reportPath); !why.empty()) {
        std::fprintf(stderr, "velto-batch: --report=%s: %s\n", options.reportPath.c_str(), why.c_str());
        return kExitUsage;
    }
    // With the report on standard output, the progress and the summary line go to standard error.
    std::FILE* display = jsonFile.OnStandardOutput() ? stderr : stdout;
    BatchReport report(stdout, stderr, !jsonFile.OnStandardOutput() && !platform::IsTerminal(stdout));
    std::optional<worklist::JsonReport> json;
    if (jsonFile.Get()) json.emplace(jsonFile.Get());
    if (options.skipExisting)
        worklist::TakeOutAlreadyDone(names, OutputNameFor,
                                     [&](const std::string& input, const std::string& output) {
                                         report.AlreadyDone(input, output);
                                         if (json) json->AlreadyDone(input, output);
                                     });
    for (const UnlistedFolder& folder : unlisted) {
        std::fprintf(stderr, "velto-batch: %s\n", folder.reason.c_str());
        report.Refused(folder.path, folder.reason);
    }
    CommandLineFiles files(std::move(names), [&](const std::string& path, const std::string& reason) {
        report.Refused(path, reason);
        if (json) json->Refused(path, OutputNameFor(path), reason);
    });
    const int refused = files.Refused() + static_cast<int>(unlisted.size());
    CommandLineSettings settingsPage(profile::ReadSettings(profileFile, codecFound), options, codecFound);
    ProfileDaePage daePage(DaeValuesFor(options, profile::ReadDae(profileFile)));
    const FileOutcomeSink onFileDone = [&](const FileOutcome& ended) {
        const double cpuSeconds = worklist::TakeThreadCpuSeconds();
        FileOutcome outcome = ended;
        const bool forgotten = options.skipExisting && worklist::ForgetStoppedOutput(outcome);
        report.Record(outcome);
        if (json)
            json->Record(outcome, cpuSeconds,
                         forgotten ? "the batch was stopped during this file; its shorter output was removed "
                                     "so that a run with --skip-existing encodes it again"
                                   : "");
    };
    int status = kExitEncoded;
    if (options.cdTarget >= 0) {
        cdda::CCDAudioPage cdPage(CdValuesFor(options, profile::ReadAudioCd(profileFile)));
        if (const std::string why = SelectCdTracks(options, cdPage); !why.empty()) {
            std::fprintf(stderr, "velto-batch: --cd=%d: %s\n", options.cdTarget, why.c_str());
            return kExitFailed;
        }
        if (const std::string why = LookUpNames(options, cdPage, stderr); !why.empty()) {
            std::fprintf(stderr, "velto-batch: %s\n", why.c_str());
            return kExitFailed;
        }
        status = RunSerial(files, settingsPage, daePage, &cdPage, codecFound, refused, onFileDone, display);
    } else if (WorkerCount(options.jobs) == 1) {
        status = RunSerial(files, settingsPage, daePage, nullptr, codecFound, refused, onFileDone, display);
    } else {
        status = RunParallel(files, settingsPage, options, refused, onFileDone, display);
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::fprintf(display, "%s\n", report.Summary(wall.count()).c_str());
    if (json && !json->Finish({listed, options.shard.value_or(worklist::Shard{}), wall.count(), status})) {
        std::fprintf(stderr, "velto-batch: --report=%s: the report could not be written whole\n",
                     options.reportPath.c_str());
        if (status == kExitEncoded) status = kExitFailed;
    }
    return status;
}
