// The window with inputs beyond the plain WAV: a FLAC and a 96 kHz WAV are listed with their
// converted rate and length, encoded, and decode at the rate the encoder took.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QPushButton>
#include <QTreeWidget>
#include <cmath>
#include <vector>

#include "job/file_list.h"
#include "tests/support/mp3_decoder.h"
#include "tests/ui/ui_support.h"
#include "ui/file_page.h"

namespace {

std::string WriteTone(const std::string& path, int format, int rate, int channels, double seconds) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> samples;
    const int frames = static_cast<int>(seconds * rate);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(0.4f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / rate)));
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return path;
}

}  // namespace

TEST(MainWindow, ListsAndEncodesAFlacAndA96kHzWav) {
    testwav::TempDir dir;
    uitest::Window w(dir.File("Velto.INI"));
    const std::string flac =
        WriteTone(dir.File("song.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 6, 2.5);
    const std::string hires =
        WriteTone(dir.File("take.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2, 1.5);
    w.window->FilePage()->AddFiles({flac, hires});
    QTreeWidget* list = w.window->FilePage()->List();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "0:02");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "44 KHz");
    EXPECT_EQ(list->topLevelItem(0)->text(3), QString::fromUtf8("5.1 \u2192 Stereo"));
    EXPECT_EQ(list->topLevelItem(1)->text(2), QString::fromUtf8("96 \u2192 48 KHz"));
    EXPECT_EQ(list->topLevelItem(1)->text(3), "Stereo");
    EXPECT_EQ(w.window->Files().Frames(1), 72000 / 1152);

    w.window->GoButton()->click();
    ASSERT_TRUE(w.BatchEnded());
    for (const std::string& text : w.boxes->Texts())
        EXPECT_EQ(text.find(dir.Path()), std::string::npos) << text;  // nothing said about either file
    const testmp3::Decoded song = testmp3::DecodeFile(dir.File("song.mp3"));
    const testmp3::Decoded take = testmp3::DecodeFile(dir.File("take.mp3"));
    EXPECT_TRUE(song.Clean());
    EXPECT_TRUE(take.Clean());
    EXPECT_EQ(song.rate, 44100);
    EXPECT_EQ(take.rate, 48000);
    EXPECT_GE(take.SamplesPerChannel(), 72000u);
}
