#include "input/converting_source.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "input/channel_mix.h"
#include "input/dither.h"
#include "input/rates.h"

namespace input {

namespace {

// Source frames read and converted at a time.
constexpr int kBlockFrames = 4096;
// More channels than any layout the mix knows; a header claiming more is damaged.
constexpr int kMostChannels = 64;

Speaker SpeakerOf(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            return Speaker::Left;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            return Speaker::Right;
        case SF_CHANNEL_MAP_MONO:
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            return Speaker::Centre;
        case SF_CHANNEL_MAP_LFE:
            return Speaker::Lfe;
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
            return Speaker::LeftSurround;
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
            return Speaker::RightSurround;
        case SF_CHANNEL_MAP_REAR_CENTER:
            return Speaker::BackCentre;
        default:
            return Speaker::Other;
    }
}

// The positions the file names for its channels, or the usual order when it names none.
std::vector<Speaker> LayoutOf(SNDFILE* file, int channels) {
    std::vector<int> map(static_cast<std::size_t>(channels), 0);
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) ==
        SF_FALSE)
        return DefaultLayout(channels);
    std::vector<Speaker> layout;
    for (int position : map)
        layout.push_back(SpeakerOf(position));
    return layout;
}

// Integer samples of at most 16 bits: sf_readf_short hands them out exactly.
bool Holds16BitsOrFewer(int format) {
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8;
}

// libsndfile's explanation as part of a sentence: no "Error : " before it, no full stop after.
std::string Reason(const char* text) {
    std::string reason = text ? text : "unknown error";
    if (reason.rfind("Error : ", 0) == 0) reason.erase(0, 8);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n'))
        reason.pop_back();
    return reason;
}

}  // namespace

struct ConvertingSource::Pipeline {
    SNDFILE* file = nullptr;
    soxr_t resampler = nullptr;
    StereoMix mix;
    bool mixing = false;
    TriangularDither dither;

    std::vector<float> read;  // one block as the file holds it
    std::vector<std::int16_t> readShort;
    std::vector<float> mixed;      // that block in the output's channels
    std::vector<float> resampled;  // what the resampler gives for it
    std::vector<std::int16_t> queue;
    std::size_t queueStart = 0;

    std::int64_t sourceRead = 0;
    std::int64_t queuedFrames = 0;  // frames ever put in the queue
    bool fileEnded = false;
    bool done = false;

    ~Pipeline() {
        if (resampler) soxr_delete(resampler);
        if (file) sf_close(file);
    }
};

ConvertingSource::ConvertingSource() = default;

ConvertingSource::~ConvertingSource() = default;

void ConvertingSource::Close() {
    pipeline_.reset();
}

bool ConvertingSource::IsOpen() const {
    return pipeline_ != nullptr;
}

std::int64_t ConvertingSource::Clipped() const {
    return pipeline_ ? pipeline_->dither.Clipped() : 0;
}

std::string ConvertingSource::Open(const std::string& path) {
    Close();
    format_ = {};
    endedEarly_.clear();
    auto p = std::make_unique<Pipeline>();
    SF_INFO info{};
    p->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!p->file) return Reason(sf_strerror(nullptr));
    if (info.channels <= 0 || info.channels > kMostChannels)
        return "it has " + std::to_string(info.channels) + " channels";
    if (info.samplerate < kLowestRate || info.samplerate > kHighestRate)
        return "its sampling rate of " + std::to_string(info.samplerate) + " Hz is not supported";
    if (info.frames <= 0) return "it holds no audio";

    SourceFormat f;
    f.sourceRate = info.samplerate;
    f.sourceChannels = info.channels;
    f.sourceFrames = info.frames;
    f.outputRate = EncoderRateFor(info.samplerate);
    f.outputChannels = info.channels == 1 ? 1 : 2;
    // Rounded as the resampler rounds the length of its whole output.
    const double ratio = static_cast<double>(f.outputRate) / f.sourceRate;
    f.outputFrames = static_cast<std::int64_t>(std::llround(static_cast<double>(info.frames) * ratio));
    if (f.outputFrames > INT_MAX / 2) return "it is too long";
    const bool resampling = f.outputRate != f.sourceRate;
    p->mixing = info.channels > 2;
    f.converted = resampling || p->mixing || !Holds16BitsOrFewer(info.format);
    if (p->mixing) {
        const std::vector<Speaker> layout = LayoutOf(p->file, info.channels);
        p->mix = MixToStereo(layout);
        f.mixedFrom = LayoutName(layout);
    }
    if (resampling) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_error_t error = nullptr;
        p->resampler = soxr_create(f.sourceRate, f.outputRate, static_cast<unsigned>(f.outputChannels),
                                   &error, &io, &quality, nullptr);
        if (!p->resampler) return std::string("the resampler failed: ") + (error ? error : "unknown error");
    }

    // Every buffer is sized here, once: reading never allocates.
    const std::size_t block = kBlockFrames;
    const std::size_t outBlock = static_cast<std::size_t>(std::ceil(kBlockFrames * ratio)) + 64;
    if (f.converted)
        p->read.resize(block * static_cast<std::size_t>(info.channels));
    else
        p->readShort.resize(block * static_cast<std::size_t>(info.channels));
    p->mixed.resize(block * static_cast<std::size_t>(f.outputChannels));
    p->resampled.resize(outBlock * static_cast<std::size_t>(f.outputChannels));
    p->queue.reserve(4 * outBlock * static_cast<std::size_t>(f.outputChannels));
    format_ = f;
    pipeline_ = std::move(p);
    return std::string();
}

bool ConvertingSource::Refill() {
    Pipeline& p = *pipeline_;
    const SourceFormat& f = format_;
    const std::size_t outCh = static_cast<std::size_t>(f.outputChannels);
    // The consumed front of the queue goes before anything new is added.
    p.queue.erase(p.queue.begin(), p.queue.begin() + static_cast<std::ptrdiff_t>(p.queueStart));
    p.queueStart = 0;

    auto enqueueShorts = [&](const std::int16_t* samples, std::int64_t frames) {
        frames = std::min(frames, f.outputFrames - p.queuedFrames);
        if (frames <= 0) return;
        p.queue.insert(p.queue.end(), samples, samples + frames * static_cast<std::int64_t>(outCh));
        p.queuedFrames += frames;
    };
    auto enqueueFloats = [&](const float* samples, std::size_t frames) {
        const std::size_t values = frames * outCh;
        const std::size_t at = p.queue.size();
        p.queue.resize(at + values);
        p.dither.Quantise(samples, p.queue.data() + at, static_cast<int>(values));
        const std::int64_t room = std::max<std::int64_t>(f.outputFrames - p.queuedFrames, 0);
        const std::int64_t kept = std::min(static_cast<std::int64_t>(frames), room);
        p.queue.resize(at + static_cast<std::size_t>(kept) * outCh);
        p.queuedFrames += kept;
    };
    // Everything the resampler gives for this input (none: the end of the input).
    auto resample = [&](const float* in, std::size_t frames) {
        std::size_t used = 0;
        for (;;) {
            std::size_t took = 0, made = 0;
            const float* from = in ? in + used * outCh : nullptr;
            const std::size_t outFrames = p.resampled.size() / outCh;
            if (soxr_process(p.resampler, from, in ? frames - used : 0, &took, p.resampled.data(), outFrames,
                             &made))
                return;
            used += took;
            enqueueFloats(p.resampled.data(), made);
            if (made < outFrames && (!in || used == frames)) return;
        }
    };

    if (p.fileEnded) {
        p.done = true;
        return false;
    }
    const sf_count_t want = std::min<sf_count_t>(kBlockFrames, f.sourceFrames - p.sourceRead);
    sf_count_t got = 0;
    if (want > 0)
        got = f.converted ? sf_readf_float(p.file, p.read.data(), want)
                          : sf_readf_short(p.file, p.readShort.data(), want);
    p.sourceRead += got;
    if (got < kBlockFrames) p.fileEnded = true;
    if (got < want || sf_error(p.file) != SF_ERR_NO_ERROR) {
        endedEarly_ =
            sf_error(p.file) != SF_ERR_NO_ERROR ? Reason(sf_strerror(p.file)) : "the file ends early";
        p.fileEnded = true;
    }

    if (!f.converted) {
        enqueueShorts(p.readShort.data(), got);
        return got > 0;
    }
    const float* block = p.read.data();
    if (p.mixing) {
        p.mix.Apply(p.read.data(), static_cast<int>(got), p.mixed.data());
        block = p.mixed.data();
    }
    if (p.resampler) {
        resample(block, static_cast<std::size_t>(got));
        if (p.fileEnded) resample(nullptr, 0);
    } else {
        enqueueFloats(block, static_cast<std::size_t>(got));
    }
    return true;
}

int ConvertingSource::ReadSamples(std::int16_t* buffer, int count) {
    if (!pipeline_) return -1;
    if (count <= 0) return 0;
    Pipeline& p = *pipeline_;
    const auto available = [&] { return p.queue.size() - p.queueStart; };
    while (available() < static_cast<std::size_t>(count) && !p.done)
        if (!Refill() && available() == 0) break;
    const int got = static_cast<int>(std::min(available(), static_cast<std::size_t>(count)));
    std::copy_n(p.queue.begin() + static_cast<std::ptrdiff_t>(p.queueStart), got, buffer);
    p.queueStart += static_cast<std::size_t>(got);
    if (got > 0 && got < count) std::fill(buffer + got, buffer + count, std::int16_t{0});
    return got;
}

}  // namespace input
