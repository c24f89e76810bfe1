#include "app/console_progress_view.h"

#include <algorithm>

#include "job/text.h"

ConsoleProgressView::ConsoleProgressView(std::FILE* out, bool terminal, int columns)
    : out_(out), terminal_(terminal), columns_(columns), terminalTitle_(out, terminal) {}

void ConsoleProgressView::SetBarRange(int low, int high) {
    low_ = low;
    high_ = high;
}

void ConsoleProgressView::SetBarPosition(int position) {
    position_ = position;
}

int ConsoleProgressView::Percent() const {
    if (high_ <= low_) return 0;
    return std::clamp((position_ - low_) * 100 / (high_ - low_), 0, 100);
}

void ConsoleProgressView::SetTitle(const std::string& title) {
    title_ = title;
    terminalTitle_.Set(title);
}

std::string ConsoleProgressView::Line() const {
    const int percent = Percent();
    const int barWidth = 20;
    const int filled = percent * barWidth / 100;
    std::string bar(static_cast<std::size_t>(barWidth + 2), '.');
    bar.front() = '[';
    bar.back() = ']';
    for (int i = 1; i <= filled; ++i)
        bar[static_cast<std::size_t>(i)] = '#';
    char tail[96];
    std::snprintf(tail, sizeof tail, " %3d%%  elapsed %s  remaining %s", percent, elapsed_.c_str(),
                  remaining_.c_str());
    return status_ + " " + bar + tail;
}

void ConsoleProgressView::Refresh() {
    std::string line = Line();
    if (terminal_) {
        RedrawTerminalLine(out_, line, columns_);
        drewLine_ = true;
    } else {
        const int decile = Percent() / 10;
        if (decile == lastPlainDecile_) return;
        lastPlainDecile_ = decile;
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

void ConsoleProgressView::End() {
    if (terminal_ && drewLine_) std::fputc('\n', out_);
    terminalTitle_.Restore();
    std::fflush(out_);
}
