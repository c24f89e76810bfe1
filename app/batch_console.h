// The batch on the console: the main window's job logic with a terminal for its window, the
// command line for its Files and Settings pages, and Ctrl-C for Stop (twice: close).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/batch_options.h"
#include "job/job_views.h"
#include "platform/terminal.h"

// The terminal as the main window: the file and batch bars, the status line, the times and
// the title, redrawn in place (the user's own title comes back when the batch ends); without a
// terminal nothing, as the batch's report lists each file then.
class ConsoleJobWindow : public JobWindowView {
  public:
    ConsoleJobWindow(std::FILE* out, bool terminal, int columns);

    void SetFileBar(int low, int high, int position) override;
    void SetFileBarPosition(int position) override { filePos_ = position; }
    void SetBatchBar(int low, int high, int position) override;
    void SetBatchBarPosition(int position) override { batchPos_ = position; }
    void SetStatus(const std::string& text) override { status_ = text; }
    void SetElapsed(const std::string& text) override { elapsed_ = text; }
    void SetRemaining(const std::string& text) override { remaining_ = text; }
    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) override;
    void SetGoButton(const std::string&, int) override {}
    void DisableStopButton() override {}
    void EnablePages(bool) override {}
    void Refresh() override;
    void AlertDone() override;

    std::string Line() const;

  private:
    // The title the job logic gives back at the end of a batch: on a terminal, the user's own.
    static constexpr const char* kIdleTitle = "Velto";
    static int Percent(int low, int high, int pos);

    std::FILE* out_;
    bool terminal_;
    int columns_;
    int fileLow_ = 0, fileHigh_ = 100, filePos_ = 0;
    int batchLow_ = 0, batchHigh_ = 100, batchPos_ = 0;
    std::string status_, elapsed_, remaining_, title_ = kIdleTitle;
    platform::TerminalTitle terminalTitle_;
    bool drew_ = false;
};

// The files of the command line, each validated by the WAV reader as the Files page does
// before it is listed: a file it refuses gets its message and is left out. The names are
// moved in and a refused one is told at once rather than kept, so that a long list of names,
// most of them missing, is held only once.
class CommandLineFiles : public FilesPageView {
  public:
    // Told of each file left out, with why (such as "cannot be read: No such file or directory").
    using RefusalSink = std::function<void(const std::string& path, const std::string& reason)>;

    explicit CommandLineFiles(std::vector<std::string> files, const RefusalSink& onRefused = {});
    int Count() const override { return static_cast<int>(paths_.size()); }
    std::string Path(int index) const override { return paths_[static_cast<std::size_t>(index)]; }
    int Frames(int index) const override { return frames_[static_cast<std::size_t>(index)]; }
    std::string LastFolder() const override { return ""; }
    int Refused() const { return refused_; }

  private:
    std::vector<std::string> paths_;
    std::vector<int> frames_;
    int refused_ = 0;
};

// The Settings page as the command line fills it: the profile's values with the switches
// over them.
class CommandLineSettings : public SettingsPageView {
  public:
    CommandLineSettings(const profile::SettingsValues& fromProfile, const BatchOptions& options,
                        bool codecFound);
    bool HasWindow() const override { return true; }
    profile::SettingsValues Values() override { return values_; }
    int PrioritySliderPosition() const override { return slider_; }

  private:
    profile::SettingsValues values_;
    int slider_;
};

// The DAE page's values, as read from the profile.
class ProfileDaePage : public DaePageView {
  public:
    explicit ProfileDaePage(const profile::DaeValues& v) : values_(v) {}
    bool HasWindow() const override { return true; }
    profile::DaeValues Values() override { return values_; }

  private:
    profile::DaeValues values_;
};
