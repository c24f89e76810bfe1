// What the job driver needs of the main window and its pages. The Qt window, the console of
// the batch command line and the tests each implement these; the driver calls them only on
// the user-interface thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "job/encoder.h"
#include "job/profile_values.h"

// The main window's controls.
class JobWindowView {
  public:
    virtual ~JobWindowView() = default;
    virtual void SetFileBar(int low, int high, int position) = 0;
    virtual void SetFileBarPosition(int position) = 0;
    virtual void SetBatchBar(int low, int high, int position) = 0;
    virtual void SetBatchBarPosition(int position) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetElapsed(const std::string& text) = 0;
    virtual void SetRemaining(const std::string& text) = 0;
    virtual std::string Title() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // "&Go" with bitmap 140 when idle, "&Stop" with bitmap 141 while running.
    virtual void SetGoButton(const std::string& caption, int bitmap) = 0;
    // The stop button beside Go (id 1080), which is never enabled.
    virtual void DisableStopButton() = 0;
    // Enables or disables the controls of the Files page and of the pages that have windows.
    virtual void EnablePages(bool enable) = 0;
    // Shows the strings set since the last refresh.
    virtual void Refresh() = 0;
    // The default beep, then the modal box that says how the batch ended ("Encoding
    // Complete!" when every file was encoded), with details (the failed files) when there
    // are any; returns when it is closed.
    virtual void AlertDone(const std::string& text, const std::string& details) = 0;
};

// The Files page: its list of WAV files.
class FilesPageView {
  public:
    virtual ~FilesPageView() = default;
    virtual int Count() const = 0;
    // Column 0: the file's full path.
    virtual std::string Path(int index) const = 0;
    // The item data: the file's frame count (samples per channel / 1152).
    virtual int Frames(int index) const = 0;
    // The folder the Add dialog used last ("LastFolder").
    virtual std::string LastFolder() const = 0;
};

// The Settings page, when it has a window.
class SettingsPageView {
  public:
    virtual ~SettingsPageView() = default;
    virtual bool HasWindow() const = 0;
    // Takes the controls into the page's values.
    virtual profile::SettingsValues Values() = 0;
    virtual int PrioritySliderPosition() const = 0;
};

// The DAE page, when it has a window.
class DaePageView {
  public:
    virtual ~DaePageView() = default;
    virtual bool HasWindow() const = 0;
    virtual profile::DaeValues Values() = 0;
};

// The tracks picked on the Audio CD page.
struct CdSelection {
    int target = 0;
    int adapter = 0;
    std::vector<int> tracks;  // track numbers, in list order
    // The tag of each selected track by its number: its names and "n/N".
    std::map<int, tags::TagFields> trackTags;
};

// The Audio CD page, when it has a window.
class AudioCdPageView {
  public:
    virtual ~AudioCdPageView() = default;
    virtual bool HasWindow() const = 0;
    // Takes the controls into the page's values.
    virtual profile::AudioCdValues Values() = 0;
    // Frames the selected tracks will give: (last - first + 1) * 588 / 1152 per track.
    virtual int SelectedTrackFrames() const = 0;
    // The number of selected tracks, 0 when no drive is selected. Called by the batch worker.
    virtual int GetSelection(CdSelection& selection) = 0;
    // Deselects the first selected track and brings the next into view. Called by the batch
    // worker after each track.
    virtual void AdvanceSelection() = 0;
};

// The codec, as the driver asks it.
class CodecQuery {
  public:
    virtual ~CodecQuery() = default;
    virtual bool CanEncode(int sampleRate, int kbps, int mono) = 0;
};

// Makes the batch's encoder: the codec encoder when useCodec, otherwise the built-in one.
using BatchEncoderFactory = std::function<std::unique_ptr<CEncoder>(bool useCodec)>;
