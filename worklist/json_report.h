// The account of a batch for a scheduler or a script: one JSON object a line for every file
// as it ends (input, output, outcome, reason, audio and CPU seconds, output bytes), and one
// summary object with the count of every outcome at the end.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "job/file_outcome.h"
#include "worklist/name_list.h"

namespace worklist {

// CPU seconds the calling thread used since its previous call, or since it began: on a worker
// that encodes one file after another, what the file that just ended cost.
double TakeThreadCpuSeconds();
// CPU seconds of the whole process so far, every thread included.
double ProcessCpuSeconds();

// The outcome of a file left out as done; the others are named after FileOutcome's kinds:
// "encoded", "failed", "stopped", "skipped", "extracted", "extraction failed", ...
inline constexpr const char* kAlreadyDone = "already done";

struct ReportSummary {
    std::size_t listed = 0;  // distinct files of the whole list, before the shard was taken
    Shard shard;
    double wallSeconds = 0;
    int exitStatus = 0;
};

class JsonReport {
  public:
    // Writes to out, which stays the caller's; every line is flushed as it is written.
    explicit JsonReport(std::FILE* out);

    // A file or track as it ends; safe to call from several workers at once. An empty reason
    // stands for the outcome's usual one.
    void Record(const FileOutcome& outcome, double cpuSeconds, const std::string& reason = "");
    // A file left out as its output is newer than it.
    void AlreadyDone(const std::string& input, const std::string& output);
    // A file left out before the batch began, as it cannot be read or written.
    void Refused(const std::string& input, const std::string& output, const std::string& reason);
    // Writes the summary. False when any line of the report could not be written.
    bool Finish(const ReportSummary& summary);

  private:
    void Line(const char* outcome, const std::string& input, const std::string& output,
              const std::string& reason, double audioSeconds, double cpuSeconds, bool outputKept);

    std::FILE* out_;
    std::mutex mutex_;
    std::map<std::string, long long> counts_;
    long long files_ = 0;
    double audioSeconds_ = 0;
    bool failed_ = false;
};

}  // namespace worklist
