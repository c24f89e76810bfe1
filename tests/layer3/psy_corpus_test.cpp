// Block switching on real recordings: the share of short granules per file of the folder that
// VELTO_CORPUS_DIR names (the developers' corpus; skipped without it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "layer3/psy_model.h"
#include "layer3/wave_reader.h"

namespace {

struct ChannelState {
    std::int16_t history[layer3::kPsyHistory] = {};
    double ratioL[layer3::kLongBands] = {};
    double ratioS[layer3::kShortBands][layer3::kShortWindows] = {};
    double pe = 0;
    layer3::GranuleInfo gi;
};

TEST(PsyCorpusTest, ShortBlockShareOfEachRecording) {
    const char* dir = std::getenv("VELTO_CORPUS_DIR");
    if (dir == nullptr) GTEST_SKIP() << "VELTO_CORPUS_DIR is not set";
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".wav") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    auto model = std::make_unique<layer3::CPsychoModel>();
    for (const auto& file : files) {
        layer3::CWaveReader reader;
        ASSERT_EQ(reader.Open(file.string()), 1) << file;
        model->Setup(reader.sampleRate);
        const int channels = reader.channels;
        auto state = std::make_unique<ChannelState[]>(channels);
        std::vector<std::int16_t> interleaved(576 * channels);
        std::int16_t granule[576];
        int granules = 0, shortBlocks = 0, switched = 0;
        while (reader.ReadSamples(interleaved.data(), int(interleaved.size())) > 0) {
            for (int ch = 0; ch < channels; ++ch) {
                for (int i = 0; i < 576; ++i)
                    granule[i] = interleaved[i * channels + ch];
                ChannelState& s = state[ch];
                model->Analyse(ch, granule, s.history, s.ratioL, s.ratioS, s.pe, s.gi);
                ++granules;
                shortBlocks += s.gi.block_type == 2;
                switched += s.gi.block_type != 0;
            }
        }
        std::printf("%-36s %5d granules  short %4d (%5.2f%%)  start/short/stop %5.2f%%\n",
                    file.filename().string().c_str(), granules, shortBlocks, 100.0 * shortBlocks / granules,
                    100.0 * switched / granules);
        EXPECT_LT(shortBlocks, granules / 2) << file;
    }
}

}  // namespace
