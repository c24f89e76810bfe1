// The built-in MPEG-1 Layer III encoder: one object holds the whole state of encoding one WAV
// file, and each EncodeStep turns 1152 samples per channel into one frame. The object is reused
// for every file of a batch, and every Open starts from the same fresh state, so a file's
// bytes never depend on the files encoded before it.
//
// A frame's work falls into three stages: analysis (reading, the psychoacoustic model, the
// filterbanks), the quantisation loops, and the formatter. Nothing flows back from a later
// stage to an earlier one, so with a second thread the analysis runs up to a few frames ahead
// while the loops follow, and the formatter, on the second thread too, takes the frames the
// loops have finished, in order; the bytes are those of one thread by construction. Each
// EncodeStep codes exactly one frame, and Close writes every frame coded, so a stop still ends
// at the next frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "job/encoder.h"
#include "job/encoding_settings.h"
#include "layer3/analysis_filterbank.h"
#include "layer3/audio_reader.h"
#include "layer3/frame_formatter.h"
#include "layer3/hybrid_filterbank.h"
#include "layer3/psy_model.h"
#include "layer3/quantizer.h"
#include "layer3/reservoir.h"
#include "layer3/side_info.h"
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
    // What analysis hands to coding for one frame; a ring of them lies between the stages.
    struct AnalysedFrame {
        bool present = false;          // false: the input needs no more frames
        std::int64_t samplesRead = 0;  // input samples per channel read up to this frame
        double pe[kMaxGranules][kMaxChannels] = {};
        MaskingRatios ratios;
        Spectrum xr = {};
        SideInfo blocks;                         // the block type fields the model chose; the rest is unused
        CQuantizer::FirstSteps firstSteps = {};  // where the loops' search starts, per granule
        CQuantizer::FramePreparation prepared = {};
        // With two threads, each granule's first trial, worked out by the analysis's quantizer.
        CQuantizer::FirstTrials firstTrials;
    };

    // What the loops hand to the formatter for one frame: the values with their signs, the
    // side information and scalefactors, and the frame's size.
    struct CodedFrame {
        QuantizedValues ix = {};
        SideInfo side;
        FrameScaleFactors scalefactors;
        int padding = 0, bitsPerFrame = 0;
    };

    // Writes the tag and reserves the Info frame the settings ask for; false when it failed.
    bool BeginDecoration(const std::string& inputPath);
    void ChooseChannelLayout();
    void ComputeFrameSize();
    void ClearFrameState();
    // Fills the frame buffer with the next frame's samples, or with silence once the input
    // has run out; false when the file needs no more frames.
    bool NextFrameSamples();
    void DecidePadding();
    void PsychoacousticPass(AnalysedFrame& out);
    void FilterbankPass();
    // The analysis stage: reads the next frame and fills out.
    void AnalyseFrame(AnalysedFrame& out);
    // The coding stage: quantises and formats one analysed frame; returns the frame count.
    int CodeFrame(const AnalysedFrame& in);
    // The analysed frame for this step: from the analysis thread, or analysed here.
    const AnalysedFrame& NextAnalysedFrame();
    // Gives the frame just coded back to the analysis.
    void ReleaseCodedFrame();
    void StartAnalysisThread();
    void StopAnalysisThread();
    void AnalysisThreadLoop();
    // Hands the frame just coded to the formatter on the second thread, waiting while all the
    // ring's frames still wait for it.
    void PublishCodedFrame();
    // On the second thread: formats the frames the loops have handed over.
    void FormatPublishedFrames();

    // Loop counters.
    int channel_ = 0, slot_ = 0, granule_ = 0;
    std::int16_t psy_history[kMaxChannels][kPsyHistory] = {};
    float subbandSnr_[32] = {};
    SideInfo side_;
    const std::int16_t* cursor_[kMaxChannels] = {nullptr, nullptr};
    SubbandSamples sb_sample = {};
    // The analysis may run this many frames ahead of the coding. Handing over a frame at a
    // time would wake a thread for every frame; with a ring, a stage that had to wait sleeps
    // until half the ring is ready for it, so the threads wake rarely and seldom share a core.
    static constexpr std::uint64_t kRing = 16;
    AnalysedFrame analysed_[kRing];
    std::int64_t samplesCoded_ = 0;  // input samples per channel in the frames written
    QuantizedValues l3_enc = {};
    FrameScaleFactors scalefac_;
    // Frame size accounting.
    double avgSlotsPerFrame_ = 0, fracSlotsPerFrame_ = 0;
    int wholeSlotsPerFrame_ = 0;
    double slotLag_ = 0;
    int meanBits_ = 0;
    int sideInfoLength_ = 0;

    platform::OutputFile output_;
    tags::Mp3Decoration decoration_;
    CFrameFormatter formatter_;
    CAudioReader reader_;
    EncodingSettings* settings_ = nullptr;
    CBitReservoir reservoir_;
    CQuantizer quantizer_;
    // The analysis thread's own quantizer, for the first trials, and whether it makes them.
    CQuantizer trialQuantizer_;
    bool firstTrialsAhead_ = false;
    CHybridFilterbank mdct_;
    CAnalysisFilterbank filterbank_;
    CPsychoModel psy_;
    FrameBuffer frame_ = {};
    bool outputOpen_ = false;
    // The end of input: samples read per channel, and whether the reader has run out.
    std::int64_t samplesRead_ = 0;
    bool inputEnded_ = false;
    int framesWritten_ = 0;

    // The analysis thread, while a file is open on two threads. The counters, guarded by the
    // mutex, order every access to the ring: frames analysedCount_ - codedCount_ .. are the
    // coder's to read, the others the analyser's to fill. On one thread the counters serve
    // the same ring.
    std::thread analysisThread_;
    std::mutex ringMutex_;
    std::condition_variable ringHasFrames_, ringHasRoom_;
    std::uint64_t analysedCount_ = 0, codedCount_ = 0;
    bool analysisEnded_ = false;  // the analyser has handed over the frame past the input's end
    bool coderWaiting_ = false, analyserWaiting_ = false;
    bool quitAnalysis_ = false;
    // Frames publishedCount_ - formattedCount_ .. wait in coded_ for the formatter; the
    // formatter reads its frame parameters from formatterSettings_, set for each frame, and
    // carries each frame's main_data_begin to the next.
    CodedFrame coded_[kRing];
    std::uint64_t publishedCount_ = 0, formattedCount_ = 0;
    bool publisherWaiting_ = false;
    std::condition_variable codedHasRoom_;
    EncodingSettings formatterSettings_;
    int nextMainDataBegin_ = 0;
};

}  // namespace layer3
