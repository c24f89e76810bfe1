// The interface every encoder is driven through: for each input Open, then EncodeStep until it
// returns a negative value, then Close (also after an Open that failed).
#pragma once

#include <memory>
#include <string>

#include "tags/tag_fields.h"

namespace tags {
class LoudnessMeter;
}

struct EncodingSettings;

class CEncoder {
  public:
    // Finishes the current output file and releases the input. After a failed Open it only
    // releases what that Open acquired.
    virtual void Close() = 0;
    // Encodes the next frame: 0 or more when a frame was produced (the built-in encoder returns
    // the frames produced so far for this file), negative when the input is exhausted or the
    // step failed.
    virtual int EncodeStep() = 0;
    // Opens the input WAV file and creates the output file; nonzero on success. The encoder
    // keeps the reference to the record and writes its derived frame parameters into it.
    virtual int Open(EncodingSettings& settings, const std::string& inputPath,
                     const std::string& outputPath) = 0;
    virtual ~CEncoder() = default;

    // True when the last Close found that the output could not be written completely: the
    // file counts as failed, and the encoder has told the user.
    bool OutputFailed() const { return outputFailed_; }

    // Names for the next file's tag, set before its Open (a CD track's number and names); they
    // win over what the input itself carries.
    void SetTrackTags(const tags::TagFields& fields) { trackTags_ = fields; }

    // The loudness of the file the last Open began, for an album's gain; null when it was not
    // measured.
    std::shared_ptr<const tags::LoudnessMeter> LastLoudness() const { return lastLoudness_; }

  protected:
    bool outputFailed_ = false;
    tags::TagFields trackTags_;
    std::shared_ptr<const tags::LoudnessMeter> lastLoudness_;
};
