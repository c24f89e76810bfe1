#include "job/profile_values.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "job/encoding_settings.h"
#include "job/settings_translation.h"
#include "tests/support/wav_writer.h"

using namespace profile;

TEST(ProfileValues, AFirstRunGetsEveryDefault) {
    testwav::TempDir dir;
    AppProfile p(dir.File("Velto.INI"));
    SettingsValues s = ReadSettings(p, true);
    EXPECT_EQ(s.bitrate, 8);
    EXPECT_EQ(s.deemphasis, 0);
    EXPECT_EQ(s.encodingMode, 1);
    EXPECT_EQ(s.useCodec, 1);
    EXPECT_EQ(s.alertWhenDone + s.copyright + s.mono + s.original, 0);
    EXPECT_EQ(ReadSettings(p, false).useCodec, 0);
    DaeValues d = ReadDae(p);
    EXPECT_EQ(d.mode, 0);
    EXPECT_EQ(d.nsectors, 26);
    EXPECT_EQ(d.synchsectors, 3);
    AudioCdValues a = ReadAudioCd(p);
    EXPECT_EQ(a.dontErase + a.dontEncode, 0);
    EXPECT_EQ(a.extractedWavsFolder, DefaultFolder());
    EXPECT_EQ(p.Read(kLastFolder), DefaultFolder());
    EXPECT_FLOAT_EQ(ReadDaeSpeed(p), 5.0f);
}

TEST(ProfileValues, DefaultFolderIsHomeWithASlash) {
    std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(DefaultFolder(), "/home/ann/");
    setenv("HOME", "/", 1);
    EXPECT_EQ(DefaultFolder(), "/");
    setenv("HOME", saved.c_str(), 1);
}

TEST(ProfileValues, UseCodecReadsAsZeroWithoutTheCodec) {
    testwav::TempDir dir;
    AppProfile p(dir.File("Velto.INI"));
    p.Write(kUseCodec, 1);
    EXPECT_EQ(ReadSettings(p, false).useCodec, 0);
    EXPECT_EQ(ReadSettings(p, true).useCodec, 1);
}

TEST(ProfileValues, SectionsRoundTrip) {
    testwav::TempDir dir;
    AppProfile p(dir.File("Velto.INI"));
    SettingsValues s{1, 1, 1, 1, 13, 2, 3, 1};
    ASSERT_TRUE(WriteSettings(p, s));
    SettingsValues r = ReadSettings(p, true);
    EXPECT_EQ(r.bitrate, 13);
    EXPECT_EQ(r.deemphasis, 2);
    EXPECT_EQ(r.encodingMode, 3);
    EXPECT_EQ(r.alertWhenDone + r.copyright + r.mono + r.original + r.useCodec, 5);
    ASSERT_TRUE(WriteDae(p, {2, 27, 10}));
    EXPECT_EQ(ReadDae(p).nsectors, 27);
    EXPECT_EQ(ReadDae(p).synchsectors, 10);
    ASSERT_TRUE(WriteAudioCd(p, {"/rips", 1, 0}));
    EXPECT_EQ(ReadAudioCd(p).extractedWavsFolder, "/rips");
    EXPECT_EQ(p.ReadString("Folders", "ExtractedWavsFolder", ""), "/rips");
}

TEST(ProfileValues, ValuesOutsideTheirListsOrSpinRangesReadAsDefaultsAndNeverReachAnEncoder) {
    testwav::TempDir dir;
    AppProfile p(dir.File("Velto.INI"));
    for (bool below : {true, false}) {
        SCOPED_TRACE(below ? "below" : "above");
        ASSERT_TRUE(WriteSettings(p, {0, 0, 0, 0, below ? -1 : 14, below ? -1 : 3, below ? -1 : 4, 0}));
        ASSERT_TRUE(WriteDae(p, below ? DaeValues{-1, 0, 0} : DaeValues{3, 28, 11}));
        const SettingsValues s = ReadSettings(p, false);
        EXPECT_EQ(s.bitrate, 8);
        EXPECT_EQ(s.deemphasis, 0);
        EXPECT_EQ(s.encodingMode, 1);
        const DaeValues d = ReadDae(p);
        EXPECT_EQ(d.mode, 0);
        EXPECT_EQ(d.nsectors, 26);
        EXPECT_EQ(d.synchsectors, 3);
    }
    ASSERT_TRUE(WriteDae(p, {0, 1, 1}));
    EXPECT_EQ(ReadDae(p).nsectors, 1);
    EXPECT_EQ(ReadDae(p).synchsectors, 1);
    // Values that come some other way are translated the same.
    EncodingSettings e;
    for (int index : {-1, 14}) {
        ApplySettingsValues({0, 0, 0, 0, index, index, index, 0}, false, e);
        EXPECT_EQ(e.bitrateIndex, 9);
        EXPECT_EQ(static_cast<int>(e.Bitrate), 128);
        EXPECT_EQ(e.Deemphasis, 0);
        EXPECT_EQ(e.EncodingMode, 1);
    }
}

TEST(ProfileValues, DaeSpeedReadUnchangedIsWrittenBackUnchanged) {
    testwav::TempDir dir;
    AppProfile p(dir.File("Velto.INI"));
    // Every tenth that is not exact in single precision must survive many runs.
    for (int n : {0, 1, 7, 49, 50, 56, 57, 123, 999, 1234}) {
        p.Write(kDaeSpeed, n);
        for (int run = 0; run < 5; ++run)
            ASSERT_TRUE(WriteDaeSpeed(p, ReadDaeSpeed(p)));
        EXPECT_EQ(p.Read(kDaeSpeed), n);
    }
    ASSERT_TRUE(WriteDaeSpeed(p, 4.26f));
    EXPECT_EQ(p.Read(kDaeSpeed), 43);
}
