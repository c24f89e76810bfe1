// Copying one audio track from a CD drive into a 16-bit stereo 44.1 kHz WAV file, in one of
// three modes: Normal (a sector per read), Buffered (N sectors per read) and Jitter Correction
// (N sectors per read, each overlapping the previous one by S sectors, joined where the audio
// matches so that data a drive delivers shifted is neither doubled nor lost).
#pragma once

#include <cstdint>
#include <string>

#include "cdda/cd_reader.h"

namespace cdda {

enum DaeMode { kDaeNormal = 0, kDaeBuffered = 1, kDaeJitterCorrection = 2 };

inline constexpr int kMaxReadSectors = 27;

struct ExtractionParameters {
    int mode = kDaeNormal;
    int readSectors = 26;  // N, 1-27
    int synchSectors = 3;  // S
};

// What the extraction needs of the window that runs it.
class ExtractionHost {
  public:
    virtual ~ExtractionHost() = default;
    virtual void SetStatus(const std::string& text) = 0;
    // Reported synchronously after reads: percent done and the speed multiple.
    virtual void ReportProgress(int percent, float speed) = 0;
    virtual bool StopRequested() const = 0;
    virtual void SetExtracting(bool running) = 0;
    virtual void SetExtractStart(long long seconds) = 0;
    // Seconds this track took, left out of the encoding times.
    virtual void AddExcludedSeconds(long long seconds) = 0;
    // The read that failed the track began at this sector; told before the message is shown.
    virtual void ReadFailed(std::uint32_t /*sector*/) {}
};

// Extracts sectors first..last (inclusive) of the drive at adapter/target into a WAV file at
// path. True when the track was extracted or the user stopped during the reads; false after a
// failure, which has been shown in a message box.
bool ExtractTrack(ExtractionHost& host, const ExtractionParameters& parameters, int adapter, int target,
                  std::uint32_t firstSector, std::uint32_t lastSector, const std::string& path);

// The 44-byte header of a 44.1 kHz 16-bit stereo PCM WAV file holding dataBytes of samples.
void MakeWavHeader(std::uint32_t dataBytes, std::uint8_t (&header)[44]);

// The junction search of Jitter Correction mode over whole frames (left and right sample as
// one 32-bit value): where in `old` the first 512 frames of `fresh` appear, searched from the
// place a read i sectors earlier than nominal would start. `found` tells whether they did;
// otherwise, and for digital silence, the result is the nominal place.
struct JunctionMatch {
    int frames = 0;
    bool found = false;
};
JunctionMatch Match(const std::uint32_t* fresh, const std::uint32_t* old, int oldFrames, int readSectors,
                    int synchSectors, int shift);

}  // namespace cdda
