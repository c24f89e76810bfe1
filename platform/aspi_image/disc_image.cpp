#include "platform/aspi_image/disc_image.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

namespace aspi {

namespace {

BYTE ControlNibble(CdIo_t* cdio, track_t track) {
    if (cdio_get_track_format(cdio, track) != TRACK_FORMAT_AUDIO) return kControlData;
    BYTE control = 0;
    if (cdio_get_track_copy_permit(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x02;
    if (cdio_get_track_preemphasis(cdio, track) == CDIO_TRACK_FLAG_TRUE) control |= 0x01;
    if (cdio_get_track_channels(cdio, track) == 4) control |= 0x08;
    return control;
}

}  // namespace

std::unique_ptr<DiscImage> DiscImage::Open(const std::string& path) {
    // libcdio warns about every track shorter than a pregap, which test discs are full of; its
    // errors still show.
    cdio_loglevel_default = CDIO_LOG_ERROR;
    auto image = std::make_unique<DiscImage>();
    image->cdio_.reset(cdio_open(path.c_str(), DRIVER_UNKNOWN));
    if (!image->cdio_ || !image->ReadToc()) return nullptr;
    return image;
}

void DiscImage::Closer::operator()(CdIo_t* cdio) const {
    cdio_destroy(cdio);
}

bool DiscImage::ReadToc() {
    const track_t first = cdio_get_first_track_num(cdio_.get());
    const track_t count = cdio_get_num_tracks(cdio_.get());
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 || first + count - 1 > 99)
        return false;
    for (int t = first; t < first + count; ++t) {
        const lsn_t lsn = cdio_get_track_lsn(cdio_.get(), static_cast<track_t>(t));
        if (lsn == CDIO_INVALID_LSN || (!tracks_.empty() && lsn <= tracks_.back().lsn)) return false;
        tracks_.push_back({static_cast<BYTE>(t), ControlNibble(cdio_.get(), static_cast<track_t>(t)), lsn});
    }
    leadOut_ = cdio_get_track_lsn(cdio_.get(), CDIO_CDROM_LEADOUT_TRACK);
    return leadOut_ != CDIO_INVALID_LSN && leadOut_ > tracks_.back().lsn;
}

bool DiscImage::CoversData(std::int32_t lsn, int count) const {
    for (std::size_t k = 0; k < tracks_.size(); ++k) {
        const std::int32_t end = k + 1 < tracks_.size() ? tracks_[k + 1].lsn : leadOut_;
        if ((tracks_[k].control & kControlData) && lsn < end && lsn + count > tracks_[k].lsn) return true;
    }
    return false;
}

bool DiscImage::ReadRaw(std::int32_t lsn, int count, std::span<BYTE> out) const {
    if (lsn < 0 || count < 0 || lsn + count > leadOut_ ||
        out.size() < static_cast<std::size_t>(count) * kSectorBytes)
        return false;
    if (count == 0) return true;
    return cdio_read_audio_sectors(cdio_.get(), out.data(), lsn, static_cast<std::uint32_t>(count)) ==
           DRIVER_OP_SUCCESS;
}

}  // namespace aspi
