#include "layer3/layer3_encoder.h"

#include <cstdlib>
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
    // A file left open would still be formatted into the output about to be replaced.
    StopAnalysisThread();
    outputFailed_ = false;
    failureReason_.clear();
    if (!reader_.Open(inputPath)) return 0;
    // A WAV file that already carries the output's name would be truncated while it is read.
    if (RefuseOutputOverInput(inputPath, outputPath)) return 0;
    if (!output_.Create(outputPath)) {
        failureReason_ = outputPath + " cannot be written: " + output_.ErrorText();
        return 0;
    }
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
    trialQuantizer_.Init(settings, reservoir_);
    ComputeFrameSize();
    StartAnalysisThread();
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

void CLayer3Encoder::PsychoacousticPass(AnalysedFrame& out) {
    const EncodingSettings& s = *settings_;
    for (granule_ = 0; granule_ < s.granulesPerFrame; ++granule_)
        for (channel_ = 0; channel_ < s.stereo; ++channel_)
            psy_.Analyse(channel_, &frame_[channel_][granule_ * kGranuleLines], psy_history[channel_],
                         out.ratios.l[granule_][channel_], out.ratios.s[granule_][channel_],
                         out.pe[granule_][channel_], out.blocks.gr[granule_][channel_]);
}

void CLayer3Encoder::FilterbankPass() {
    const EncodingSettings& s = *settings_;
    for (granule_ = 0; granule_ < s.granulesPerFrame; ++granule_)
        for (channel_ = 0; channel_ < s.stereo; ++channel_)
            for (slot_ = 0; slot_ < kSubbandSlots; ++slot_)
                filterbank_.AnalyseSubbands(cursor_[channel_], sb_sample[channel_][granule_ + 1][slot_],
                                            channel_);
}

void CLayer3Encoder::ClearFrameState() {
    std::memset(subbandSnr_, 0, sizeof subbandSnr_);
    std::memset(psy_history, 0, sizeof psy_history);
    side_ = SideInfo{};
    std::memset(sb_sample, 0, sizeof sb_sample);
    for (AnalysedFrame& frame : analysed_)
        frame = AnalysedFrame{};
    analysedCount_ = codedCount_ = 0;
    analysisEnded_ = coderWaiting_ = analyserWaiting_ = false;
    samplesCoded_ = 0;
    std::memset(l3_enc, 0, sizeof l3_enc);
    scalefac_ = FrameScaleFactors{};
    std::memset(frame_, 0, sizeof frame_);
    publishedCount_ = formattedCount_ = 0;
    publisherWaiting_ = false;
    nextMainDataBegin_ = 0;
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

void CLayer3Encoder::AnalyseFrame(AnalysedFrame& out) {
    out.present = NextFrameSamples();
    out.samplesRead = samplesRead_;
    if (!out.present) return;
    cursor_[0] = frame_[0];
    cursor_[1] = frame_[1];
    PsychoacousticPass(out);
    FilterbankPass();
    mdct_.Transform(sb_sample, out.xr, out.blocks);
    // Worked out here rather than in the loops: it takes from the coding thread's share.
    for (int gr = 0; gr < settings_->granulesPerFrame; ++gr)
        for (int ch = 0; ch < settings_->stereo; ++ch)
            out.firstSteps[gr][ch] = CQuantizer::FirstStepOf(out.xr[gr][ch]);
    quantizer_.PrepareFrame(out.xr, out.ratios, out.blocks, out.prepared);
    // On two threads the first trial of each granule's search moves here too; on one it would
    // only cost a copy.
    if (firstTrialsAhead_) {
        trialQuantizer_.PrepareFirstTrials(out.xr, out.blocks, out.firstSteps, out.prepared, out.firstTrials);
    } else {
        for (auto& granule : out.firstTrials)
            for (CQuantizer::FirstTrial& trial : granule)
                trial.valid = false;
    }
}

int CLayer3Encoder::CodeFrame(const AnalysedFrame& in) {
    EncodingSettings& s = *settings_;
    for (int gr = 0; gr < kMaxGranules; ++gr)
        for (int ch = 0; ch < kMaxChannels; ++ch) {
            const GranuleInfo& chosen = in.blocks.gr[gr][ch];
            GranuleInfo& gi = side_.gr[gr][ch];
            gi.block_type = chosen.block_type;
            gi.window_switching_flag = chosen.window_switching_flag;
            gi.mixed_block_flag = chosen.mixed_block_flag;
        }
    DecidePadding();
    s.bitsPerFrame = 8 * (wholeSlotsPerFrame_ + s.padding);
    meanBits_ = (s.bitsPerFrame - sideInfoLength_) / s.granulesPerFrame;

    quantizer_.IterationLoop(in.pe, in.xr, in.ratios, side_, l3_enc, meanBits_, scalefac_, &in.firstSteps,
                             &in.prepared, &in.firstTrials);
    if (analysisThread_.joinable()) {
        // The analysed frame goes back to the analysis when this step ends: its signs go with
        // the values.
        formatter_.ApplySigns(in.xr, l3_enc);
        PublishCodedFrame();
    } else {
        formatter_.FormatFrame(l3_enc, side_, scalefac_, in.xr, nullptr, 0);
    }
    samplesCoded_ = in.samplesRead;
    return ++s.frameCount;
}

const CLayer3Encoder::AnalysedFrame& CLayer3Encoder::NextAnalysedFrame() {
    AnalysedFrame& frame = analysed_[codedCount_ % kRing];
    if (!analysisThread_.joinable()) {
        AnalyseFrame(frame);
        return frame;
    }
    std::unique_lock lock(ringMutex_);
    if (analysedCount_ == codedCount_) {
        coderWaiting_ = true;
        ringHasFrames_.wait(lock,
                            [&] { return analysisEnded_ || analysedCount_ - codedCount_ >= kRing / 2; });
        coderWaiting_ = false;
    }
    return frame;
}

void CLayer3Encoder::ReleaseCodedFrame() {
    if (!analysisThread_.joinable()) {
        ++codedCount_;
        return;
    }
    std::lock_guard lock(ringMutex_);
    ++codedCount_;
    if (analyserWaiting_ && analysedCount_ - codedCount_ <= kRing / 2) ringHasRoom_.notify_one();
}

int CLayer3Encoder::EncodeStep() {
    if (!outputOpen_ || settings_ == nullptr) return -1;
    const AnalysedFrame& frame = NextAnalysedFrame();
    // The frame past the input's end stays in the ring: later steps find it again.
    if (!frame.present) return -1;
    const int count = CodeFrame(frame);
    ReleaseCodedFrame();
    return count;
}

namespace {

// A second thread pays where a core would otherwise stay idle; VELTO_FILE_THREADS=1 keeps
// every file on one (to measure, or to leave the other core alone).
bool SecondThreadWanted() {
    const char* forced = std::getenv("VELTO_FILE_THREADS");
    if (forced != nullptr && std::atoi(forced) == 1) return false;
    return std::thread::hardware_concurrency() > 1;
}

}  // namespace

void CLayer3Encoder::StartAnalysisThread() {
    StopAnalysisThread();
    firstTrialsAhead_ = false;
    if (!secondThreadAllowed_ || !SecondThreadWanted()) return;
    quitAnalysis_ = false;
    // The shared settings move on to the frames the loops code: the formatter, behind them,
    // reads a copy set for each frame it formats.
    formatterSettings_ = *settings_;
    formatter_.FollowSettings(formatterSettings_);
    firstTrialsAhead_ = true;
    nextMainDataBegin_ = side_.main_data_begin;
    // A new thread inherits the scheduling of the one that starts it: the worker's priority.
    analysisThread_ = std::thread([this, start = threadStart_] {
        if (start) start();
        AnalysisThreadLoop();
    });
}

// Between frames the analysis formats what the loops have finished; with the input analysed
// to its end it formats only, until Close asks it to finish.
void CLayer3Encoder::AnalysisThreadLoop() {
    for (;;) {
        FormatPublishedFrames();
        std::uint64_t slot = 0;
        {
            std::unique_lock lock(ringMutex_);
            if (quitAnalysis_) break;
            const auto formattingDue = [&] { return publishedCount_ - formattedCount_ >= kRing / 2; };
            if (analysisEnded_ || analysedCount_ - codedCount_ == kRing) {
                analyserWaiting_ = true;
                ringHasRoom_.wait(lock, [&] {
                    return quitAnalysis_ || formattingDue() ||
                           (!analysisEnded_ && analysedCount_ - codedCount_ <= kRing / 2);
                });
                analyserWaiting_ = false;
                continue;
            }
            slot = analysedCount_ % kRing;
        }
        AnalyseFrame(analysed_[slot]);
        std::lock_guard lock(ringMutex_);
        ++analysedCount_;
        if (!analysed_[slot].present) analysisEnded_ = true;
        if (coderWaiting_ && (analysisEnded_ || analysedCount_ - codedCount_ >= kRing / 2))
            ringHasFrames_.notify_one();
    }
    // Close waits for this: every frame the loops coded is written.
    FormatPublishedFrames();
}

void CLayer3Encoder::PublishCodedFrame() {
    std::unique_lock lock(ringMutex_);
    if (publishedCount_ - formattedCount_ == kRing) {
        publisherWaiting_ = true;
        if (analyserWaiting_) ringHasRoom_.notify_one();
        codedHasRoom_.wait(lock, [&] { return publishedCount_ - formattedCount_ < kRing; });
        publisherWaiting_ = false;
    }
    CodedFrame& frame = coded_[publishedCount_ % kRing];
    lock.unlock();
    std::memcpy(frame.ix, l3_enc, sizeof l3_enc);
    frame.side = side_;
    frame.scalefactors = scalefac_;
    frame.padding = settings_->padding;
    frame.bitsPerFrame = settings_->bitsPerFrame;
    lock.lock();
    ++publishedCount_;
    if (analyserWaiting_ && publishedCount_ - formattedCount_ >= kRing / 2) ringHasRoom_.notify_one();
}

void CLayer3Encoder::FormatPublishedFrames() {
    std::uint64_t from = 0, to = 0;
    {
        std::lock_guard lock(ringMutex_);
        from = formattedCount_, to = publishedCount_;
    }
    if (from == to) return;
    for (std::uint64_t n = from; n < to; ++n) {
        CodedFrame& frame = coded_[n % kRing];
        formatterSettings_.padding = frame.padding;
        formatterSettings_.bitsPerFrame = frame.bitsPerFrame;
        frame.side.main_data_begin = nextMainDataBegin_;
        formatter_.FormatSignedFrame(frame.ix, frame.side, frame.scalefactors, nullptr, 0);
        nextMainDataBegin_ = frame.side.main_data_begin;
    }
    std::lock_guard lock(ringMutex_);
    formattedCount_ = to;
    if (publisherWaiting_) codedHasRoom_.notify_one();
}

// Ends the analysis thread once the frame it is analysing, if any, is done (the encoding may
// have stopped before the input ended) and every frame coded is formatted; frames analysed
// and not coded are never coded.
void CLayer3Encoder::StopAnalysisThread() {
    if (!analysisThread_.joinable()) return;
    {
        std::lock_guard lock(ringMutex_);
        quitAnalysis_ = true;
    }
    ringHasRoom_.notify_one();
    analysisThread_.join();
}

void CLayer3Encoder::Close() {
    StopAnalysisThread();
    // After an Open that failed before the output was created there is nothing to finish.
    if (outputOpen_) {
        if (formatter_.IsOpen()) formatter_.Flush();
        bool ok = formatter_.Writer().Close();
        // The stored delay: the encoder's lag less the decoders' own, which they take off.
        ok = decoration_.Finish(output_, kCodecDelay - tags::kDecoderDelay, samplesCoded_) && ok;
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
                failureReason_ = "error writing to " + output_.FailureText();
                platform::MessageBox("Error writing to file " + output_.FailureText(), platform::kAppCaption,
                                     platform::MB_OK | platform::MB_ICONEXCLAMATION);
            }
        }
    }
    reader_.Close();
    output_.Close();
}

}  // namespace layer3
