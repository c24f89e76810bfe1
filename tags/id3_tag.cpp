#include "tags/id3_tag.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cstring>
#include <memory>

#ifndef VELTO_VERSION
#define VELTO_VERSION "0"
#endif

namespace tags {

namespace {

constexpr std::size_t kHeaderSize = 10;

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Latin-1 where it suffices, UTF-16 otherwise: the two encodings every ID3v2.3 reader knows.
TagLib::String::Type EncodingFor(const std::string& s) {
    return IsAscii(s) ? TagLib::String::Latin1 : TagLib::String::UTF16;
}

TagLib::String Text(const std::string& s) {
    return TagLib::String(s, TagLib::String::UTF8);
}

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& value) {
    if (value.empty()) return;
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(TagLib::ByteVector(id, 4),
                                                                          EncodingFor(value));
    frame->setText(Text(value));
    tag.addFrame(frame.release());  // the tag owns its frames
}

void AddUserText(TagLib::ID3v2::Tag& tag, const std::string& description, const std::string& value) {
    if (value.empty()) return;
    auto frame =
        std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(EncodingFor(description + value));
    frame->setDescription(Text(description));
    frame->setText(Text(value));
    tag.addFrame(frame.release());
}

void AddComment(TagLib::ID3v2::Tag& tag, const std::string& value) {
    if (value.empty()) return;
    auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(EncodingFor(value));
    frame->setLanguage("eng");
    frame->setText(Text(value));
    tag.addFrame(frame.release());
}

std::uint32_t SyncSafe(const std::uint8_t* p) {
    return static_cast<std::uint32_t>((p[0] & 0x7F) << 21 | (p[1] & 0x7F) << 14 | (p[2] & 0x7F) << 7 |
                                      (p[3] & 0x7F));
}

void PutSyncSafe(std::uint8_t* p, std::size_t v) {
    for (int i = 3; i >= 0; --i, v >>= 7)
        p[i] = static_cast<std::uint8_t>(v & 0x7F);
}

}  // namespace

std::string EncoderName() {
    return std::string("Velto ") + VELTO_VERSION;
}

std::vector<std::uint8_t> RenderId3v23(const TagFields& f, const UserTexts& texts, bool withEncoder) {
    TagLib::ID3v2::Tag tag;
    AddText(tag, "TIT2", f.title);
    AddText(tag, "TPE1", f.artist);
    AddText(tag, "TALB", f.album);
    AddText(tag, "TPE2", f.albumArtist);
    AddText(tag, "TCOM", f.composer);
    AddText(tag, "TDRC", f.date);  // rendered as the year frame of version 2.3
    AddText(tag, "TCON", f.genre);
    AddText(tag, "TRCK", f.track);
    AddText(tag, "TSRC", f.isrc);
    AddComment(tag, f.comment);
    AddUserText(tag, "CATALOGNUMBER", f.catalog);
    AddUserText(tag, "MusicBrainz Album Id", f.musicBrainzAlbumId);
    AddUserText(tag, "MusicBrainz Disc Id", f.musicBrainzDiscId);
    if (withEncoder) AddText(tag, "TSSE", EncoderName());
    for (const auto& [description, value] : texts)
        AddUserText(tag, description, value);
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v3);
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    out.resize(Id3FramesEnd(out));
    PutSyncSafe(out.data() + 6, out.size() - kHeaderSize);
    return out;
}

std::size_t Id3TagSize(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize || std::memcmp(data, "ID3", 3) != 0) return 0;
    const std::size_t footer = (data[5] & 0x10) ? kHeaderSize : 0;
    return std::min(size, kHeaderSize + SyncSafe(data + 6) + footer);
}

std::size_t Id3FramesEnd(const std::vector<std::uint8_t>& tag) {
    const std::size_t end = std::min(tag.size(), Id3TagSize(tag.data(), tag.size()));
    std::size_t at = kHeaderSize;
    // Version 2.3 frames: a four-letter id, a plain 32-bit size, two flag bytes.
    while (at + kHeaderSize <= end && tag[at] != 0) {
        const std::size_t length =
            static_cast<std::size_t>(tag[at + 4]) << 24 | tag[at + 5] << 16 | tag[at + 6] << 8 | tag[at + 7];
        if (length > end - at - kHeaderSize) break;
        at += kHeaderSize + length;
    }
    return std::min(at, end);
}

bool PadId3Tag(std::vector<std::uint8_t>& tag, std::size_t size) {
    const std::size_t used = Id3FramesEnd(tag);
    if (used > size) return false;
    tag.resize(used);
    tag.resize(size, 0);
    PutSyncSafe(tag.data() + 6, size - kHeaderSize);
    return true;
}

void AppendId3Frames(std::vector<std::uint8_t>& tag, const std::vector<std::uint8_t>& framesOf) {
    const std::size_t size = tag.size();
    const std::size_t extraEnd = Id3FramesEnd(framesOf);
    tag.resize(Id3FramesEnd(tag));
    if (extraEnd > kHeaderSize)
        tag.insert(tag.end(), framesOf.begin() + kHeaderSize, framesOf.begin() + extraEnd);
    tag.resize(std::max(tag.size(), size), 0);
    PutSyncSafe(tag.data() + 6, tag.size() - kHeaderSize);
}

}  // namespace tags
