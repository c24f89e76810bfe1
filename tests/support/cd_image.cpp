#include "tests/support/cd_image.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tests/support/wav_writer.h"

namespace testcd {

namespace {

constexpr int kFramesPerSector = kSectorBytes / 4;
constexpr int kEdgeSectors = 3 * 75;

void AppendSamples(const std::vector<std::int16_t>& samples, std::vector<std::uint8_t>& out) {
    for (std::int16_t s : samples) {
        const auto u = static_cast<std::uint16_t>(s);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
}

std::vector<std::uint8_t> AudioBytes(const TrackSpec& track) {
    const int frames = track.sectors * kFramesPerSector;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(track.sectors) * kSectorBytes);
    switch (track.fill) {
        case Fill::Noise:
            AppendSamples(testwav::Noise(frames, 2, track.seed), bytes);
            break;
        case Fill::Silence:
            AppendSamples(testwav::Silence(frames, 2), bytes);
            break;
        case Fill::Tone:
            AppendSamples(testwav::Sine(frames, 2, 44100, 441.0 * (1 + track.seed % 8), 12000.0), bytes);
            break;
        case Fill::SilentEdges: {
            AppendSamples(testwav::Noise(frames, 2, track.seed), bytes);
            const std::size_t edge =
                static_cast<std::size_t>(std::min(kEdgeSectors, (track.sectors + 1) / 2)) * kSectorBytes;
            std::fill(bytes.begin(), bytes.begin() + edge, 0);
            std::fill(bytes.end() - edge, bytes.end(), 0);
            break;
        }
    }
    return bytes;
}

std::vector<std::uint8_t> DataBytes(const TrackSpec& track) {
    constexpr int kUserBytes = 2048, kHeaderBytes = 16;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(track.sectors) * kSectorBytes, 0);
    std::vector<std::uint8_t> user;
    AppendSamples(testwav::Noise(track.sectors * kUserBytes / 2, 1, track.seed), user);
    for (int s = 0; s < track.sectors; ++s) {
        std::uint8_t* sector = &bytes[static_cast<std::size_t>(s) * kSectorBytes];
        std::fill(sector + 1, sector + 11, 0xFF);  // sync: 00, ten FF, 00
        sector[15] = 1;                            // mode 1
        std::copy_n(&user[static_cast<std::size_t>(s) * kUserBytes], kUserBytes, sector + kHeaderBytes);
    }
    return bytes;
}

std::string Msf(int lba) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", lba / (60 * 75), lba / 75 % 60, lba % 75);
    return text;
}

}  // namespace

std::vector<std::uint8_t> TrackBytes(const TrackSpec& track) {
    return track.data ? DataBytes(track) : AudioBytes(track);
}

int TrackStart(const std::vector<TrackSpec>& tracks, int k) {
    int lba = 0;
    for (int i = 0; i < k; ++i)
        lba += tracks[static_cast<std::size_t>(i)].sectors;
    return lba;
}

std::string WriteCueBin(const std::string& dir, const std::string& name, const std::vector<TrackSpec>& tracks,
                        int firstTrack) {
    const std::string binPath = dir + "/" + name + ".bin", cuePath = dir + "/" + name + ".cue";
    std::ofstream bin(binPath, std::ios::binary);
    std::ofstream cue(cuePath);
    cue << "FILE \"" << name << ".bin\" BINARY\n";
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const std::vector<std::uint8_t> bytes = TrackBytes(tracks[k]);
        bin.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        char number[8];
        std::snprintf(number, sizeof number, "%02d", (firstTrack + static_cast<int>(k)) % 100);
        cue << "  TRACK " << number << (tracks[k].data ? " MODE1/2352\n" : " AUDIO\n");
        cue << "    INDEX 01 " << Msf(TrackStart(tracks, static_cast<int>(k))) << "\n";
    }
    if (!bin.flush() || !cue.flush()) throw std::runtime_error("cannot write the disc image " + cuePath);
    return cuePath;
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (previous_)
        setenv(name_.c_str(), previous_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

}  // namespace testcd
