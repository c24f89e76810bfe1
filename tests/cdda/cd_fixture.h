// Test discs in the virtual drives of the image library, and what the extraction reports.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cdda/cd_reader.h"
#include "cdda/track_extractor.h"
#include "tests/support/cd_image.h"
#include "tests/support/wav_writer.h"

namespace cdtest {

// A folder with discs, put in the image library's drives for the test's lifetime. The
// transport loads its library once per process, so every test names the same one.
class Discs {
  public:
    Discs() {
        setenv("VELTO_ASPI_LIBRARY", (std::string(VELTO_BIN_DIR) + "/libwnaspi32-image.so").c_str(), 1);
        unsetenv("VELTO_CD_IMAGES");
        unsetenv("VELTO_CD_FAULTS");
        cdda::CAspiManager::Instance().SetWaitMsForTesting(10000);
        cdda::CAspiManager::Instance().ResumeWaitsForTesting();
    }
    ~Discs() {
        unsetenv("VELTO_CD_IMAGES");
        unsetenv("VELTO_CD_FAULTS");
        cdda::CAspiManager::Instance().SetWaitMsForTesting(10000);
        cdda::CAspiManager::Instance().ResumeWaitsForTesting();
    }
    Discs(const Discs&) = delete;
    Discs& operator=(const Discs&) = delete;

    // Puts a disc of these tracks into a target; returns its CUE path.
    std::string Insert(int target, const std::vector<testcd::TrackSpec>& tracks) {
        const std::string cue = testcd::WriteCueBin(dir.Path(), "disc" + std::to_string(target), tracks);
        discs_[target] = tracks;
        Assign(target, cue);
        return cue;
    }
    // A drive whose disc cannot be read.
    void InsertUnreadable(int target) { Assign(target, dir.File("missing.cue")); }
    void Faults(const std::string& faults) { setenv("VELTO_CD_FAULTS", faults.c_str(), 1); }

    // The disc's bytes from its first sector on, as its BIN holds them.
    std::vector<std::uint8_t> Bin(int target) const {
        return testwav::ReadBytes(dir.File("disc" + std::to_string(target) + ".bin"));
    }
    std::vector<std::uint8_t> TrackBytes(int target, int k) const {
        return testcd::TrackBytes(discs_.at(target).at(static_cast<std::size_t>(k)));
    }
    std::uint32_t First(int target, int k) const {
        return static_cast<std::uint32_t>(testcd::TrackStart(discs_.at(target), k));
    }
    std::uint32_t Last(int target, int k) const {
        return First(target, k) +
               static_cast<std::uint32_t>(discs_.at(target).at(static_cast<std::size_t>(k)).sectors) - 1;
    }

    testwav::TempDir dir;

  private:
    void Assign(int target, const std::string& cue) {
        assignments_[target] = cue;
        std::string value;
        for (const auto& [t, path] : assignments_) {
            if (!value.empty()) value.push_back(',');
            value.append(std::to_string(t)).append("=").append(path);
        }
        setenv("VELTO_CD_IMAGES", value.c_str(), 1);
    }
    std::map<int, std::string> assignments_;
    std::map<int, std::vector<testcd::TrackSpec>> discs_;
};

// The window of an extraction: records reports and asks for a stop after a number of them.
class RecordingHost : public cdda::ExtractionHost {
  public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ReportProgress(int percent, float speed) override {
        percents.push_back(percent);
        speeds.push_back(speed);
        if (stopAfterReports > 0 && static_cast<int>(percents.size()) >= stopAfterReports) stop = true;
    }
    bool StopRequested() const override { return stop; }
    void SetExtracting(bool running) override {
        extracting = running;
        running ? ++extractingSet : ++extractingCleared;
    }
    void SetExtractStart(long long seconds) override { start = seconds; }
    void AddExcludedSeconds(long long seconds) override { excluded += seconds; }

    std::vector<std::string> statuses;
    std::vector<int> percents;
    std::vector<float> speeds;
    int stopAfterReports = 0;
    bool stop = false;
    bool extracting = false;
    int extractingSet = 0, extractingCleared = 0;
    long long start = 0, excluded = 0;
};

// The samples of a WAV file the extraction wrote, after checking its 44-byte header says
// how many there are.
inline std::vector<std::uint8_t> WavData(const std::string& path) {
    std::vector<std::uint8_t> bytes = testwav::ReadBytes(path);
    if (bytes.size() < 44) {
        ADD_FAILURE() << path << " holds no header";
        return {};
    }
    std::uint8_t expected[44];
    cdda::MakeWavHeader(static_cast<std::uint32_t>(bytes.size() - 44), expected);
    EXPECT_EQ(0, std::memcmp(bytes.data(), expected, 44))
        << "the header does not tell what " << path << " holds";
    return std::vector<std::uint8_t>(bytes.begin() + 44, bytes.end());
}

}  // namespace cdtest
