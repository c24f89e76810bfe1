#include "app/batch_console.h"

#include <algorithm>

#include "app/input_check.h"
#include "job/output_names.h"
#include "job/text.h"

#include "layer3/wave_reader.h"

ConsoleJobWindow::ConsoleJobWindow(std::FILE* out, bool terminal, int columns)
    : out_(out), terminal_(terminal), columns_(columns), terminalTitle_(out, terminal) {}

void ConsoleJobWindow::SetFileBar(int low, int high, int position) {
    fileLow_ = low, fileHigh_ = high, filePos_ = position;
}

void ConsoleJobWindow::SetBatchBar(int low, int high, int position) {
    batchLow_ = low, batchHigh_ = high, batchPos_ = position;
}

void ConsoleJobWindow::SetTitle(const std::string& title) {
    if (title == title_) return;
    title_ = title;
    if (title == kIdleTitle)
        terminalTitle_.Restore();
    else
        terminalTitle_.Set(title);
}

int ConsoleJobWindow::Percent(int low, int high, int pos) {
    return high > low ? std::clamp((pos - low) * 100 / (high - low), 0, 100) : 0;
}

std::string ConsoleJobWindow::Line() const {
    char bars[64];
    std::snprintf(bars, sizeof bars, " file %3d%% batch %3d%%", Percent(fileLow_, fileHigh_, filePos_),
                  Percent(batchLow_, batchHigh_, batchPos_));
    std::string line = status_ + bars;
    if (!elapsed_.empty()) line += "  elapsed " + elapsed_;
    if (!remaining_.empty()) line += "  remaining " + remaining_;
    return line;
}

void ConsoleJobWindow::Refresh() {
    if (status_.empty()) return;  // the batch has ended or not begun
    if (!terminal_) return;
    RedrawTerminalLine(out_, Line(), columns_);
    drew_ = true;
    std::fflush(out_);
}

void ConsoleJobWindow::AlertDone() {
    if (terminal_ && drew_) std::fputc('\n', out_);
    std::fprintf(out_, "%sEncoding Complete!\n", terminal_ ? "\a" : "");
    std::fflush(out_);
    drew_ = false;
}

CommandLineFiles::CommandLineFiles(std::vector<std::string> files, const RefusalSink& onRefused) {
    const auto refuse = [&](const std::string& path, const std::string& reason) {
        ++refused_;
        if (onRefused) onRefused(path, reason);
    };
    for (std::string& f : files) {
        // The reader explains the defects of a WAV file, not a file it cannot open at all.
        if (const std::string why = UnreadableInputReason(f); !why.empty()) {
            std::fprintf(stderr, "velto-batch: %s cannot be read: %s\n", f.c_str(), why.c_str());
            refuse(f, "cannot be read: " + why);
            continue;
        }
        if (const std::string why = UnwritableOutputReason(OutputNameFor(f)); !why.empty()) {
            std::fprintf(stderr, "velto-batch: %s cannot be written: %s\n", OutputNameFor(f).c_str(),
                         why.c_str());
            refuse(f, "the output cannot be written: " + why);
            continue;
        }
        layer3::CWaveReader reader;
        if (!reader.Open(f)) {
            refuse(f, "not a WAV file the encoders take; standard error tells why");
            continue;
        }
        paths_.push_back(std::move(f));
        frames_.push_back(reader.sampleCount / 1152);
        reader.Close();
    }
}

CommandLineSettings::CommandLineSettings(const profile::SettingsValues& fromProfile, const BatchOptions& o,
                                         bool codecFound)
    : values_(fromProfile), slider_(o.prioritySlider) {
    if (o.bitrateIndex > 0) values_.bitrate = o.bitrateIndex - 1;
    if (o.copyright >= 0) values_.copyright = o.copyright;
    if (o.original >= 0) values_.original = o.original;
    if (o.mono >= 0) values_.mono = o.mono;
    if (o.deemphasisCode >= 0) values_.deemphasis = o.deemphasisCode == 3 ? 2 : o.deemphasisCode;
    if (o.encodingMode >= 0) values_.encodingMode = o.encodingMode;
    // The command line uses the built-in encoder unless told otherwise.
    values_.useCodec = o.useCodec && codecFound ? 1 : 0;
}
