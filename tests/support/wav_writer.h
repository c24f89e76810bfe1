// Test inputs: WAV files of generated signals at any rate, channel count and bit depth, with
// extra, odd-length or missing chunks, or cut short.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/wav_file.h"

namespace testwav {

// Interleaved 16-bit signals, frames samples per channel.
std::vector<std::int16_t> Sine(int frames, int channels, int rate, double hz, double amplitude = 10000.0);
std::vector<std::int16_t> Noise(int frames, int channels, std::uint32_t seed = 1, double amplitude = 8000.0);
std::vector<std::int16_t> Silence(int frames, int channels);
// Short full-band clicks every period samples over silence.
std::vector<std::int16_t> ClickTrain(int frames, int channels, int period, double amplitude = 20000.0);

// A folder that is removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes a plain 16-bit PCM WAV and returns its path.
std::string WritePcm16(const std::string& path, const std::vector<std::int16_t>& interleaved, int channels,
                       int rate);
std::string WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

}  // namespace testwav
