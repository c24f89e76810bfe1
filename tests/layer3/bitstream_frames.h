// Test support: builds MPEG-1 Layer III streams from chosen quantized values through the
// counting stage, the reservoir and the formatter, the way the encoder session drives them,
// and keeps what each frame was given so tests can check the stream against it.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/frame_formatter.h"
#include "layer3/huffman_count.h"
#include "layer3/reservoir.h"
#include "layer3/side_info.h"
#include "layer3/side_info_layout.h"
#include "platform/file.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

namespace bitstreamtest {

using namespace layer3;

inline int RateIndex(int hz) {
    return hz == 48000 ? 1 : hz == 32000 ? 2 : 0;
}

inline int BitrateIndex(int kbps) {
    for (int i = 1; i < 15; ++i)
        if (kBitrateTable[i] == kbps)
            return i;
    return 9;
}

// Block kinds of a granule.
enum Block { kLong = 0, kStart = 1, kShort = 2, kStop = 3 };

inline void SetBlock(GranuleInfo& gi, Block b) {
    gi.window_switching_flag = b != kLong;
    gi.block_type = static_cast<unsigned>(b);
    gi.mixed_block_flag = 0;
}

// What one frame was formatted from (values with their signs applied).
struct FrameRecord {
    int ix[2][2][576];
    FrameScaleFactors sf;
    SideInfo side;
};

class StreamBuilder {
  public:
    StreamBuilder(int rateHz, int kbps, int channels) {
        s.version = 1;
        s.stereo = channels;
        s.mode = channels == 2 ? 0 : 3;
        s.samplingFrequencyHz = rateHz;
        s.samplingFrequencyIndex = RateIndex(rateHz);
        s.bitrateIndex = BitrateIndex(kbps);
        s.Bitrate = kbps;
        s.granulesPerFrame = 2;
        s.samplesPerFrame = 1152;
        avgSlots_ = (1152.0 / (rateHz * 0.001)) * (kbps / 8.0);
        wholeSlots_ = static_cast<int>(avgSlots_);
        fracSlots_ = avgSlots_ - wholeSlots_;
        slotLag_ = -fracSlots_;
        path_ = dir_.File("out.mp3");
        file_.Create(path_);
        formatter.Open(file_, s);
        reservoir.Reset();
    }

    // Values of granule (gr, ch) for the next frame; the caller fills them and the block kind.
    int (&Values(int gr, int ch))[576] { return ix[gr][ch]; }

    // Runs the counting stage on a granule as the rate-control loop does and sets its
    // part2_3_length; returns the Huffman bits it predicts.
    int Prepare(int gr, int ch) {
        GranuleInfo& gi = side.gr[gr][ch];
        const auto& bands = tables::kScalefactorBands[s.samplingFrequencyIndex];
        CalcRunLength(ix[gr][ch], gi);
        const int count1Bits = Count1BitCount(ix[gr][ch], gi);
        Subdivide(gi, bands);
        BigValuesTableSelect(ix[gr][ch], gi, bands);
        if (forcedTable >= 0 && !IsShortBlock(gi))
            gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = static_cast<unsigned>(forcedTable);
        const int bigBits = CountBit(ix[gr][ch], gi, bands);
        gi.part2_length = static_cast<unsigned>(ScalefactorBits(gi, side.scfsi[ch], gr));
        gi.part2_3_length = gi.part2_length + static_cast<unsigned>(bigBits + count1Bits);
        return bigBits + count1Bits;
    }

    // Bits the granules of the next frame may use together: the frame's share plus the
    // reservoir.
    int NextFrameBudget() const { return 2 * MeanBitsFor(NextPadding()) + reservoir.Size(); }
    int MeanBits() const { return meanBits_; }

    // Formats one frame from Values() and the side information already set.
    void Frame() {
        UpdatePadding();
        s.bitsPerFrame = 8 * (wholeSlots_ + s.padding);
        meanBits_ = MeanBitsFor(s.padding);
        side.reservoirDrain = 0;
        reservoir.FrameBegin(meanBits_, s.bitsPerFrame, s);
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < s.stereo; ++ch) {
                Prepare(gr, ch);
                reservoir.Adjust(side.gr[gr][ch], meanBits_, s.stereo);
            }
        reservoir.FrameEnd(side, meanBits_, s, s.stereo);
        mainDataBegin.push_back(side.main_data_begin);
        int bits = side.reservoirDrain;
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < s.stereo; ++ch)
                bits += static_cast<int>(side.gr[gr][ch].part2_3_length);
        mainDataBits.push_back(bits);
        frameBits.push_back(s.bitsPerFrame);
        formatter.FormatFrame(ix, side, sf, xr, nullptr, 0);
        records.emplace_back();
        std::copy(&ix[0][0][0], &ix[0][0][0] + 2 * 2 * 576, &records.back().ix[0][0][0]);
        records.back().sf = sf;
        records.back().side = side;
        reservoirAfter.push_back(reservoir.Size());
    }

    // Finishes this file and starts the next one on the same formatter and reservoir, as the
    // session does from one input to the next; returns the finished file's bytes.
    std::vector<std::uint8_t> Restart() {
        const std::vector<std::uint8_t> bytes = Finish();
        path_ = dir_.File("out" + std::to_string(++files_) + ".mp3");
        file_.Create(path_);
        side = SideInfo{};
        formatter.Open(file_, s);
        reservoir.Reset();
        slotLag_ = -fracSlots_;
        mainDataBegin.clear();
        mainDataBits.clear();
        frameBits.clear();
        reservoirAfter.clear();
        records.clear();
        return bytes;
    }

    std::vector<std::uint8_t> Finish() {
        formatter.Flush();
        writerOk = formatter.Writer().Close();
        fileOk = file_.Close();
        return testwav::ReadBytes(path_);
    }

    EncodingSettings s;
    CFrameFormatter formatter;
    CBitReservoir reservoir;
    SideInfo side;
    QuantizedValues ix = {};
    FrameScaleFactors sf;
    Spectrum xr = {};
    std::vector<int> mainDataBegin, mainDataBits, frameBits, reservoirAfter;
    std::vector<FrameRecord> records;
    bool writerOk = false, fileOk = false;
    int forcedTable = -1;  // when set, long granules code every region with this table

  private:
    int MeanBitsFor(int padding) const {
        return (8 * (wholeSlots_ + padding) - HeaderAndSideInfoBits(s, s.stereo)) / 2;
    }
    int NextPadding() const {
        if (fracSlots_ == 0)
            return 0;
        return slotLag_ > fracSlots_ - 1 ? 0 : 1;
    }
    void UpdatePadding() {
        s.padding = NextPadding();
        if (fracSlots_ != 0)
            slotLag_ += s.padding ? 1 - fracSlots_ : -fracSlots_;
    }

    testwav::TempDir dir_;
    std::string path_;
    platform::OutputFile file_;
    double avgSlots_ = 0, fracSlots_ = 0, slotLag_ = 0;
    int wholeSlots_ = 0;
    int meanBits_ = 0;
    int files_ = 0;
};

// Reads the 9-bit main_data_begin of every frame (MPEG-1, no CRC) by walking frame lengths.
inline std::vector<int> ReadMainDataBegins(const std::vector<std::uint8_t>& bytes) {
    std::vector<int> values;
    std::size_t pos = 0;
    for (const auto& h : testmp3::ParseHeaders(bytes)) {
        values.push_back((bytes[pos + 4] << 1) | (bytes[pos + 5] >> 7));
        pos += static_cast<std::size_t>(h.lengthBytes);
    }
    return values;
}

}  // namespace bitstreamtest
