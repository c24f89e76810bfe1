#include "app/batch_report.h"

#include "job/text.h"
#include "platform/time_format.h"

namespace {

// Tenths of a second below a minute, "%H:%M:%S" above.
std::string Duration(double seconds) {
    if (seconds < 59.95) return Printf("%.1f s", seconds);
    return platform::FormatSeconds(static_cast<long long>(seconds + 0.5));
}

// Where in the track a read failed, for the message that names it.
std::string FailedReadPlace(const FileOutcome& o) {
    if (o.failedSector < o.trackFirstSector)
        return Printf("the spin-up read of sector %lld failed", o.failedSector);
    return Printf("the read at sector %lld (sector %lld of the track) failed", o.failedSector,
                  o.failedSector - o.trackFirstSector);
}

}  // namespace

BatchReport::BatchReport(std::FILE* out, std::FILE* err, bool listEachFile)
    : out_(out), err_(err), listEachFile_(listEachFile) {}

void BatchReport::Line(const std::string& text) {
    if (!listEachFile_) return;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void BatchReport::Record(const FileOutcome& o) {
    std::lock_guard lock(mutex_);
    audioSeconds_ += o.kind == FileOutcome::kEncoded || o.kind == FileOutcome::kStopped ? o.audioSeconds : 0;
    switch (o.kind) {
        case FileOutcome::kEncoded:
            ++encoded_;
            Line(o.input + ": encoded to " + o.output);
            break;
        case FileOutcome::kFailed:
            ++failed_;
            Line(o.input + ": failed");
            break;
        case FileOutcome::kStopped:
            ++skipped_;
            Line(o.input + ": stopped; " + o.output + " holds what was encoded");
            break;
        case FileOutcome::kSkipped:
            ++skipped_;
            Line(o.input + ": skipped");
            break;
        case FileOutcome::kExtracted:
            hadTracks_ = true;
            ++tracksExtracted_;
            Line(o.input + ": extracted to " + o.output);
            break;
        case FileOutcome::kExtractionFailed:
            hadTracks_ = true;
            ++tracksFailed_;
            if (o.failedSector >= 0)
                std::fprintf(err_, "velto-batch: %s: %s; the partial WAV %s is kept\n", o.input.c_str(),
                             FailedReadPlace(o).c_str(), o.output.c_str());
            Line(o.input + ": extraction failed");
            break;
        case FileOutcome::kExtractionStopped:
            hadTracks_ = true;
            Line(o.input + ": extraction stopped; " + o.output + " holds what was read");
            break;
    }
}

void BatchReport::Refused(const std::string& path) {
    Record({FileOutcome::kFailed, path, ""});
}

void BatchReport::AlreadyDone(const std::string& input, const std::string& output) {
    std::lock_guard lock(mutex_);
    ++alreadyDone_;
    Line(input + ": already done; " + output + " is newer");
}

std::string BatchReport::Summary(double wallSeconds) const {
    std::lock_guard lock(mutex_);
    std::string text = Printf("Encoded %d file%s, %d failed, %d skipped", encoded_, encoded_ == 1 ? "" : "s",
                              failed_, skipped_);
    if (alreadyDone_ > 0) text += Printf(", %d already done", alreadyDone_);
    text += Printf(": %s of audio in %s", Duration(audioSeconds_).c_str(), Duration(wallSeconds).c_str());
    if (wallSeconds > 0) text += Printf(", %.1fx real time", audioSeconds_ / wallSeconds);
    if (hadTracks_) {
        text += Printf("; %d CD track%s extracted", tracksExtracted_, tracksExtracted_ == 1 ? "" : "s");
        if (tracksFailed_ > 0) text += Printf(", %d failed", tracksFailed_);
    }
    return text;
}
