#include "tags/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tags {

namespace {

constexpr std::size_t kBlockFrames = 1152;
// Blocks handed over and not yet measured: about three seconds at 44.1 kHz.
constexpr std::size_t kBlocks = 128;

}  // namespace

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    ~State() {
        if (meter) ebur128_destroy(&meter);
    }
};

// The measuring thread and the ring of blocks it takes its samples from. A block belongs to the
// encoder until it is handed over and to the thread until it is measured.
struct LoudnessMeter::Worker {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::int16_t> blocks = std::vector<std::int16_t>(kBlocks * 2 * kBlockFrames);
    std::size_t frames[kBlocks] = {};
    std::uint64_t handedOver = 0, measured = 0;
    bool ending = false;
    std::thread thread;

    std::int16_t* Block(std::uint64_t n) { return &blocks[(n % kBlocks) * 2 * kBlockFrames]; }

    void Run(ebur128_state* meter) {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return measured < handedOver || ending; });
            if (measured == handedOver) return;
            const std::uint64_t n = measured;
            lock.unlock();
            ebur128_add_frames_short(meter, Block(n), frames[n % kBlocks]);
            lock.lock();
            ++measured;
            changed.notify_all();
        }
    }
};

LoudnessMeter::LoudnessMeter(int sampleRate, int channels) : channels_(channels) {
    // The histogram keeps the state small and constant for inputs of any length.
    if (channels < 1 || channels > 2 || sampleRate <= 0) return;
    auto state = std::make_unique<State>();
    state->meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                                EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
    if (!state->meter) return;
    state_ = std::move(state);
    worker_ = std::make_unique<Worker>();
    worker_->thread = std::thread([worker = worker_.get(), meter = state_->meter] { worker->Run(meter); });
}

LoudnessMeter::~LoudnessMeter() {
    Finish();
}

void LoudnessMeter::Finish() const {
    if (!worker_ || !worker_->thread.joinable()) return;
    {
        std::lock_guard lock(worker_->mutex);
        worker_->ending = true;
    }
    worker_->changed.notify_all();
    worker_->thread.join();
}

bool LoudnessMeter::Measuring() const {
    return worker_ && worker_->thread.joinable();
}

std::int16_t* LoudnessMeter::NextBlock() {
    std::unique_lock lock(worker_->mutex);
    worker_->changed.wait(lock, [&] { return worker_->handedOver - worker_->measured < kBlocks; });
    return worker_->Block(worker_->handedOver);
}

void LoudnessMeter::HandOver(std::size_t frames) {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->frames[worker_->handedOver % kBlocks] = frames;
        ++worker_->handedOver;
    }
    worker_->changed.notify_all();
}

void LoudnessMeter::AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels) {
    if (!Measuring()) return;
    if (sourceChannels == 0) sourceChannels = channels_;
    const bool mixDown = sourceChannels == 2 && channels_ == 1;
    if (sourceChannels != channels_ && !mixDown) return;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(frames - done, kBlockFrames);
        const std::int16_t* from = samples + done * static_cast<std::size_t>(sourceChannels);
        std::int16_t* block = NextBlock();
        if (mixDown) {
            for (std::size_t i = 0; i < n; ++i)
                block[i] = static_cast<std::int16_t>((from[2 * i] + from[2 * i + 1]) >> 1);
        } else {
            std::copy(from, from + n * static_cast<std::size_t>(channels_), block);
        }
        HandOver(n);
        done += n;
    }
}

void LoudnessMeter::AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames) {
    if (!Measuring()) return;
    if (channels_ == 1) return AddInterleaved(left, frames);
    frames = std::min(frames, kBlockFrames);
    std::int16_t* block = NextBlock();
    for (std::size_t i = 0; i < frames; ++i) {
        block[2 * i] = left[i];
        block[2 * i + 1] = right[i];
    }
    HandOver(frames);
}

std::optional<double> LoudnessMeter::IntegratedLufs() const {
    Finish();
    double lufs = 0;
    if (!state_ || ebur128_loudness_global(state_->meter, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
        return std::nullopt;
    return lufs;
}

double LoudnessMeter::Peak() const {
    Finish();
    double peak = 0;
    for (int c = 0; state_ && c < channels_; ++c) {
        double p = 0;
        if (ebur128_sample_peak(state_->meter, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    return peak;
}

std::optional<double> LoudnessMeter::GainDb() const {
    const auto lufs = IntegratedLufs();
    if (!lufs) return std::nullopt;
    return kReferenceLufs - *lufs;
}

AlbumLoudness MeasureAlbum(const std::vector<std::shared_ptr<const LoudnessMeter>>& tracks) {
    AlbumLoudness album;
    std::vector<ebur128_state*> states;
    for (const auto& t : tracks) {
        if (!t || !t->MeasuringState()) continue;
        states.push_back(t->MeasuringState()->meter);
        album.peak = std::max(album.peak, t->Peak());
    }
    double lufs = 0;
    if (!states.empty() &&
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) == EBUR128_SUCCESS &&
        std::isfinite(lufs))
        album.gainDb = kReferenceLufs - lufs;
    return album;
}

namespace {

std::string Fixed(double value, int decimals) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

}  // namespace

std::string GainText(double gainDb) {
    // Two decimals, and never "-0.00".
    if (std::fabs(gainDb) < 0.005) gainDb = 0;
    return Fixed(gainDb, 2) + " dB";
}

std::string PeakText(double peak) {
    return Fixed(peak, 6);
}

}  // namespace tags
