#include "layer3/audio_reader.h"

#include <cstring>
#include <fstream>

#include "input/extensions.h"
#include "input/rates.h"
#include "job/text.h"
#include "platform/message_box.h"

namespace layer3 {

namespace {

constexpr std::uint16_t kPcmFormat = 1;
constexpr std::uint16_t kExtensibleFormat = 0xFFFE;

// The start of a RIFF/WAVE header, as far as CWaveReader checks it.
struct WaveHeader {
    bool riffWave = false;  // "RIFF" .... "WAVE" "fmt "
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0;
    bool empty = false;
};

WaveHeader PeekHeader(const std::string& fileName) {
    WaveHeader h;
    unsigned char b[36] = {};
    std::ifstream in(fileName, std::ios::binary);
    in.read(reinterpret_cast<char*>(b), sizeof b);
    h.empty = in.gcount() == 0;
    auto u16 = [&](int at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); };
    h.riffWave = std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WAVE", 4) == 0 &&
                 std::memcmp(b + 12, "fmt ", 4) == 0;
    h.formatTag = u16(20);
    h.channels = u16(22);
    h.rate = static_cast<std::uint32_t>(u16(24)) | (static_cast<std::uint32_t>(u16(26)) << 16);
    h.bits = u16(34);
    return h;
}

// The files CWaveReader has always taken: its header checks pass up to the chunk walk.
bool ForTheWaveReader(const WaveHeader& h) {
    const bool rateOk = h.rate == 32000 || h.rate == 44100 || h.rate == 48000;
    return h.riffWave && h.formatTag == kPcmFormat && rateOk && (h.channels == 1 || h.channels == 2) &&
           h.bits == 16;
}

// What is plainly wrong with a file before any reader looks at its samples, in words libsndfile
// would not find: it says "SF_INFO struct incomplete" of a rate of 0 or 4 GHz.
std::string HeaderDefect(const WaveHeader& h) {
    if (h.empty) return "the file is empty";
    if (!h.riffWave) return std::string();
    if (h.channels == 0) return "it has no channels";
    if (h.rate < input::kLowestRate || h.rate > input::kHighestRate)
        return Printf("its sampling rate of %u Hz is not supported", h.rate);
    return std::string();
}

bool CanOpen(const std::string& fileName) {
    return std::ifstream(fileName, std::ios::binary).is_open();
}

}  // namespace

int CAudioReader::Open(const std::string& fileName) {
    Close();
    fileName_ = fileName;
    cutShort_ = false;
    mixedFrom_.clear();
    const WaveHeader header = PeekHeader(fileName);
    if (ForTheWaveReader(header) || !CanOpen(fileName)) return OpenWithWaveReader(fileName);
    if (const std::string why = HeaderDefect(header); !why.empty())
        return Refuse(Printf("%s cannot be read: %s.\n", fileName.c_str(), why.c_str()));
    std::string why = source_.Open(fileName);
    if (why.empty()) {
        TakeConvertedFormat();
        return 1;
    }
    // A PCM WAV that libsndfile refuses too, or a file that is no audio file at all, gets the
    // WAV reader's own explanation ("is not a RIFF file."), as it always has.
    const std::string ext = input::ExtensionOf(fileName);
    const bool otherAudioType = input::HasAudioExtension(fileName) && ext != "wav";
    if ((header.riffWave && header.formatTag == kPcmFormat) || (!header.riffWave && !otherAudioType))
        return OpenWithWaveReader(fileName);
    if (header.riffWave && header.formatTag == kExtensibleFormat)
        why = "its extensible format's sub-format (" + why + ")";
    return Refuse(Printf("%s cannot be read: %s.\n", fileName.c_str(), why.c_str()));
}

int CAudioReader::OpenWithWaveReader(const std::string& fileName) {
    const int opened = wave_.Open(fileName);
    channels = wave_.channels;
    sampleRate = wave_.sampleRate;
    bitsPerSample = wave_.bitsPerSample;
    sampleCount = wave_.sampleCount;
    durationSeconds = wave_.durationSeconds;
    return opened;
}

void CAudioReader::TakeConvertedFormat() {
    const input::SourceFormat& f = source_.Format();
    channels = f.outputChannels;
    sampleRate = f.outputRate;
    bitsPerSample = 16;
    sampleCount = static_cast<int>(f.outputFrames);
    durationSeconds = sampleCount / sampleRate;
    mixedFrom_ = f.mixedFrom;
}

bool CAudioReader::Refuse(const std::string& text) {
    platform::MessageBox(text, platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    Close();
    return false;
}

int CAudioReader::ReadSamples(std::int16_t* buffer, int count) {
    if (!source_.IsOpen()) return wave_.ReadSamples(buffer, count);
    const int got = source_.ReadSamples(buffer, count);
    if (got < count) ReportEndedEarly();
    return got;
}

void CAudioReader::ReportEndedEarly() {
    if (cutShort_ || source_.EndedEarly().empty()) return;
    // What decoded is encoded; the file then counts as failed, as a WAV that ends early does.
    cutShort_ = true;
    platform::MessageBox(Printf("%s ended early (%s): what could be read is encoded.\n", fileName_.c_str(),
                                source_.EndedEarly().c_str()),
                         platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

int CAudioReader::ReadFrame(FrameBuffer& frame, const EncodingSettings& settings) {
    if (!source_.IsOpen()) return wave_.ReadFrame(frame, settings);
    return ReadShapedFrame(frame, settings, staging_,
                           [this](std::int16_t* buffer, int count) { return ReadSamples(buffer, count); });
}

void CAudioReader::Close() {
    if (source_.IsOpen() && source_.Clipped() > 0)
        platform::MessageBox(Printf("%s: %lld samples clipped\n", fileName_.c_str(),
                                    static_cast<long long>(source_.Clipped())),
                             platform::kAppCaption, platform::MB_OK | platform::MB_ICONINFORMATION);
    source_.Close();
    wave_.Close();
}

std::string CAudioReader::ModeText() const {
    const std::string mode = channels == 1 ? "Mono" : "Stereo";
    return mixedFrom_.empty() ? mode : mixedFrom_ + " \u2192 " + mode;
}

}  // namespace layer3
