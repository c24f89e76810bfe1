// Track extraction in its three modes, on drives that behave and on drives that do not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "job/text.h"
#include "platform/scripted_message_box.h"
#include "tests/cdda/cd_fixture.h"

using cdda::ExtractionParameters;
using testcd::Fill;
using testcd::TrackSpec;

namespace {

constexpr int kTarget = 2;

ExtractionParameters Mode(int mode, int n = 26, int s = 3) {
    return ExtractionParameters{mode, n, s};
}

// A disc of four tracks: noise, a tone, a track shorter than one read, and noise with silent
// ends.
struct Disc : cdtest::Discs {
    Disc() {
        Insert(kTarget, {TrackSpec{false, 320, Fill::Noise, 3}, TrackSpec{false, 260, Fill::Tone, 5},
                         TrackSpec{false, 11, Fill::Noise, 8}, TrackSpec{false, 700, Fill::SilentEdges, 4}});
    }
    bool Extract(cdtest::RecordingHost& host, const ExtractionParameters& p, int k, const std::string& name) {
        return cdda::ExtractTrack(host, p, 0, kTarget, First(kTarget, k), Last(kTarget, k), dir.File(name));
    }
};

// Where the extracted audio starts on the disc, in frames from the track's start, when it is a
// contiguous stretch of the disc; nothing otherwise.
std::optional<long> ContiguousOffset(const std::vector<std::uint8_t>& disc, std::size_t trackStartByte,
                                     const std::vector<std::uint8_t>& wav, long range) {
    for (long shift = -range; shift <= range; ++shift) {
        const long begin = static_cast<long>(trackStartByte) + shift * 4;
        if (begin < 0 || static_cast<std::size_t>(begin) + wav.size() > disc.size()) continue;
        if (std::equal(wav.begin(), wav.end(), disc.begin() + begin)) return shift;
    }
    return std::nullopt;
}

}  // namespace

TEST(Extraction, EveryModeCopiesEachTrackByteForByteFromADriveThatBehaves) {
    Disc disc;
    platform::ScriptedMessageBox boxes;
    for (int mode = 0; mode <= 2; ++mode) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(Printf("mode %d, track %d", mode, k + 1));
            cdtest::RecordingHost host;
            const std::string name = Printf("m%dt%d.wav", mode, k);
            ASSERT_TRUE(disc.Extract(host, Mode(mode), k, name));
            EXPECT_EQ(cdtest::WavData(disc.dir.File(name)), disc.TrackBytes(kTarget, k));
            EXPECT_EQ(host.statuses, std::vector<std::string>{"Spinning up drive..."});
            EXPECT_EQ(host.extractingSet, 1);
            EXPECT_EQ(host.extractingCleared, 1);
            EXPECT_FALSE(host.extracting);
            EXPECT_TRUE(std::is_sorted(host.percents.begin(), host.percents.end()));
            for (float speed : host.speeds)
                EXPECT_TRUE(std::isfinite(speed) && speed >= 0.0f);
        }
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(Extraction, ReportsAsEachModeReads) {
    Disc disc;
    cdtest::RecordingHost normal, buffered, jitter;
    // Track 1 covers sectors 0..319: the next sector is a multiple of 100 after 99, 199, 299.
    ASSERT_TRUE(disc.Extract(normal, Mode(0), 0, "n.wav"));
    EXPECT_EQ(normal.percents, (std::vector<int>{31, 62, 93}));
    ASSERT_TRUE(disc.Extract(buffered, Mode(1, 80), 0, "b.wav"));  // reads of 27 at most
    ASSERT_EQ(buffered.percents.size(), 12u);
    EXPECT_EQ(buffered.percents[1], 27 * 100 / 320);
    EXPECT_EQ(buffered.percents[11], 11 * 27 * 100 / 320);
    ASSERT_TRUE(disc.Extract(jitter, Mode(2, 20, 4), 2, "j.wav"));
    EXPECT_TRUE(jitter.percents.empty());  // a track shorter than a read: one read, no report
}

TEST(Extraction, JitterCorrectionJoinsShiftedReadsWithoutDoublingOrLosingAFrame) {
    // Tracks away from the disc's edges, where a shifted read would bring silence. Audio
    // that repeats itself exactly (a pure tone of a whole number of frames per period) matches
    // at more than one place, so no overlap can tell where a shifted read went: noise can.
    cdtest::Discs disc;
    disc.Insert(kTarget, {TrackSpec{false, 100, Fill::Noise, 1}, TrackSpec{false, 330, Fill::Noise, 2},
                          TrackSpec{false, 260, Fill::Noise, 5}, TrackSpec{false, 100, Fill::Noise, 3}});
    const std::vector<std::uint8_t> bin = disc.Bin(kTarget);
    // Consecutive reads may then land up to twice the shift apart: within the overlap of S
    // sectors (S x 588 frames) on either side.
    struct Case {
        int jitter, n, s;
    };
    for (const Case c : {Case{500, 26, 3}, Case{1000, 20, 5}, Case{200, 8, 1}})
        for (int seed : {1, 2, 3}) {
            SCOPED_TRACE(Printf("jitter %d, seed %d", c.jitter, seed));
            disc.Faults(Printf("jitter=%d,seed=%d", c.jitter, seed));
            for (int k : {1, 2}) {
                cdtest::RecordingHost host;
                SCOPED_TRACE(Printf("track %d", k + 1));
                const std::string name = Printf("j%d%d.wav", seed, k);
                ASSERT_TRUE(cdda::ExtractTrack(host, Mode(2, c.n, c.s), 0, kTarget, disc.First(kTarget, k),
                                               disc.Last(kTarget, k), disc.dir.File(name)));
                const std::vector<std::uint8_t> wav = cdtest::WavData(disc.dir.File(name));
                const std::size_t start =
                    disc.First(kTarget, k) * static_cast<std::size_t>(cdda::kSectorBytes);
                // The first read lands where the drive put it; from there on the audio is the
                // disc's, continuous, for the length of the track give or take a sector.
                const std::optional<long> offset = ContiguousOffset(bin, start, wav, c.jitter);
                EXPECT_TRUE(offset.has_value()) << "the extracted audio has a seam";
                const long frames = static_cast<long>(wav.size() / 4);
                EXPECT_LE(std::labs(frames - static_cast<long>(disc.TrackBytes(kTarget, k).size() / 4)),
                          588 + 2 * c.jitter);
            }
        }
}

TEST(Extraction, ModesWithoutCorrectionShowTheDriveShifts) {
    Disc disc;
    const std::vector<std::uint8_t> bin = disc.Bin(kTarget);
    disc.Faults("jitter=1000,seed=5");
    for (int mode : {0, 1}) {
        cdtest::RecordingHost host;
        const std::string name = Printf("u%d.wav", mode);
        ASSERT_TRUE(disc.Extract(host, Mode(mode, 26), 0, name));
        const std::vector<std::uint8_t> wav = cdtest::WavData(disc.dir.File(name));
        EXPECT_NE(wav, disc.TrackBytes(kTarget, 0));
        EXPECT_FALSE(ContiguousOffset(bin, disc.First(kTarget, 0) * std::size_t{2352}, wav, 1000).has_value())
            << "mode " << mode;
    }
}

TEST(Extraction, AnOverlapOfDigitalSilenceJoinsAtTheNominalPlace) {
    cdtest::Discs discs;
    discs.Insert(kTarget,
                 {TrackSpec{false, 120, Fill::Silence}, TrackSpec{false, 700, Fill::SilentEdges, 6}});
    for (int k : {0, 1}) {
        cdtest::RecordingHost host;
        const std::string name = Printf("s%d.wav", k);
        ASSERT_TRUE(cdda::ExtractTrack(host, Mode(2, 10, 5), 0, kTarget, discs.First(kTarget, k),
                                       discs.Last(kTarget, k), discs.dir.File(name)));
        EXPECT_EQ(cdtest::WavData(discs.dir.File(name)), discs.TrackBytes(kTarget, k));
    }
}

TEST(Extraction, AStopEndsEachModeAsItShould) {
    Disc disc;
    const std::vector<std::uint8_t> track = disc.TrackBytes(kTarget, 0);
    auto sectors = [&](int from, int count) {
        return std::vector<std::uint8_t>(track.begin() + from * 2352, track.begin() + (from + count) * 2352);
    };
    cdtest::RecordingHost normal;
    normal.stopAfterReports = 1;  // at sector 99: that sector is written, then the loop ends
    ASSERT_TRUE(disc.Extract(normal, Mode(0), 0, "n.wav"));
    EXPECT_EQ(cdtest::WavData(disc.dir.File("n.wav")), sectors(0, 100));

    cdtest::RecordingHost buffered;
    buffered.stopAfterReports = 2;
    ASSERT_TRUE(disc.Extract(buffered, Mode(1, 20), 0, "b.wav"));
    EXPECT_EQ(cdtest::WavData(disc.dir.File("b.wav")), sectors(0, 40));

    // Jitter Correction writes the new read whole; what the old one held is not written.
    cdtest::RecordingHost jitter;
    jitter.stopAfterReports = 1;
    ASSERT_TRUE(disc.Extract(jitter, Mode(2, 20, 4), 0, "j.wav"));
    EXPECT_EQ(cdtest::WavData(disc.dir.File("j.wav")), sectors(16, 20));
}

TEST(Extraction, AFailedReadIsReportedAndKeepsWhatWasRead) {
    Disc disc;
    platform::ScriptedMessageBox boxes;
    disc.Faults(Printf("fail=%u", disc.First(kTarget, 0) + 45));
    for (int mode = 0; mode <= 2; ++mode) {
        cdtest::RecordingHost host;
        const std::string name = Printf("f%d.wav", mode);
        EXPECT_FALSE(disc.Extract(host, Mode(mode, 20), 0, name));
        EXPECT_FALSE(host.extracting);
        EXPECT_EQ(host.excluded, 0);
        const std::vector<std::uint8_t> wav = cdtest::WavData(disc.dir.File(name));
        const std::vector<std::uint8_t> track = disc.TrackBytes(kTarget, 0);
        // Normal mode read up to sector 44; Buffered mode wrote two reads of 20 sectors.
        if (mode == 0) {
            EXPECT_EQ(wav, std::vector<std::uint8_t>(track.begin(), track.begin() + 45 * 2352));
        } else if (mode == 1) {
            EXPECT_EQ(wav, std::vector<std::uint8_t>(track.begin(), track.begin() + 40 * 2352));
        }
    }
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(3, "Cannot read from CD."));

    boxes.Clear();
    disc.Faults("fail=0");  // the spin-up read
    cdtest::RecordingHost host;
    EXPECT_FALSE(disc.Extract(host, Mode(1), 1, "spin.wav"));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Cannot read from CD."});
    EXPECT_TRUE(cdtest::WavData(disc.dir.File("spin.wav")).empty());
}

TEST(Extraction, ARequestThatNeverCompletesIsAbortedAfterTheWait) {
    Disc disc;
    platform::ScriptedMessageBox boxes;
    disc.Faults(Printf("pending=%u", disc.First(kTarget, 1) + 30));
    cdda::CAspiManager::Instance().SetWaitMsForTesting(300);
    cdtest::RecordingHost host;
    EXPECT_FALSE(disc.Extract(host, Mode(1, 26), 1, "p.wav"));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Cannot read from CD."});
    EXPECT_EQ(cdtest::WavData(disc.dir.File("p.wav")).size(), 26u * 2352);
}

TEST(Extraction, AsksBeforeMakingAMissingFolder) {
    Disc disc;
    platform::ScriptedMessageBox boxes;
    boxes.Answer(platform::IDYES);
    cdtest::RecordingHost host;
    ASSERT_TRUE(disc.Extract(host, Mode(1), 2, "new/t.wav"));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{disc.dir.File("new") +
                                                      " does not exists.\nDo you want to create it?"});
    EXPECT_EQ(cdtest::WavData(disc.dir.File("new/t.wav")), disc.TrackBytes(kTarget, 2));

    boxes.Clear();
    boxes.Answer(platform::IDNO);
    EXPECT_FALSE(disc.Extract(host, Mode(1), 2, "other/t.wav"));
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[1],
              "Cannot create file " + disc.dir.File("other/t.wav") + ": No such file or directory.");
    EXPECT_FALSE(std::filesystem::exists(disc.dir.File("other")));
}

TEST(Extraction, JunctionSearchFindsTheOverlapAndFallsBackToTheNominalPlace) {
    constexpr int n = 4, s = 2, frames = n * 588;
    std::vector<std::uint32_t> old(frames), fresh(frames);
    for (int i = 0; i < frames; ++i)
        old[static_cast<std::size_t>(i)] = 0x10000u + static_cast<std::uint32_t>(i) * 2654435761u;
    // The new read begins 100 frames after where it was asked to.
    std::copy(old.begin() + (n - s) * 588 + 100, old.end(), fresh.begin());
    cdda::JunctionMatch m = cdda::Match(fresh.data(), old.data(), frames, n, s, 0);
    EXPECT_TRUE(m.found);
    EXPECT_EQ(m.frames, (n - s) * 588 + 100);
    // Nothing like it in the old read.
    std::fill(fresh.begin(), fresh.end(), 7u);
    m = cdda::Match(fresh.data(), old.data(), frames, n, s, 0);
    EXPECT_FALSE(m.found);
    EXPECT_EQ(m.frames, (n - s) * 588);
    // Before the old read's start nothing is compared.
    m = cdda::Match(fresh.data(), old.data(), frames, n, s, 3);
    EXPECT_FALSE(m.found);
}
