#include "worklist/json_report.h"

#include <sys/resource.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace worklist {

namespace {

double Seconds(const struct timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(const struct timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// To the millisecond: more digits would only be noise in a report.
double Rounded(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// An outcome's name in the report, and the reason given when the caller has none better.
struct OutcomeText {
    const char* name;
    const char* usualReason;
};

OutcomeText TextOf(FileOutcome::Kind kind) {
    switch (kind) {
        case FileOutcome::kEncoded:
            return {"encoded", ""};
        case FileOutcome::kFailed:
            return {"failed", "not encoded; standard error tells why"};
        case FileOutcome::kStopped:
            return {"stopped", "the batch was stopped during this file; the output holds what was encoded"};
        case FileOutcome::kSkipped:
            return {"skipped",
                    "not encoded: the batch was stopped before this file, or the codec cannot encode it"};
        case FileOutcome::kExtracted:
            return {"extracted", ""};
        case FileOutcome::kExtractionFailed:
            return {"extraction failed", "a CD read failed; the output keeps what was read before it"};
        case FileOutcome::kExtractionStopped:
            return {"extraction stopped",
                    "the batch was stopped during the extraction; the output holds what was read"};
    }
    return {"unknown", ""};
}

// Outcomes whose output this run wrote and kept.
bool KeepsOutput(FileOutcome::Kind kind) {
    return kind == FileOutcome::kEncoded || kind == FileOutcome::kStopped ||
           kind == FileOutcome::kExtracted || kind == FileOutcome::kExtractionFailed ||
           kind == FileOutcome::kExtractionStopped;
}

}  // namespace

double TakeThreadCpuSeconds() {
    thread_local double previous = 0;
    struct timespec now {};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return 0;
    const double spent = Seconds(now) - previous;
    previous = Seconds(now);
    return spent;
}

double ProcessCpuSeconds() {
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

JsonReport::JsonReport(std::FILE* out) : out_(out) {
    for (const char* outcome : {"encoded", "failed", "stopped", "skipped", kAlreadyDone})
        counts_[outcome] = 0;
}

void JsonReport::Record(const FileOutcome& o, double cpuSeconds, const std::string& reason) {
    const bool counted = o.kind == FileOutcome::kEncoded || o.kind == FileOutcome::kStopped;
    const OutcomeText text = TextOf(o.kind);
    Line(text.name, o.input, o.output, reason.empty() ? text.usualReason : reason,
         counted ? o.audioSeconds : 0, cpuSeconds, KeepsOutput(o.kind));
}

void JsonReport::AlreadyDone(const std::string& input, const std::string& output) {
    Line(kAlreadyDone, input, output, "the output is newer than the input", 0, 0, true);
}

void JsonReport::Refused(const std::string& input, const std::string& output, const std::string& reason) {
    Line("failed", input, output, reason, 0, 0, false);
}

void JsonReport::Line(const char* outcome, const std::string& input, const std::string& output,
                      const std::string& reason, double audioSeconds, double cpuSeconds, bool outputKept) {
    const nlohmann::json record = {
        {"record", "file"},
        {"input", input},
        {"output", output},
        {"outcome", outcome},
        {"reason", reason},
        {"audio_seconds", Rounded(audioSeconds)},
        {"cpu_seconds", Rounded(cpuSeconds)},
        {"output_bytes", outputKept ? SizeOf(output) : 0},
    };
    // File names are bytes; one that is not UTF-8 is written with replacement characters
    // rather than ending the run.
    const std::string text = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::lock_guard lock(mutex_);
    ++counts_[outcome];
    ++files_;
    audioSeconds_ += audioSeconds;
    if (std::fprintf(out_, "%s\n", text.c_str()) < 0 || std::fflush(out_) != 0) failed_ = true;
}

bool JsonReport::Finish(const ReportSummary& s) {
    std::lock_guard lock(mutex_);
    const nlohmann::json summary = {
        {"record", "summary"},
        {"files", files_},
        {"counts", counts_},
        {"listed", s.listed},
        {"shard", std::to_string(s.shard.index) + "/" + std::to_string(s.shard.count)},
        {"audio_seconds", Rounded(audioSeconds_)},
        {"cpu_seconds", Rounded(ProcessCpuSeconds())},
        {"wall_seconds", Rounded(s.wallSeconds)},
        {"exit_status", s.exitStatus},
    };
    if (std::fprintf(out_, "%s\n", summary.dump().c_str()) < 0 || std::fflush(out_) != 0) failed_ = true;
    return !failed_;
}

}  // namespace worklist
