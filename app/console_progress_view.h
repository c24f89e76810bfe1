// Progress drawn on a terminal: one status line redrawn in place with a bar, the times and the
// percentage, and the title also set as the terminal's title until the end gives the user's own
// back. When the output is not a terminal it writes no control sequences, only a plain line at
// most every 10 percent.
#pragma once

#include <cstdio>
#include <string>

#include "app/progress_dialog.h"
#include "platform/terminal.h"

class ConsoleProgressView : public ProgressView {
  public:
    ConsoleProgressView(std::FILE* out, bool terminal, int columns = 80);

    void SetBarRange(int low, int high) override;
    void SetBarPosition(int position) override;
    void SetStatus(const std::string& text) override { status_ = text; }
    void SetElapsed(const std::string& text) override { elapsed_ = text; }
    void SetRemaining(const std::string& text) override { remaining_ = text; }
    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) override;
    void Refresh() override;
    void End() override;

    // The line as it would be drawn now (without control sequences).
    std::string Line() const;

  private:
    int Percent() const;

    std::FILE* out_;
    bool terminal_;
    int columns_;
    int low_ = 0, high_ = 1000, position_ = 0;
    std::string status_, elapsed_ = "00:00:00", remaining_ = "00:00:00", title_ = "Velto";
    int lastPlainDecile_ = -1;
    bool drewLine_ = false;
    platform::TerminalTitle terminalTitle_;
};
