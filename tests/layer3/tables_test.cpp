// The checked-in tables must be exactly what the generator makes of the standard's table data,
// and must hold together as codes: every Huffman table prefix-free and complete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "layer3/tables/analysis_window.h"
#include "layer3/tables/huffman_tables.h"
#include "layer3/tables/scalefactor_tables.h"
#include "tests/support/wav_writer.h"

namespace fs = std::filesystem;
using layer3::tables::kHuffmanTables;

namespace {

std::vector<std::uint8_t> Bytes(const fs::path& p) {
    return testwav::ReadBytes(p.string());
}

TEST(TablesRegeneration, GeneratorReproducesTheCheckedInTables) {
    const fs::path data = VELTO_ISO_TABLES_DIR;
    if (!fs::exists(data)) GTEST_SKIP() << "no table data at " << data;
    const fs::path generator = fs::path(VELTO_BIN_DIR) / "velto-gen-iso-tables";
    ASSERT_TRUE(fs::exists(generator)) << generator;
    testwav::TempDir out;
    const std::string command = generator.string() + " '" + data.string() + "' '" + out.Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const fs::path checkedIn = fs::path(VELTO_SOURCE_DIR) / "layer3" / "tables";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(out.Path())) {
        const fs::path mine = checkedIn / entry.path().filename();
        ASSERT_TRUE(fs::exists(mine)) << "generated but not checked in: " << mine;
        EXPECT_TRUE(Bytes(entry.path()) == Bytes(mine)) << "differs from its data: " << mine;
        ++compared;
    }
    EXPECT_EQ(compared, 6);
}

// True when no codeword of the table is a prefix of another and the Kraft sum is exactly 1.
bool PrefixFreeAndComplete(const layer3::tables::HuffmanTable& t) {
    unsigned long long kraft = 0;  // in units of 2^-32
    for (unsigned i = 0; i < t.entries; ++i) {
        kraft += 1ull << (32 - t.lengths[i]);
        for (unsigned j = 0; j < t.entries; ++j) {
            if (i == j || t.lengths[j] < t.lengths[i]) continue;
            if ((t.codes[j] >> (t.lengths[j] - t.lengths[i])) == t.codes[i]) return false;
        }
    }
    return kraft == (1ull << 32);
}

TEST(Tables, EveryHuffmanCodeIsPrefixFreeAndComplete) {
    for (int n = 1; n < layer3::tables::kHuffmanTableCount; ++n) {
        const auto& t = kHuffmanTables[n];
        if (n == 4 || n == 14) {
            EXPECT_EQ(t.entries, 0u);
            continue;
        }
        ASSERT_GT(t.entries, 0u) << n;
        EXPECT_TRUE(PrefixFreeAndComplete(t)) << "table " << n;
        EXPECT_EQ(t.linmax, (1u << t.linbits) - 1) << n;
    }
    EXPECT_EQ(kHuffmanTables[0].entries, 0u);
}

TEST(Tables, KnownValuesSitWhereTheCoderLooksForThem) {
    // Table 1: (0,0) 1, (0,1) 001, (1,0) 01, (1,1) 000, index x * ylen + y.
    const auto& t1 = kHuffmanTables[1];
    EXPECT_EQ(t1.codes[1], 1u);
    EXPECT_EQ(t1.lengths[1], 3);
    EXPECT_EQ(t1.codes[2], 1u);
    EXPECT_EQ(t1.lengths[2], 2);
    // Count1 table B codes p as the 4-bit value 15 - p.
    for (unsigned p = 0; p < 16; ++p) {
        EXPECT_EQ(kHuffmanTables[33].codes[p], 15 - p);
        EXPECT_EQ(kHuffmanTables[33].lengths[p], 4);
    }
    EXPECT_EQ(layer3::tables::kScalefactorBands[1].l[21], 384);  // rows in header index order: 48000 Hz
    EXPECT_DOUBLE_EQ(layer3::tables::kAnalysisWindow[1], -0.000000477);
    EXPECT_DOUBLE_EQ(layer3::tables::kAnalysisWindow[256], 0.035780907);
    EXPECT_DOUBLE_EQ(layer3::tables::kAnalysisWindow[511], 0.000000477);
}

}  // namespace
