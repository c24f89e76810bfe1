// Names of extracted CD tracks from the template.
#include <gtest/gtest.h>

#include "job/track_file_names.h"

namespace {

tags::TagFields Names(std::string title, std::string artist = "Artist", std::string album = "Album") {
    tags::TagFields f;
    f.title = std::move(title);
    f.artist = std::move(artist);
    f.album = std::move(album);
    return f;
}

}  // namespace

TEST(TrackFileNames, FieldsFillTheTemplateAndAMissingOneGivesTheDefaultName) {
    EXPECT_EQ(TrackFileStem(kDefaultTrackNameTemplate, 7, {}), "Track 07");
    EXPECT_EQ(TrackFileStem("%a/%A/%n %t", 3, Names("Song")), "Artist/Album/03 Song");
    EXPECT_EQ(TrackFileStem("%n 100%% %x", 12, {}), "12 100% %x") << "no field named: nothing missing";
    EXPECT_EQ(TrackFileStem("%a/%A/%n %t", 3, Names("")), "Track 03");
    EXPECT_EQ(TrackFileStem("%a - %t", 3, Names("Song", "")), "Track 03");
}

TEST(TrackFileNames, TextThatCannotStandInAPathIsReplacedAndPartsStayShort) {
    EXPECT_EQ(TrackFileStem("%n %t", 1, Names("AC/DC\tlive\x01")), "01 AC_DC_live_");
    EXPECT_EQ(TrackFileStem("%a/%A/%t", 1, Names(".", "..", "..")), "_/_/_") << "no way out of the folder";
    EXPECT_EQ(TrackFileStem("//%a//%t/", 1, Names("Song")), "Artist/Song");

    // Long fields: each part fits a file system's 255 bytes with room for the extension, and
    // a character of several bytes is never cut in two.
    std::string longTitle;
    for (int i = 0; i < 200; ++i)
        longTitle += "\xC3\xA9";  // 400 bytes
    const std::string stem = TrackFileStem("%a/%t", 1, Names(longTitle, longTitle));
    const std::size_t slash = stem.find('/');
    EXPECT_LT(slash, 255u);
    EXPECT_LT(stem.size() - slash - 1 + std::string(" (99).wav").size(), 255u);
    EXPECT_EQ(stem.size() % 2, 1u) << "whole two-byte characters on both sides of the '/'";
}

TEST(TrackFileNames, TracksOfOneBatchThatWouldShareANameAreNumberedApart) {
    TrackFileNamer namer("%t");
    EXPECT_EQ(namer.Next(1, Names("Intro")), "Intro");
    EXPECT_EQ(namer.Next(2, Names("Song")), "Song");
    EXPECT_EQ(namer.Next(3, Names("Intro")), "Intro (2)");
    EXPECT_EQ(namer.Next(4, Names("Intro")), "Intro (3)");
    EXPECT_EQ(namer.Next(5, Names("")), "Track 05");
}
