// The interface every encoder is driven through: for each input Open, then EncodeStep until it
// returns a negative value, then Close (also after an Open that failed).
#pragma once

#include <functional>
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

    // Why the last file failed, naming the file and giving the system's reason; empty when it
    // did not fail, or failed for a reason the encoder did not learn (see FailureReasonFor).
    const std::string& FailureReason() const { return failureReason_; }

    // Names for the next file's tag, set before its Open (a CD track's number and names); they
    // win over what the input itself carries.
    void SetTrackTags(const tags::TagFields& fields) { trackTags_ = fields; }

    // Whether the next Open may give the file a second thread of its own (the built-in encoder
    // then analyses frames ahead while it codes). A batch whose other files keep every core
    // busy says no.
    void AllowSecondThread(bool allow) { secondThreadAllowed_ = allow; }
    // Runs first on such a second thread: what the thread reports (a file that ended early)
    // is then filed as the caller's own reports are, e.g. under its file in a batch.
    void SetThreadStart(std::function<void()> start) { threadStart_ = std::move(start); }

    // The loudness of the file the last Open began, for an album's gain; null when it was not
    // measured.
    std::shared_ptr<const tags::LoudnessMeter> LastLoudness() const { return lastLoudness_; }

  protected:
    bool outputFailed_ = false;
    bool secondThreadAllowed_ = true;
    std::function<void()> threadStart_;
    std::string failureReason_;
    tags::TagFields trackTags_;
    std::shared_ptr<const tags::LoudnessMeter> lastLoudness_;
};
