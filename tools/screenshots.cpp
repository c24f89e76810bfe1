// velto-screenshots: renders the main window with each of its pages, the window during a
// batch, the Audio CD page without a drive, and the compact progress window (also with a long
// file name) to PNG files, offscreen, so that anyone can look at
// them without a display. Usage: velto-screenshots [output folder]
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/compact_window.h"
#include "app/encoder_choice.h"
#include "app/main_window.h"
#include "job/encoding_settings.h"
#include "layer3/layer3_encoder.h"
#include "tools/wav_file.h"
#include "ui/art.h"
#include "ui/cd_audio_page.h"
#include "ui/file_page.h"
#include "ui/logo_window.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::int16_t> Tone(int seconds, int channels, int rate, double hz) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(seconds) * rate * channels);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
        s[i] = static_cast<std::int16_t>(8000.0 * std::sin(2.0 * M_PI * hz * t));
    }
    return s;
}

std::string Wav(const fs::path& dir, const std::string& name, int seconds, int channels, int rate) {
    const std::string path = (dir / name).string();
    wavfile::WriteBytes(path, wavfile::Pcm16(Tone(seconds, channels, rate, 440.0), channels, rate));
    return path;
}

// A disc image of five silent audio tracks with their names for the virtual drive.
std::string Disc(const fs::path& dir) {
    const int sectors[5] = {13500, 16650, 9000, 20475, 11250};
    const char* titles[5] = {"Morning Light", "Harbour Song", "Interlude", "The Long Road Home", "Evening"};
    std::string cue = "PERFORMER \"The Quiet Hours\"\nTITLE \"Coastal Lines\"\nFILE \"disc.bin\" BINARY\n";
    long long start = 0;
    for (int t = 0; t < 5; ++t) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "  TRACK %02d AUDIO\n    TITLE \"%s\"\n    INDEX 01 %02lld:%02lld:%02lld\n", t + 1,
                      titles[t], start / 4500, start / 75 % 60, start % 75);
        cue += line;
        start += sectors[t];
    }
    std::ofstream(dir / "disc.bin").close();
    fs::resize_file(dir / "disc.bin", static_cast<std::uintmax_t>(start) * 2352);
    wavfile::WriteBytes((dir / "disc.cue").string(), std::vector<std::uint8_t>(cue.begin(), cue.end()));
    return (dir / "disc.cue").string();
}

void Settle(int ms = 50) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < end)
        Settle(5);
    return done();
}

bool Save(QWidget* w, const fs::path& out, const char* name) {
    Settle();
    const QString file = QString::fromStdString((out / name).string());
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", file.toStdString().c_str());
    return ok;
}

// The compact progress window a while into encoding the file.
bool SaveCompact(const std::string& wav, const fs::path& out, const char* name) {
    CMakerCommandLineInfo info;
    info.fileName = wav;
    EncodingSettings settings;
    CompactWindow compact(info, settings, [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    compact.show();
    compact.Start();
    WaitFor([&] { return settings.frameCount > 3000; });
    const bool ok = Save(&compact, out, name);
    compact.reject();
    return ok;
}

std::string ProgramFolder() {
    return fs::canonical("/proc/self/exe").parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path out = fs::absolute(argc > 1 ? argv[1] : "screenshots");
    fs::create_directories(out);
    const fs::path work = fs::temp_directory_path() / ("velto-screenshots-" + std::to_string(getpid()));
    fs::create_directories(work / "Music");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VELTO_ASPI_LIBRARY", (ProgramFolder() + "/libwnaspi32-image.so").c_str(), 1);
    setenv("VELTO_CD_IMAGES", ("0=" + Disc(work)).c_str(), 1);
    setenv("HOME", work.c_str(), 1);
    // The disc's names come from its sheet; its lookup would reach for the network.
    setenv("VELTO_MUSICBRAINZ_SERVER", "off", 0);

    QApplication app(argc, argv);
    bool ok = true;
    {
        profile::AppProfile profile((work / "Velto.INI").string());
        profile.Write(profile::kExtractedWavsFolder, (work / "rips").string());
        CodecCanEncode codec;
        MainWindow main(profile, DetectCodecAtStartUp(), &codec, MakeBatchEncoder, encodingSettings);
        main.FilePage()->AddFiles({Wav(work / "Music", "01 Overture.wav", 95, 2, 44100),
                                   Wav(work / "Music", "02 Interview.wav", 62, 1, 32000),
                                   Wav(work / "Music", "03 Finale.wav", 181, 2, 48000)});
        main.show();
        ok &= Save(&main, out, "main-files.png");
        main.ShowPage(MainWindow::kAudioCdPage);
        main.AudioCdPage()->tracks->topLevelItem(1)->setSelected(true);
        main.AudioCdPage()->tracks->topLevelItem(3)->setSelected(true);
        ok &= Save(&main, out, "main-audio-cd.png");
        main.ShowPage(MainWindow::kDaePage);
        ok &= Save(&main, out, "main-dae.png");
        main.ShowPage(MainWindow::kSettingsPage);
        ok &= Save(&main, out, "main-settings.png");
        main.AudioCdPage()->tracks->clearSelection();
        main.ShowPage(MainWindow::kFilesPage);
        main.GoButton()->click();
        WaitFor([&] { return encodingSettings.batchFramesDone > 2500; });
        ok &= Save(&main, out, "main-encoding.png");
        // The other pages during a batch: disabled but for what acts on a running batch.
        main.ShowPage(MainWindow::kSettingsPage);
        ok &= Save(&main, out, "main-settings-encoding.png");
        main.ShowPage(MainWindow::kAudioCdPage);
        ok &= Save(&main, out, "main-audio-cd-encoding.png");
        main.ShowPage(MainWindow::kFilesPage);
        main.GoButton()->click();
        WaitFor([&] { return !main.Job().m_bRunning && main.Job().m_hWorkerDone.IsSet(); });
    }
    {
        // The Audio CD page of a machine without a drive.
        unsetenv("VELTO_CD_IMAGES");
        profile::AppProfile profile((work / "Empty.INI").string());
        MainWindow main(profile, false, nullptr, MakeBatchEncoder, encodingSettings);
        main.show();
        main.ShowPage(MainWindow::kAudioCdPage);
        ok &= Save(&main, out, "main-audio-cd-no-drive.png");
    }
    ok &= SaveCompact(Wav(work, "song.wav", 240, 2, 44100), out, "compact.png");
    ok &= SaveCompact(
        Wav(work, "Live at the Old Town Hall, second night - the complete concert, remastered.wav", 240, 2,
            44100),
        out, "compact-long-name.png");
    if (QWidget* logo = ui::CLogoWnd::Show(ui::kBitmapLogo, 60000)) {
        ok &= Save(logo, out, "logo.png");
        logo->close();
    }
    fs::remove_all(work);
    return ok ? 0 : 1;
}
