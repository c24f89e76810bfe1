#include "job/parallel_batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "job/output_names.h"
#include "platform/message_box.h"

namespace {

// Holds the message boxes each worker shows and shows them in the order of the files: a
// file's messages appear once every earlier file has finished. Only boxes with a single OK
// button are held; the encoders ask no questions.
class OrderedMessages : public platform::MessageBoxFrontEnd {
  public:
    OrderedMessages() : previous_(platform::SetMessageBoxFrontEnd(this)) {}
    ~OrderedMessages() override {
        platform::SetMessageBoxFrontEnd(previous_);
        ReleaseAll();
    }

    static thread_local std::size_t currentFile;

    int Show(const platform::MessageBoxRequest& r) override {
        std::lock_guard lock(mutex_);
        held_[currentFile].push_back(r);
        return platform::IDOK;
    }
    void Finished(std::size_t index) {
        std::vector<platform::MessageBoxRequest> ready;
        {
            std::lock_guard lock(mutex_);
            finished_[index] = true;
            while (finished_.count(nextToShow_)) {
                auto it = held_.find(nextToShow_);
                if (it != held_.end()) {
                    ready.insert(ready.end(), it->second.begin(), it->second.end());
                    held_.erase(it);
                }
                finished_.erase(nextToShow_++);
            }
        }
        for (const auto& r : ready)
            platform::MessageBox(r.text, r.caption, r.type);
    }

  private:
    void ReleaseAll() {
        for (auto& [index, requests] : held_)
            for (const auto& r : requests)
                platform::MessageBox(r.text, r.caption, r.type);
        held_.clear();
    }
    std::mutex mutex_;
    std::map<std::size_t, std::vector<platform::MessageBoxRequest>> held_;
    std::map<std::size_t, bool> finished_;
    std::size_t nextToShow_ = 0;
    platform::MessageBoxFrontEnd* previous_;
};

thread_local std::size_t OrderedMessages::currentFile = 0;
OrderedMessages* orderedMessages = nullptr;

}  // namespace

int WorkerCount(int requested) {
    if (requested > 0) return requested;
    unsigned cores = std::thread::hardware_concurrency();
    return cores ? static_cast<int>(cores) : 1;
}

CParallelBatch::CParallelBatch(const EncodingSettings& settings, std::vector<ParallelBatchFile> files,
                               int workers, EncoderFactory makeEncoder)
    : settings_(settings),
      files_(std::move(files)),
      workers_(WorkerCount(workers)),
      makeEncoder_(std::move(makeEncoder)) {
    for (const auto& f : files_)
        batchFrames_ += f.frames;
    // Longest first, so that the batch does not end with one worker alone on a long file that
    // was started last while the others have nothing left; equal lengths keep the list's order.
    // Messages are still shown in the list's order.
    startOrder_.resize(files_.size());
    for (std::size_t i = 0; i < startOrder_.size(); ++i)
        startOrder_[i] = i;
    std::stable_sort(startOrder_.begin(), startOrder_.end(),
                     [this](std::size_t a, std::size_t b) { return files_[a].frames > files_[b].frames; });
}

std::string CParallelBatch::CurrentFile() const {
    return current_.get();
}

void CParallelBatch::Run(const std::function<void()>& progress) {
    OrderedMessages messages;
    orderedMessages = &messages;
    std::vector<std::thread> threads;
    std::atomic<int> running{workers_};
    for (int i = 0; i < workers_; ++i)
        threads.emplace_back([this, &running] {
            Worker();
            --running;
        });
    while (running > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (progress) progress();
    }
    for (auto& t : threads)
        t.join();
    orderedMessages = nullptr;
}

void CParallelBatch::Worker() {
    for (std::size_t k = next_++; k < startOrder_.size(); k = next_++) {
        const std::size_t index = startOrder_[k];
        OrderedMessages::currentFile = index;
        if (stop_) {
            if (onFileDone_)
                onFileDone_({FileOutcome::kSkipped, files_[index].path, OutputNameFor(files_[index].path)});
            orderedMessages->Finished(index);
            continue;
        }
        // The last file to start leaves cores idle as the others end: it may take two threads.
        EncodeOne(index, k + 1 == startOrder_.size());
        orderedMessages->Finished(index);
    }
}

void CParallelBatch::EncodeOne(std::size_t index, bool lastToStart) {
    // A fresh encoder and record for every file: the output must not depend on which files
    // this worker encoded before.
    EncodingSettings settings = settings_;
    std::unique_ptr<CEncoder> encoder = makeEncoder_();
    encoder->AllowSecondThread(lastToStart);
    encoder->SetThreadStart([index] { OrderedMessages::currentFile = index; });
    const std::string& input = files_[index].path;
    bool complete = false, failed = false;
    long long frames = 0;
    if (encoder->Open(settings, input, OutputNameFor(input))) {
        current_ = input;
        complete = true;
        for (int r = encoder->EncodeStep(); r >= 0; r = encoder->EncodeStep()) {
            if (CountsTowardsProgress(r, settings)) ++framesDone_;
            ++frames;
            if (stop_) {
                complete = false;
                break;
            }
        }
    } else {
        ++failed_;
        failed = true;
    }
    encoder->Close();
    if (encoder->OutputFailed()) {
        if (!failed) ++failed_;
        failed = true;
        complete = false;
    } else if (complete) {
        ++encoded_;
    }
    if (!onFileDone_) return;
    FileOutcome outcome = EncodingOutcome(complete, failed, input, OutputNameFor(input), frames, settings);
    if (failed) outcome.reason = FailureReasonFor(*encoder, input);
    onFileDone_(outcome);
}
