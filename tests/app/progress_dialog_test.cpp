#include "app/progress_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "app/console_progress_view.h"
#include "job/encoding_settings.h"

namespace {

// An encoder that produces a given number of frames of nothing.
class FakeEncoder : public CEncoder {
  public:
    FakeEncoder(int frames, int totalFrames, bool opens, std::atomic<int>* stepsTaken,
                std::atomic<bool>* gate)
        : frames_(frames), total_(totalFrames), opens_(opens), steps_(stepsTaken), gate_(gate) {}
    void Close() override { ++closes; }
    int EncodeStep() override {
        while (gate_ && !gate_->load()) {
        }
        if (settings_->frameCount >= frames_) return -1;
        ++*steps_;
        return ++settings_->frameCount;
    }
    int Open(EncodingSettings& s, const std::string& in, const std::string& out) override {
        settings_ = &s;
        input = in;
        output = out;
        s.frameCount = 0;
        s.totalFrames = total_;
        return opens_;
    }
    static inline std::string input, output;
    static inline int closes = 0;

  private:
    int frames_, total_;
    bool opens_;
    std::atomic<int>* steps_;
    std::atomic<bool>* gate_;
    EncodingSettings* settings_ = nullptr;
};

// Records what the dialog shows.
class RecordingView : public ProgressView {
  public:
    void SetBarRange(int, int high) override { range = high; }
    void SetBarPosition(int p) override { position = p; }
    void SetStatus(const std::string& t) override { status = t; }
    void SetElapsed(const std::string& t) override { elapsed = t; }
    void SetRemaining(const std::string& t) override { remaining = t; }
    std::string Title() const override { return title; }
    void SetTitle(const std::string& t) override {
        title = t;
        titles.push_back(t);
    }
    void Refresh() override { ++refreshes; }
    void End() override { ended = true; }
    int range = 0, position = 0, refreshes = 0;
    bool ended = false;
    std::string status, elapsed, remaining, title = "Velto";
    std::vector<std::string> titles;
};

struct DialogRun {
    EncodingSettings settings;
    RecordingView view;
    std::atomic<int> steps{0};

    bool Go(const CMakerCommandLineInfo& info, int frames, int totalFrames, bool opens = true,
            std::atomic<bool>* gate = nullptr, bool cancelEarly = false) {
        FakeEncoder::closes = 0;
        CProgressDlg* target = nullptr;
        platform::MessageQueueWindow window(
            [&](const platform::Message& m) -> std::intptr_t { return target->OnMessage(m); });
        CProgressDlg dialog(info, settings, view, [&] {
            return std::make_unique<FakeEncoder>(frames, totalFrames, opens, &steps, gate);
        });
        target = &dialog;
        dialog.OnInitDialog(window);
        if (cancelEarly) {
            while (steps < 3) {
            }
            dialog.OnCancel();
            if (gate) *gate = true;
        }
        window.RunUntil([&] { return dialog.Ended(); });
        return dialog.Completed();
    }
};

CMakerCommandLineInfo Info(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

}  // namespace

TEST(ProgressDialog, EncodesTheFileWithTheSwitchesOverTheDefaults) {
    DialogRun run;
    run.settings.EncodingMode = 3;  // the defaults are restored first
    // Two frames past the file's length, as the built-in encoder gives to carry the end of
    // the input out of its filterbanks: the progress stops at 100 %.
    ASSERT_TRUE(run.Go(Info({"-b192", "-e2", "-c", "-m", "/music/song.wav"}), 102, 100));
    EXPECT_EQ(FakeEncoder::input, "/music/song.wav");
    EXPECT_EQ(FakeEncoder::output, "/music/song.mp3");
    EXPECT_EQ(FakeEncoder::closes, 1);
    EXPECT_EQ(run.settings.Bitrate, 192);
    EXPECT_EQ(run.settings.Deemphasis, 3);
    EXPECT_EQ(run.settings.Copyright, 1);
    EXPECT_EQ(run.settings.Mono, 1);
    EXPECT_EQ(run.settings.EncodingMode, 1);
    EXPECT_EQ(run.settings.batchFramesDone, 100);
    EXPECT_TRUE(run.view.ended);
    EXPECT_EQ(run.view.range, 1000);
    EXPECT_EQ(run.view.position, 1000);
    EXPECT_EQ(run.view.status, "Encoding song.wav at 192 Kbps - 100% done");
    EXPECT_EQ(run.view.elapsed, "00:00:00");
    EXPECT_EQ(run.view.title, "Velto - Encoding 100 %");
    // The title is set only when its text changes.
    for (std::size_t i = 1; i < run.view.titles.size(); ++i)
        EXPECT_NE(run.view.titles[i], run.view.titles[i - 1]);
}

TEST(ProgressDialog, AFileShorterThanOneFrameKeepsTheTitle) {
    DialogRun run;
    ASSERT_TRUE(run.Go(Info({"short.wav"}), 1, 0));
    EXPECT_EQ(run.view.title, "Velto");
    EXPECT_TRUE(run.view.titles.empty());
    EXPECT_EQ(run.view.status, "Encoding short.wav at 128 Kbps - 0% done");
}

TEST(ProgressDialog, AFileThatCannotBeOpenedEndsAtOnce) {
    DialogRun run;
    EXPECT_FALSE(run.Go(Info({"bad.wav"}), 10, 10, false));
    EXPECT_EQ(FakeEncoder::closes, 1);  // Close follows every Open
    EXPECT_TRUE(run.view.ended);
    EXPECT_EQ(run.view.refreshes, 0);
}

TEST(ProgressDialog, CancelStopsWithinOneFrame) {
    DialogRun run;
    std::atomic<bool> gate{true};
    EXPECT_FALSE(run.Go(Info({"long.wav"}), 1000000, 1000000, true, nullptr, true));
    EXPECT_LT(run.steps.load(), 1000000);
    EXPECT_EQ(FakeEncoder::closes, 1);
    // batchFramesDone counts the frame that saw the cancel flag, and no frame after it.
    EXPECT_EQ(run.settings.batchFramesDone, run.steps.load());
}

TEST(ConsoleProgressView, PlainOutputWritesALineEveryTenPercent) {
    std::FILE* out = std::tmpfile();
    ConsoleProgressView view(out, false);
    view.SetBarRange(0, 1000);
    for (int pos = 0; pos <= 1000; pos += 5) {
        view.SetBarPosition(pos);
        view.SetStatus("Encoding a.wav at 128 Kbps");
        view.SetTitle("Velto - Encoding 1 %");
        view.Refresh();
    }
    view.End();
    std::rewind(out);
    int lines = 0;
    bool escapes = false;
    for (int c; (c = std::fgetc(out)) != EOF;) {
        lines += c == '\n';
        escapes |= c == '\033' || c == '\r';
    }
    std::fclose(out);
    EXPECT_EQ(lines, 11);
    EXPECT_FALSE(escapes);
    EXPECT_NE(view.Line().find("[####################] 100%"), std::string::npos);
}
