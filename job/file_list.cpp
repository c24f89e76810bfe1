#include "job/file_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>

#include "job/text.h"
#include "input/extensions.h"
#include "layer3/audio_reader.h"
#include "platform/file.h"
#include "platform/message_box.h"

std::vector<std::string> ExpandFolders(const std::vector<std::string>& inputs,
                                       std::vector<UnlistedFolder>* unlisted) {
    std::vector<std::string> files;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (!std::filesystem::is_directory(in, ec)) {
            files.push_back(in);
            continue;
        }
        std::vector<std::string> found;
        std::filesystem::directory_iterator listing(in, ec);
        if (ec) {
            if (unlisted) unlisted->push_back({in, in + " cannot be listed: " + ec.message()});
            continue;
        }
        for (const auto& e : listing) {
            if (input::HasAudioExtension(e.path().string()) && !e.is_directory(ec))
                found.push_back(e.path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

std::string FileLengthText(int seconds) {
    return Printf("%d:%02d", seconds / 60, seconds % 60);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

FileListModel::FileListModel(std::string lastFolder, UnreadableReason unreadable)
    : lastFolder_(std::move(lastFolder)), unreadable_(std::move(unreadable)) {}

bool FileListModel::Describe(const std::string& path, FileListEntry& entry) const {
    if (unreadable_) {
        if (const std::string why = unreadable_(path); !why.empty()) {
            platform::MessageBox(Printf("%s cannot be read: %s", path.c_str(), why.c_str()),
                                 platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
            return false;
        }
    }
    layer3::CAudioReader reader;
    if (!reader.Open(path)) return false;
    entry.path = path;
    entry.frames = reader.sampleCount / layer3::kFrameSamples;
    entry.length = FileLengthText(reader.durationSeconds);
    // In kilohertz: "44100 KHz" would read as a thousand times the rate.
    entry.rate = reader.SourceRate() == reader.sampleRate
                     ? Printf("%d KHz", reader.sampleRate / 1000)
                     : Printf("%d \u2192 %d KHz", reader.SourceRate() / 1000, reader.sampleRate / 1000);
    entry.mode = reader.ModeText();
    reader.Close();
    return true;
}

int FileListModel::Insert(const std::vector<std::string>& paths, bool atTop) {
    int added = 0;
    for (const std::string& path : paths) {
        FileListEntry entry;
        if (!Describe(path, entry)) continue;
        std::lock_guard lock(mutex_);
        entries_.insert(atTop ? entries_.begin() + added : entries_.end(), std::move(entry));
        ++added;
    }
    return added;
}

int FileListModel::Add(const std::vector<std::string>& paths) {
    const int added = Insert(paths, false);
    if (!paths.empty()) SetLastFolder(FolderOf(paths.back()));
    return added;
}

int FileListModel::Drop(const std::vector<std::string>& paths) {
    return Insert(ExpandFolders(paths), true);
}

int FileListModel::Restore(const std::vector<std::string>& paths) {
    std::vector<std::string> existing;
    std::copy_if(paths.begin(), paths.end(), std::back_inserter(existing),
                 [](const std::string& path) { return platform::FileExists(path); });
    return Insert(existing, false);
}

int FileListModel::AddFolder(const std::string& folder) {
    const int added = Insert(ExpandFolders({folder}), false);
    SetLastFolder(folder);
    return added;
}

void FileListModel::Remove(std::vector<int> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    std::lock_guard lock(mutex_);
    // From the back, so that the positions still to remove keep their meaning.
    for (auto it = positions.rbegin(); it != positions.rend(); ++it)
        if (*it >= 0 && *it < static_cast<int>(entries_.size())) entries_.erase(entries_.begin() + *it);
}

void FileListModel::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::vector<FileListEntry> FileListModel::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

FileListEntry FileListModel::Entry(int index) const {
    std::lock_guard lock(mutex_);
    return entries_.at(static_cast<std::size_t>(index));
}

void FileListModel::SetLastFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    lastFolder_ = folder;
}

int FileListModel::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

std::string FileListModel::Path(int index) const {
    return Entry(index).path;
}

int FileListModel::Frames(int index) const {
    return Entry(index).frames;
}

std::string FileListModel::LastFolder() const {
    std::lock_guard lock(mutex_);
    return lastFolder_;
}
