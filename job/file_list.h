// The Files page's list without its widgets: the audio files to encode with the texts of their
// four columns, in the order the user built it. Every file is opened with the input reader
// before it is listed, so only files the encoders can read get in.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "job/job_views.h"

struct FileListEntry {
    std::string path;    // column 0, "File name": the full path
    std::string length;  // column 1, "Length": "%d:%02d"
    std::string rate;    // column 2, "Sample Rate": "%d KHz", or "96 → 48 KHz" when resampled
    std::string mode;    // column 3, "Mode": "Mono", "Stereo" or "5.1 → Stereo" when mixed down
    int frames = 0;      // whole 1152-sample frames
};

// The column titles, in column order.
inline constexpr const char* kFileListColumns[4] = {"File name", "Length", "Sample Rate", "Mode"};

class FileListModel : public FilesPageView {
  public:
    // Why a file cannot be opened at all (empty when it can); the reader itself is silent
    // about such a file, so the list says it. Without one, such files are skipped silently.
    using UnreadableReason = std::function<std::string(const std::string& path)>;

    explicit FileListModel(std::string lastFolder, UnreadableReason unreadable = {});

    // Files chosen in the Add dialog: appended in the order given; LastFolder becomes the
    // folder of the last one. The number listed.
    int Add(const std::vector<std::string>& paths);
    // Files and folders dropped onto the list (a folder gives its WAV files, as ExpandFolders
    // says): the k-th accepted file goes to position k, so they come first, in drop order. The
    // number listed.
    int Drop(const std::vector<std::string>& paths);
    // The list a former run kept: the files that still exist, appended in order.
    int Restore(const std::vector<std::string>& paths);
    // The WAV files of a folder, appended in name order; LastFolder becomes the folder.
    int AddFolder(const std::string& folder);
    // Removes the entries at the given positions (any order, duplicates ignored).
    void Remove(std::vector<int> positions);
    void Clear();

    std::vector<FileListEntry> Entries() const;
    FileListEntry Entry(int index) const;
    void SetLastFolder(const std::string& folder);

    // FilesPageView.
    int Count() const override;
    std::string Path(int index) const override;
    int Frames(int index) const override;
    std::string LastFolder() const override;

  private:
    // Opens the file with the WAV reader; false (after its message) when it is refused.
    bool Describe(const std::string& path, FileListEntry& entry) const;
    // Lists the files the reader accepts, in order: at the end, or from the top down.
    int Insert(const std::vector<std::string>& paths, bool atTop);

    mutable std::mutex mutex_;
    std::vector<FileListEntry> entries_;
    std::string lastFolder_;
    UnreadableReason unreadable_;
};

struct UnlistedFolder {
    std::string path;
    std::string reason;  // "<folder> cannot be listed: <the system's reason>"
};

// Files in the order given; a folder stands for its audio files (input/extensions.h, any case) in name order, not
// those of its subfolders. velto-batch and the Files page expand folders alike. A folder that
// cannot be listed is added to unlisted instead (when given).
std::vector<std::string> ExpandFolders(const std::vector<std::string>& inputs,
                                       std::vector<UnlistedFolder>* unlisted = nullptr);
// "%d:%02d" of whole seconds.
std::string FileLengthText(int seconds);
// The folder of a path: everything before its last '/' ("/" for a file at the root).
std::string FolderOf(const std::string& path);
