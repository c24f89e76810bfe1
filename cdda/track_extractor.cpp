#include "cdda/track_extractor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/time_format.h"

namespace cdda {

namespace {

constexpr int kLun = 0;
constexpr int kMatchFrames = 512;
constexpr int kBufferFrames = kMaxReadSectors * kFramesPerSector;
// Sectors per second the speed multiple is measured against: the nominal rate of a sector a
// read, and the lower rate the design chose for the reads of several sectors.
constexpr double kNormalRate = 75.0;
constexpr double kBufferedRate = 65.3;

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// One read's worth of audio, as frames.
struct SectorBuffer {
    std::array<std::uint32_t, kBufferFrames> frames;
    std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(frames.data()); }
};

// The state one track's extraction shares between its steps.
class Extraction {
  public:
    Extraction(ExtractionHost& host, const ExtractionParameters& p, int adapter, int target,
               std::uint32_t first, std::uint32_t last)
        : host_(host),
          p_(p),
          adapter_(adapter),
          target_(target),
          first_(first),
          last_(last),
          count_(static_cast<long long>(last) - first + 1) {}

    bool Run(const std::string& path);

  private:
    enum class Loop { kDone, kFailed, kWriteFailed };

    bool Read(std::uint32_t lba, int sectors, std::uint8_t* buffer) {
        const bool ok = reader_.ReadSectors(adapter_, target_, kLun, lba, sectors, buffer);
        if (!ok) failedSector_ = lba;
        return ok;
    }
    bool WriteFrames(const std::uint32_t* frames, long long n) {
        const auto bytes = static_cast<std::size_t>(n) * 4;
        written_ += bytes;
        return file_.Write(frames, bytes) == bytes;
    }
    void Report(long long sectorsCovered, double rate);
    bool PrepareFolder(const std::string& path);
    Loop NormalLoop();
    Loop BufferedLoop();
    Loop JitterLoop();
    bool Finish(bool ok, const char* message);
    bool ReadFailed() {
        host_.ReadFailed(failedSector_);
        return Finish(false, "Cannot read from CD.");
    }

    ExtractionHost& host_;
    ExtractionParameters p_;
    int adapter_, target_;
    std::uint32_t first_, last_;
    long long count_;
    CCDReader reader_;
    platform::OutputFile file_;
    std::uint64_t written_ = 0;
    std::uint32_t failedSector_ = 0;  // where the read that failed last began
    long long start_ = 0;
    std::unique_ptr<SectorBuffer[]> buffers_;
};

void Extraction::Report(long long sectorsCovered, double rate) {
    const long long seconds = platform::NowSeconds() - start_;
    // Within the first second there is no measure of the speed yet.
    const double speed =
        seconds > 0 ? static_cast<double>(sectorsCovered) / (static_cast<double>(seconds) * rate) : 0.0;
    host_.ReportProgress(static_cast<int>(sectorsCovered * 100 / count_), static_cast<float>(speed));
}

bool Extraction::PrepareFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return true;
    const std::string folder = path.substr(0, slash);
    // The root, or a folder that is there: nothing to ask.
    if (folder.empty() || platform::IsFolder(folder)) return true;
    const int answer = platform::MessageBox(folder + " does not exists.\nDo you want to create it?",
                                            platform::kAppCaption, platform::MB_YESNO);
    // A name template's folders may lie several levels below a folder that is missing too.
    if (answer == platform::IDYES)
        for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            const std::string level = folder.substr(0, slash);
            if (!platform::IsFolder(level)) platform::MakeFolder(level);
            if (slash == std::string::npos) break;
        }
    return true;
}

bool Extraction::Run(const std::string& path) {
    if (reader_.Init() == 0) return false;
    PrepareFolder(path);
    if (count_ <= 0 || !file_.Create(path)) {
        if (count_ > 0) platform::MessageBox("Cannot create file.", platform::kAppCaption, platform::MB_OK);
        return false;
    }
    host_.SetExtracting(true);
    std::uint8_t header[44];
    MakeWavHeader(static_cast<std::uint32_t>(count_ * kSectorBytes), header);
    file_.Write(header, sizeof header);

    buffers_ = std::make_unique<SectorBuffer[]>(2);
    host_.SetStatus("Spinning up drive...");
    if (!Read(0, 1, buffers_[0].Bytes())) return ReadFailed();
    start_ = platform::NowSeconds();
    host_.SetExtractStart(start_);

    Loop result = Loop::kDone;
    switch (p_.mode) {
        case kDaeNormal:
            result = NormalLoop();
            break;
        case kDaeBuffered:
            result = BufferedLoop();
            break;
        default:
            result = JitterLoop();
            break;
    }
    if (result == Loop::kFailed) return ReadFailed();
    if (result == Loop::kWriteFailed) return Finish(false, "Cannot write to file.");
    const bool ok = Finish(true, "Cannot write to file.");
    if (ok) host_.AddExcludedSeconds(platform::NowSeconds() - start_);
    return ok;
}

// Closes the file with its header telling what it holds, so that a stopped or shortened track
// is still a well-formed WAV file.
bool Extraction::Finish(bool ok, const char* message) {
    std::uint8_t header[44];
    MakeWavHeader(static_cast<std::uint32_t>(written_), header);
    const bool sealed = file_.WriteAt(0, header, sizeof header) && file_.Close();
    host_.SetExtracting(false);
    if (!ok || !sealed) {
        platform::MessageBox(message, platform::kAppCaption, platform::MB_OK);
        return false;
    }
    return true;
}

Extraction::Loop Extraction::NormalLoop() {
    SectorBuffer& buffer = buffers_[0];
    for (std::uint32_t sector = first_; sector <= last_; ++sector) {
        if (!Read(sector, 1, buffer.Bytes())) return Loop::kFailed;
        const long long read = static_cast<long long>(sector) - first_ + 1;
        if ((sector + 1) % 100 == 0) Report(read, kNormalRate);
        if (!WriteFrames(buffer.frames.data(), kFramesPerSector)) return Loop::kWriteFailed;
        if (host_.StopRequested()) break;
    }
    return Loop::kDone;
}

Extraction::Loop Extraction::BufferedLoop() {
    SectorBuffer& buffer = buffers_[0];
    const int n = std::clamp(p_.readSectors, 1, kMaxReadSectors);
    for (long long done = 0; done < count_;) {
        const int chunk = static_cast<int>(std::min<long long>(n, count_ - done));
        if (!Read(static_cast<std::uint32_t>(first_ + done), chunk, buffer.Bytes())) return Loop::kFailed;
        Report(done, kBufferedRate);
        if (!WriteFrames(buffer.frames.data(), static_cast<long long>(chunk) * kFramesPerSector))
            return Loop::kWriteFailed;
        done += chunk;
        if (host_.StopRequested()) break;
    }
    return Loop::kDone;
}

Extraction::Loop Extraction::JitterLoop() {
    const int n = std::clamp(p_.readSectors, 1, kMaxReadSectors);
    // The overlap must leave each pass some progress: at most half a read.
    const int s = std::min(p_.synchSectors, n / 2);
    if (s < 1) return BufferedLoop();  // a read of one sector cannot overlap its neighbour

    SectorBuffer* old = &buffers_[0];
    SectorBuffer* fresh = &buffers_[1];
    int chunk = static_cast<int>(std::min<long long>(n, count_));
    if (!Read(first_, chunk, old->Bytes())) return Loop::kFailed;
    long long pos = first_ + chunk;
    long long remaining = count_ - chunk;
    long long acc = 0;
    while (remaining > 0) {
        pos -= s;
        remaining += s;
        chunk = static_cast<int>(std::min<long long>(n, remaining));
        remaining -= chunk;
        long long l = pos;
        if (l < 0 || !Read(static_cast<std::uint32_t>(l), chunk, fresh->Bytes())) return Loop::kFailed;
        Report(l - first_, kBufferedRate);
        pos = l + chunk;
        if (host_.StopRequested()) {
            if (!WriteFrames(fresh->frames.data(), static_cast<long long>(chunk) * kFramesPerSector))
                return Loop::kWriteFailed;
            return Loop::kDone;
        }

        // The old buffer always holds a full read of n sectors here: only the first read or
        // the last can be shorter, and neither is ever an old buffer inside this loop.
        const int oldFrames = n * kFramesPerSector;
        const long long askedL = l, askedRemaining = remaining;
        const int askedChunk = chunk;
        JunctionMatch m;
        int i = 0;
        for (int failures = 0; i < chunk;) {
            m = Match(fresh->frames.data(), old->frames.data(), oldFrames, n, s, i);
            if (m.found) break;
            if (failures % 3 == 0) {
                --l;
                --pos;
                if (chunk == n)
                    ++remaining;
                else
                    ++chunk;
                ++i;
            }
            ++failures;
            // Only the comparison is repeated with what this read brings; its own failure
            // is not a failure of the track.
            if (l >= 0) Read(static_cast<std::uint32_t>(l), chunk, fresh->Bytes());
        }
        if (!m.found) {
            // Nowhere to join: read what was asked for once more and join where it belongs,
            // rather than at a place the search gave up on, which would drop the old read.
            l = askedL;
            remaining = askedRemaining;
            chunk = askedChunk;
            pos = l + chunk;
            i = 0;
            if (!Read(static_cast<std::uint32_t>(l), chunk, fresh->Bytes())) return Loop::kFailed;
            m.frames = (n - s) * kFramesPerSector;
        }
        const int junction = std::clamp(m.frames, 0, oldFrames);

        // The drift is how far the join lies from where this read, at the place it was made,
        // should join; the sectors the search stepped back are already in pos and remaining.
        acc += static_cast<long long>(s - n + i) * kFramesPerSector + junction;
        // A whole sector of drift moves the next read and the count still to read, one
        // sector a pass, so that the track keeps its length.
        if (acc >= kFramesPerSector) {
            --remaining;
            ++pos;
            acc -= kFramesPerSector;
        } else if (acc <= -kFramesPerSector && remaining > 0) {
            ++remaining;
            --pos;
            acc += kFramesPerSector;
        }
        if (!WriteFrames(old->frames.data(), junction)) return Loop::kWriteFailed;
        std::swap(old, fresh);
    }
    // The last read, whole, at the size it was made (widened by the search when it was).
    if (!WriteFrames(old->frames.data(), static_cast<long long>(chunk) * kFramesPerSector))
        return Loop::kWriteFailed;
    return Loop::kDone;
}

}  // namespace

JunctionMatch Match(const std::uint32_t* fresh, const std::uint32_t* old, int oldFrames, int readSectors,
                    int synchSectors, int shift) {
    const int nominal = (readSectors - synchSectors - shift) * kFramesPerSector;
    const int p0 = (readSectors - 2 * synchSectors - shift) * kFramesPerSector;
    if (p0 < 0) return {nominal, false};
    const int lastStart = std::min(readSectors * kFramesPerSector, oldFrames) - kMatchFrames;
    const bool silent = std::all_of(fresh, fresh + kMatchFrames, [](std::uint32_t f) { return f == 0; });
    auto matchesAt = [&](int p) {
        return p >= p0 && p <= lastStart && std::memcmp(fresh, old + p, kMatchFrames * sizeof *old) == 0;
    };
    // Nearest to the nominal place first: audio that repeats itself exactly (a pure tone, a
    // sampled loop) matches at several places, and only the nearest is where the drive went.
    for (int d = 0; nominal - d >= p0 || nominal + d <= lastStart; ++d) {
        for (int p : {nominal - d, nominal + d}) {
            if (!matchesAt(p)) continue;
            return {silent ? nominal : p, true};
        }
    }
    return {nominal, false};
}

void MakeWavHeader(std::uint32_t dataBytes, std::uint8_t (&h)[44]) {
    std::memcpy(h, "RIFF", 4);
    PutLE32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLE32(h + 16, 16);
    PutLE16(h + 20, 1);
    PutLE16(h + 22, 2);
    PutLE32(h + 24, 44100);
    PutLE32(h + 28, 176400);
    PutLE16(h + 32, 4);
    PutLE16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    PutLE32(h + 40, dataBytes);
}

bool ExtractTrack(ExtractionHost& host, const ExtractionParameters& parameters, int adapter, int target,
                  std::uint32_t firstSector, std::uint32_t lastSector, const std::string& path) {
    Extraction extraction(host, parameters, adapter, target, firstSector, lastSector);
    return extraction.Run(path);
}

}  // namespace cdda
