#include "platform/aspi_image/image_drives.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <thread>

#include "platform/aspi/scsi.h"
#include "platform/aspi_image/cd_text_packs.h"

namespace aspi {

namespace {

constexpr int kMaxSectorsPerRead = 255;  // READ CD's transfer length here is one byte
constexpr BYTE kTocFormatCdText = 0x05;
constexpr std::size_t kTocMax = 4 + 8 * 100;  // header, 99 tracks and the lead-out

std::uint32_t BigEndian(std::span<const BYTE> bytes) {
    std::uint32_t value = 0;
    for (BYTE b : bytes)
        value = (value << 8) | b;
    return value;
}

void PutBigEndian(BYTE* out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        out[i] = static_cast<BYTE>(value);
}

void PutText(BYTE* out, std::string_view text, std::size_t width) {
    std::memset(out, ' ', width);
    std::memcpy(out, text.data(), std::min(text.size(), width));
}

Outcome InvalidField() {
    return Outcome::CheckCondition(scsi::kIllegalRequest, scsi::kInvalidFieldInCdb);
}

// What fits of bytes into the caller's allocation and buffer.
Outcome Deliver(std::span<const BYTE> bytes, std::size_t allocation, std::span<BYTE> data) {
    const std::size_t n = std::min({bytes.size(), allocation, data.size()});
    std::memcpy(data.data(), bytes.data(), n);
    return Outcome::Done(n);
}

// A TOC address: the sector number, or its minute/second/frame with the two-second lead-in.
void PutAddress(BYTE* out, std::int32_t lsn, bool msf) {
    if (!msf) {
        PutBigEndian(out, static_cast<std::uint32_t>(lsn), 4);
        return;
    }
    const std::int32_t lba = lsn + 150;
    out[0] = 0;
    out[1] = static_cast<BYTE>(lba / (60 * 75));
    out[2] = static_cast<BYTE>(lba / 75 % 60);
    out[3] = static_cast<BYTE>(lba % 75);
}

}  // namespace

ImageDrives::ImageDrives(const ImageConfig& config)
    : faults_(config.faults),
      random_(config.faults.seed),
      sectors_(static_cast<std::size_t>(kMaxSectorsPerRead + 1) * kSectorBytes) {
    for (int t = 0; t < kTargets; ++t) {
        if (!config.images[t]) continue;
        drives_[t].present = true;
        std::string why;
        drives_[t].disc = DiscImage::Open(*config.images[t], why);
        // A missing image is an empty drive; one that is there but cannot be used is a mistake
        // whoever set it up needs to hear about.
        if (!drives_[t].disc && std::filesystem::exists(*config.images[t]))
            problems_.push_back("velto image drive " + std::to_string(t) + ": " + why);
    }
}

std::optional<BYTE> ImageDrives::DeviceType(int target, int lun) {
    if (!Present(target, lun)) return std::nullopt;
    return DTYPE_CDROM;
}

bool ImageDrives::Present(int target, int lun) {
    return target >= 0 && target < kTargets && lun == 0 && drives_[target].present;
}

Outcome ImageDrives::Execute(const Command& command) {
    const Drive& drive = drives_[command.target];
    const BYTE opcode = command.cdb[0];
    if (opcode == scsi::kInquiry) return Inquiry(command.target, command);
    if (opcode != scsi::kTestUnitReady && opcode != scsi::kReadToc && opcode != scsi::kReadCd)
        return Outcome::CheckCondition(scsi::kIllegalRequest, scsi::kInvalidOperationCode);
    if (!drive.disc) return Outcome::CheckCondition(scsi::kNotReady, scsi::kMediumNotPresent);
    if (opcode == scsi::kReadToc) return ReadToc(*drive.disc, command);
    if (opcode == scsi::kReadCd) return ReadCd(*drive.disc, command);
    return Outcome::Done(0);
}

Outcome ImageDrives::Inquiry(int target, const Command& command) const {
    const auto cdb = command.cdb;
    if (cdb.size() < 6 || (cdb[1] & 0x01))  // no vital product data pages
        return InvalidField();
    std::array<BYTE, scsi::kInquiryLength> inquiry{};
    inquiry[0] = DTYPE_CDROM;
    inquiry[1] = 0x80;  // removable medium
    inquiry[2] = 0x05;  // version
    inquiry[3] = 0x02;  // response data format
    inquiry[4] = static_cast<BYTE>(inquiry.size() - 5);
    PutText(&inquiry[8], "VELTO", 8);
    PutText(&inquiry[16], "Image Drive " + std::to_string(target), 16);
    PutText(&inquiry[32], "1.0", 4);
    return Deliver(inquiry, BigEndian(cdb.subspan(3, 2)), command.data);
}

Outcome ImageDrives::ReadToc(const DiscImage& disc, const Command& command) const {
    const auto cdb = command.cdb;
    if (cdb.size() >= 10 && (cdb[2] & 0x0F) == kTocFormatCdText) return ReadCdText(disc, command);
    if (cdb.size() < 10 || (cdb[2] & 0x0F) != 0)  // otherwise only format 0, the table of contents
        return InvalidField();
    const bool msf = cdb[1] & 0x02;
    const BYTE from = cdb[6];
    if (from > disc.LastTrack() && from != kLeadOutTrack) return InvalidField();

    std::array<BYTE, kTocMax> toc{};
    std::size_t size = 4;
    auto addDescriptor = [&](BYTE track, BYTE control, std::int32_t lsn) {
        toc[size + 1] = static_cast<BYTE>(0x10 | control);  // ADR 1: the position
        toc[size + 2] = track;
        PutAddress(&toc[size + 4], lsn, msf);
        size += 8;
    };
    for (const TocEntry& entry : disc.Tracks())
        if (entry.track >= from && from != kLeadOutTrack)
            addDescriptor(entry.track, entry.control, entry.lsn);
    addDescriptor(kLeadOutTrack, disc.Tracks().back().control & kControlData, disc.LeadOut());
    PutBigEndian(&toc[0], static_cast<std::uint32_t>(size - 2), 2);
    toc[2] = disc.FirstTrack();
    toc[3] = disc.LastTrack();
    return Deliver(std::span(toc.data(), size), BigEndian(cdb.subspan(7, 2)), command.data);
}

// The disc's text as CD-Text packs after a 4-byte header; a disc without text has the header
// alone.
Outcome ImageDrives::ReadCdText(const DiscImage& disc, const Command& command) const {
    std::vector<BYTE> response(4);
    const std::vector<BYTE> packs = BuildCdTextPacks(disc.Text(), disc.FirstTrack(), disc.LastTrack());
    response.insert(response.end(), packs.begin(), packs.end());
    PutBigEndian(&response[0], static_cast<std::uint32_t>(response.size() - 2), 2);
    return Deliver(response, BigEndian(command.cdb.subspan(7, 2)), command.data);
}

Outcome ImageDrives::ReadCd(const DiscImage& disc, const Command& command) {
    const auto cdb = command.cdb;
    if (cdb.size() < 12) return InvalidField();
    const int sectorType = (cdb[1] >> 2) & 0x07;  // 0 any, 1 CD-DA only
    if (sectorType > 1 || cdb[10] != 0)           // no other sector types, no sub-channel data
        return InvalidField();
    const auto lba = static_cast<std::int32_t>(BigEndian(cdb.subspan(2, 4)));
    const int count = cdb[8];
    if (lba < 0 || lba + count > disc.LeadOut())
        return Outcome::CheckCondition(scsi::kIllegalRequest, scsi::kLbaOutOfRange);
    if (sectorType == 1 && disc.CoversData(lba, count))
        return Outcome::CheckCondition(scsi::kIllegalRequest, scsi::kIllegalModeForTrack);
    const std::size_t bytes = static_cast<std::size_t>(count) * kSectorBytes;
    if (command.data.size() < bytes) return Outcome::AdapterError(HASTAT_DO_DU);
    if (count == 0) return Outcome::Done(0);
    if (faults_.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(faults_.delayMs));
    if (Covers(faults_.pending, lba, count)) return Outcome::Held();
    if (Covers(faults_.failing, lba, count))
        return Outcome::CheckCondition(scsi::kMediumError, scsi::kUnrecoveredReadError);
    // Every sector comes back raw, 2352 bytes, data sectors too: a drive would return only their
    // 2048 bytes of user data, but nothing here reads data tracks, and raw keeps sizes uniform.
    const std::int64_t firstFrame = static_cast<std::int64_t>(lba) * kFramesPerSector + NextShift();
    if (!ReadFrames(disc, firstFrame, count, command.data.first(bytes)))
        return Outcome::CheckCondition(scsi::kMediumError, scsi::kUnrecoveredReadError);
    return Outcome::Done(bytes);
}

bool ImageDrives::Covers(const std::vector<std::int32_t>& sectors, std::int32_t lba, int count) const {
    return std::any_of(sectors.begin(), sectors.end(),
                       [&](std::int32_t sector) { return sector >= lba && sector < lba + count; });
}

int ImageDrives::NextShift() {
    if (faults_.jitter == 0) return 0;
    // The engine's sequence is fixed by the standard; the reduction below keeps the shifts the
    // same with every standard library.
    const auto span = static_cast<std::uint32_t>(2 * faults_.jitter + 1);
    return static_cast<int>(random_() % span) - faults_.jitter;
}

bool ImageDrives::ReadFrames(const DiscImage& disc, std::int64_t firstFrame, int count, std::span<BYTE> out) {
    const std::int64_t frames = static_cast<std::int64_t>(count) * kFramesPerSector;
    const std::int64_t discEnd = static_cast<std::int64_t>(disc.LeadOut()) * kFramesPerSector;
    const std::int64_t begin = std::max<std::int64_t>(firstFrame, 0);
    const std::int64_t end = std::min(firstFrame + frames, discEnd);
    std::fill(out.begin(), out.end(), BYTE{0});
    if (begin >= end) return true;
    const auto firstSector = static_cast<std::int32_t>(begin / kFramesPerSector);
    const auto endSector = static_cast<std::int32_t>((end + kFramesPerSector - 1) / kFramesPerSector);
    if (!disc.ReadRaw(firstSector, endSector - firstSector, sectors_)) return false;
    const std::int64_t skip = begin - static_cast<std::int64_t>(firstSector) * kFramesPerSector;
    std::memcpy(out.data() + (begin - firstFrame) * 4, sectors_.data() + skip * 4,
                static_cast<std::size_t>(end - begin) * 4);
    return true;
}

}  // namespace aspi
