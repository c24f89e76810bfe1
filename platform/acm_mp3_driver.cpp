#include "platform/acm_mp3_driver.h"

#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/shared_library.h"

namespace platform {

namespace {

// The library's entry points, declared from its documented interface. The encoder context is
// opaque; MPEG_mode and vbr_mode are C enums passed as int.
struct LameContext;
using LameInit = LameContext* (*)();
using LameSetInt = int (*)(LameContext*, int);
using LameGetInt = int (*)(LameContext*);
using LameInitParams = int (*)(LameContext*);
using LameEncodeBuffer = int (*)(LameContext*, const short* left, const short* right, int samples,
                                 unsigned char* mp3, int mp3Size);
using LameEncodeInterleaved = int (*)(LameContext*, short* pcm, int samples, unsigned char* mp3, int mp3Size);
using LameFlush = int (*)(LameContext*, unsigned char* mp3, int mp3Size);
using LameClose = int (*)(LameContext*);
using LameReport = void (*)(const char* format, va_list args);
using LameSetReport = int (*)(LameContext*, LameReport);

constexpr int kLameModeJointStereo = 1;
constexpr int kLameModeMono = 3;
constexpr int kLameVbrOff = 0;

// The decoders' own synthesis delay, which the formats' codec delay includes.
constexpr int kDecoderDelay = 529;

constexpr std::array<int, 3> kRates = {32000, 44100, 48000};
constexpr std::array<int, 14> kBitrates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// The library's own messages would go to standard error; its results say all the driver needs.
void Quiet(const char*, va_list) {}

class LameLibrary {
  public:
    // Null unless the library loads and has every entry point the driver calls.
    static std::shared_ptr<LameLibrary> Load(const std::string& name) {
        auto lame = std::make_shared<LameLibrary>();
        if (!lame->library_.Load(name) || !lame->Bind())
            return nullptr;
        return lame;
    }

    LameInit init = nullptr;
    LameSetInt setNumChannels = nullptr;
    LameSetInt setInSampleRate = nullptr;
    LameSetInt setOutSampleRate = nullptr;
    LameSetInt setBitrate = nullptr;
    LameSetInt setMode = nullptr;
    LameSetInt setVbr = nullptr;
    LameSetInt setWriteVbrTag = nullptr;
    LameInitParams initParams = nullptr;
    LameEncodeBuffer encodeBuffer = nullptr;
    LameEncodeInterleaved encodeInterleaved = nullptr;
    LameFlush flush = nullptr;
    LameClose close = nullptr;
    // Optional: older releases lack them.
    LameSetInt setWriteId3TagAutomatic = nullptr;
    LameSetReport setErrorReport = nullptr;
    LameSetReport setDebugReport = nullptr;
    LameSetReport setMessageReport = nullptr;
    LameGetInt getEncoderDelay = nullptr;

  private:
    template <typename F>
    bool Bind(F& f, const char* name) {
        f = library_.Function<F>(name);
        return f != nullptr;
    }
    bool Bind() {
        Bind(setWriteId3TagAutomatic, "lame_set_write_id3tag_automatic");
        Bind(setErrorReport, "lame_set_errorf");
        Bind(setDebugReport, "lame_set_debugf");
        Bind(setMessageReport, "lame_set_msgf");
        Bind(getEncoderDelay, "lame_get_encoder_delay");
        return Bind(init, "lame_init") && Bind(setNumChannels, "lame_set_num_channels") &&
               Bind(setInSampleRate, "lame_set_in_samplerate") &&
               Bind(setOutSampleRate, "lame_set_out_samplerate") && Bind(setBitrate, "lame_set_brate") &&
               Bind(setMode, "lame_set_mode") && Bind(setVbr, "lame_set_VBR") &&
               Bind(setWriteVbrTag, "lame_set_bWriteVbrTag") && Bind(initParams, "lame_init_params") &&
               Bind(encodeBuffer, "lame_encode_buffer") &&
               Bind(encodeInterleaved, "lame_encode_buffer_interleaved") &&
               Bind(flush, "lame_encode_flush") && Bind(close, "lame_close");
    }

    SharedLibrary library_;
};

struct StreamParameters {
    int rate = 0;
    int inputChannels = 0;
    int outputChannels = 0;
    int kbps = 0;
};

// One encoder context of the library, closed when it goes.
class LameEncoder {
  public:
    LameEncoder(std::shared_ptr<LameLibrary> lame, const StreamParameters& p) : lame_(std::move(lame)) {
        context_ = lame_->init();
        if (context_ && !Configure(p)) {
            lame_->close(context_);
            context_ = nullptr;
        }
    }
    ~LameEncoder() {
        if (context_)
            lame_->close(context_);
    }
    LameEncoder(const LameEncoder&) = delete;
    LameEncoder& operator=(const LameEncoder&) = delete;

    bool Ready() const { return context_ != nullptr; }
    LameContext* Context() const { return context_; }

  private:
    bool Configure(const StreamParameters& p) {
        if (lame_->setErrorReport) {
            lame_->setErrorReport(context_, Quiet);
            lame_->setDebugReport(context_, Quiet);
            lame_->setMessageReport(context_, Quiet);
        }
        // Constant bit rate, bare frames: no VBR/Info frame and no ID3 tag.
        bool ok = lame_->setNumChannels(context_, p.inputChannels) >= 0 &&
                  lame_->setInSampleRate(context_, p.rate) >= 0 &&
                  lame_->setOutSampleRate(context_, p.rate) >= 0 &&
                  lame_->setBitrate(context_, p.kbps) >= 0 && lame_->setVbr(context_, kLameVbrOff) >= 0 &&
                  lame_->setWriteVbrTag(context_, 0) >= 0 &&
                  lame_->setMode(context_, p.outputChannels == 1 ? kLameModeMono : kLameModeJointStereo) >= 0;
        if (ok && lame_->setWriteId3TagAutomatic)
            ok = lame_->setWriteId3TagAutomatic(context_, 0) >= 0;
        return ok && lame_->initParams(context_) >= 0;
    }

    std::shared_ptr<LameLibrary> lame_;
    LameContext* context_ = nullptr;
};

// The library's documented worst case for n samples per channel: 1.25 n + 7200 bytes.
DWORD WorstCaseOutput(DWORD samples) {
    return samples + samples / 4 + 7200;
}

class Mp3Stream : public AcmDriverStream {
  public:
    Mp3Stream(std::shared_ptr<LameLibrary> lame, const StreamParameters& p,
              std::unique_ptr<LameEncoder> encoder)
        : lame_(std::move(lame)), params_(p), encoder_(std::move(encoder)) {}

    MMRESULT Size(DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize) override {
        const DWORD frameBytes = BlockAlign();
        if (fdwSize == ACM_STREAMSIZEF_SOURCE) {
            *pdwOutputBytes = WorstCaseOutput(cbInput / frameBytes);
            return MMSYSERR_NOERROR;
        }
        // The largest source whose worst case fits the destination.
        if (cbInput <= WorstCaseOutput(0))
            return ACMERR_NOTPOSSIBLE;
        *pdwOutputBytes = (cbInput - WorstCaseOutput(0)) * 4 / 5 * frameBytes;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Prepare(ACMSTREAMHEADER& header) override {
        // The conversions copy into aligned samples; sizing the copy here keeps them free of
        // allocation.
        if (staging_.size() < header.cbSrcLength / 2)
            staging_.resize(header.cbSrcLength / 2);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Convert(ACMSTREAMHEADER& header, DWORD fdwConvert) override {
        if (!encoder_ && !Restart())
            return MMSYSERR_ERROR;
        const DWORD frameBytes = BlockAlign();
        const DWORD used = header.cbSrcLength - header.cbSrcLength % frameBytes;
        const int samples = static_cast<int>(used / frameBytes);
        if (staging_.size() < used / 2)
            staging_.resize(used / 2);
        if (used)
            std::memcpy(staging_.data(), header.pbSrc, used);

        const int room = static_cast<int>(header.cbDstLength);
        int produced = samples ? Encode(samples, header.pbDst, room) : 0;
        if (produced < 0)
            return MMSYSERR_ERROR;
        if (fdwConvert & ACM_STREAMCONVERTF_END) {
            // The frames the encoder still holds; the context is spent afterwards.
            const int last = lame_->flush(encoder_->Context(), header.pbDst + produced, room - produced);
            encoder_.reset();
            if (last < 0)
                return MMSYSERR_ERROR;
            produced += last;
        }
        header.cbSrcLengthUsed = used;
        header.cbDstLengthUsed = static_cast<DWORD>(produced);
        return MMSYSERR_NOERROR;
    }

  private:
    DWORD BlockAlign() const { return static_cast<DWORD>(2 * params_.inputChannels); }

    bool Restart() {
        auto encoder = std::make_unique<LameEncoder>(lame_, params_);
        if (!encoder->Ready())
            return false;
        encoder_ = std::move(encoder);
        return true;
    }

    int Encode(int samples, BYTE* out, int room) {
        if (params_.inputChannels == 2)
            return lame_->encodeInterleaved(encoder_->Context(), staging_.data(), samples, out, room);
        return lame_->encodeBuffer(encoder_->Context(), staging_.data(), staging_.data(), samples, out, room);
    }

    std::shared_ptr<LameLibrary> lame_;
    StreamParameters params_;
    std::unique_ptr<LameEncoder> encoder_;
    std::vector<short> staging_;
};

class Mp3Driver : public AcmDriver {
  public:
    explicit Mp3Driver(std::shared_ptr<LameLibrary> lame) : lame_(std::move(lame)) {
        const WORD delay = CodecDelay();
        for (int rate : kRates)
            for (int channels = 1; channels <= 2; ++channels)
                for (int kbps : kBitrates)
                    formats_.push_back(MakeMpegLayer3Format(rate, channels, kbps, delay));
    }

    std::string ShortName() const override { return kMp3CodecShortName; }
    std::string LongName() const override { return "MPEG Layer-3 encoder (libmp3lame)"; }
    const std::vector<AcmFormat>& Formats() const override { return formats_; }

    MMRESULT OpenStream(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, DWORD fdwOpen,
                        std::unique_ptr<AcmDriverStream>& stream) override {
        StreamParameters p;
        if (!Accepts(source, destination, p))
            return ACMERR_NOTPOSSIBLE;
        // Building the encoder is the test that the library takes these parameters, the
        // channel conversion included.
        auto encoder = std::make_unique<LameEncoder>(lame_, p);
        if (!encoder->Ready())
            return ACMERR_NOTPOSSIBLE;
        if (!(fdwOpen & ACM_STREAMOPENF_QUERY))
            stream = std::make_unique<Mp3Stream>(lame_, p, std::move(encoder));
        return MMSYSERR_NOERROR;
    }

  private:
    // Samples by which the decoded stream lags the input, as the formats tell it: the delay the
    // library reports for an encoder of these parameters plus the decoders' own; 0 (unknown)
    // when the library does not report it. Constant-bit-rate encoders without resampling all
    // report the same.
    WORD CodecDelay() const {
        if (!lame_->getEncoderDelay) return 0;
        LameEncoder probe(lame_, StreamParameters{44100, 2, 2, 128});
        const int delay = probe.Ready() ? lame_->getEncoderDelay(probe.Context()) : -1;
        return delay >= 0 ? static_cast<WORD>(delay + kDecoderDelay) : 0;
    }

    // PCM of 16 bits in, one of the enumerated formats out, at the same rate; two channels
    // may become one, never the other way round.
    bool Accepts(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, StreamParameters& p) const {
        if (source.wFormatTag != WAVE_FORMAT_PCM || source.wBitsPerSample != 16 || source.nChannels < 1 ||
            source.nChannels > 2)
            return false;
        if (destination.wFormatTag != WAVE_FORMAT_MPEGLAYER3 ||
            destination.cbSize < MPEGLAYER3_WFX_EXTRA_BYTES ||
            destination.nSamplesPerSec != source.nSamplesPerSec || destination.nChannels > source.nChannels)
            return false;
        bool offered = false;
        for (const auto& f : formats_)
            offered = offered || std::memcmp(f.bytes.data(), &destination, sizeof(WAVEFORMATEX)) == 0;
        if (!offered)
            return false;
        p.rate = static_cast<int>(source.nSamplesPerSec);
        p.inputChannels = source.nChannels;
        p.outputChannels = destination.nChannels;
        p.kbps = static_cast<int>(destination.nAvgBytesPerSec / 125);
        return true;
    }

    std::shared_ptr<LameLibrary> lame_;
    std::vector<AcmFormat> formats_;
};

}  // namespace

AcmDriverRegistration RegisterMp3CodecDriver(const std::string& library) {
    // $VELTO_CODEC_LIBRARY names another file to load in place of the system's library, for
    // trying the programs against a codec build of one's own or a stand-in that fails.
    const char* override = std::getenv("VELTO_CODEC_LIBRARY");
    const bool useOverride = library == kMp3CodecLibrary && override && *override;
    auto lame = LameLibrary::Load(useOverride ? std::string(override) : library);
    if (!lame)
        return {};
    return AcmDriverRegistration(std::make_shared<Mp3Driver>(std::move(lame)));
}

}  // namespace platform
