// The compression manager's own rules: record layouts, registration, enumeration filters and
// the prepared-header discipline of a stream.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/codec/fake_driver.h"

using namespace platform;
using testacm::FakeDriver;
using testacm::Script;

namespace {

std::shared_ptr<Script> OneFormat(int rate = 44100, int channels = 2, int kbps = 128) {
    auto script = std::make_shared<Script>();
    script->formats.push_back(MakeMpegLayer3Format(rate, channels, kbps, 0));
    return script;
}

struct Collected {
    std::vector<std::string> names;
    std::vector<std::vector<BYTE>> formats;
    std::size_t stopAfter = 1000;
};

BOOL CollectDriver(HACMDRIVERID id, DWORD_PTR instance, DWORD) {
    auto* c = reinterpret_cast<Collected*>(instance);
    ACMDRIVERDETAILS d{};
    d.cbStruct = sizeof d;
    EXPECT_EQ(acmDriverDetails(id, &d, 0), MMSYSERR_NOERROR);
    c->names.push_back(d.szShortName);
    return c->names.size() < c->stopAfter;
}

BOOL CollectFormat(HACMDRIVERID, ACMFORMATDETAILS* d, DWORD_PTR instance, DWORD) {
    auto* c = reinterpret_cast<Collected*>(instance);
    const auto* bytes = reinterpret_cast<const BYTE*>(d->pwfx);
    c->formats.emplace_back(bytes, bytes + sizeof(WAVEFORMATEX) + d->pwfx->cbSize);
    c->names.push_back(d->szFormat);
    return 1;
}

MMRESULT EnumerateFormats(Collected& c, std::vector<BYTE>& buffer, WORD tag, DWORD flags,
                          DWORD cbStruct = kAcmFormatDetailsPublishedSize) {
    std::memcpy(buffer.data(), &tag, sizeof tag);
    ACMFORMATDETAILS d{};
    d.cbStruct = cbStruct;
    d.dwFormatTag = tag;
    d.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    d.cbwfx = static_cast<DWORD>(buffer.size());
    return acmFormatEnum(nullptr, &d, CollectFormat, reinterpret_cast<DWORD_PTR>(&c), flags);
}

DWORD MaxFormatSize() {
    DWORD size = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    return size;
}

}  // namespace

TEST(AcmRecords, WaveFormatsHaveTheirPublishedBytes) {
    const AcmFormat f = MakeMpegLayer3Format(48000, 1, 64, 0x0571);
    const std::vector<BYTE> expected = {
        0x55, 0x00,              // wFormatTag
        0x01, 0x00,              // nChannels
        0x80, 0xBB, 0x00, 0x00,  // nSamplesPerSec 48000
        0x40, 0x1F, 0x00, 0x00,  // nAvgBytesPerSec 8000
        0x01, 0x00,              // nBlockAlign
        0x00, 0x00,              // wBitsPerSample
        0x0C, 0x00,              // cbSize 12
        0x01, 0x00,              // wID MPEG
        0x00, 0x00, 0x00, 0x00,  // fdwFlags: ISO padding
        0xC0, 0x00,              // nBlockSize 192
        0x01, 0x00,              // nFramesPerBlock
        0x71, 0x05,              // nCodecDelay
    };
    EXPECT_EQ(f.bytes, expected);
    EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
    EXPECT_EQ(offsetof(MPEGLAYER3WAVEFORMAT, nCodecDelay), 28u);
}

TEST(AcmDrivers, RegistrationOrderEnumerationAndDetails) {
    Collected none;
    acmDriverEnum(CollectDriver, reinterpret_cast<DWORD_PTR>(&none), 0);
    EXPECT_TRUE(none.names.empty());
    EXPECT_EQ(MaxFormatSize(), sizeof(WAVEFORMATEX));

    auto wide = OneFormat();
    wide->formats.front().bytes.resize(40);
    wide->formats.front().bytes[16] = 22;  // cbSize
    AcmDriverRegistration a(std::make_shared<FakeDriver>("A", OneFormat()));
    AcmDriverRegistration b(std::make_shared<FakeDriver>("B", wide));
    EXPECT_EQ(MaxFormatSize(), 40u);

    Collected all;
    EXPECT_EQ(acmDriverEnum(CollectDriver, reinterpret_cast<DWORD_PTR>(&all), 0), MMSYSERR_NOERROR);
    EXPECT_EQ(all.names, (std::vector<std::string>{"A", "B"}));
    Collected first;
    first.stopAfter = 1;
    acmDriverEnum(CollectDriver, reinterpret_cast<DWORD_PTR>(&first), 0);
    EXPECT_EQ(first.names, std::vector<std::string>{"A"});

    ACMDRIVERDETAILS d{};
    d.cbStruct = 8;  // too small for the short name
    EXPECT_EQ(acmDriverDetails(a.Id(), &d, 0), MMSYSERR_INVALPARAM);
    const HACMDRIVERID gone = a.Id();
    a.Reset();
    d.cbStruct = sizeof d;
    EXPECT_EQ(acmDriverDetails(gone, &d, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmFormats, FilteredByTagAndByTheCallersBuffer) {
    auto script = OneFormat(32000, 1, 32);
    script->formats.push_back(MakeMpegLayer3Format(32000, 2, 32, 0));
    AcmFormat pcm;
    const WAVEFORMATEX p{WAVE_FORMAT_PCM, 1, 32000, 64000, 2, 16, 0};
    pcm.bytes.assign(reinterpret_cast<const BYTE*>(&p), reinterpret_cast<const BYTE*>(&p) + sizeof p);
    pcm.name = "PCM";
    script->formats.push_back(pcm);
    AcmFormat broken = MakeMpegLayer3Format(32000, 2, 40, 0);
    broken.bytes.pop_back();  // shorter than its cbSize says
    script->formats.push_back(broken);
    AcmDriverRegistration driver(std::make_shared<FakeDriver>("F", script));

    std::vector<BYTE> buffer(30);
    Collected mp3;
    EXPECT_EQ(EnumerateFormats(mp3, buffer, WAVE_FORMAT_MPEGLAYER3, ACM_FORMATENUMF_WFORMATTAG),
              MMSYSERR_NOERROR);
    ASSERT_EQ(mp3.formats.size(), 2u);
    EXPECT_EQ(mp3.formats[0], script->formats[0].bytes);
    EXPECT_EQ(mp3.names[1], "32 kBit/s, 32000 Hz, Stereo");

    Collected everything;
    EnumerateFormats(everything, buffer, 0, 0);
    EXPECT_EQ(everything.formats.size(), 3u);  // the malformed record is never handed out

    std::vector<BYTE> small(18);
    Collected fitting;
    EnumerateFormats(fitting, small, 0, 0);
    EXPECT_EQ(fitting.names, std::vector<std::string>{"PCM"});

    Collected rejected;
    EXPECT_EQ(EnumerateFormats(rejected, buffer, WAVE_FORMAT_MPEGLAYER3, ACM_FORMATENUMF_WFORMATTAG, 20),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(EnumerateFormats(rejected, buffer, WAVE_FORMAT_MPEGLAYER3, 0x00020000), MMSYSERR_INVALFLAG);
    EXPECT_TRUE(rejected.formats.empty());
}

class AcmStream : public testing::Test {
  protected:
    void SetUp() override {
        driver_ = AcmDriverRegistration(std::make_shared<FakeDriver>("F", script_));
        ASSERT_EQ(acmStreamOpen(&stream_, nullptr, &pcm_, Destination(), nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  MMSYSERR_NOERROR);
        header_.cbStruct = kAcmStreamHeaderPublishedSize;
        header_.pbSrc = source_;
        header_.cbSrcLength = sizeof source_;
        header_.pbDst = destination_;
        header_.cbDstLength = sizeof destination_;
    }
    void TearDown() override {
        if (stream_) {
            EXPECT_EQ(acmStreamClose(stream_, 0), MMSYSERR_NOERROR);
        }
    }
    WAVEFORMATEX* Destination() { return reinterpret_cast<WAVEFORMATEX*>(script_->formats[0].bytes.data()); }

    std::shared_ptr<Script> script_ = OneFormat();
    AcmDriverRegistration driver_;
    WAVEFORMATEX pcm_{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HACMSTREAM stream_ = nullptr;
    ACMSTREAMHEADER header_{};
    BYTE source_[64] = {};
    BYTE destination_[256] = {};
};

TEST_F(AcmStream, HeadersMustBePreparedAndKeepTheirLengths) {
    EXPECT_EQ(acmStreamConvert(stream_, &header_, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(stream_, &header_, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(header_.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    ASSERT_EQ(acmStreamConvert(stream_, &header_, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_TRUE(header_.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(header_.cbDstLengthUsed, 100u);

    header_.cbSrcLength = sizeof source_ + 4;  // more than was prepared
    EXPECT_EQ(acmStreamConvert(stream_, &header_, 0), MMSYSERR_INVALPARAM);
    header_.cbSrcLength = 0;  // less is allowed, but must be undone before unpreparing
    EXPECT_EQ(acmStreamConvert(stream_, &header_, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
    EXPECT_EQ(header_.cbDstLengthUsed, 37u);
    EXPECT_EQ(acmStreamUnprepareHeader(stream_, &header_, 0), MMSYSERR_INVALPARAM);
    header_.cbSrcLength = sizeof source_;
    EXPECT_EQ(acmStreamUnprepareHeader(stream_, &header_, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(header_.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream_, &header_, 0), ACMERR_UNPREPARED);

    ACMSTREAMHEADER tiny = header_;
    tiny.cbStruct = 16;
    EXPECT_EQ(acmStreamPrepareHeader(stream_, &tiny, 0), MMSYSERR_INVALPARAM);
}

TEST_F(AcmStream, HandlesAreCheckedAndOutliveTheirDriver) {
    HACMSTREAM bogus = reinterpret_cast<HACMSTREAM>(&header_);
    DWORD size = 0;
    EXPECT_EQ(acmStreamSize(bogus, 64, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(bogus, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamSize(stream_, 64, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 144u);

    // A query opens nothing; a format nobody offers opens nothing either.
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &pcm_, Destination(), nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR);
    HACMSTREAM other = nullptr;
    AcmFormat unknown = MakeMpegLayer3Format(44100, 2, 256, 0);
    EXPECT_EQ(acmStreamOpen(&other, nullptr, &pcm_, reinterpret_cast<WAVEFORMATEX*>(unknown.bytes.data()),
                            nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(other, nullptr);
    WAVEFORMATEX badPcm = pcm_;
    badPcm.nBlockAlign = 3;
    EXPECT_EQ(acmStreamOpen(&other, nullptr, &badPcm, Destination(), nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);

    driver_.Reset();  // the open stream keeps its driver
    ASSERT_EQ(acmStreamPrepareHeader(stream_, &header_, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(stream_, &header_, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(stream_, &header_, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream_, 0), MMSYSERR_NOERROR);
    stream_ = nullptr;
    EXPECT_EQ(script_->streamsClosed, 1);
}
