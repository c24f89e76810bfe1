#include "job/profile_values.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    ASSERT_TRUE(WriteDae(p, {2, 40, 5}));
    EXPECT_EQ(ReadDae(p).nsectors, 40);
    ASSERT_TRUE(WriteAudioCd(p, {"/rips", 1, 0}));
    EXPECT_EQ(ReadAudioCd(p).extractedWavsFolder, "/rips");
    EXPECT_EQ(p.ReadString("Folders", "ExtractedWavsFolder", ""), "/rips");
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
