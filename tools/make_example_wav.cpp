// Generates the bundled example: eight seconds of stereo music-like material at 44100 Hz, so
// that no audio has to be kept in the repository. A plucked melody with sharp attacks, a
// sustained chord, a drum-like noise burst pattern and a short stretch of silence exercise the
// encoder's long and short blocks alike. The output is the same on every machine.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/wav_file.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// A repeatable noise source (xorshift), the same on every machine.
struct Noise {
    std::uint32_t state = 0x9E3779B9u;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 4294967296.0 * 2.0 - 1.0;
    }
};

double NoteHz(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

// A plucked note: a few harmonics under a fast attack and an exponential decay.
double Pluck(double t, double hz) {
    if (t < 0)
        return 0;
    double attack = std::min(1.0, t / 0.002);
    double env = attack * std::exp(-t * 3.5);
    double v = 0;
    for (int h = 1; h <= 6; ++h)
        v += std::sin(2 * kPi * hz * h * t) / (h * h);
    return env * v;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output.wav\n", argv[0]);
        return 2;
    }
    const double seconds = 8.0;
    const int frames = static_cast<int>(seconds * kRate);
    std::vector<double> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    Noise noise;
    const int melody[] = {0, 3, 7, 12, 10, 7, 3, 5, 8, 12, 15, 12};
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double l = 0, r = 0;
        // Melody: a new plucked note every 0.4 s for the first 4.8 s.
        for (int n = 0; n < 12; ++n) {
            double start = 0.4 * n;
            double p = Pluck(t - start, NoteHz(melody[n] - 12));
            l += 0.5 * p * (n % 2 ? 0.6 : 1.0);
            r += 0.5 * p * (n % 2 ? 1.0 : 0.6);
        }
        // A sustained chord from 2.0 s to 6.5 s with slow swells.
        if (t >= 2.0 && t < 6.5) {
            double env = std::min(1.0, (t - 2.0) / 0.3) * std::min(1.0, (6.5 - t) / 0.3);
            double chord = std::sin(2 * kPi * NoteHz(-9) * t) + std::sin(2 * kPi * NoteHz(-5) * t) +
                           std::sin(2 * kPi * NoteHz(-2) * t);
            l += 0.12 * env * chord;
            r += 0.12 * env * chord * 0.9;
        }
        // Drum-like noise bursts every half second from 4.0 s to 7.0 s.
        if (t >= 4.0 && t < 7.0) {
            double since = std::fmod(t - 4.0, 0.5);
            double burst = std::exp(-since * 40.0) * noise.Next();
            l += 0.35 * burst;
            r += 0.35 * burst;
        }
        // The last second fades to digital silence.
        double fade = t < 7.0 ? 1.0 : std::max(0.0, 1.0 - (t - 7.0) / 0.5);
        left[static_cast<std::size_t>(i)] = l * fade;
        right[static_cast<std::size_t>(i)] = r * fade;
    }
    std::vector<std::int16_t> interleaved;
    interleaved.reserve(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        for (double v : {left[static_cast<std::size_t>(i)], right[static_cast<std::size_t>(i)]}) {
            double s = std::round(v * 20000.0);
            s = std::max(-32768.0, std::min(32767.0, s));
            interleaved.push_back(static_cast<std::int16_t>(s));
        }
    }
    if (!wavfile::WriteBytes(argv[1], wavfile::Pcm16(interleaved, 2, kRate))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
