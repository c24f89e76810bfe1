// Speed of the encoding half on spectra the analysis half made from a music-like stereo signal
// at 44100 Hz and 128 kbps: the look-up quantiser over a granule, the quantisation loops of a
// frame (outer and inner loop together, per encoding mode, with the passes and trial
// quantisations they took), the one-pass bit count of a trial, and the frame formatter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/analysis_filterbank.h"
#include "layer3/frame_formatter.h"
#include "layer3/huffman_count.h"
#include "layer3/hybrid_filterbank.h"
#include "layer3/psy_model.h"
#include "layer3/quantizer.h"
#include "layer3/reservoir.h"
#include "layer3/side_info_layout.h"
#include "platform/file.h"

namespace {

using namespace layer3;

constexpr int kFrames = 24;

// Chords with a slow vibrato, a noise floor, and a drum hit every half second: tonal bands,
// noisy bands and attacks, as music has.
std::vector<std::int16_t> MusicLike(int samples, int channel) {
    std::mt19937 rng(7 + channel);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<std::int16_t> v(samples);
    const double notes[] = {220.0, 277.2, 329.6, 440.0, 554.4, 1318.5};
    for (int i = 0; i < samples; ++i) {
        const double t = i / 44100.0;
        double x = 0;
        for (double f : notes)
            x += 1800.0 * std::sin(2 * M_PI * f * (1 + 0.002 * std::sin(5 * t)) * t + channel);
        const double sinceHit = std::fmod(t, 0.5);
        x += 9000.0 * std::exp(-sinceHit * 30) * noise(rng) + 300.0 * noise(rng);
        v[i] = static_cast<std::int16_t>(std::lround(std::clamp(x, -32768.0, 32767.0)));
    }
    return v;
}

struct Frame {
    Spectrum xr = {};
    MaskingRatios ratios;
    double pe[kMaxGranules][kMaxChannels] = {};
    SideInfo side;  // block types from the model
};

// The settings of a 44100 Hz stereo encoding at 128 kbps, as the session sets them up.
void StereoSettings(EncodingSettings& s, int mode) {
    s.EncodingMode = mode;
    s.stereo = 2;
    s.mode = 0;
    s.version = 1;
    s.SetSamplingFrequency(44100);
    s.SetBitrateIndex(9);
    s.bitsPerSlot = 8;
    s.granulesPerFrame = 2;
    s.samplesPerFrame = 1152;
    s.padding = 1;
    s.bitsPerFrame = 8 * 418;
}

int MeanBits(const EncodingSettings& s) {
    return (s.bitsPerFrame - HeaderAndSideInfoBits(s, s.stereo)) / s.granulesPerFrame;
}

// Runs the model, the polyphase filterbank and the MDCT over kFrames frames, once.
const std::vector<Frame>& AnalysedFrames() {
    static const std::vector<Frame> frames = [] {
        std::vector<Frame> out(kFrames);
        auto psy = std::make_unique<CPsychoModel>();
        auto fb = std::make_unique<CAnalysisFilterbank>();
        auto mdct = std::make_unique<CHybridFilterbank>();
        EncodingSettings s;
        StereoSettings(s, 1);
        mdct->Init(s);
        struct Subbands {
            SubbandSamples v = {};
        };
        auto sb = std::make_unique<Subbands>();
        auto history = std::make_unique<std::int16_t[][kPsyHistory]>(2);
        const std::vector<std::int16_t> pcm[2] = {MusicLike(1152 * (kFrames + 1), 0),
                                                  MusicLike(1152 * (kFrames + 1), 1)};
        double z[kFilterTaps];
        for (int f = 0; f < kFrames; ++f) {
            Frame& frame = out[f];
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < 2; ++ch)
                    psy->Analyse(ch, &pcm[ch][1152 * f + 576 * gr], history[ch], frame.ratios.l[gr][ch],
                                 frame.ratios.s[gr][ch], frame.pe[gr][ch], frame.side.gr[gr][ch]);
            const std::int16_t* cursor[2] = {&pcm[0][1152 * f], &pcm[1][1152 * f]};
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < 2; ++ch)
                    for (int slot = 0; slot < kSubbandSlots; ++slot) {
                        fb->WindowSubband(cursor[ch], z, ch);
                        fb->FilterSubband(z, sb->v[ch][gr + 1][slot]);
                    }
            mdct->Transform(sb->v, frame.xr, frame.side);
        }
        return out;
    }();
    return frames;
}

// The quantisation loops' state for one encoding.
struct Loops {
    EncodingSettings s;
    CBitReservoir reservoir;
    CQuantizer q;
    SideInfo side;
    QuantizedValues l3_enc = {};
    FrameScaleFactors sf;
    explicit Loops(int mode) {
        StereoSettings(s, mode);
        reservoir.Reset();
        q.Init(s, reservoir);
    }
    void Encode(const Frame& f) {
        side = f.side;
        q.IterationLoop(f.pe, f.xr, f.ratios, side, l3_enc, MeanBits(s), sf);
    }
};

void BM_QuantizeGranuleValues(benchmark::State& state) {
    const Frame& f = AnalysedFrames()[kFrames / 2];
    auto loops = std::make_unique<Loops>(1);
    loops->Encode(f);
    const double step = std::pow(2.0, loops->side.gr[0][0].quantizerStepSize / 4.0);
    int ix[kGranuleLines];
    for (auto _ : state) {
        for (int i = 0; i < kGranuleLines; ++i)
            ix[i] = loops->q.QuantizeValue(std::fabs(f.xr[0][0][i]), step);
        benchmark::DoNotOptimize(ix);
    }
}
BENCHMARK(BM_QuantizeGranuleValues);

// Outer and inner loop over the frames of the clip, per encoding mode.
void BM_IterationLoopFrame(benchmark::State& state) {
    const auto& frames = AnalysedFrames();
    auto loops = std::make_unique<Loops>(static_cast<int>(state.range(0)));
    int passes = 0;
    loops->q.SetPassObserver([&passes](const CQuantizer::PassRecord&) { ++passes; });
    std::size_t n = 0;
    for (auto _ : state) {
        loops->Encode(frames[n++ % frames.size()]);
        benchmark::DoNotOptimize(loops->l3_enc);
    }
    const double granules = 4.0 * static_cast<double>(n);
    state.counters["outer passes per granule"] = passes / granules;
    state.counters["trials per granule"] = loops->s.quantizeCalls / granules;
}
BENCHMARK(BM_IterationLoopFrame)->DenseRange(0, 3);

// The bit count of one trial quantisation, as the inner loop runs it.
void BM_CountTrial(benchmark::State& state) {
    auto loops = std::make_unique<Loops>(1);
    loops->Encode(AnalysedFrames()[kFrames / 2]);
    const int(&ix)[kGranuleLines] = loops->l3_enc[0][0];
    GranuleInfo gi = loops->side.gr[0][0];
    for (auto _ : state)
        benchmark::DoNotOptimize(ChooseTablesAndCountBits(ix, gi, tables::kScalefactorBands[0]));
}
BENCHMARK(BM_CountTrial);

// Header, side information, scalefactors and Huffman codes of quantised frames into a file.
void BM_FormatFrame(benchmark::State& state) {
    const auto& frames = AnalysedFrames();
    struct Coded {
        QuantizedValues ix;
        SideInfo side;
        FrameScaleFactors sf;
    };
    std::vector<Coded> coded(frames.size());
    auto loops = std::make_unique<Loops>(1);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        loops->Encode(frames[f]);
        std::copy(&loops->l3_enc[0][0][0], &loops->l3_enc[0][0][0] + 4 * kGranuleLines,
                  &coded[f].ix[0][0][0]);
        coded[f].side = loops->side;
        coded[f].sf = loops->sf;
    }
    platform::OutputFile file;
    if (!file.Create("/dev/null")) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    auto formatter = std::make_unique<CFrameFormatter>();
    formatter->Open(file, loops->s);
    struct Values {
        QuantizedValues v = {};
    };
    auto ix = std::make_unique<Values>();
    SideInfo side;  // carries main_data_begin from frame to frame, as the session's does
    std::size_t n = 0;
    for (auto _ : state) {
        if (n > 0 && n % frames.size() == 0) {
            // The frames' reservoir accounting holds for the clip from its start: a new file.
            state.PauseTiming();
            formatter->Flush();
            formatter->Writer().Close();
            file.Close();
            if (!file.Create("/dev/null")) state.SkipWithError("cannot open /dev/null");
            formatter->Open(file, loops->s);
            side = SideInfo{};
            state.ResumeTiming();
        }
        const Coded& c = coded[n % frames.size()];
        std::copy(&c.ix[0][0][0], &c.ix[0][0][0] + 4 * kGranuleLines, &ix->v[0][0][0]);
        const int mainDataBegin = side.main_data_begin;
        side = c.side;
        side.main_data_begin = mainDataBegin;
        formatter->FormatFrame(ix->v, side, c.sf, frames[n++ % frames.size()].xr, nullptr, 0);
    }
    formatter->Flush();
    formatter->Writer().Close();
}
BENCHMARK(BM_FormatFrame);

}  // namespace
