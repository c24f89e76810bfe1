// The frame formatter: turns each frame's quantized values, scalefactors and side information
// into MPEG-1 Layer III bytes. A frame's main data starts main_data_begin bytes before its own
// header, in the unused tail of earlier frames, so each frame's header and side information
// wait in a queue until the main-data writer reaches that frame's place in the stream; a field
// that straddles a frame boundary is split around the next header.
//
// The encoder session owns one formatter for all its files: Open per file, FormatFrame per
// frame, Flush at the end, then Writer().Close(). After the first frames nothing is allocated.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layer3/bit_field_list.h"
#include "layer3/bit_writer.h"
#include "layer3/side_info.h"
#include "layer3/tables/scalefactor_tables.h"

struct EncodingSettings;

namespace platform {
class OutputFile;
}

namespace layer3 {

// Scalefactor bits of a granule as the formatter writes them (its part2_length): slen1 and
// slen2 by scalefac_compress; in granule 1 of a long block, the groups whose scfsi is set are
// not sent again.
int ScalefactorBits(const GranuleInfo& gi, const int (&scfsi)[4], int gr);

class CFrameFormatter {
  public:
    CFrameFormatter();
    ~CFrameFormatter();
    CFrameFormatter(const CFrameFormatter&) = delete;
    CFrameFormatter& operator=(const CFrameFormatter&) = delete;

    // Starts a file: opens the bit writer on file ("File non aperto." and the end of the
    // process when the file is not open) and keeps the settings, whose frame parameters
    // (padding, bitsPerFrame, ...) are read at every frame.
    void Open(platform::OutputFile& file, const EncodingSettings& settings);
    bool IsOpen() const { return opened_; }

    // Formats one frame. Negates the quantized values whose spectral line is negative, queues
    // the header and side information, writes the main data, and sets side.main_data_begin for
    // the next frame. ancillaryBits bits of ancillary (most significant first) follow the
    // granules, then side.reservoirDrain zero bits.
    void FormatFrame(QuantizedValues& ix, SideInfo& side, const FrameScaleFactors& scalefactors,
                     const Spectrum& xr, const std::uint8_t* ancillary, int ancillaryBits);
    // The same in two parts: the signs from xr, and the rest on values that carry them.
    void ApplySigns(const Spectrum& xr, QuantizedValues& ix) const;
    void FormatSignedFrame(const QuantizedValues& ix, SideInfo& side, const FrameScaleFactors& scalefactors,
                           const std::uint8_t* ancillary, int ancillaryBits);
    // Reads the frame parameters from settings from now on: a copy that the caller sets for
    // each frame, when frames are formatted after the shared settings have moved on.
    void FollowSettings(const EncodingSettings& settings) { settings_ = &settings; }

    // Completes every queued frame to its full length with zero main-data bits, so the stream
    // decodes to its end, and ends the file for the formatter (IsOpen becomes false). Requires
    // an opened formatter ("Not properly initialised !!").
    void Flush();

    BitWriter& Writer() { return writer_; }
    std::int64_t TotalBits() const { return writer_.TotalBits(); }
    // Frames whose header is still held back.
    int QueuedFrames() const;

  private:
    struct SideInfoLink;

    void BuildMainData(const QuantizedValues& ix, const SideInfo& side, const FrameScaleFactors& scalefactors,
                       const std::uint8_t* ancillary, int ancillaryBits);
    void Enqueue(int frameLengthBits);
    SideInfoLink* TakeFreeLink();
    int QueuedMainDataBits() const;
    int MainDataBits() const;
    void WriteMainData();
    void WriteMainDataField(std::uint32_t value, int n);
    void WriteList(const BitFieldList& list);
    void StartNextFrame();
    void ClearQueue();

    BitWriter writer_;
    const EncodingSettings* settings_ = nullptr;
    bool opened_ = false;
    int stereo_ = 1;
    int granules_ = 2;
    const tables::ScalefactorBandBoundaries* bands_ = nullptr;

    // This frame's lists.
    BitFieldList header_;
    BitFieldList frameSide_;
    BitFieldList channelSide_[kMaxChannels];
    BitFieldList granuleSide_[kMaxGranules][kMaxChannels];
    BitFieldList scalefactors_[kMaxGranules][kMaxChannels];
    BitFieldList huffman_[kMaxGranules][kMaxChannels];
    BitFieldList extraSpectral_[kMaxGranules][kMaxChannels];  // always empty
    BitFieldList ancillary_;

    // The queue of frames whose header waits, and the links kept for reuse.
    std::vector<std::unique_ptr<SideInfoLink>> links_;
    SideInfoLink* queueHead_ = nullptr;
    SideInfoLink* queueTail_ = nullptr;
    SideInfoLink* freeLinks_ = nullptr;

    // Main-data writer: the output frame being filled.
    int bitsInFrame_ = 0;
    int frameSize_ = 0;
    int remaining_ = 0;
};

}  // namespace layer3
