#include "app/batch_report.h"

#include <algorithm>

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

std::string QuotedName(const std::string& name) {
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; };
    if (std::none_of(name.begin(), name.end(), isControl)) return name;
    // As ls quotes for the shell: printable runs in single quotes, control characters as
    // $'\n' or $'\ooo', so the name stays on one line and can be pasted back.
    std::string quoted;
    bool inQuotes = false;
    for (char c : name) {
        if (isControl(c)) {
            if (inQuotes) quoted += '\'';
            inQuotes = false;
            if (quoted.empty()) quoted += "''";
            switch (c) {
                case '\n':
                    quoted += "$'\\n'";
                    break;
                case '\t':
                    quoted += "$'\\t'";
                    break;
                case '\r':
                    quoted += "$'\\r'";
                    break;
                default:
                    quoted += Printf("$'\\%03o'", static_cast<unsigned char>(c));
                    break;
            }
            continue;
        }
        if (!inQuotes) quoted += '\'';
        inQuotes = true;
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    if (inQuotes) quoted += '\'';
    return quoted;
}

BatchReport::BatchReport(std::FILE* out, std::FILE* err, bool listEachFile)
    : out_(out), err_(err), listEachFile_(listEachFile) {}

void BatchReport::Line(const std::string& text) {
    if (!listEachFile_ || outGone_) return;
    // A reader that went away (| head -1) ends the list, never the batch.
    if (std::fprintf(out_, "%s\n", text.c_str()) < 0 || std::fflush(out_) != 0) outGone_ = true;
}

void BatchReport::Record(const FileOutcome& o) {
    std::lock_guard lock(mutex_);
    // On a terminal no line lists the file: the reason goes to standard error.
    if (o.kind == FileOutcome::kFailed && !o.reason.empty() && !listEachFile_)
        std::fprintf(err_, "velto-batch: %s: %s\n", QuotedName(o.input).c_str(),
                     QuotedName(o.reason).c_str());
    Count(o);
}

void BatchReport::Count(const FileOutcome& o) {
    audioSeconds_ += o.kind == FileOutcome::kEncoded || o.kind == FileOutcome::kStopped ? o.audioSeconds : 0;
    const std::string input = QuotedName(o.input), output = QuotedName(o.output);
    switch (o.kind) {
        case FileOutcome::kEncoded:
            ++encoded_;
            Line(input + ": encoded to " + output);
            break;
        case FileOutcome::kFailed:
            ++failed_;
            Line(input + ": failed" + (o.reason.empty() ? "" : ": " + QuotedName(o.reason)));
            break;
        case FileOutcome::kStopped:
            ++skipped_;
            Line(input + ": stopped; " + output + " holds what was encoded");
            break;
        case FileOutcome::kSkipped:
            ++skipped_;
            Line(input + ": skipped");
            break;
        case FileOutcome::kExtracted:
            hadTracks_ = true;
            ++tracksExtracted_;
            Line(input + ": extracted to " + output);
            break;
        case FileOutcome::kExtractionFailed:
            hadTracks_ = true;
            ++tracksFailed_;
            if (o.failedSector >= 0)
                std::fprintf(err_, "velto-batch: %s: %s; the partial WAV %s is kept\n", input.c_str(),
                             FailedReadPlace(o).c_str(), output.c_str());
            Line(input + ": extraction failed");
            break;
        case FileOutcome::kExtractionStopped:
            hadTracks_ = true;
            Line(input + ": extraction stopped; " + output + " holds what was read");
            break;
    }
}

void BatchReport::Refused(const std::string& path, const std::string& reason) {
    FileOutcome o{FileOutcome::kFailed, path, ""};
    o.reason = reason;
    std::lock_guard lock(mutex_);
    Count(o);
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
