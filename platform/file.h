// Files as the core sees them: a binary input file that refuses anything but a regular file
// (a directory or a FIFO is "cannot be opened", and opening never blocks), and a buffered
// output file that reports every failed write, as the multimedia-file functions did, and
// appears under its name only once it is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();

    // Reads up to n bytes; fewer at the end of the file or on an error, which also marks the
    // file as failed (as a stream's read past the end does).
    std::size_t Read(void* buffer, std::size_t n);
    // The next byte without consuming it, or -1 at the end of the file.
    int Peek();
    // Moves forward from the current position; moving past the end is allowed and leaves
    // nothing to read.
    bool SeekForward(std::uint64_t n);
    std::uint64_t Position() const { return position_; }
    // The file's size when it was opened.
    std::uint64_t Size() const { return size_; }
    bool Failed() const { return failed_; }

  private:
    std::FILE* file_ = nullptr;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

// A file is written under a temporary name beside its final one and renamed to the final name
// only when Close finds every byte on the disk, so that a crash, a kill or a full disk never
// leaves half a file under the final name nor destroys the file that had that name before.
// The temporary name is "<final name>.velto-partial" (a hidden ".velto-partial-XXXXXX" when
// that name would be too long): a user who finds one after a killed run sees what it is, and
// the next run that writes the same output replaces it. A final name that exists and is not a
// regular file (a device such as /dev/null) is written directly, as there is nothing to seal.
class OutputFile {
  public:
    OutputFile() = default;
    // An output that was never closed is one its writer did not finish: it is discarded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts a file that Close gives the name path. Closes any file still open first. False
    // when the temporary file cannot be made, or when another run is writing the same output.
    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // Returns the bytes accepted; fewer than n means the write failed, and every later write
    // and the close report failure too.
    std::size_t Write(const void* data, std::size_t n);
    // Writes n bytes at an offset from the start of the file and returns to the end, for
    // headers whose sizes are known only when the data has been written. False, and the file
    // failed, when the bytes could not all be written.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t n);
    // Hands the buffered bytes to the system, so that the file can be read back before Close.
    bool Flush();
    // Flushes, syncs and renames the file to its final name; false when anything written was
    // lost, and then the temporary file is removed and an earlier file of the final name is
    // left as it was.
    bool Close();
    // Closes and removes the temporary file; the final name is left as it was.
    void Discard();
    // For a file its writer could not finish: it keeps what was written under its final name
    // when no file had that name at Create, and is discarded otherwise, so that an unfinished
    // file never replaces an earlier one. True when it was kept.
    bool CloseWithoutReplacing();
    bool Failed() const { return failed_; }
    // The final name.
    const std::string& Path() const { return path_; }
    // The name the bytes go to until Close: the temporary file, or the final name itself when
    // that is not a regular file.
    const std::string& WritingPath() const { return writingPath_; }

  private:
    bool OpenTemporary();
    void CloseStream();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string writingPath_;
    std::string renameTarget_;  // the final name, or the file it links to
    bool sealed_ = false;       // written under a temporary name that Close renames
    bool replacing_ = false;    // a file had the final name at Create
    bool failed_ = false;
};

// The suffix of the temporary name an output is written under.
inline constexpr const char* kPartialSuffix = ".velto-partial";

// True when both names lead to the same existing file (hard links and different spellings
// included).
bool SameFile(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// Empty when path is a regular file that opens for reading; otherwise the reason, such as
// "No such file or directory", "it is a folder" or "it is not a regular file".
std::string UnreadableFileReason(const std::string& path);
bool IsFolder(const std::string& path);
// Makes one folder (its parent must exist); false when it could not.
bool MakeFolder(const std::string& path);

}  // namespace platform
