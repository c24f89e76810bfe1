#include "layer3/layer3_encoder.h"

#include <cstring>

#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "layer3/side_info_layout.h"
#include "platform/message_box.h"
#include "tags/input_tags.h"

namespace layer3 {

CLayer3Encoder::CLayer3Encoder() = default;

CLayer3Encoder::~CLayer3Encoder() {
    Close();
}

int CLayer3Encoder::Open(EncodingSettings& settings, const std::string& inputPath,
                         const std::string& outputPath) {
    outputFailed_ = false;
    if (!reader_.Open(inputPath)) return 0;
    // A WAV file that already carries the output's name would be truncated while it is read.
    if (RefuseOutputOverInput(inputPath, outputPath)) return 0;
    if (!output_.Create(outputPath)) return 0;
    outputOpen_ = true;
    settings_ = &settings;
    ChooseChannelLayout();
    settings.SetSamplingFrequency(reader_.sampleRate);
    settings.sampleCount = reader_.sampleCount;
    if (!BeginDecoration(inputPath)) return 0;
    formatter_.Open(output_, settings);

    ClearFrameState();

    reservoir_.Reset();
    filterbank_.Reset();
    psy_.Setup(settings.samplingFrequencyHz);
    // The MDCT and the loops read the frame parameters set below.
    settings.bitsPerSlot = 8;
    settings.frameCount = 0;
    settings.granulesPerFrame = settings.version == 1 ? 2 : 1;
    settings.samplesPerFrame = settings.version == 1 ? 1152 : 576;
    settings.totalFrames = settings.sampleCount / settings.samplesPerFrame;
    mdct_.Init(settings);
    quantizer_.Init(settings, reservoir_);
    ComputeFrameSize();
    return 1;
}

bool CLayer3Encoder::BeginDecoration(const std::string& inputPath) {
    const EncodingSettings& s = *settings_;
    const tags::Decoration choice{s.InfoHeader != 0, s.Tags != 0, s.ReplayGain != 0};
    tags::TagFields fields = trackTags_;
    if (choice.tags) fields.FillFrom(tags::InputTags(inputPath));
    const tags::InfoStream stream{s.samplingFrequencyHz, s.Bitrate, s.stereo, false};
    const bool ok = decoration_.Begin(output_, choice, stream, fields);
    lastLoudness_ = decoration_.Loudness();
    return ok;
}

void CLayer3Encoder::ChooseChannelLayout() {
    EncodingSettings& s = *settings_;
    if (reader_.channels == 2 && s.Mono) {
        s.downmix = 1, s.stereo = 1, s.mode = 3;
    } else if (reader_.channels == 2) {
        s.downmix = 0, s.stereo = 2, s.mode = 0;
    } else {
        s.downmix = 0, s.stereo = 1, s.mode = 3;
    }
}

void CLayer3Encoder::ComputeFrameSize() {
    EncodingSettings& s = *settings_;
    sideInfoLength_ = HeaderAndSideInfoBits(s, s.stereo);
    avgSlotsPerFrame_ = (s.samplesPerFrame / (s.samplingFrequencyHz * 0.001)) *
                        (static_cast<double>(static_cast<int>(s.Bitrate)) / s.bitsPerSlot);
    wholeSlotsPerFrame_ = static_cast<int>(avgSlotsPerFrame_);
    fracSlotsPerFrame_ = avgSlotsPerFrame_ - wholeSlotsPerFrame_;
    slotLag_ = -fracSlotsPerFrame_;
    if (fracSlotsPerFrame_ == 0.0) s.padding = 0;
}

void CLayer3Encoder::DecidePadding() {
    EncodingSettings& s = *settings_;
    if (fracSlotsPerFrame_ == 0.0) return;
    if (slotLag_ > fracSlotsPerFrame_ - 1.0) {
        slotLag_ -= fracSlotsPerFrame_;
        s.padding = 0;
    } else {
        slotLag_ += 1.0 - fracSlotsPerFrame_;
        s.padding = 1;
    }
}

void CLayer3Encoder::PsychoacousticPass() {
    const EncodingSettings& s = *settings_;
    for (granule_ = 0; granule_ < s.granulesPerFrame; ++granule_)
        for (channel_ = 0; channel_ < s.stereo; ++channel_)
            psy_.Analyse(channel_, &frame_[channel_][granule_ * kGranuleLines], psy_history[channel_],
                         ratios_.l[granule_][channel_], ratios_.s[granule_][channel_], pe[granule_][channel_],
                         side_.gr[granule_][channel_]);
}

void CLayer3Encoder::FilterbankPass() {
    const EncodingSettings& s = *settings_;
    for (granule_ = 0; granule_ < s.granulesPerFrame; ++granule_)
        for (channel_ = 0; channel_ < s.stereo; ++channel_)
            for (slot_ = 0; slot_ < kSubbandSlots; ++slot_) {
                filterbank_.WindowSubband(cursor_[channel_], windowed_[channel_], channel_);
                filterbank_.FilterSubband(windowed_[channel_], sb_sample[channel_][granule_ + 1][slot_]);
            }
}

void CLayer3Encoder::ClearFrameState() {
    std::memset(subbandSnr_, 0, sizeof subbandSnr_);
    std::memset(psy_history, 0, sizeof psy_history);
    ratios_ = MaskingRatios{};
    std::memset(pe, 0, sizeof pe);
    side_ = SideInfo{};
    std::memset(windowed_, 0, sizeof windowed_);
    std::memset(sb_sample, 0, sizeof sb_sample);
    std::memset(xr, 0, sizeof xr);
    std::memset(l3_enc, 0, sizeof l3_enc);
    scalefac_ = FrameScaleFactors{};
    std::memset(frame_, 0, sizeof frame_);
    sentBits_ = 0;
    frameBits_ = 0;
    samplesRead_ = 0;
    inputEnded_ = false;
    framesWritten_ = 0;
}

bool CLayer3Encoder::NextFrameSamples() {
    const EncodingSettings& s = *settings_;
    if (!inputEnded_) {
        const int got = reader_.ReadFrame(frame_, s);
        if (got > 0) {
            // The reader interleaves two values a sample unless one channel is read as it is.
            const bool interleaved = s.mode != 3 || s.downmix;
            samplesRead_ += interleaved ? (got + 1) / 2 : got;
            decoration_.AddPlanar(frame_[0], frame_[1],
                                  static_cast<std::size_t>(interleaved ? (got + 1) / 2 : got));
            ++framesWritten_;
            return true;
        }
        inputEnded_ = true;
    }
    // The filterbanks hold the last kCodecDelay samples back: frames of silence carry them
    // into the stream, as many as it takes for the last input sample to decode, and no more.
    if (samplesRead_ == 0) return false;
    const std::int64_t needed = (samplesRead_ + kCodecDelay + s.samplesPerFrame - 1) / s.samplesPerFrame;
    if (framesWritten_ >= needed) return false;
    std::memset(frame_, 0, sizeof frame_);
    ++framesWritten_;
    return true;
}

int CLayer3Encoder::EncodeStep() {
    if (!outputOpen_ || settings_ == nullptr) return -1;
    EncodingSettings& s = *settings_;
    if (!NextFrameSamples()) return -1;
    cursor_[0] = frame_[0];
    cursor_[1] = frame_[1];
    DecidePadding();
    s.bitsPerFrame = 8 * (wholeSlotsPerFrame_ + s.padding);
    meanBits_ = (s.bitsPerFrame - sideInfoLength_) / s.granulesPerFrame;

    PsychoacousticPass();
    FilterbankPass();
    mdct_.Transform(sb_sample, xr, side_);
    quantizer_.IterationLoop(pe, xr, ratios_, side_, l3_enc, meanBits_, scalefac_);
    formatter_.FormatFrame(l3_enc, side_, scalefac_, xr, nullptr, 0);

    frameBits_ = static_cast<int>(formatter_.TotalBits() - sentBits_);
    sentBits_ += frameBits_;
    return ++s.frameCount;
}

void CLayer3Encoder::Close() {
    // After an Open that failed before the output was created there is nothing to finish.
    if (outputOpen_) {
        if (formatter_.IsOpen()) formatter_.Flush();
        bool ok = formatter_.Writer().Close();
        // The stored delay: the encoder's lag less the decoders' own, which they take off.
        ok = decoration_.Finish(output_, kCodecDelay - tags::kDecoderDelay, samplesRead_) && ok;
        outputOpen_ = false;
        if (reader_.CutShort()) {
            // The input ended before its data did (the reader said so): the file keeps what was
            // encoded unless an earlier file of its name would be lost, and counts as failed.
            output_.CloseWithoutReplacing();
            outputFailed_ = true;
        } else {
            ok = output_.Close() && ok;
            if (!ok) {
                outputFailed_ = true;
                platform::MessageBox("Error writing to file", platform::kAppCaption,
                                     platform::MB_OK | platform::MB_ICONEXCLAMATION);
            }
        }
    }
    reader_.Close();
    output_.Close();
}

}  // namespace layer3
