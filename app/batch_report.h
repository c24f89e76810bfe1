// The account velto-batch gives of a run: when standard output is not a terminal, one line for
// each file as it ends (a terminal shows the progress line instead); on standard error, where a
// CD read failed and which partial WAV was kept; and one summary line at the end of every run.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "job/file_outcome.h"

class BatchReport {
  public:
    // Lines for each file go to `out` only when listEachFile; details of failures to `err`.
    BatchReport(std::FILE* out, std::FILE* err, bool listEachFile);

    // A file or track as it ends; safe to call from several workers at once.
    void Record(const FileOutcome& outcome);
    // A file left out before the batch began, as it cannot be read or written.
    void Refused(const std::string& path);
    // A file left out as its output, newer than it, was made by an earlier run.
    void AlreadyDone(const std::string& input, const std::string& output);

    // "Encoded 3 files, 1 failed, 0 skipped: 00:03:12 of audio in 8.4 s, 22.9x real time", with
    // ", 5 already done" after "skipped" when files were left out as done, and "; 2 CD tracks
    // extracted" when the run had tracks.
    std::string Summary(double wallSeconds) const;

  private:
    void Line(const std::string& text);

    std::FILE* out_;
    std::FILE* err_;
    bool listEachFile_;
    mutable std::mutex mutex_;
    int encoded_ = 0, failed_ = 0, skipped_ = 0, alreadyDone_ = 0;
    int tracksExtracted_ = 0, tracksFailed_ = 0;
    bool hadTracks_ = false;
    double audioSeconds_ = 0;
};
