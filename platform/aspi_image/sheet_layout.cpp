#include "platform/aspi_image/sheet_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace aspi {

namespace {

constexpr std::int64_t kSector = 2352;

std::uint32_t Le(const BYTE* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

bool ReadAt(int fd, std::int64_t at, void* out, std::size_t bytes) {
    auto* p = static_cast<BYTE*>(out);
    while (bytes > 0) {
        const ssize_t n = pread(fd, p, bytes, at);
        if (n <= 0) return false;
        p += n;
        at += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t FileSize(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 ? st.st_size : -1;
}

// Finds the audio of a WAVE file: 16-bit 44100 Hz stereo PCM, as on a CD, or a reason why not.
bool FindWaveData(int fd, const std::string& path, std::int64_t& offset, std::int64_t& bytes,
                  std::string& why) {
    const std::int64_t size = FileSize(fd);
    BYTE riff[12];
    if (!ReadAt(fd, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        why = path + " is not a WAVE file";
        return false;
    }
    bool format = false;
    for (std::int64_t at = 12; at + 8 <= size;) {
        BYTE chunk[8];
        if (!ReadAt(fd, at, chunk, sizeof chunk)) break;
        const std::int64_t length = Le(chunk + 4, 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            BYTE fmt[16];
            if (length < 16 || !ReadAt(fd, at + 8, fmt, sizeof fmt)) break;
            const unsigned tag = Le(fmt, 2), channels = Le(fmt + 2, 2), rate = Le(fmt + 4, 4),
                           bits = Le(fmt + 14, 2);
            if ((tag != 1 && tag != 0xFFFE) || channels != 2 || rate != 44100 || bits != 16) {
                why = path + " holds " + std::to_string(bits) + "-bit " + std::to_string(rate) +
                      " Hz audio in " + std::to_string(channels) + " channel(s)" +
                      (tag == 1 || tag == 0xFFFE ? "" : ", not PCM") +
                      "; only 16-bit 44100 Hz stereo PCM, as on a CD, is read";
                return false;
            }
            format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format) break;
            offset = at + 8;
            // A length that runs past the end, as a streamed file's, stops at the end.
            bytes = std::min(length, size - offset);
            return true;
        }
        at += 8 + length + (length & 1);
    }
    why = path + " has no CD audio format and data";
    return false;
}

}  // namespace

SheetLayout::~SheetLayout() {
    for (const Source& s : sources_)
        if (s.fd >= 0) close(s.fd);
}

std::unique_ptr<SheetLayout> SheetLayout::Build(const CueSheet& sheet, std::string& why) {
    std::unique_ptr<SheetLayout> layout(new SheetLayout);
    if (!layout->OpenSources(sheet, why) || !layout->Place(sheet, why)) return nullptr;
    return layout;
}

bool SheetLayout::OpenSources(const CueSheet& sheet, std::string& why) {
    for (const CueFile& file : sheet.files) {
        Source& source = sources_.emplace_back();
        source.fd = open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (source.fd < 0) {
            why = "cannot open " + file.path + ": " + std::strerror(errno);
            return false;
        }
        if (file.type == CueFileType::Wave) {
            if (!FindWaveData(source.fd, file.path, source.dataOffset, source.dataBytes, why)) return false;
        } else {
            source.dataBytes = std::max<std::int64_t>(FileSize(source.fd), 0);
        }
    }
    return true;
}

// Lays the files out back to back (a file's last part-sector is filled with silence), puts the
// sheet's silences before the positions they belong to and finds each track's start.
bool SheetLayout::Place(const CueSheet& sheet, std::string& why) {
    std::vector<std::int64_t> fileStart, fileSectors;  // in the files laid back to back
    std::int64_t stream = 0;
    for (const Source& s : sources_) {
        fileStart.push_back(stream);
        fileSectors.push_back((s.dataBytes + kSector - 1) / kSector);
        stream += fileSectors.back();
    }
    struct Gap {
        std::int64_t at, sectors;
    };
    std::vector<Gap> gaps;  // in the order they come on the disc
    std::vector<std::int64_t> starts;
    std::int64_t last = 0;
    for (std::size_t k = 0; k < sheet.tracks.size(); ++k) {
        const CueTrack& t = sheet.tracks[k];
        for (const CueIndex& index : t.indexes) {
            const std::int64_t at = fileStart[index.file] + index.sector;
            if (index.sector > fileSectors[index.file] || at < last) {
                why = "INDEX " + std::to_string(index.number) + " of track " + std::to_string(t.number) +
                      " lies outside its file or before the index ahead of it";
                return false;
            }
            last = at;
        }
        const std::int64_t first = fileStart[t.First().file] + t.First().sector;
        const std::int64_t start = fileStart[t.Start()->file] + t.Start()->sector;
        if (k > 0) gaps.push_back({first, sheet.tracks[k - 1].postgapSectors});
        gaps.push_back({start, t.pregapSectors});
        starts.push_back(start);
    }
    gaps.push_back({stream, sheet.tracks.back().postgapSectors});

    // A position on the disc is its place in the files plus the silences before it.
    auto onDisc = [&](std::int64_t at) {
        std::int64_t before = 0;
        for (const Gap& g : gaps)
            if (g.at <= at) before += g.sectors;
        return at + before;
    };
    std::int64_t disc = 0, done = 0;
    auto addFiles = [&](std::int64_t until) {
        for (std::size_t f = 0; f < sources_.size(); ++f) {
            const std::int64_t from = std::max(done, fileStart[f]),
                               to = std::min(until, fileStart[f] + fileSectors[f]);
            if (from >= to) continue;
            segments_.push_back({static_cast<std::int32_t>(disc), static_cast<std::int32_t>(to - from),
                                 static_cast<int>(f), static_cast<std::int32_t>(from - fileStart[f])});
            disc += to - from;
        }
        done = std::max(done, until);
    };
    for (const Gap& g : gaps) {
        addFiles(g.at);
        if (g.sectors == 0) continue;
        segments_.push_back({static_cast<std::int32_t>(disc), static_cast<std::int32_t>(g.sectors), -1, 0});
        disc += g.sectors;
    }
    addFiles(stream);
    if (disc > 100 * 60 * 75) {
        why = "the sheet's audio is longer than a CD can hold";
        return false;
    }
    sectors_ = static_cast<std::int32_t>(disc);
    for (std::int64_t start : starts) {
        const auto at = static_cast<std::int32_t>(onDisc(start));
        if ((!trackStarts_.empty() && at <= trackStarts_.back()) || at >= sectors_) {
            why = "the tracks do not follow each other on the disc";
            return false;
        }
        trackStarts_.push_back(at);
    }
    return true;
}

bool SheetLayout::Read(std::int32_t lsn, int count, std::span<BYTE> out) const {
    const std::int32_t end = lsn + count;
    for (const Segment& s : segments_) {
        const std::int32_t from = std::max(lsn, s.start), to = std::min(end, s.start + s.sectors);
        if (from >= to) continue;
        if (!ReadSegment(s, from - s.start, to - from,
                         out.data() + static_cast<std::size_t>(from - lsn) * kSector))
            return false;
    }
    return true;
}

bool SheetLayout::ReadSegment(const Segment& segment, std::int32_t from, int count, BYTE* out) const {
    const std::size_t bytes = static_cast<std::size_t>(count) * kSector;
    std::memset(out, 0, bytes);
    if (segment.source < 0) return true;
    const Source& source = sources_[static_cast<std::size_t>(segment.source)];
    const std::int64_t offset = static_cast<std::int64_t>(segment.sourceSector + from) * kSector;
    // The file's last sector may be short: what it lacks stays silent.
    const std::int64_t available =
        std::min<std::int64_t>(static_cast<std::int64_t>(bytes), source.dataBytes - offset);
    return available <= 0 ||
           ReadAt(source.fd, source.dataOffset + offset, out, static_cast<std::size_t>(available));
}

}  // namespace aspi
