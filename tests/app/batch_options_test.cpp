#include "app/batch_options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/batch_console.h"
#include "platform/scripted_message_box.h"
#include "tests/support/wav_writer.h"

TEST(BatchOptions, SwitchesLongOptionsAndUsageErrors) {
    auto o = ParseBatchOptions({"-b192", "-m", "--mode=3", "--codec", "-j2", "a.wav", "dir"});
    EXPECT_TRUE(o.error.empty());
    EXPECT_EQ(o.bitrateIndex, 11);
    EXPECT_EQ(o.mono, 1);
    EXPECT_EQ(o.encodingMode, 3);
    EXPECT_TRUE(o.useCodec);
    EXPECT_EQ(o.jobs, 2);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.wav", "dir"}));
    EXPECT_EQ(ParseBatchOptions({"--jobs=0", "x.wav"}).jobs, 0);
    EXPECT_EQ(ParseBatchOptions({"-p0", "x.wav"}).prioritySlider, 0);
    EXPECT_EQ(ParseBatchOptions({"-p9", "x.wav"}).prioritySlider, 3);

    EXPECT_FALSE(ParseBatchOptions({"--mode=4", "x.wav"}).error.empty());
    EXPECT_FALSE(ParseBatchOptions({"--mode=", "x.wav"}).error.empty());
    EXPECT_FALSE(ParseBatchOptions({"--jobs=two", "x.wav"}).error.empty());
    EXPECT_FALSE(ParseBatchOptions({"--frobnicate", "x.wav"}).error.empty());
    EXPECT_FALSE(ParseBatchOptions({"-m"}).error.empty());  // nothing to encode
    EXPECT_TRUE(ParseBatchOptions({"--help"}).help);
}

TEST(BatchOptions, FoldersStandForTheirWavFilesInNameOrder) {
    testwav::TempDir dir;
    std::filesystem::create_directory(dir.File("album"));
    for (const char* name : {"b.wav", "a.WAV", "c.txt", "10.wav", "d.Flac", "e.aiff", "f.mp3"})
        testwav::WriteBytes(dir.File(std::string("album/") + name), {});
    std::filesystem::create_directory(dir.File("album/sub.wav"));
    auto files = ExpandInputs({dir.File("single.wav"), dir.File("album")});
    EXPECT_EQ(files, (std::vector<std::string>{dir.File("single.wav"), dir.File("album/10.wav"),
                                               dir.File("album/a.WAV"), dir.File("album/b.wav"),
                                               dir.File("album/d.Flac"), dir.File("album/e.aiff")}));
}

TEST(BatchConsole, FilesAreValidatedBeforeTheyAreListed) {
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;
    testwav::WritePcm16(dir.File("good.wav"), testwav::Silence(1152 * 3 + 5, 2), 2, 44100);
    testwav::WriteBytes(dir.File("bad.wav"), {'R', 'I', 'F', 'X'});
    CommandLineFiles files({dir.File("good.wav"), dir.File("bad.wav"), dir.File("missing.wav")});
    ASSERT_EQ(files.Count(), 1);
    EXPECT_EQ(files.Frames(0), 3);
    EXPECT_EQ(files.Refused(), 2);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{dir.File("bad.wav") + " is not a RIFF file.\n"});
}

TEST(BatchConsole, SwitchesOverrideTheProfileAndTheCodecNeedsAskingFor) {
    profile::SettingsValues stored{1, 0, 0, 1, 3, 1, 2, 1};
    CommandLineSettings plain(stored, ParseBatchOptions({"x.wav"}), true);
    auto v = plain.Values();
    EXPECT_EQ(v.bitrate, 3);
    EXPECT_EQ(v.original, 1);
    EXPECT_EQ(v.useCodec, 0);  // the profile's UseCodec is not taken
    CommandLineSettings over(stored,
                             ParseBatchOptions({"-b320", "-e2", "-c", "--mode=0", "--codec", "x.wav"}), true);
    v = over.Values();
    EXPECT_EQ(v.bitrate, 13);
    EXPECT_EQ(v.deemphasis, 2);
    EXPECT_EQ(v.copyright, 1);
    EXPECT_EQ(v.encodingMode, 0);
    EXPECT_EQ(v.useCodec, 1);
    EXPECT_EQ(CommandLineSettings(stored, ParseBatchOptions({"--codec", "x.wav"}), false).Values().useCodec,
              0);
}
