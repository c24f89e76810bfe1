// The parallel batch hands out the longest files first and counts what it encoded.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "job/parallel_batch.h"

namespace {

// Encodes nothing: records which inputs were opened, in order, and gives three frames each.
class RecordingEncoder : public CEncoder {
  public:
    RecordingEncoder(std::mutex& mutex, std::vector<std::string>& opened) : mutex_(mutex), opened_(opened) {}
    int Open(EncodingSettings&, const std::string& input, const std::string&) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(input);
        return 1;
    }
    int EncodeStep() override { return left_-- > 0 ? 0 : -1; }
    void Close() override {}

  private:
    std::mutex& mutex_;
    std::vector<std::string>& opened_;
    int left_ = 3;
};

TEST(ParallelBatch, StartsTheLongestFilesFirstAndEncodesEveryOne) {
    std::mutex mutex;
    std::vector<std::string> opened;
    EncodingSettings settings;
    // Paths in a folder that does not exist: the recording encoder never writes them.
    CParallelBatch batch(settings,
                         {{"/nonexistent/a.wav", 10},
                          {"/nonexistent/b.wav", 30},
                          {"/nonexistent/c.wav", 20},
                          {"/nonexistent/d.wav", 30}},
                         1, [&] { return std::make_unique<RecordingEncoder>(mutex, opened); });
    batch.Run(nullptr);
    // Equal lengths keep the list's order.
    EXPECT_EQ(opened, (std::vector<std::string>{"/nonexistent/b.wav", "/nonexistent/d.wav",
                                                "/nonexistent/c.wav", "/nonexistent/a.wav"}));
    EXPECT_EQ(batch.Encoded(), 4);
    EXPECT_EQ(batch.Failed(), 0);
    EXPECT_EQ(batch.FramesDone(), 12);
}

// Gives each file two frames past its length, as the built-in encoder does to carry the end
// of the input out of its filterbanks.
class PastTheEndEncoder : public CEncoder {
  public:
    int Open(EncodingSettings& s, const std::string&, const std::string&) override {
        s_ = &s;
        s.frameCount = 0;
        s.totalFrames = 10;
        return 1;
    }
    int EncodeStep() override { return s_->frameCount < 12 ? ++s_->frameCount : -1; }
    void Close() override {}

  private:
    EncodingSettings* s_ = nullptr;
};

TEST(ParallelBatch, FramesPastAFilesLengthAreNotCountedAsProgress) {
    EncodingSettings settings;
    CParallelBatch batch(settings, {{"/nonexistent/a.wav", 10}, {"/nonexistent/b.wav", 10}}, 2,
                         [] { return std::make_unique<PastTheEndEncoder>(); });
    batch.Run(nullptr);
    EXPECT_EQ(batch.Encoded(), 2);
    EXPECT_EQ(batch.FramesDone(), batch.BatchFrames());
}

}  // namespace
