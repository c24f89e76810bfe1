// The rules of the Files and Settings pages, without their widgets.
#include <gtest/gtest.h>

#include "job/file_list.h"
#include "job/settings_page.h"
#include "platform/scripted_message_box.h"
#include "tests/support/wav_writer.h"

namespace {

std::string Wav(const testwav::TempDir& dir, const std::string& name, int samples, int channels, int rate) {
    return testwav::WritePcm16(dir.File(name), testwav::Silence(samples, channels), channels, rate);
}

}  // namespace

TEST(FileList, AddAppendsInSelectionOrderAndDropPutsFilesOnTop) {
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;
    const std::string a = Wav(dir, "a.wav", 44100 * 180, 2, 44100);  // 3:00
    const std::string b = Wav(dir, "b.wav", 32000 * 61 + 5, 1, 32000);
    const std::string c = Wav(dir, "c.wav", 1000, 2, 48000);
    const std::string bad = testwav::WriteBytes(dir.File("bad.wav"), {'R', 'I', 'F', 'F', 0, 0, 0, 0});
    FileListModel list("/start", [&](const std::string& p) {
        return p == dir.File("gone.wav") ? std::string("No such file or directory") : std::string();
    });

    EXPECT_EQ(list.Add({a, bad, b, dir.File("gone.wav")}), 2);
    EXPECT_EQ(list.LastFolder(), dir.Path());  // the folder of the last file chosen
    ASSERT_EQ(list.Count(), 2);
    const FileListEntry first = list.Entry(0);
    EXPECT_EQ(first.path, a);
    EXPECT_EQ(first.length, "3:00");
    EXPECT_EQ(first.rate, "44 KHz");
    EXPECT_EQ(first.mode, "Stereo");
    EXPECT_EQ(first.frames, 6890);
    EXPECT_EQ(list.Entry(1).length, "1:01");
    EXPECT_EQ(list.Entry(1).mode, "Mono");
    // The refused files said why, each once, and are not listed.
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[1], dir.File("gone.wav") + " cannot be read: No such file or directory");

    list.Add({a});  // the same file twice is listed twice
    EXPECT_EQ(list.Drop({c, bad, b}), 2);
    std::vector<std::string> order;
    for (const FileListEntry& e : list.Entries())
        order.push_back(e.path);
    EXPECT_EQ(order, (std::vector<std::string>{c, b, a, b, a}));
    EXPECT_EQ(list.Entry(0).frames, 0);  // shorter than a frame

    list.Remove({4, 0, 4, 2});
    order.clear();
    for (const FileListEntry& e : list.Entries())
        order.push_back(e.path);
    EXPECT_EQ(order, (std::vector<std::string>{b, b}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(SettingsPageRules, GettersAndEnablingFollowTheWindowAndTheCodec) {
    testwav::TempDir dir;
    profile::AppProfile profile(dir.File("Velto.INI"));
    profile.Write(profile::kUseCodec, 1);
    profile.Write(profile::kDeemphasis, 2);
    profile.Write(profile::kEncodingMode, 3);

    CSettingsPageModel noCodec(false);
    // Without a window the getters give the defaults.
    EXPECT_EQ(noCodec.GetPriority(), 0);
    EXPECT_EQ(noCodec.GetDeemphasisCode(), 0);
    EXPECT_EQ(noCodec.GetEncodingMode(), 1);
    noCodec.Initialise(profile, true);  // first shown during a batch
    EXPECT_EQ(noCodec.Values().useCodec, 0);
    EXPECT_EQ(noCodec.GetDeemphasisCode(), 3);
    EXPECT_EQ(noCodec.GetEncodingMode(), 3);
    EXPECT_EQ(noCodec.GetPriority(), 0);  // the slider starts at normal
    noCodec.SetSliderPosition(0);
    EXPECT_EQ(noCodec.GetPriority(), -15);
    SettingsPageEnabling e = noCodec.Enabling();
    EXPECT_FALSE(e.streamProperties || e.lists || e.useCodec);
    EXPECT_TRUE(e.prioritySlider && e.alertWhenDone);
    noCodec.EnablePage(true);
    EXPECT_FALSE(noCodec.Enabling().useCodec);  // greyed whatever the batch does

    CSettingsPageModel withCodec(true);
    withCodec.Initialise(profile, true);
    EXPECT_EQ(withCodec.Values().useCodec, 1);
    EXPECT_TRUE(withCodec.Enabling().useCodec);  // enabled even during a batch
    EXPECT_FALSE(withCodec.Enabling().lists);
}
