// Speed of the analysis half per granule and channel: real FFTs, psychoacoustic model,
// polyphase filterbank, and the MDCT of a stereo frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "layer3/analysis_filterbank.h"
#include "layer3/fft.h"
#include "layer3/hybrid_filterbank.h"
#include "layer3/psy_model.h"

namespace {

std::vector<std::int16_t> Music(int n) {
    std::mt19937 rng(1);
    std::normal_distribution<double> d(0.0, 2000.0);
    std::vector<std::int16_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = std::int16_t(std::lround(6000 * std::sin(0.05 * i) + d(rng)));
    return v;
}

template <std::size_t N>
void BM_RealFft(benchmark::State& state) {
    auto fft = std::make_unique<layer3::CRealFft<N>>();
    const auto pcm = Music(N);
    float x[N], energy[N / 2 + 1];
    layer3::UnitPhasor direction[N / 2 + 1];
    for (std::size_t i = 0; i < N; ++i)
        x[i] = pcm[i];
    for (auto _ : state) {
        fft->Transform(x, energy, direction);
        benchmark::DoNotOptimize(energy);
    }
}
BENCHMARK(BM_RealFft<1024>);
BENCHMARK(BM_RealFft<256>);

void BM_PsychoModelGranule(benchmark::State& state) {
    auto model = std::make_unique<layer3::CPsychoModel>();
    const auto pcm = Music(576 * 64);
    std::int16_t history[layer3::kPsyHistory] = {};
    double ratioL[layer3::kLongBands], ratioS[layer3::kShortBands][3], pe;
    layer3::GranuleInfo gi;
    std::size_t g = 0;
    for (auto _ : state) {
        model->Analyse(0, pcm.data() + 576 * (g++ % 64), history, ratioL, ratioS, pe, gi);
        benchmark::DoNotOptimize(pe);
    }
}
BENCHMARK(BM_PsychoModelGranule);

void BM_PolyphaseGranule(benchmark::State& state) {
    layer3::CAnalysisFilterbank fb;
    const auto pcm = Music(576);
    double z[512], s[32];
    for (auto _ : state) {
        const std::int16_t* cursor = pcm.data();
        for (int t = 0; t < 18; ++t) {
            fb.WindowSubband(cursor, z, 0);
            fb.FilterSubband(z, s);
        }
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_PolyphaseGranule);

struct FrameData {
    layer3::SubbandSamples sb{};
    layer3::Spectrum xr{};
    layer3::SideInfo side;
};

void BM_MdctStereoFrame(benchmark::State& state) {
    layer3::CHybridFilterbank mdct;
    EncodingSettings settings;
    settings.stereo = 2;
    settings.granulesPerFrame = 2;
    mdct.Init(settings);
    auto f = std::make_unique<FrameData>();
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> d(-1, 1);
    for (auto& ch : f->sb)
        for (auto& slot : ch)
            for (auto& t : slot)
                for (double& v : t)
                    v = d(rng);
    for (auto _ : state) {
        mdct.Transform(f->sb, f->xr, f->side);
        benchmark::DoNotOptimize(f->xr);
    }
}
BENCHMARK(BM_MdctStereoFrame);

}  // namespace
