// A batch of files encoded by several workers at once, each file by a fresh encoder of its own
// with its own copy of the settings record, so that every output is the same as encoding that
// file alone. Messages the encoders show are held back and shown in the order of the files,
// and progress is the sum over the workers.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/encoder.h"
#include "job/encoding_settings.h"
#include "job/file_outcome.h"

struct ParallelBatchFile {
    std::string path;
    int frames = 0;  // samples per channel / 1152, for the batch's progress
};

class CParallelBatch {
  public:
    using EncoderFactory = std::function<std::unique_ptr<CEncoder>()>;

    CParallelBatch(const EncodingSettings& settings, std::vector<ParallelBatchFile> files, int workers,
                   EncoderFactory makeEncoder);

    // Encodes every file; returns when all workers have finished. progress() is called on the
    // calling thread about every 50 ms while the workers run.
    void Run(const std::function<void()>& progress);
    // Asks every worker to stop after its current frame; no new file is started.
    void Stop() { stop_ = 1; }
    // Tells sink of every file as it ends, from the worker that handled it. Set before Run.
    void OnFileDone(FileOutcomeSink sink) { onFileDone_ = std::move(sink); }

    int BatchFrames() const { return batchFrames_; }
    int FramesDone() const { return framesDone_.load(); }
    int Encoded() const { return encoded_.load(); }
    int Failed() const { return failed_.load(); }
    bool Stopped() const { return stop_.load() != 0; }
    // The file a worker started last, for the status line.
    std::string CurrentFile() const;
    int Bitrate() const { return settings_.Bitrate; }

  private:
    void Worker();
    void EncodeOne(std::size_t index, bool lastToStart);

    const EncodingSettings settings_;
    const std::vector<ParallelBatchFile> files_;
    // The files' indexes, longest first: the workers take them in this order.
    std::vector<std::size_t> startOrder_;
    const int workers_;
    EncoderFactory makeEncoder_;
    FileOutcomeSink onFileDone_;
    int batchFrames_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<int> framesDone_{0}, encoded_{0}, failed_{0}, stop_{0};
    SharedString current_;
};

// How many workers -jN means: N, or one per core for 0.
int WorkerCount(int requested);
