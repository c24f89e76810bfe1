// The CD transport: a SCSI pass-through library loaded at run time (the ASPI manager), one
// request at a time, each waited for on one shared event; and the three drive commands the
// program sends through it (INQUIRY, READ TOC with the table of contents or CD-Text, READ CD).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cdda/disc_names.h"
#include "platform/event.h"
#include "platform/shared_library.h"
#include "platform/wnaspi32.h"

namespace cdda {

// The process-wide state of the transport: the loaded library, its two entry points, the host
// adapter count and the event every request signals. Lives until the process ends.
class CAspiManager {
  public:
    static CAspiManager& Instance();

    // Loads the library unless it is loaded; the adapter count, 0 when the transport is
    // unusable. `supportInfo` receives what the library's support query returned.
    int Load(aspi::DWORD& supportInfo);
    bool Loaded() const { return library_.IsLoaded(); }
    aspi::DWORD Send(void* srb);
    // Why the library may see no drive: the errno with which a drive's device node that is
    // there failed to open, and its path; 0 when none did or the library cannot tell.
    int DriveNodeError(std::string& path);
    platform::Event& Event() { return event_; }
    int Adapters() const { return adapters_; }

    // How long a request may stay pending before it is aborted; tests shorten it.
    unsigned WaitMs() const { return waitMs_; }
    void SetWaitMsForTesting(unsigned ms) { waitMs_ = ms; }

    // For a program that is closing: the request waited for now is aborted at once, and so is
    // every later one, so that a drive that does not answer holds nobody up.
    void AbortAllWaits();
    // Waits again, for tests that go on after a close.
    void ResumeWaitsForTesting() { abortWaits_ = false; }
    bool AbortingWaits() const { return abortWaits_.load(); }

    // The library's file: VELTO_ASPI_LIBRARY when set, otherwise libwnaspi32.so beside the
    // executable.
    static std::string LibraryPath();

  private:
    CAspiManager() = default;
    void Unload();

    std::mutex mutex_;
    platform::SharedLibrary library_;
    aspi::GetASPI32SupportInfoFn supportInfo_ = nullptr;
    aspi::SendASPI32CommandFn send_ = nullptr;
    aspi::GetDriveNodeErrorFn nodeError_ = nullptr;  // only the pass-through to real drives has it
    int adapters_ = 0;
    platform::Event event_{false, false};
    unsigned waitMs_ = 10000;
    std::atomic<bool> abortWaits_{false};
};

// One table-of-contents entry.
#pragma pack(push, 1)
struct TrackEntry {
    std::uint8_t trackNumber;
    std::uint8_t control;  // low nibble of ADR/control; 0x04 set = data track
    std::uint32_t firstSector;
    std::uint32_t lastSector;  // inclusive

    bool IsAudio() const { return (control & 0x04) == 0; }
};
#pragma pack(pop)
static_assert(sizeof(TrackEntry) == 10);

inline constexpr int kMaxTracks = 99;
inline constexpr int kSectorBytes = 2352;
inline constexpr int kFramesPerSector = 588;
// READ TOC asks for the header, 99 track descriptors and the lead-out's.
inline constexpr int kTocBytes = 4 + 8 * (kMaxTracks + 1);

// The entry of track number `track`, or null when the table holds none: a disc's first track
// need not be track 1 (an enhanced CD, an image cut from a later track), so entry k holds the
// k-th track of the disc, whatever its number.
const TrackEntry* FindTrack(const TrackEntry (&table)[kMaxTracks], int track);

// Fills the table from a READ TOC response (format 0, addresses as logical blocks) of `size`
// bytes; never reads past them. The number of audio tracks, 0 when the response holds none.
int ParseTocResponse(const std::uint8_t* data, std::size_t size, TrackEntry (&table)[kMaxTracks]);

// A short-lived user of the transport, made on the stack by each operation on a drive.
class CCDReader {
  public:
    CCDReader() = default;
    virtual ~CCDReader() = default;

    // Makes sure the library is loaded; the number of host adapters, 0 when unusable.
    int Init();
    // The SCSI peripheral device type at that address, or -1.
    int GetDeviceType(int adapter, int target, int lun);
    // Sends one execute request and waits for it; true when it completed successfully.
    bool Execute(aspi::SRB_ExecSCSICmd& request);
    void Abort(int adapter, aspi::SRB_ExecSCSICmd& request);

    bool Inquiry(int adapter, int target, int lun, std::uint8_t (&buffer)[96]);
    // Zero-fills and fills the table; the number of audio tracks, 0 on failure.
    int ReadToc(int adapter, int target, int lun, TrackEntry (&table)[kMaxTracks]);
    // count (1-255) raw audio sectors of 2352 bytes starting at lba into buffer.
    // The disc's CD-Text (READ TOC format 0101b). A drive that answers with an error, or a disc
    // without text, gives empty names; `note` tells of packs left out.
    DiscNames ReadCdText(int adapter, int target, int lun, std::string& note);
    bool ReadSectors(int adapter, int target, int lun, std::uint32_t lba, int count, std::uint8_t* buffer);

    aspi::DWORD LastStatus() const { return lastStatus_; }
    // Whether the drive said of the last command that it has no disc (sense key NOT READY,
    // MEDIUM NOT PRESENT).
    bool LastFoundNoDisc() const { return lastSenseKey_ == 0x02 && lastAsc_ == 0x3A; }

  private:
    static void FillRequest(aspi::SRB_ExecSCSICmd& request, int adapter, int target, int lun,
                            std::uint8_t* buffer, std::uint32_t length, int cdbLength);

    aspi::DWORD lastStatus_ = 0;
    std::uint8_t lastSenseKey_ = 0, lastAsc_ = 0;  // of the last command that failed with sense
};

// A CD-ROM drive found on host adapter 0.
struct DriveInfo {
    int target = 0;
    std::string name;  // the product identification
};

// The CD-ROM drives on targets 0-6 of host adapter 0, in target order; none when the
// transport is unusable.
std::vector<DriveInfo> DiscoverDrives();

// The product identification of inquiry data: bytes 16-31 up to the first NUL.
std::string ProductName(const std::uint8_t (&inquiry)[96]);

}  // namespace cdda
