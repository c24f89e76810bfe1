// Test discs: CUE/BIN images of generated tracks for the virtual CD drives, and the bytes each
// track holds, to compare what a drive reads with.
//
// Audio fills (stereo, 16-bit little-endian, left first):
//   Noise        white noise of amplitude 8000 from the seed;
//   Silence      digital silence;
//   Tone         a sine of 441 x (1 + seed % 8) Hz, amplitude 12000, the same on both channels;
//   SilentEdges  Noise with 3 s (225 sectors) of digital silence at the start and at the end; a
//                track of 450 sectors or fewer is silent throughout.
// A data track's sectors have the sync pattern and mode byte 1 of a MODE1/2352 sector, then 2048
// bytes of noise from the seed; the address, EDC and ECC fields are zero (nothing here reads them,
// and so a track's bytes do not depend on where it lies).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testcd {

inline constexpr int kSectorBytes = 2352;

enum class Fill { Noise, Silence, Tone, SilentEdges };

struct TrackSpec {
    bool data = false;  // a data track (MODE1/2352 in the BIN), otherwise audio
    int sectors = 750;  // length in 2352-byte sectors
    Fill fill = Fill::Noise;
    std::uint32_t seed = 1;  // makes the audio deterministic
};

// Writes <dir>/<name>.bin and <dir>/<name>.cue (one BIN, tracks back to back, INDEX 01 at each
// track's start, no pregaps, numbered from firstTrack) and returns the CUE's path.
std::string WriteCueBin(const std::string& dir, const std::string& name, const std::vector<TrackSpec>& tracks,
                        int firstTrack = 1);
// The bytes of one track as they are in the BIN (sectors x 2352).
std::vector<std::uint8_t> TrackBytes(const TrackSpec& track);
// The LBA at which track k (0-based) of such an image starts.
int TrackStart(const std::vector<TrackSpec>& tracks, int k);

// Sets (or, with no value, removes) an environment variable for the object's lifetime, then
// restores what was there before.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace testcd
