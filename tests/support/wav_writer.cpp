#include "tests/support/wav_writer.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testwav {

std::vector<std::int16_t> Sine(int frames, int channels, int rate, double hz, double amplitude) {
    std::vector<std::int16_t> out;
    out.reserve(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2.0 * M_PI * hz * i / rate);
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<std::int16_t>(std::lround(v)));
    }
    return out;
}

std::vector<std::int16_t> Noise(int frames, int channels, std::uint32_t seed, double amplitude) {
    std::vector<std::int16_t> out;
    out.reserve(static_cast<std::size_t>(frames * channels));
    std::uint32_t s = seed ? seed : 1;
    for (int i = 0; i < frames * channels; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        double u = static_cast<double>(s) / 4294967296.0 * 2.0 - 1.0;
        out.push_back(static_cast<std::int16_t>(std::lround(u * amplitude)));
    }
    return out;
}

std::vector<std::int16_t> Silence(int frames, int channels) {
    return std::vector<std::int16_t>(static_cast<std::size_t>(frames * channels), 0);
}

std::vector<std::int16_t> ClickTrain(int frames, int channels, int period, double amplitude) {
    std::vector<std::int16_t> out = Silence(frames, channels);
    for (int i = 0; i < frames; i += period)
        for (int k = 0; k < 8 && i + k < frames; ++k)
            for (int c = 0; c < channels; ++c)
                out[static_cast<std::size_t>((i + k) * channels + c)] =
                    static_cast<std::int16_t>(k % 2 ? -amplitude : amplitude);
    return out;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velto-test-XXXXXX").string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    char* made = mkdtemp(name.data());
    path_ = made ? made : tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may have made parts of the folder read-only; give write access back first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string WritePcm16(const std::string& path, const std::vector<std::int16_t>& interleaved, int channels,
                       int rate) {
    wavfile::WriteBytes(path, wavfile::Pcm16(interleaved, channels, rate));
    return path;
}

std::string WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    wavfile::WriteBytes(path, bytes);
    return path;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testwav
