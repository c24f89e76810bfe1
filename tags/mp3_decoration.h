// What an MP3 carries besides its audio frames: an ID3v2.3 tag with the file's names and
// ReplayGain values, then the Info header frame. Both encoders drive one of these per file:
// Begin right after the output is created writes the tag and reserves the Info frame; the
// samples pass through the loudness meter as they are read; Finish, after the last frame and
// before the file is sealed, reads the frames back and fills in the tag and the Info frame, so
// that both are true for what was written, also when the encode was stopped.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tags/info_frame.h"
#include "tags/loudness.h"
#include "tags/tag_fields.h"

namespace platform {
class OutputFile;
}

namespace tags {

// Which of the three the user wants; all off gives the bare frames.
struct Decoration {
    bool infoHeader = false;
    bool tags = false;
    bool replayGain = false;

    bool Any() const { return infoHeader || tags || replayGain; }
};

class Mp3Decoration {
  public:
    // Starts a file. Writes nothing for a bare choice or an output that is not a file of its own
    // (a device cannot be written twice at the same place). False when the write failed.
    bool Begin(platform::OutputFile& output, const Decoration& choice, const InfoStream& stream,
               const TagFields& fields);
    // Measures samples as the encoder reads them; does nothing unless ReplayGain is wanted.
    void AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames) {
        if (meter_) meter_->AddPlanar(left, right, frames);
    }
    void AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels) {
        if (meter_) meter_->AddInterleaved(samples, frames, sourceChannels);
    }
    // Completes the file's tag and Info frame. encoderDelay is the stored delay (the encoder's
    // own, less the decoders'), samples the input samples per channel that were encoded.
    // False when the bytes could not be written; true when there was nothing to do.
    bool Finish(platform::OutputFile& output, int encoderDelay, std::int64_t samples);

    // The loudness of the last file begun; null when it was not measured.
    std::shared_ptr<const LoudnessMeter> Loudness() const { return meter_; }

  private:
    bool ScanWrittenFrames(platform::OutputFile& output, AudioFrames& frames) const;
    std::vector<std::uint8_t> FinalTag() const;

    Decoration choice_;
    InfoStream stream_;
    TagFields fields_;
    std::shared_ptr<LoudnessMeter> meter_;
    std::size_t tagSize_ = 0;
    std::size_t infoSize_ = 0;
    bool active_ = false;
};

}  // namespace tags
