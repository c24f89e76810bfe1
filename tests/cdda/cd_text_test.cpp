// CD-Text: the packs a drive returns, read through the transport from the image library's
// drives, and the parser on packs that are damaged, cut short or in other character codes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cdda/cd_text.h"
#include "platform/crc16.h"
#include "tests/cdda/cd_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One pack with a correct CRC; `flags` holds the double-byte bit, block and character position.
Bytes Pack(std::uint8_t type, std::uint8_t track, std::uint8_t sequence, std::uint8_t flags,
           const std::string& text) {
    Bytes p(18, 0);
    p[0] = type;
    p[1] = track;
    p[2] = sequence;
    p[3] = flags;
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 12), p.begin() + 4);
    const std::uint16_t crc = static_cast<std::uint16_t>(~platform::Crc16Ccitt(p.data(), 16));
    p[16] = static_cast<std::uint8_t>(crc >> 8);
    p[17] = static_cast<std::uint8_t>(crc);
    return p;
}

Bytes Response(const std::vector<Bytes>& packs) {
    Bytes r(4, 0);
    for (const Bytes& p : packs)
        r.insert(r.end(), p.begin(), p.end());
    r[0] = static_cast<std::uint8_t>((r.size() - 2) >> 8);
    r[1] = static_cast<std::uint8_t>(r.size() - 2);
    return r;
}

std::string Title(const cdda::DiscNames& names, int track) {
    return cdda::TrackNames(names, track).title;
}

}  // namespace

TEST(CdText, TheCrcIsTheCcittOne) {
    const std::string check = "123456789";
    EXPECT_EQ(platform::Crc16Ccitt(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
              0x31C3);
}

TEST(CdText, ADiscImagesSheetTextComesBackThroughTheDriveAsTheDisc) {
    cdtest::Discs discs;
    discs.Insert(1, {{.sectors = 10}});  // a disc without text
    testwav::WriteBytes(discs.dir.File("audio.bin"), Bytes(2352 * 30));
    const std::string sheet =
        "CATALOG 0724384960650\nPERFORMER \"The Band\"\nTITLE \"An Album Title Longer Than One Pack\"\n"
        "REM GENRE Jazz\nFILE \"audio.bin\" BINARY\n"
        "TRACK 01 AUDIO\nTITLE \"Caf\xC3\xA9\"\nISRC GBAYE9900001\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nINDEX 01 00:00:10\n"
        "TRACK 03 AUDIO\nTITLE \"Third\"\nPERFORMER \"A Guest\"\nSONGWRITER \"Someone\"\nINDEX 01 00:00:20\n";
    testwav::WriteBytes(discs.dir.File("named.cue"), Bytes(sheet.begin(), sheet.end()));
    setenv("VELTO_CD_IMAGES",
           ("0=" + discs.dir.File("named.cue") + ",1=" + discs.dir.File("disc1.cue") +
            ",2=" + discs.dir.File("missing.cue"))
               .c_str(),
           1);

    cdda::CCDReader reader;
    ASSERT_GT(reader.Init(), 0);
    std::string note;
    const cdda::DiscNames names = reader.ReadCdText(0, 0, 0, note);
    EXPECT_EQ(note, "");
    EXPECT_EQ(names.album.album, "An Album Title Longer Than One Pack");
    EXPECT_EQ(names.album.artist, "The Band");
    EXPECT_EQ(names.album.catalog, "0724384960650");
    EXPECT_EQ(names.album.genre, "Jazz");
    EXPECT_EQ(Title(names, 1), "Caf\xC3\xA9");
    EXPECT_EQ(cdda::TrackNames(names, 1).isrc, "GBAYE9900001");
    EXPECT_EQ(Title(names, 2), "");
    EXPECT_EQ(Title(names, 3), "Third");
    EXPECT_EQ(cdda::TrackNames(names, 3).artist, "A Guest");
    EXPECT_EQ(cdda::TrackNames(names, 3).composer, "Someone");

    const tags::TagFields tags = names.TrackTags(2, 3);
    EXPECT_EQ(tags.artist, "The Band") << "a track without its own performer has the album's";
    EXPECT_EQ(tags.album, "An Album Title Longer Than One Pack");
    EXPECT_EQ(tags.track, "2/3");

    EXPECT_TRUE(reader.ReadCdText(0, 1, 0, note).Empty()) << "a disc without text";
    EXPECT_TRUE(reader.ReadCdText(0, 2, 0, note).Empty()) << "a drive that answers with an error";
}

TEST(CdText, DamagedPacksCostOnlyTheirOwnStrings) {
    // Titles: album "Album", then "One", "Two and a long tail", "Three", "\t" (as track 4).
    // The stream "Album\0One\0Two and a long tail\0Three\0\t\0" in packs of 12.
    const std::string stream = std::string("Album\0One\0Two and a long tail\0Three\0\t\0", 38);
    std::vector<Bytes> packs;
    const std::vector<std::pair<int, int>> owner = {
        {0, 0}, {2, 2}, {2, 14}, {4, 0}};  // track, characters before
    for (std::size_t k = 0; k * 12 < stream.size(); ++k)
        packs.push_back(Pack(0x80, static_cast<std::uint8_t>(owner[k].first), static_cast<std::uint8_t>(k),
                             static_cast<std::uint8_t>(std::min(owner[k].second, 15)),
                             stream.substr(k * 12, 12)));
    std::string note;
    cdda::DiscNames names = cdda::ParseCdText(Response(packs).data(), Response(packs).size(), note);
    EXPECT_EQ(names.album.album, "Album");
    EXPECT_EQ(Title(names, 2), "Two and a long tail");
    EXPECT_EQ(Title(names, 4), "Three") << "a TAB repeats the track before";

    Bytes damaged = Response(packs);
    damaged[4 + 18 + 7] ^= 0x40;  // the second pack: "Two and a long tail" loses its start
    names = cdda::ParseCdText(damaged.data(), damaged.size(), note);
    EXPECT_NE(note.find("wrong CRC"), std::string::npos);
    EXPECT_EQ(names.album.album, "Album");
    EXPECT_EQ(Title(names, 1), "One");
    EXPECT_EQ(Title(names, 2), "") << "its middle was in the lost pack";
    EXPECT_EQ(Title(names, 3), "Three") << "the next whole string is found again";

    // A length that claims more than arrived, and a response cut inside a pack.
    for (std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{4 + 18 + 9}, damaged.size() - 1}) {
        Bytes cut = Response(packs);
        cut.resize(size);
        names = cdda::ParseCdText(cut.data(), cut.size(), note);
        EXPECT_EQ(Title(names, 4), "") << size;
        EXPECT_EQ(Title(names, 3), size < damaged.size() - 1 ? "" : "Three") << size;
    }
}

TEST(CdText, DoubleByteBlocksArePassedOverForTheFirstOneByteBlock) {
    std::vector<Bytes> packs;
    // Block 0 marked double-byte, blocks 1-7 in ISO 8859-1 with titles of their own.
    packs.push_back(Pack(0x80, 0, 0, 0x80, std::string("\x82\xa0\0\0", 4)));
    for (int block = 1; block < 8; ++block)
        packs.push_back(Pack(0x80, 0, 0, static_cast<std::uint8_t>(block << 4),
                             std::string("Block ") + char('0' + block) + '\0' + "T1" + '\0'));
    std::string note;
    const Bytes r = Response(packs);
    const cdda::DiscNames names = cdda::ParseCdText(r.data(), r.size(), note);
    EXPECT_EQ(names.album.album, "Block 1");
    EXPECT_EQ(Title(names, 1), "T1");
    EXPECT_NE(note.find("double-byte"), std::string::npos) << note;
}
