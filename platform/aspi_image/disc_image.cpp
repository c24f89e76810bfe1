#include "platform/aspi_image/disc_image.h"

#include <algorithm>
#include <cctype>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <fstream>
#include <sstream>

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

bool IsCueSheet(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".cue";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

BYTE SheetControl(const CueTrack& t) {
    if (!t.audio) return kControlData;
    return static_cast<BYTE>((t.fourChannel ? 0x08 : 0) | (t.copyPermitted ? 0x02 : 0) |
                             (t.preEmphasis ? 0x01 : 0));
}

}  // namespace

bool DiscText::Empty() const {
    auto blank = [](const CueText& t) {
        return t.title.empty() && t.performer.empty() && t.songwriter.empty() && t.composer.empty() &&
               t.genre.empty() && t.message.empty();
    };
    return blank(album) && catalog.empty() &&
           std::all_of(tracks.begin(), tracks.end(),
                       [&](const TrackText& t) { return blank(t.text) && t.isrc.empty(); });
}

std::unique_ptr<DiscImage> DiscImage::Open(const std::string& path, std::string& why) {
    auto image = std::make_unique<DiscImage>();
    if (IsCueSheet(path)) {
        if (!image->UseSheet(path, why)) return nullptr;
        return image;
    }
    // libcdio warns about every track shorter than a pregap, which test discs are full of; its
    // errors still show.
    cdio_loglevel_default = CDIO_LOG_ERROR;
    image->cdio_.reset(cdio_open(path.c_str(), DRIVER_UNKNOWN));
    if (!image->cdio_ || !image->ReadToc()) {
        why = "cannot read the disc image " + path;
        return nullptr;
    }
    return image;
}

// A sheet is read here rather than by libcdio, which takes only BINARY files and looks for the
// data file by the sheet's own name instead of by its FILE lines.
bool DiscImage::UseSheet(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        why = "cannot read " + path;
        return false;
    }
    std::optional<CueSheet> sheet = ParseCueSheet(text.str(), FolderOf(path), why);
    if (sheet) sheet_ = SheetLayout::Build(*sheet, why);
    if (!sheet || !sheet_) {
        why = path + ": " + why;
        return false;
    }
    for (std::size_t k = 0; k < sheet->tracks.size(); ++k) {
        const CueTrack& t = sheet->tracks[k];
        const auto number = static_cast<BYTE>(t.number);
        tracks_.push_back({number, SheetControl(t), sheet_->TrackStarts()[k]});
        text_.tracks.push_back({number, t.text, t.isrc});
    }
    leadOut_ = sheet_->Sectors();
    text_.album = sheet->disc;
    text_.catalog = sheet->catalog;
    return true;
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
    if (sheet_) return sheet_->Read(lsn, count, out);
    return cdio_read_audio_sectors(cdio_.get(), out.data(), lsn, static_cast<std::uint32_t>(count)) ==
           DRIVER_OP_SUCCESS;
}

}  // namespace aspi
