// Cost of the input conversion: reading a 24-bit 96 kHz WAV (resampled to 48 kHz and dithered)
// against a 16-bit 48 kHz WAV (read as stored), on its own and in a whole encode at 128 kbps.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/audio_reader.h"
#include "layer3/layer3_encoder.h"

namespace {

constexpr double kSeconds = 5.0;

// A chord with a slow vibrato in both channels, written once per kind into the temp folder.
std::string Clip(int format, int rate) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("velto-bench-input-" + std::to_string(rate) + ".wav"))
            .string();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    const int frames = static_cast<int>(kSeconds * rate);
    std::vector<float> samples;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double x = 0;
        for (double hz : {220.0, 277.2, 329.6, 1318.5})
            x += 0.2 * std::sin(2 * M_PI * hz * (1 + 0.002 * std::sin(5 * t)) * t);
        samples.push_back(static_cast<float>(x));
        samples.push_back(static_cast<float>(0.8 * x));
    }
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return path;
}

const std::string& Hires() {
    static const std::string path = Clip(SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000);
    return path;
}

const std::string& Plain() {
    static const std::string path = Clip(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000);
    return path;
}

void Read(benchmark::State& state, const std::string& path) {
    EncodingSettings settings;
    settings.mode = 0;
    settings.samplesPerFrame = layer3::kFrameSamples;
    auto reader = std::make_unique<layer3::CAudioReader>();
    layer3::FrameBuffer frame;
    std::int64_t frames = 0;
    for (auto _ : state) {
        reader->Open(path);
        while (reader->ReadFrame(frame, settings) > 0)
            ++frames;
        reader->Close();
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(
        static_cast<double>(frames) * layer3::kFrameSamples / 48000, benchmark::Counter::kIsRate);
}

void Encode(benchmark::State& state, const std::string& path) {
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    const std::string out = path + ".mp3";
    std::int64_t frames = 0;
    for (auto _ : state) {
        EncodingSettings settings;
        settings.SetBitrateIndex(9);
        encoder->Open(settings, path, out);
        while (encoder->EncodeStep() >= 0)
            ++frames;
        encoder->Close();
    }
    std::remove(out.c_str());
    state.counters["audio_s_per_s"] = benchmark::Counter(
        static_cast<double>(frames) * layer3::kFrameSamples / 48000, benchmark::Counter::kIsRate);
}

void BM_ReadHires24Bit96k(benchmark::State& state) {
    Read(state, Hires());
}
void BM_ReadPlain16Bit48k(benchmark::State& state) {
    Read(state, Plain());
}
void BM_EncodeHires24Bit96k(benchmark::State& state) {
    Encode(state, Hires());
}
void BM_EncodePlain16Bit48k(benchmark::State& state) {
    Encode(state, Plain());
}

BENCHMARK(BM_ReadHires24Bit96k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPlain16Bit48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeHires24Bit96k)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_EncodePlain16Bit48k)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
