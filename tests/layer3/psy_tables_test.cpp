// The psychoacoustic table text: the generator still writes the checked-in text, every rate
// parses with its coverage, and every check fires on a corrupted copy with its text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "layer3/psy_tables.h"
#include "layer3/tables/psy_data.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;
using layer3::CPsyTables;
using layer3::tables::kPsyData;
using layer3::tables::kPsyDataLines;

TEST(PsyTablesTest, GeneratorReproducesTheCheckedInText) {
    const fs::path generator = fs::path(VELTO_BIN_DIR) / "velto-gen-psy-tables";
    ASSERT_TRUE(fs::exists(generator)) << generator;
    testwav::TempDir out;
    const std::string file = out.File("psy_data.cpp");
    const std::string command = generator.string() + " '" + file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const fs::path mine = fs::path(VELTO_SOURCE_DIR) / "layer3" / "tables" / "psy_data.cpp";
    EXPECT_TRUE(testwav::ReadBytes(file) == testwav::ReadBytes(mine.string())) << "differs: " << mine;
}

int LineOf(const std::string& text) {
    for (int i = 0; i < kPsyDataLines; ++i)
        if (text == kPsyData[i]) return i;
    return -1;
}

int Header(const std::string& header) {
    const int line = LineOf(header);
    EXPECT_GE(line, 0) << header;
    return line;
}

struct ReferenceRow {
    const char* set;  // the header of the set that holds the row
    int index;
    const char* row;
};

TEST(PsyTablesTest, TextHoldsTheReferenceRowsOf44100Hz) {
    for (const ReferenceRow& r : {
             ReferenceRow{"freq = 44100.0 partition = 62", 0,
                          "No= 0 #lines= 1 minval=24.5 qthr=   4.532 norm=0.951 bval=   0.000"},
             ReferenceRow{"freq = 44100.0 partition = 62", 62,
                          "No=62 #lines=18 minval= 0.0 qthr= 162.770 norm=0.515 bval=  24.442"},
             ReferenceRow{"freq = 44100.0 partition = 38", 0,
                          "No= 0 #lines= 1 qthr=   4.532 norm=1.000 SNR=-8.240 bval=   0.000"},
             ReferenceRow{"freq = 44100.0 partition = 38", 38,
                          "No=38 #lines=19 qthr= 171.813 norm=0.447 SNR=-4.559 bval=  24.173"},
             ReferenceRow{"freq=44100 sb=20", 0, "sb= 0 cbw=3 bu= 0 bo= 4 w1=1.000 w2=0.056"},
             ReferenceRow{"freq=44100 sb=20", 1, "sb= 1 cbw=3 bu= 4 bo= 7 w1=0.944 w2=0.611"},
             ReferenceRow{"freq=44100 sb=20", 20, "sb=20 cbw=2 bu=59 bo=61 w1=0.278 w2=0.960"},
             ReferenceRow{"freq=44100 sb=11", 0, "sb= 0 cbw=2 bu= 0 bo= 2 w1=1.000 w2=0.167"},
             ReferenceRow{"freq=44100 sb=11", 11, "sb=11 cbw=2 bu=36 bo=38 w1=0.833 w2=1.000"},
         }) {
        const int line = Header(r.set) + 1 + r.index;
        ASSERT_LT(line, kPsyDataLines);
        EXPECT_STREQ(kPsyData[line], r.row) << r.set;
    }
    EXPECT_EQ(LineOf("freq = 48000.0 partition = 61"), 0);
    EXPECT_GE(LineOf("freq= 16000 partition = 45"), 0);
    EXPECT_GE(LineOf("freq=32000 sb=20"), 0);
}

// Summed over the bands, every partition from the first band's up to the last band's counts
// once: neighbouring bands split the partition they share. (The last band may end inside its
// last partition.)
void ExpectEachPartitionCountsOnce(const int* bu, const int* bo, const double* w1, const double* w2,
                                   int bands, int rate) {
    double weight[layer3::kMaxPartitions] = {};
    for (int sb = 0; sb < bands; ++sb) {
        weight[bu[sb]] += w1[sb];
        weight[bo[sb]] += bu[sb] == bo[sb] ? 0.0 : w2[sb];
        for (int b = bu[sb] + 1; b < bo[sb]; ++b)
            weight[b] += 1.0;
    }
    for (int b = bu[0]; b < bo[bands - 1]; ++b)
        EXPECT_NEAR(weight[b], 1.0, 0.002) << rate << " partition " << b;
}

struct Coverage {
    int rate, longLines, shortLines, longParts, shortParts;
};

TEST(PsyTablesTest, EveryRateParsesWithItsCoverage) {
    auto t = std::make_unique<CPsyTables>();
    for (const Coverage c : {Coverage{48000, 481, 107, 62, 38}, Coverage{44100, 465, 109, 63, 39},
                             Coverage{32000, 488, 110, 59, 42}}) {
        t->Parse(c.rate);
        EXPECT_EQ(t->npart_l, c.longParts);
        EXPECT_EQ(t->npart_s, c.shortParts);
        for (int k = 0; k < layer3::kLongFftLines; ++k)
            ASSERT_EQ(t->partition_l[k] >= 0, k < c.longLines) << c.rate << " line " << k;
        for (int k = 0; k < layer3::kShortFftLines; ++k)
            ASSERT_EQ(t->partition_s[k] >= 0, k < c.shortLines) << c.rate << " short line " << k;
        // Partitions take consecutive lines, widths never shrink, the bottom one is one line.
        EXPECT_EQ(t->numlines_l[0], 1);
        EXPECT_EQ(t->numlines_s[0], 1);
        for (int b = 1; b < t->npart_l; ++b)
            EXPECT_GE(t->numlines_l[b], t->numlines_l[b - 1]);
        ExpectEachPartitionCountsOnce(t->bu_l, t->bo_l, t->w1_l, t->w2_l, layer3::kPsyLongBands, c.rate);
        ExpectEachPartitionCountsOnce(t->bu_s, t->bo_s, t->w1_s, t->w2_s, layer3::kPsyShortBands, c.rate);
        EXPECT_EQ(t->minval[0], 24.5);
        EXPECT_EQ(t->minval[t->npart_l - 1], 0.0);
        // The spreading function peaks on its own partition at 0 dB.
        EXPECT_NEAR(t->s3_l[10][10], 1.0, 1e-4);
        EXPECT_LT(t->s3_l[10][20], 1e-3);
    }
}

TEST(PsyTablesTest, PartitionsAndBandsOf44100Hz) {
    auto t = std::make_unique<CPsyTables>();
    t->Parse(44100);
    EXPECT_EQ(t->partition_l[0], 0);
    EXPECT_EQ(t->partition_l[1], 1);
    EXPECT_EQ(t->numlines_l[62], 18);
    EXPECT_EQ(t->partition_l[464], 62);
    EXPECT_EQ(t->partition_l[465], -1);
    EXPECT_DOUBLE_EQ(t->qthr_l[62], 162.770);
    EXPECT_DOUBLE_EQ(t->bval_l[62], 24.442);
    EXPECT_DOUBLE_EQ(t->SNR_s[38], -4.559);
    // The first band row is exempt from the cbw check: bo - bu = 4 with cbw = 3.
    EXPECT_EQ(t->cbw_l[0], 3);
    EXPECT_EQ(t->bo_l[0], 4);
    EXPECT_DOUBLE_EQ(t->w2_l[0], 0.056);
}

TEST(PsyTablesTest, ParsingAgainKeepsOnlyTheSecondRate) {
    auto once = std::make_unique<CPsyTables>(), twice = std::make_unique<CPsyTables>();
    once->Parse(32000);
    twice->Parse(48000);
    twice->Parse(32000);
    auto same = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    EXPECT_EQ(once->npart_l, twice->npart_l);
    EXPECT_EQ(once->npart_s, twice->npart_s);
    EXPECT_TRUE(same(once->partition_l, twice->partition_l) && same(once->partition_s, twice->partition_s));
    EXPECT_TRUE(same(once->numlines_l, twice->numlines_l) && same(once->qthr_l, twice->qthr_l) &&
                same(once->norm_l, twice->norm_l) && same(once->bval_l, twice->bval_l) &&
                same(once->minval, twice->minval));
    EXPECT_TRUE(same(once->numlines_s, twice->numlines_s) && same(once->SNR_s, twice->SNR_s) &&
                same(once->bval_s, twice->bval_s));
    EXPECT_TRUE(same(once->s3_l, twice->s3_l) && same(once->s3_s, twice->s3_s));
    EXPECT_TRUE(same(once->bu_l, twice->bu_l) && same(once->w1_l, twice->w1_l) &&
                same(once->w2_s, twice->w2_s));
}

// A copy of the text with one line replaced.
std::vector<const char*> Corrupted(int line, const char* replacement, std::string& keep) {
    keep = replacement;
    std::vector<const char*> text(kPsyData, kPsyData + kPsyDataLines);
    text[line] = keep.c_str();
    return text;
}

// Parses a text in a child process and returns what it wrote to standard output.
std::string ParseOutput(int rate, const std::vector<const char*>& text) {
    testwav::TempDir dir;
    const std::string path = dir.File("stdout.txt");
    auto parse = [&] {
        if (!std::freopen(path.c_str(), "w", stdout)) std::abort();
        auto t = std::make_unique<CPsyTables>();
        t->Parse(rate, text);
    };
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(parse(), testing::ExitedWithCode(255), "");
    const auto bytes = testwav::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(PsyTablesDeathTest, EveryCheckFiresWithItsText) {
    std::string keep;
    const int long44 = Header("freq = 44100.0 partition = 62");
    const int bands44 = Header("freq=44100 sb=20");
    const std::string selectedRow = "please check \"psy_data\"";
    const std::string otherRow = "please check \"psy_data.\"\n";

    // A partition row out of sequence, in the selected set and in one that is not selected.
    auto text =
        Corrupted(long44 + 6, "No= 6 #lines= 1 minval=24.5 qthr=   9.043 norm=0.600 bval=   2.000", keep);
    EXPECT_EQ(ParseOutput(44100, text), selectedRow);
    EXPECT_EQ(ParseOutput(48000, text), otherRow);

    // A band row out of sequence.
    text = Corrupted(bands44 + 4, "sb= 4 cbw=2 bu=13 bo=15 w1=0.639 w2=0.139", keep);
    EXPECT_EQ(ParseOutput(44100, text), "30:please check \"psy_data\"\n");
    EXPECT_EQ(ParseOutput(32000, text), otherRow);

    // bo != bu + cbw, and weights of a shared partition that do not add up to one.
    std::string row = kPsyData[bands44 + 5];
    row.replace(row.find("cbw=") + 4, 1, "9");
    text = Corrupted(bands44 + 5, row.c_str(), keep);
    EXPECT_EQ(ParseOutput(44100, text), "31:please check \"psy_data.\"\n");
    row = kPsyData[bands44 + 5];
    row.replace(row.find("w1=") + 3, 5, "0.500");
    text = Corrupted(bands44 + 5, row.c_str(), keep);
    EXPECT_EQ(ParseOutput(44100, text), "31:please check \"psy_data.\"\n");
}

TEST(PsyTablesDeathTest, RowsThatWouldOverrunTheTablesAreRejected) {
    std::string keep;
    const int long44 = Header("freq = 44100.0 partition = 62");
    // A partition wider than the spectrum.
    auto text =
        Corrupted(long44 + 1, "No= 0 #lines=600 minval=24.5 qthr=   4.532 norm=0.951 bval=   0.000", keep);
    EXPECT_EQ(ParseOutput(44100, text), "please check \"psy_data\"");
    // A band drawing on a partition the set does not have.
    const int bands44 = Header("freq=44100 sb=20");
    text = Corrupted(bands44 + 1, "sb= 0 cbw=3 bu= 0 bo=70 w1=1.000 w2=0.056", keep);
    EXPECT_EQ(ParseOutput(44100, text), "31:please check \"psy_data.\"\n");
    // A text cut short.
    std::vector<const char*> cut(kPsyData, kPsyData + kPsyDataLines - 1);
    EXPECT_EQ(ParseOutput(44100, cut), "please check \"psy_data.\"\n");
}

}  // namespace
