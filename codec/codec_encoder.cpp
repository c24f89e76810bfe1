#include "codec/codec_encoder.h"

#include <cstring>

#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "platform/message_box.h"
#include "tags/input_tags.h"

using namespace platform;

namespace {

void Report(const char* text) {
    MessageBox(text, kAppCaption, MB_OK);
}

struct DriverSearch {
    const char* name;
    HACMDRIVERID found;
};

BOOL CompareDriverName(HACMDRIVERID id, DWORD_PTR instance, DWORD /*support*/) {
    auto* search = reinterpret_cast<DriverSearch*>(instance);
    ACMDRIVERDETAILS details{};
    details.cbStruct = sizeof details;
    if (acmDriverDetails(id, &details, 0) == MMSYSERR_NOERROR &&
        std::strcmp(details.szShortName, search->name) == 0) {
        search->found = id;
        return 0;  // found: stop
    }
    return 1;
}

struct FormatSearch {
    WAVEFORMATEX wanted;
    bool found;
};

BOOL CompareFormat(HACMDRIVERID /*id*/, ACMFORMATDETAILS* details, DWORD_PTR instance, DWORD /*support*/) {
    auto* search = reinterpret_cast<FormatSearch*>(instance);
    if (std::memcmp(details->pwfx, &search->wanted, sizeof(WAVEFORMATEX)) == 0) {
        search->found = true;
        return 0;  // the format stays in the caller's buffer as the driver gave it
    }
    return 1;
}

}  // namespace

CCodecEncoder::~CCodecEncoder() {
    Release();
}

bool CCodecEncoder::IsCodecInstalled(const std::string& driverName) {
    DriverSearch search{driverName.c_str(), nullptr};
    acmDriverEnum(CompareDriverName, reinterpret_cast<DWORD_PTR>(&search), 0);
    return search.found != nullptr;
}

bool CCodecEncoder::CanEncode(int sampleRate, int kbps, bool mono) const {
    std::vector<BYTE> format;
    return ChooseFormat(sampleRate, kbps, mono, format);
}

bool CCodecEncoder::ChooseFormat(int sampleRate, int kbps, bool mono, std::vector<BYTE>& format) {
    format.clear();
    DWORD maxSize = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize) != MMSYSERR_NOERROR ||
        maxSize < sizeof(WAVEFORMATEX))
        return false;
    format.assign(maxSize, 0);
    const WORD tag = WAVE_FORMAT_MPEGLAYER3;
    std::memcpy(format.data(), &tag, sizeof tag);

    FormatSearch search{};
    search.wanted.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    search.wanted.nChannels = mono ? 1 : 2;
    search.wanted.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    search.wanted.nAvgBytesPerSec = static_cast<DWORD>(kbps * 125);
    search.wanted.nBlockAlign = 1;
    search.wanted.wBitsPerSample = 0;
    search.wanted.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;

    ACMFORMATDETAILS details{};
    details.cbStruct = kAcmFormatDetailsPublishedSize;
    details.dwFormatTag = WAVE_FORMAT_MPEGLAYER3;
    details.pwfx = reinterpret_cast<WAVEFORMATEX*>(format.data());
    details.cbwfx = maxSize;
    if (acmFormatEnum(nullptr, &details, CompareFormat, reinterpret_cast<DWORD_PTR>(&search),
                      ACM_FORMATENUMF_WFORMATTAG) != MMSYSERR_NOERROR ||
        !search.found) {
        format.clear();
        return false;
    }
    return true;
}

int CCodecEncoder::Open(EncodingSettings& settings, const std::string& inputPath,
                        const std::string& outputPath) {
    Release();
    outputFailed_ = false;
    settings_ = &settings;
    if (!reader_.Open(inputPath))
        return 0;
    if (RefuseOutputOverInput(inputPath, outputPath))
        return 0;
    SetFrameParameters(settings);
    const int channels = reader_.channels;
    pcmBlockSize_ = settings.samplesPerFrame * channels * 2;

    sourceFormat_.wFormatTag = WAVE_FORMAT_PCM;
    sourceFormat_.nChannels = static_cast<WORD>(channels);
    sourceFormat_.nSamplesPerSec = static_cast<DWORD>(reader_.sampleRate);
    sourceFormat_.nAvgBytesPerSec = static_cast<DWORD>(reader_.sampleRate * channels * 2);
    sourceFormat_.nBlockAlign = static_cast<WORD>(channels * 2);
    sourceFormat_.wBitsPerSample = 16;
    sourceFormat_.cbSize = 0;

    if (!output_.Create(outputPath)) {
        Report("Could not create MP3 file!");
        return 0;
    }
    // The empty file stays, unless it would replace an earlier one of its name.
    if (!ChooseFormat(reader_.sampleRate, settings.Bitrate, settings.stereo == 1, destinationFormat_))
        return AbandonOpen("Invalid conversion parameters!");
    if (!OpenConversion())
        return AbandonOpen("Could not perform conversion!");
    if (!PrepareBuffers())
        return AbandonOpen("ACM: Could not create stream!");
    if (!BeginDecoration(inputPath))
        return AbandonOpen("Error writing to file");
    return 1;
}

bool CCodecEncoder::BeginDecoration(const std::string& inputPath) {
    const EncodingSettings& s = *settings_;
    const tags::Decoration choice{s.InfoHeader != 0, s.Tags != 0, s.ReplayGain != 0};
    tags::TagFields fields = trackTags_;
    if (choice.tags) fields.FillFrom(tags::InputTags(inputPath));
    // The codec writes two channels as joint stereo.
    const tags::InfoStream stream{reader_.sampleRate, s.Bitrate, s.stereo, s.stereo == 2};
    samplesRead_ = 0;
    const bool ok = decoration_.Begin(output_, choice, stream, fields);
    lastLoudness_ = decoration_.Loudness();
    return ok;
}

int CCodecEncoder::StoredDelay() const {
    const auto* format = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(destinationFormat_.data());
    // A driver that does not tell its delay: the usual one of constant-bit-rate MP3 encoders.
    constexpr int kUsualDelay = 576;
    if (destinationFormat_.size() < sizeof *format || format->nCodecDelay <= tags::kDecoderDelay)
        return kUsualDelay;
    return format->nCodecDelay - tags::kDecoderDelay;
}

int CCodecEncoder::AbandonOpen(const char* text) {
    Report(text);
    output_.CloseWithoutReplacing();
    return 0;
}

void CCodecEncoder::SetFrameParameters(EncodingSettings& settings) const {
    if (reader_.channels == 2 && settings.Mono) {
        settings.stereo = 1;
        settings.mode = 3;
    } else {
        settings.stereo = reader_.channels;
        settings.mode = reader_.channels == 2 ? 0 : 3;
    }
    settings.SetSamplingFrequency(reader_.sampleRate);
    settings.sampleCount = reader_.sampleCount;
    const bool mpeg1 = settings.version == 1;
    settings.samplesPerFrame = mpeg1 ? 1152 : 576;
    settings.granulesPerFrame = mpeg1 ? 2 : 1;
    settings.totalFrames = settings.sampleCount / settings.samplesPerFrame;
    settings.frameCount = 0;
    settings.bitsPerSlot = 8;
}

bool CCodecEncoder::OpenConversion() {
    auto* destination = reinterpret_cast<WAVEFORMATEX*>(destinationFormat_.data());
    if (acmStreamOpen(&stream_, nullptr, &sourceFormat_, destination, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
        stream_ = nullptr;
        return false;
    }
    return acmStreamSize(stream_, static_cast<DWORD>(pcmBlockSize_), &encodedBlockSize_,
                         ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR;
}

bool CCodecEncoder::PrepareBuffers() {
    source_.assign(static_cast<std::size_t>(pcmBlockSize_ / 2), 0);
    destination_.assign(encodedBlockSize_, 0);
    header_ = {};
    header_.cbStruct = kAcmStreamHeaderPublishedSize;
    header_.pbSrc = reinterpret_cast<BYTE*>(source_.data());
    header_.cbSrcLength = static_cast<DWORD>(pcmBlockSize_);
    header_.pbDst = destination_.data();
    header_.cbDstLength = encodedBlockSize_;
    headerPrepared_ = acmStreamPrepareHeader(stream_, &header_, 0) == MMSYSERR_NOERROR;
    return headerPrepared_;
}

int CCodecEncoder::EncodeStep() {
    if (!headerPrepared_ || ended_)
        return -1;
    const int got = reader_.ReadSamples(source_.data(), pcmBlockSize_ / 2);
    if (got <= 0)
        return FinishConversion();
    samplesRead_ += got / sourceFormat_.nChannels;
    decoration_.AddInterleaved(source_.data(), static_cast<std::size_t>(got / sourceFormat_.nChannels),
                               sourceFormat_.nChannels);
    if (acmStreamConvert(stream_, &header_, ACM_STREAMCONVERTF_BLOCKALIGN) != MMSYSERR_NOERROR) {
        Report("Error during Conversion");
        conversionFailed_ = true;
        return -1;
    }
    if (header_.cbDstLengthUsed == 0)
        return settings_->frameCount;  // the codec holds this block back for now
    if (!WriteConverted())
        return -1;
    return ++settings_->frameCount;
}

// The end of the input: the codec hands over the frames it still holds only on the end flag,
// so those bytes are the end of the file and are written like any other block.
int CCodecEncoder::FinishConversion() {
    ended_ = true;
    header_.cbSrcLength = 0;  // nothing more to convert, only to flush
    const MMRESULT result = acmStreamConvert(stream_, &header_, ACM_STREAMCONVERTF_END);
    header_.cbSrcLength = static_cast<DWORD>(pcmBlockSize_);  // as prepared, for the unprepare
    if (result != MMSYSERR_NOERROR) {
        Report("Error during Conversion");
        conversionFailed_ = true;
    }
    else if (header_.cbDstLengthUsed > 0)
        WriteConverted();
    return -1;
}

bool CCodecEncoder::WriteConverted() {
    if (output_.Write(destination_.data(), header_.cbDstLengthUsed) < header_.cbDstLengthUsed) {
        writeFailed_ = true;
        Report("Error writing to file");
        return false;
    }
    return true;
}

void CCodecEncoder::Close() {
    Release();
}

void CCodecEncoder::Release() {
    // The tag and the Info frame are true for what was written, however the file ends.
    if (output_.IsOpen() && !decoration_.Finish(output_, StoredDelay(), samplesRead_)) {
        if (!writeFailed_) Report("Error writing to file");
        writeFailed_ = true;
    }
    if (headerPrepared_) {
        acmStreamUnprepareHeader(stream_, &header_, 0);
        headerPrepared_ = false;
    }
    header_ = {};
    source_ = {};
    destination_ = {};
    sourceFormat_ = {};
    destinationFormat_ = {};
    reader_.Close();
    // A conversion that failed, or an input that ended before its data did, leaves a file that
    // ends early: it keeps what was written unless an earlier output of its name would be
    // lost, and the file counts as failed.
    if ((conversionFailed_ || reader_.CutShort()) && output_.IsOpen()) {
        output_.CloseWithoutReplacing();
        outputFailed_ = true;
    }
    // The output is buffered: bytes that only fail to reach the disk when it is flushed here
    // are reported as any other failed write.
    if (output_.IsOpen() && !output_.Close()) {
        if (!writeFailed_) Report("Error writing to file");
        writeFailed_ = true;
    }
    if (writeFailed_) outputFailed_ = true;
    if (stream_) {
        acmStreamClose(stream_, 0);
        stream_ = nullptr;
    }
    pcmBlockSize_ = kDefaultPcmBlockSize;
    encodedBlockSize_ = 0;
    writeFailed_ = false;
    conversionFailed_ = false;
    ended_ = false;
}
