// Virtual CD-ROM drives on targets 0..6, each with the disc image the set-up names: they answer
// INQUIRY, TEST UNIT READY, READ TOC (the table of contents and CD-Text) and READ CD as a drive would, with
// the set-up's faults. A target with an image that cannot be read has a drive with no disc in it.
#pragma once

#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/aspi/drives.h"
#include "platform/aspi_image/disc_image.h"
#include "platform/aspi_image/image_config.h"

namespace aspi {

class ImageDrives final : public Drives {
  public:
    explicit ImageDrives(const ImageConfig& config);

    std::optional<BYTE> DeviceType(int target, int lun) override;
    bool Present(int target, int lun) override;
    Outcome Execute(const Command& command) override;

    // Why images that are there could not be used, one line each.
    const std::vector<std::string>& Problems() const { return problems_; }

  private:
    struct Drive {
        bool present = false;
        std::unique_ptr<DiscImage> disc;  // null: no disc in the drive
    };

    Outcome Inquiry(int target, const Command& command) const;
    Outcome ReadToc(const DiscImage& disc, const Command& command) const;
    Outcome ReadCdText(const DiscImage& disc, const Command& command) const;
    Outcome ReadCd(const DiscImage& disc, const Command& command);
    bool Covers(const std::vector<std::int32_t>& sectors, std::int32_t lba, int count) const;
    int NextShift();
    // Fills out with count sectors' worth of audio from stereo frame firstFrame on; frames outside
    // the disc read as zeros.
    bool ReadFrames(const DiscImage& disc, std::int64_t firstFrame, int count, std::span<BYTE> out);

    std::array<Drive, kTargets> drives_;
    FaultPlan faults_;
    std::mt19937 random_;
    std::vector<BYTE> sectors_;  // the sectors under one shifted read
    std::vector<std::string> problems_;
};

}  // namespace aspi
