// Files as the core sees them: a binary input file that refuses anything but a regular file
// (a directory or a FIFO is "cannot be opened", and opening never blocks), and a buffered
// output file that reports every failed write, as the multimedia-file functions did.
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

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates the file.
    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // Returns the bytes accepted; fewer than n means the write failed, and every later write
    // and the close report failure too.
    std::size_t Write(const void* data, std::size_t n);
    // Writes n bytes at an offset from the start of the file and returns to the end, for
    // headers whose sizes are known only when the data has been written. False, and the file
    // failed, when the bytes could not all be written.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t n);
    // Flushes and closes; false when anything written was lost.
    bool Close();
    bool Failed() const { return failed_; }
    const std::string& Path() const { return path_; }

  private:
    std::FILE* file_ = nullptr;
    std::string path_;
    bool failed_ = false;
};

// True when both names lead to the same existing file (hard links and different spellings
// included).
bool SameFile(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);

}  // namespace platform
