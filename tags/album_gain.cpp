#include "tags/album_gain.h"

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "tags/id3_tag.h"
#include "tags/info_frame.h"

namespace tags {

namespace {

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>& bytes) {
    platform::InputFile file;
    if (!file.Open(path)) return false;
    bytes.resize(static_cast<std::size_t>(file.Size()));
    return file.Read(bytes.data(), bytes.size()) == bytes.size();
}

}  // namespace

bool WriteAlbumGain(const std::string& path, const AlbumLoudness& album) {
    if (!album.gainDb) return true;
    std::vector<std::uint8_t> bytes;
    if (!ReadWhole(path, bytes)) return false;
    const std::size_t tagSize = Id3TagSize(bytes.data(), bytes.size());
    std::vector<std::uint8_t> tag(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(tagSize));
    if (tagSize > 0) {
        const UserTexts texts = {{"REPLAYGAIN_ALBUM_GAIN", GainText(*album.gainDb)},
                                 {"REPLAYGAIN_ALBUM_PEAK", PeakText(album.peak)}};
        AppendId3Frames(tag, RenderId3v23({}, texts, false));
    }
    const bool hasInfo = SetInfoAlbumGain(bytes.data() + tagSize, bytes.size() - tagSize, *album.gainDb);
    if (tagSize == 0 && !hasInfo) return true;
    platform::OutputFile copy;
    if (!copy.Create(path)) return false;
    copy.Write(tag.data(), tag.size());
    copy.Write(bytes.data() + tagSize, bytes.size() - tagSize);
    return copy.Close();
}

std::vector<std::string> WriteAlbumGains(const std::vector<AlbumTrack>& tracks) {
    std::vector<std::shared_ptr<const LoudnessMeter>> meters;
    for (const AlbumTrack& t : tracks)
        meters.push_back(t.loudness);
    const AlbumLoudness album = MeasureAlbum(meters);
    std::vector<std::string> failed;
    for (const AlbumTrack& t : tracks)
        if (!WriteAlbumGain(t.path, album)) failed.push_back(t.path);
    return failed;
}

}  // namespace tags
