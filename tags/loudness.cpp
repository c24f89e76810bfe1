#include "tags/loudness.h"

#include <emmintrin.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace tags {

namespace {

// Samples are filtered at their 16-bit scale; a block's energy is brought to full scale = 1 by
// a power of two, which is exact.
constexpr double kFullScaleEnergy = 1.0 / (32768.0 * 32768.0);
// The lowest rate measured, that of the narrowest MP3s.
constexpr int kLowestRate = 8000;
// Frames converted to doubles at a time, in a buffer on the stack.
constexpr std::size_t kChunk = 256;

// The histogram of block loudness: 0.01-LU bins from the absolute gate at -70 LUFS up to
// +10 LUFS; louder blocks, which 16-bit samples hardly reach, share the top bin.
constexpr int kBins = 8000;
constexpr double kLowestLufs = -70.0;
constexpr double kBinsPerLu = 100.0;
// The relative gate, 10 LU below the loudness of the blocks above the absolute gate, as a
// ratio of energies.
constexpr double kRelativeGate = 0.1;

double LufsOf(double energy) {
    return -0.691 + 10.0 * std::log10(energy);
}

// The absolute gate as a block energy.
double AbsoluteGate() {
    static const double gate = std::pow(10.0, (kLowestLufs + 0.691) / 10.0);
    return gate;
}

int BinOf(double energy) {
    const double bin = std::floor((LufsOf(energy) - kLowestLufs) * kBinsPerLu);
    return static_cast<int>(std::clamp(bin, 0.0, static_cast<double>(kBins - 1)));
}

// Values too small to matter are flushed to zero while measuring: the filter's state decays
// towards the subnormal range in silence, where every operation would be many times slower.
class FlushSubnormals {
  public:
    FlushSubnormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }  // FTZ and DAZ
    ~FlushSubnormals() { _mm_setcsr(saved_); }
    FlushSubnormals(const FlushSubnormals&) = delete;
    FlushSubnormals& operator=(const FlushSubnormals&) = delete;

  private:
    unsigned saved_;
};

// The K-weighting of both channels, lane 0 the left (or only) channel and lane 1 the right:
// a high shelf and a high pass, each y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
struct KWeighting {
    // The shelf's numerator and denominator; the high pass's denominator (its numerator is
    // 1, -2, 1).
    double sb[3] = {}, sa[2] = {}, ha[2] = {};
    // The last four frames of input, shelf output and high-pass output, oldest first.
    alignas(32) double x[8] = {}, y[8] = {}, z[8] = {};

    void Design(double rate);
    // Filters frames of interleaved pairs and returns the sum of the squared outputs.
    double Frames(const double* in, std::size_t frames);
};

void KWeighting::Design(double rate) {
    // The two stages from their analog prototypes by the bilinear transform with the frequency
    // prewarped: a high shelf of about +4 dB above 1.7 kHz for the head, and a high pass at 38 Hz.
    {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(std::numbers::pi * f0 / rate);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        sb[0] = (vh + vb * k / q + k * k) / a0;
        sb[1] = 2.0 * (k * k - vh) / a0;
        sb[2] = (vh - vb * k / q + k * k) / a0;
        sa[0] = 2.0 * (k * k - 1.0) / a0;
        sa[1] = (1.0 - k / q + k * k) / a0;
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(std::numbers::pi * f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        ha[0] = 2.0 * (k * k - 1.0) / a0;
        ha[1] = (1.0 - k / q + k * k) / a0;
    }
}

// One frame after another, in the lanes of one vector.
double KWeighting::Frames(const double* in, std::size_t frames) {
    const __m128d b0 = _mm_set1_pd(sb[0]), b1 = _mm_set1_pd(sb[1]), b2 = _mm_set1_pd(sb[2]);
    const __m128d a1 = _mm_set1_pd(sa[0]), a2 = _mm_set1_pd(sa[1]);
    const __m128d h1 = _mm_set1_pd(ha[0]), h2 = _mm_set1_pd(ha[1]);
    __m128d x4 = _mm_load_pd(x), x3 = _mm_load_pd(x + 2), x2 = _mm_load_pd(x + 4), x1 = _mm_load_pd(x + 6);
    __m128d y4 = _mm_load_pd(y), y3 = _mm_load_pd(y + 2), y2 = _mm_load_pd(y + 4), y1 = _mm_load_pd(y + 6);
    __m128d z4 = _mm_load_pd(z), z3 = _mm_load_pd(z + 2), z2 = _mm_load_pd(z + 4), z1 = _mm_load_pd(z + 6);
    __m128d energy = _mm_setzero_pd();
    for (std::size_t i = 0; i < frames; ++i) {
        const __m128d in0 = _mm_load_pd(in + 2 * i);
        // Each stage adds up everything that does not depend on its previous output first,
        // so that the recursion from one frame to the next is one multiply and one subtract.
        const __m128d yRest = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, in0), _mm_mul_pd(b1, x1)),
                                         _mm_sub_pd(_mm_mul_pd(b2, x2), _mm_mul_pd(a2, y2)));
        const __m128d y0 = _mm_sub_pd(yRest, _mm_mul_pd(a1, y1));
        const __m128d zRest = _mm_add_pd(_mm_sub_pd(_mm_add_pd(y1, y1), y2), _mm_mul_pd(h2, z2));
        const __m128d z0 = _mm_sub_pd(_mm_sub_pd(y0, zRest), _mm_mul_pd(h1, z1));
        energy = _mm_add_pd(energy, _mm_mul_pd(z0, z0));
        x4 = x3, x3 = x2, x2 = x1, x1 = in0;
        y4 = y3, y3 = y2, y2 = y1, y1 = y0;
        z4 = z3, z3 = z2, z2 = z1, z1 = z0;
    }
    _mm_store_pd(x, x4), _mm_store_pd(x + 2, x3), _mm_store_pd(x + 4, x2), _mm_store_pd(x + 6, x1);
    _mm_store_pd(y, y4), _mm_store_pd(y + 2, y3), _mm_store_pd(y + 4, y2), _mm_store_pd(y + 6, y1);
    _mm_store_pd(z, z4), _mm_store_pd(z + 2, z3), _mm_store_pd(z + 4, z2), _mm_store_pd(z + 6, z1);
    return _mm_cvtsd_f64(_mm_add_sd(energy, _mm_unpackhi_pd(energy, energy)));
}

}  // namespace

// The filter and the 100-ms segment being summed.
struct LoudnessMeter::Filter {
    KWeighting weighting;
    std::size_t segmentFrames = 0, segmentLeft = 0;
    double segmentEnergy = 0;
    // The energies of the last four segments, which make a 400-ms block.
    double recent[4] = {};
    std::uint64_t segments = 0;
    int highest = 0, lowest = 0;  // sample values
};

// The blocks above the absolute gate: each bin's count and the sum of its blocks' energies.
struct LoudnessMeter::Blocks {
    std::vector<std::uint32_t> count = std::vector<std::uint32_t>(kBins);
    std::vector<double> energy = std::vector<double>(kBins);

    void Add(double blockEnergy) {
        if (!(blockEnergy >= AbsoluteGate())) return;
        const auto bin = static_cast<std::size_t>(BinOf(blockEnergy));
        ++count[bin];
        energy[bin] += blockEnergy;
    }
};

namespace {

// The gated loudness of the blocks of all the tracks together. Bins above the relative gate's
// bin count whole and bins below it not at all; the blocks of the gate's own bin lie within
// 0.01 LU of it and count together when their mean energy reaches it.
template <typename Blocks>
std::optional<double> GatedLoudness(const std::vector<const Blocks*>& tracks) {
    double total = 0;
    std::uint64_t blocks = 0;
    for (const Blocks* t : tracks)
        for (int b = 0; b < kBins; ++b) {
            total += t->energy[static_cast<std::size_t>(b)];
            blocks += t->count[static_cast<std::size_t>(b)];
        }
    if (blocks == 0) return std::nullopt;
    const double gate = kRelativeGate * total / static_cast<double>(blocks);
    const int gateBin = gate < AbsoluteGate() ? -1 : BinOf(gate);
    double kept = 0, edge = 0;
    std::uint64_t keptBlocks = 0, edgeBlocks = 0;
    for (const Blocks* t : tracks) {
        if (gateBin >= 0) {
            edge += t->energy[static_cast<std::size_t>(gateBin)];
            edgeBlocks += t->count[static_cast<std::size_t>(gateBin)];
        }
        for (int b = gateBin + 1; b < kBins; ++b) {
            kept += t->energy[static_cast<std::size_t>(b)];
            keptBlocks += t->count[static_cast<std::size_t>(b)];
        }
    }
    if (edgeBlocks > 0 && edge >= gate * static_cast<double>(edgeBlocks)) {
        kept += edge;
        keptBlocks += edgeBlocks;
    }
    if (keptBlocks == 0) return std::nullopt;
    const double lufs = LufsOf(kept / static_cast<double>(keptBlocks));
    if (!std::isfinite(lufs)) return std::nullopt;
    return lufs;
}

}  // namespace

LoudnessMeter::LoudnessMeter(int sampleRate, int channels) : channels_(channels) {
    // Below 8 kHz the shelf's corner would lie near or above half the rate.
    if (channels < 1 || channels > 2 || sampleRate < kLowestRate) return;
    auto filter = std::make_unique<Filter>();
    filter->weighting.Design(sampleRate);
    filter->segmentFrames = filter->segmentLeft = static_cast<std::size_t>((sampleRate + 5) / 10);
    filter_ = std::move(filter);
    blocks_ = std::make_unique<Blocks>();
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Run(const double* samples, std::size_t frames) {
    Filter& f = *filter_;
    KWeighting& k = f.weighting;
    while (frames > 0) {
        const std::size_t n = std::min(frames, f.segmentLeft);
        // The channels weigh 1 each.
        f.segmentEnergy += k.Frames(samples, n);
        samples += 2 * n;
        frames -= n;
        f.segmentLeft -= n;
        if (f.segmentLeft == 0) EndSegment();
    }
}

void LoudnessMeter::EndSegment() {
    Filter& f = *filter_;
    f.recent[f.segments % 4] = f.segmentEnergy;
    ++f.segments;
    f.segmentEnergy = 0;
    f.segmentLeft = f.segmentFrames;
    if (f.segments < 4) return;
    const double sum = (f.recent[0] + f.recent[1]) + (f.recent[2] + f.recent[3]);
    blocks_->Add(sum * kFullScaleEnergy / static_cast<double>(4 * f.segmentFrames));
}

namespace {

// Where the samples come from, as pairs of 16-bit values (left and right, or the only channel
// and 0): Load8 gives frames at..at+7 four to a vector, At one frame.
struct Rows {
    const std::int16_t* left;
    const std::int16_t* right;
    void Load8(std::size_t at, __m128i& first, __m128i& second) const {
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + at));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + at));
        first = _mm_unpacklo_epi16(l, r);
        second = _mm_unpackhi_epi16(l, r);
    }
    std::pair<int, int> At(std::size_t i) const { return {left[i], right[i]}; }
};

struct Interleaved {
    const std::int16_t* samples;
    void Load8(std::size_t at, __m128i& first, __m128i& second) const {
        first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * at));
        second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * at + 8));
    }
    std::pair<int, int> At(std::size_t i) const { return {samples[2 * i], samples[2 * i + 1]}; }
};

struct Mono {
    const std::int16_t* samples;
    void Load8(std::size_t at, __m128i& first, __m128i& second) const {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + at));
        first = _mm_unpacklo_epi16(m, _mm_setzero_si128());
        second = _mm_unpackhi_epi16(m, _mm_setzero_si128());
    }
    std::pair<int, int> At(std::size_t i) const { return {samples[i], 0}; }
};

// The mean of the two channels of an interleaved source, as the encoder mixes them down.
struct MixedDown {
    const std::int16_t* samples;
    void Load8(std::size_t at, __m128i& first, __m128i& second) const {
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * at + 8));
        const __m128i mean = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(a, ones), 1),
                                             _mm_srai_epi32(_mm_madd_epi16(b, ones), 1));
        first = _mm_unpacklo_epi16(mean, _mm_setzero_si128());
        second = _mm_unpackhi_epi16(mean, _mm_setzero_si128());
    }
    std::pair<int, int> At(std::size_t i) const { return {(samples[2 * i] + samples[2 * i + 1]) >> 1, 0}; }
};

// Four frames of 16-bit pairs as eight doubles.
void ToDoubles(__m128i pairs, double* out) {
    const __m128i first = _mm_srai_epi32(_mm_unpacklo_epi16(pairs, pairs), 16);
    const __m128i second = _mm_srai_epi32(_mm_unpackhi_epi16(pairs, pairs), 16);
    _mm_store_pd(out, _mm_cvtepi32_pd(first));
    _mm_store_pd(out + 2, _mm_cvtepi32_pd(_mm_unpackhi_epi64(first, first)));
    _mm_store_pd(out + 4, _mm_cvtepi32_pd(second));
    _mm_store_pd(out + 6, _mm_cvtepi32_pd(_mm_unpackhi_epi64(second, second)));
}

}  // namespace

template <typename Source>
void LoudnessMeter::Measure(std::size_t frames, const Source& source) {
    if (!filter_) return;
    const FlushSubnormals flush;
    alignas(16) double buffer[2 * kChunk];
    __m128i high = _mm_setzero_si128(), low = _mm_setzero_si128();
    int highest = filter_->highest, lowest = filter_->lowest;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(frames - done, kChunk);
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            __m128i first, second;
            source.Load8(done + i, first, second);
            high = _mm_max_epi16(high, _mm_max_epi16(first, second));
            low = _mm_min_epi16(low, _mm_min_epi16(first, second));
            ToDoubles(first, buffer + 2 * i);
            ToDoubles(second, buffer + 2 * i + 8);
        }
        for (; i < n; ++i) {
            const auto [l, r] = source.At(done + i);
            buffer[2 * i] = l;
            buffer[2 * i + 1] = r;
            highest = std::max({highest, l, r});
            lowest = std::min({lowest, l, r});
        }
        Run(buffer, n);
        done += n;
    }
    alignas(16) std::int16_t highs[8], lows[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), high);
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
    for (int k = 0; k < 8; ++k) {
        highest = std::max(highest, static_cast<int>(highs[k]));
        lowest = std::min(lowest, static_cast<int>(lows[k]));
    }
    filter_->highest = highest;
    filter_->lowest = lowest;
}

void LoudnessMeter::AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels) {
    if (sourceChannels == 0) sourceChannels = channels_;
    if (channels_ == 2 && sourceChannels == 2) {
        Measure(frames, Interleaved{samples});
    } else if (channels_ == 1 && sourceChannels == 1) {
        Measure(frames, Mono{samples});
    } else if (channels_ == 1 && sourceChannels == 2) {
        Measure(frames, MixedDown{samples});
    }
}

void LoudnessMeter::AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames) {
    if (channels_ == 1) return Measure(frames, Mono{left});
    Measure(frames, Rows{left, right});
}

std::optional<double> LoudnessMeter::IntegratedLufs() const {
    if (!blocks_) return std::nullopt;
    return GatedLoudness(std::vector<const Blocks*>{blocks_.get()});
}

double LoudnessMeter::Peak() const {
    if (!filter_) return 0;
    return std::max(filter_->highest, -filter_->lowest) / 32768.0;
}

std::optional<double> LoudnessMeter::GainDb() const {
    const auto lufs = IntegratedLufs();
    if (!lufs) return std::nullopt;
    return kReferenceLufs - *lufs;
}

AlbumLoudness MeasureAlbum(const std::vector<std::shared_ptr<const LoudnessMeter>>& tracks) {
    AlbumLoudness album;
    std::vector<const LoudnessMeter::Blocks*> blocks;
    for (const auto& t : tracks) {
        if (!t || !t->MeasuredBlocks()) continue;
        blocks.push_back(t->MeasuredBlocks());
        album.peak = std::max(album.peak, t->Peak());
    }
    if (const auto lufs = GatedLoudness(blocks)) album.gainDb = kReferenceLufs - *lufs;
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
