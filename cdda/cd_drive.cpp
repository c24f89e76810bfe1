// The drive commands: INQUIRY, READ TOC and READ CD, drive discovery and the table of
// contents.
#include <algorithm>
#include <cstring>

#include "cdda/cd_reader.h"
#include "cdda/cd_text.h"

namespace cdda {

namespace {

constexpr int kHostAdapter = 0;
constexpr int kLun = 0;
constexpr int kLastTarget = 6;

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

void CCDReader::FillRequest(aspi::SRB_ExecSCSICmd& request, int adapter, int target, int lun,
                            std::uint8_t* buffer, std::uint32_t length, int cdbLength) {
    request = aspi::SRB_ExecSCSICmd{};
    request.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    request.SRB_HaId = static_cast<aspi::BYTE>(adapter);
    request.SRB_Target = static_cast<aspi::BYTE>(target);
    request.SRB_Lun = static_cast<aspi::BYTE>(lun);
    request.SRB_Flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
    request.SRB_BufLen = length;
    request.SRB_BufPointer = buffer;
    request.SRB_SenseLen = aspi::SENSE_LEN;
    request.SRB_CDBLen = static_cast<aspi::BYTE>(cdbLength);
}

bool CCDReader::Inquiry(int adapter, int target, int lun, std::uint8_t (&buffer)[96]) {
    aspi::SRB_ExecSCSICmd request;
    FillRequest(request, adapter, target, lun, buffer, sizeof buffer, 6);
    request.CDBByte[0] = 0x12;
    request.CDBByte[4] = sizeof buffer;
    return Execute(request);
}

int CCDReader::ReadToc(int adapter, int target, int lun, TrackEntry (&table)[kMaxTracks]) {
    std::memset(table, 0, sizeof table);
    std::uint8_t response[kTocBytes] = {};
    aspi::SRB_ExecSCSICmd request;
    FillRequest(request, adapter, target, lun, response, sizeof response, 10);
    request.CDBByte[0] = 0x43;
    request.CDBByte[7] = static_cast<std::uint8_t>(kTocBytes >> 8);
    request.CDBByte[8] = static_cast<std::uint8_t>(kTocBytes & 0xFF);
    if (!Execute(request)) return 0;
    return ParseTocResponse(response, sizeof response, table);
}

DiscNames CCDReader::ReadCdText(int adapter, int target, int lun, std::string& note) {
    note.clear();
    std::vector<std::uint8_t> response(kCdTextMaxBytes);
    aspi::SRB_ExecSCSICmd request;
    FillRequest(request, adapter, target, lun, response.data(), static_cast<std::uint32_t>(response.size()),
                10);
    request.CDBByte[0] = 0x43;
    request.CDBByte[2] = 0x05;
    request.CDBByte[7] = static_cast<std::uint8_t>(kCdTextMaxBytes >> 8);
    request.CDBByte[8] = static_cast<std::uint8_t>(kCdTextMaxBytes & 0xFF);
    if (!Execute(request)) return {};
    return ParseCdText(response.data(), response.size(), note);
}

bool CCDReader::ReadSectors(int adapter, int target, int lun, std::uint32_t lba, int count,
                            std::uint8_t* buffer) {
    aspi::SRB_ExecSCSICmd request;
    FillRequest(request, adapter, target, lun, buffer, static_cast<std::uint32_t>(count) * kSectorBytes, 12);
    request.CDBByte[0] = 0xBE;
    request.CDBByte[2] = static_cast<std::uint8_t>(lba >> 24);
    request.CDBByte[3] = static_cast<std::uint8_t>(lba >> 16);
    request.CDBByte[4] = static_cast<std::uint8_t>(lba >> 8);
    request.CDBByte[5] = static_cast<std::uint8_t>(lba);
    request.CDBByte[8] = static_cast<std::uint8_t>(count);
    request.CDBByte[9] = 0x10;
    return Execute(request);
}

int ParseTocResponse(const std::uint8_t* data, std::size_t size, TrackEntry (&table)[kMaxTracks]) {
    if (size < 4) return 0;
    // The response says how much of it the drive filled; bytes past that are not the disc's.
    const std::size_t filled = std::min<std::size_t>(size, 2 + ((std::size_t{data[0]} << 8) | data[1]));
    const int n = int{data[3]} - int{data[2]} + 1;
    if (n < 1) return 0;
    const std::size_t available = filled < 4 ? 0 : (filled - 4) / 8;
    // A track's last sector comes from the next descriptor, so only tracks whose successor was
    // returned can be listed.
    const int listed = std::min({n, kMaxTracks, static_cast<int>(available) - 1});
    int audio = 0;
    for (int k = 0; k < listed; ++k) {
        const std::uint8_t* d = data + 4 + 8 * k;
        const std::uint32_t start = BigEndian32(d + 4);
        const std::uint32_t next = BigEndian32(d + 12);
        if (next <= start) break;  // a table that runs backwards holds no track from here on
        TrackEntry& e = table[k];
        e.trackNumber = d[2];
        e.control = d[1] & 0x0F;
        e.firstSector = start;
        e.lastSector = next - 1;
        if (e.IsAudio()) ++audio;
    }
    return audio;
}

const TrackEntry* FindTrack(const TrackEntry (&table)[kMaxTracks], int track) {
    if (track < 1 || track > kMaxTracks) return nullptr;
    for (const TrackEntry& e : table)
        if (e.trackNumber == track) return &e;
    return nullptr;
}

std::string ProductName(const std::uint8_t (&inquiry)[96]) {
    const char* text = reinterpret_cast<const char*>(inquiry + 16);
    return std::string(text, strnlen(text, 16));
}

std::vector<DriveInfo> DiscoverDrives() {
    std::vector<DriveInfo> drives;
    CCDReader reader;
    if (reader.Init() == 0) return drives;
    for (int target = 0; target <= kLastTarget; ++target) {
        if (reader.GetDeviceType(kHostAdapter, target, kLun) != aspi::DTYPE_CDROM) continue;
        std::uint8_t inquiry[96] = {};
        // A drive that does not answer is still listed, as its type said it is there.
        reader.Inquiry(kHostAdapter, target, kLun, inquiry);
        drives.push_back({target, ProductName(inquiry)});
    }
    return drives;
}

}  // namespace cdda
