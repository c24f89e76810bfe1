// The record of the user's encoding choices, the frame parameters an encoder derives at Open,
// and the progress counters shared by the worker and the window.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string>

// An int written by one thread and read by another. Reads may lag by a frame, but are never
// torn and never a data race. Copyable, so that a parallel batch can give each worker a copy
// of the record.
class SharedInt {
  public:
    constexpr SharedInt(int v = 0) noexcept : value_(v) {}
    SharedInt(const SharedInt& other) noexcept : value_(other.load()) {}
    SharedInt& operator=(const SharedInt& other) noexcept {
        store(other.load());
        return *this;
    }
    SharedInt& operator=(int v) noexcept {
        store(v);
        return *this;
    }
    operator int() const noexcept { return load(); }
    int operator++() noexcept { return value_.fetch_add(1, std::memory_order_relaxed) + 1; }
    int operator++(int) noexcept { return value_.fetch_add(1, std::memory_order_relaxed); }
    SharedInt& operator+=(int d) noexcept {
        value_.fetch_add(d, std::memory_order_relaxed);
        return *this;
    }
    int load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(int v) noexcept { value_.store(v, std::memory_order_relaxed); }

  private:
    std::atomic<int> value_;
};

// A string written by the worker while the window reads it: each access takes a copy under a
// lock, so a reader never sees a string being reallocated.
class SharedString {
  public:
    SharedString() = default;
    SharedString(const SharedString& other) : value_(other.get()) {}
    SharedString& operator=(const SharedString& other) {
        set(other.get());
        return *this;
    }
    SharedString& operator=(const std::string& v) {
        set(v);
        return *this;
    }
    std::string get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(const std::string& v) {
        std::lock_guard lock(mutex_);
        value_ = v;
    }
    bool empty() const {
        std::lock_guard lock(mutex_);
        return value_.empty();
    }

  private:
    mutable std::mutex mutex_;
    std::string value_;
};

// Layer III bit rates in kbps by bitrate_index (0 is free format, never offered to the user).
inline constexpr std::array<int, 15> kBitrateTable = {0,   32,  40,  48,  56,  64,  80, 96,
                                                      112, 128, 160, 192, 224, 256, 320};

struct EncodingSettings {
    EncodingSettings();

    // Fields in the record's order. Those without an initialiser here start at 0 and are never
    // set by ResetToDefaults.
    int downmix = 0;            // 1 when a stereo input is mixed down to one channel
    int UseCodec = 0;           // nonzero: encode through the codec
    int synchsectors = 0;       // synchronisation sectors for Jitter Correction extraction
    int nsectors = 0;           // sectors per extraction read
    int DaeMode = 0;            // 0 Normal, 1 Buffered, 2 Jitter Correction
    int quantizeCalls = 0;      // diagnostic count of quantisation calls, restarted at each Open
    int Mono = 0;               // nonzero: encode stereo input as one channel
    SharedInt batchStartTime;   // wall-clock seconds at which the batch started
    SharedString currentFile;   // path of the WAV being extracted or encoded; empty when none
    SharedInt batchFramesDone;  // frames encoded so far in the batch
    SharedInt batchFrames;      // estimated frames of the whole batch
    SharedInt sampleCount;      // samples per channel of the input
    int stereo = 0;             // output channels, 1 or 2
    SharedInt frameCount;       // frames encoded so far in the current file
    int samplingFrequencyHz = 0;
    int version = 0;     // header ID bit; 1 = MPEG-1
    int mode = 0;        // header mode: 0 stereo, 3 single channel
    SharedInt Bitrate;   // kbps
    int Deemphasis = 0;  // header emphasis code: 0 none, 1 50/15 us, 3 CCITT J.17
    int padding = 0;     // header padding bit of the current frame
    int samplesPerFrame = 0;
    int bitsPerFrame = 0;
    int bitsPerSlot = 0;
    SharedInt totalFrames;  // sampleCount / samplesPerFrame: the file's progress in frames
    int bitrateIndex = 0;
    int samplingFrequencyIndex = 0;  // 0 44100, 1 48000, 2 32000
    int errorProtection = 0;
    int privateBit = 0;
    int modeExtension = 0;
    int Copyright = 0;
    int Original = 0;
    int granulesPerFrame = 0;
    int EncodingMode = 0;  // 0 ISO, 1 audible distortion, 2 distorted bands, 3 total distortion
    // What an MP3 carries besides its frames: the Info header frame, an ID3v2 tag, ReplayGain
    // values. The record starts bare (all 0); the programs set them from the profile and the
    // command line.
    int InfoHeader = 0;
    int Tags = 0;
    int ReplayGain = 0;

    // Restores the user's choices and header constants to their defaults; leaves the frame
    // parameters, counters and extraction options as they are.
    void ResetToDefaults();
    // Sets bitrateIndex and Bitrate for 0..14 and returns Bitrate; otherwise returns -1 and
    // changes nothing.
    int SetBitrateIndex(int index);
    // Stores the rate and returns its header index; a rate the header cannot carry is taken as
    // 44100 Hz (index 0).
    int SetSamplingFrequency(int hz);
};

// The current file's frames for its progress, at most its length: the frames of silence that
// carry the end of the input out of the filterbanks never take a file past 100 %.
inline int FileProgressFrames(const EncodingSettings& s) {
    return std::min<int>(s.frameCount, s.totalFrames);
}
// Whether the frame that EncodeStep reported (the file's frame count) adds to the batch's
// progress: the frames past the file's length do not.
inline bool CountsTowardsProgress(int step, const EncodingSettings& s) {
    return step <= s.totalFrames;
}

// The process's single record, created before the user interface and living until the end.
extern EncodingSettings encodingSettings;
