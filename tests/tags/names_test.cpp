// The names and loudness values an MP3 carries, read back with TagLib: the WAV's LIST/INFO
// names in either text encoding, also from damaged chunks; a CD track's names over them; the
// ReplayGain texts; and the album gain written into finished files.
#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/layer3_encoder.h"
#include "platform/scripted_message_box.h"
#include "tags/album_gain.h"
#include "tags/id3_tag.h"
#include "tags/info_frame.h"
#include "tags/loudness.h"
#include "tags/riff_info.h"
#include "tests/support/wav_writer.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

std::vector<std::uint8_t> InfoList(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::vector<std::uint8_t> body = Bytes("INFO");
    for (const auto& [id, text] : fields) {
        wavfile::PutTag(body, id);
        wavfile::PutU32(body, static_cast<std::uint32_t>(text.size() + 1));
        body.insert(body.end(), text.begin(), text.end());
        body.push_back(0);
        if (body.size() % 2) body.push_back(0);
    }
    return body;
}

// Encodes the WAV bytes with the built-in encoder and everything on; returns the MP3's path.
std::string EncodeWav(const testwav::TempDir& dir, const std::vector<std::uint8_t>& wav,
                      const std::string& name, const tags::TagFields& track = {}) {
    const std::string in = testwav::WriteBytes(dir.File(name + ".wav"), wav);
    const std::string out = dir.File(name + ".mp3");
    EncodingSettings settings;
    settings.InfoHeader = settings.Tags = settings.ReplayGain = 1;
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    encoder->SetTrackTags(track);
    EXPECT_EQ(encoder->Open(settings, in, out), 1);
    while (encoder->EncodeStep() >= 0) {
    }
    encoder->Close();
    EXPECT_FALSE(encoder->OutputFailed());
    return out;
}

std::string Frame(TagLib::ID3v2::Tag* tag, const char* id) {
    const auto& list = tag->frameListMap()[id];
    return list.isEmpty() ? "" : list.front()->toString().to8Bit(true);
}

std::string UserText(TagLib::ID3v2::Tag* tag, const char* description) {
    auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(tag, description);
    return frame && frame->fieldList().size() > 1 ? frame->fieldList()[1].to8Bit(true) : "";
}

std::vector<std::int16_t> Sine(int frames, double amplitude) {
    return testwav::Sine(frames, 2, 44100, 997, amplitude);
}

}  // namespace

TEST(Names, TheWavsNamesInEitherEncodingAndFromDamagedChunksReachTheTag) {
    platform::ScriptedMessageBox boxes;
    testwav::TempDir dir;
    auto wav = wavfile::Riff({{"fmt ", wavfile::FormatBody(1, 2, 44100, 16)},
                              {"junk", std::vector<std::uint8_t>(3 << 20, 0x55)},
                              {"LIST", InfoList({{"INAM", "Caf\xC3\xA9"},
                                                 {"IART", "M\xF6tley"},
                                                 {"IPRD", "An Album  "},
                                                 {"IPRT", "3"},
                                                 {"IGNR", "Jazz"},
                                                 {"ICRD", "1999"}})},
                              {"data", wavfile::Samples16(Sine(5000, 3000))}});
    // A last chunk that claims more than the file holds and a comment without its zero.
    const std::vector<std::uint8_t> lying = {'L', 'I', 'S', 'T', 0xFF, 0xFF, 0, 0,   'I', 'N', 'F', 'O', 'I',
                                             'C', 'M', 'T', 40,  0,    0,    0, 'n', 'o', ' ', 'e', 'n', 'd'};
    wav.insert(wav.end(), lying.begin(), lying.end());

    const tags::TagFields read = tags::ReadRiffInfo(testwav::WriteBytes(dir.File("in.wav"), wav));
    EXPECT_EQ(read.title, "Caf\xC3\xA9");
    EXPECT_EQ(read.artist, "M\xC3\xB6tley");
    EXPECT_EQ(read.album, "An Album");
    EXPECT_EQ(read.comment, "no end");
    EXPECT_EQ(read.track, "3");

    tags::TagFields cdTrack;
    cdTrack.title = "From the disc";
    cdTrack.track = "3/12";
    const std::string mp3 = EncodeWav(dir, wav, "named", cdTrack);
    TagLib::MPEG::File file(mp3.c_str());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->header()->majorVersion(), 3u);
    EXPECT_EQ(Frame(tag, "TIT2"), "From the disc");
    EXPECT_EQ(Frame(tag, "TPE1"), "M\xC3\xB6tley");
    EXPECT_EQ(Frame(tag, "TALB"), "An Album");
    EXPECT_EQ(Frame(tag, "TRCK"), "3/12");
    EXPECT_EQ(Frame(tag, "TCON"), "Jazz");
    EXPECT_EQ(tag->year(), 1999u);
    const auto bytes = testwav::ReadBytes(mp3);
    const std::string year = "TYER";  // version 2.3's frame, which TagLib reads as TDRC
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), year.begin(), year.end()), bytes.end());
    EXPECT_EQ(tag->comment().to8Bit(true), "no end");
    EXPECT_EQ(Frame(tag, "TSSE"), tags::EncoderName());
}

TEST(Names, ReplayGainOfAKnownLevelInTheTagAndTheInfoFrame) {
    platform::ScriptedMessageBox boxes;
    testwav::TempDir dir;
    // A 997 Hz sine in both channels at -20 dBFS reads -20 LUFS: a gain of +2 dB.
    const double amplitude = 32768 * 0.1;
    const std::string mp3 = EncodeWav(dir, wavfile::Pcm16(Sine(44100 * 3, amplitude), 2, 44100), "sine");
    TagLib::MPEG::File file(mp3.c_str());
    const std::string gain = UserText(file.ID3v2Tag(), "REPLAYGAIN_TRACK_GAIN");
    ASSERT_EQ(gain.size(), 7u) << gain;
    EXPECT_EQ(gain.substr(4), " dB");
    EXPECT_NEAR(std::stod(gain), 2.0, 0.1);
    EXPECT_NEAR(std::stod(UserText(file.ID3v2Tag(), "REPLAYGAIN_TRACK_PEAK")), 0.1, 0.001);

    const auto bytes = testwav::ReadBytes(mp3);
    const std::size_t start = tags::Id3TagSize(bytes.data(), bytes.size());
    const int at = tags::InfoTagOffset(bytes.data() + start, bytes.size() - start);
    ASSERT_GT(at, 0);
    const std::uint8_t* ext = bytes.data() + start + static_cast<std::size_t>(at) + 120;
    const int trackGain = ext[15] << 8 | ext[16];
    EXPECT_EQ(trackGain >> 13, 1);        // track gain
    EXPECT_EQ((trackGain >> 10) & 7, 3);  // measured automatically
    EXPECT_EQ((trackGain >> 9) & 1, 0);   // positive
    EXPECT_NEAR(trackGain & 511, 20, 1);  // tenths of a dB

    EXPECT_EQ(tags::GainText(-6.524), "-6.52 dB");
    EXPECT_EQ(tags::GainText(-0.001), "0.00 dB");
    EXPECT_EQ(tags::PeakText(0.988235), "0.988235");
}

TEST(Names, TheAlbumGainIsWrittenIntoEachFinishedFileAndAFileThatCannotTakeItIsNamed) {
    platform::ScriptedMessageBox boxes;
    testwav::TempDir dir;
    const auto loud = wavfile::Pcm16(Sine(44100 * 2, 32768 * 0.5), 2, 44100);
    // Within 10 LU of each other, so that the album's gating keeps both.
    const auto quiet = wavfile::Pcm16(Sine(44100 * 2, 32768 * 0.3), 2, 44100);
    std::vector<tags::AlbumTrack> album;
    for (const auto& [name, wav] : {std::pair{"one", loud}, std::pair{"two", quiet}}) {
        const std::string in = testwav::WriteBytes(dir.File(std::string(name) + ".wav"), wav);
        EncodingSettings settings;
        settings.InfoHeader = settings.Tags = settings.ReplayGain = 1;
        auto encoder = std::make_unique<layer3::CLayer3Encoder>();
        ASSERT_EQ(encoder->Open(settings, in, dir.File(std::string(name) + ".mp3")), 1);
        while (encoder->EncodeStep() >= 0) {
        }
        encoder->Close();
        album.push_back({dir.File(std::string(name) + ".mp3"), encoder->LastLoudness()});
    }
    const auto before = testwav::ReadBytes(album[0].path);
    album.push_back({dir.File("gone.mp3"), album[1].loudness});
    EXPECT_EQ(tags::WriteAlbumGains(album), std::vector<std::string>{dir.File("gone.mp3")});

    for (int i = 0; i < 2; ++i) {
        TagLib::MPEG::File file(album[static_cast<std::size_t>(i)].path.c_str());
        // The loud file's peak is the album's; the gain lies between the two tracks' gains.
        EXPECT_EQ(UserText(file.ID3v2Tag(), "REPLAYGAIN_ALBUM_PEAK"), "0.500000");
        const double gain = std::stod(UserText(file.ID3v2Tag(), "REPLAYGAIN_ALBUM_GAIN"));
        EXPECT_GT(gain, *album[0].loudness->GainDb());
        EXPECT_LT(gain, *album[1].loudness->GainDb());
        EXPECT_FALSE(UserText(file.ID3v2Tag(), "REPLAYGAIN_TRACK_GAIN").empty());
    }
    // The audio after the tag is unchanged but for the album gain and the header's checksum.
    const auto after = testwav::ReadBytes(album[0].path);
    const std::size_t tagBefore = tags::Id3TagSize(before.data(), before.size());
    const std::size_t tagAfter = tags::Id3TagSize(after.data(), after.size());
    ASSERT_EQ(before.size() - tagBefore, after.size() - tagAfter);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < before.size() - tagBefore; ++i)
        differing += before[tagBefore + i] != after[tagAfter + i];
    EXPECT_LE(differing, 4u);
    const std::uint8_t* frame = after.data() + tagAfter;
    const int at = tags::InfoTagOffset(frame, after.size() - tagAfter);
    ASSERT_GT(at, 0);
    const std::uint8_t* ext = frame + at + 120;
    EXPECT_EQ((ext[17] << 8 | ext[18]) >> 13, 2);  // album gain present
    EXPECT_EQ(ext[34] << 8 | ext[35], tags::Crc16(frame, static_cast<std::size_t>(ext + 34 - frame)));
}
