// The built-in MPEG-1 Layer III encoder: one object holds the whole state of encoding one WAV
// file, and each EncodeStep turns 1152 samples per channel into one frame. The object is reused
// for every file of a batch, and every Open starts from the same fresh state, so a file's
// bytes never depend on the files encoded before it.
#pragma once

#include <cstdint>
#include <string>

#include "job/encoder.h"
#include "layer3/analysis_filterbank.h"
#include "layer3/frame_formatter.h"
#include "layer3/hybrid_filterbank.h"
#include "layer3/psy_model.h"
#include "layer3/quantizer.h"
#include "layer3/reservoir.h"
#include "layer3/side_info.h"
#include "layer3/audio_reader.h"
#include "platform/file.h"
#include "tags/mp3_decoration.h"

namespace layer3 {

// Samples by which the decoded stream lags the input: the analysis and synthesis polyphase
// filterbanks together delay the signal by 481 samples, the MDCT's overlap by one granule.
inline constexpr int kCodecDelay = 481 + 576;

class CLayer3Encoder : public CEncoder {
  public:
    CLayer3Encoder();
    ~CLayer3Encoder() override;
    CLayer3Encoder(const CLayer3Encoder&) = delete;
    CLayer3Encoder& operator=(const CLayer3Encoder&) = delete;

    void Close() override;
    int EncodeStep() override;
    int Open(EncodingSettings& settings, const std::string& inputPath,
             const std::string& outputPath) override;

  private:
    // Writes the tag and reserves the Info frame the settings ask for; false when it failed.
    bool BeginDecoration(const std::string& inputPath);
    void ChooseChannelLayout();
    void ComputeFrameSize();
    void ClearFrameState();
    // Fills the frame buffer with the next frame's samples, or with silence once the input
    // has run out; false when the file needs no more frames.
    bool NextFrameSamples();
    void DecidePadding();
    void PsychoacousticPass();
    void FilterbankPass();

    // Loop counters.
    int channel_ = 0, slot_ = 0, granule_ = 0;
    std::int16_t psy_history[kMaxChannels][kPsyHistory] = {};
    float subbandSnr_[32] = {};
    MaskingRatios ratios_;
    double pe[kMaxGranules][kMaxChannels] = {};
    SideInfo side_;
    const std::int16_t* cursor_[kMaxChannels] = {nullptr, nullptr};
    double windowed_[kMaxChannels][kFilterTaps] = {};
    SubbandSamples sb_sample = {};
    Spectrum xr = {};
    QuantizedValues l3_enc = {};
    FrameScaleFactors scalefac_;
    // Frame size accounting.
    double avgSlotsPerFrame_ = 0, fracSlotsPerFrame_ = 0;
    int wholeSlotsPerFrame_ = 0;
    double slotLag_ = 0;
    int meanBits_ = 0;
    std::int64_t sentBits_ = 0;
    int frameBits_ = 0;
    int sideInfoLength_ = 0;

    platform::OutputFile output_;
    tags::Mp3Decoration decoration_;
    CFrameFormatter formatter_;
    CAudioReader reader_;
    EncodingSettings* settings_ = nullptr;
    CBitReservoir reservoir_;
    CQuantizer quantizer_;
    CHybridFilterbank mdct_;
    CAnalysisFilterbank filterbank_;
    CPsychoModel psy_;
    FrameBuffer frame_ = {};
    bool outputOpen_ = false;
    // The end of input: samples read per channel, and whether the reader has run out.
    std::int64_t samplesRead_ = 0;
    bool inputEnded_ = false;
    int framesWritten_ = 0;
};

}  // namespace layer3
