#include "layer3/frame_formatter.h"

#include <new>

#include "job/encoding_settings.h"
#include "layer3/huffman_coder.h"
#include "layer3/side_info_layout.h"
#include "layer3/vector_kernels.h"
#include "platform/fatal_error.h"
#include "platform/file.h"

namespace layer3 {

struct CFrameFormatter::SideInfoLink {
    int frameLength = 0;     // bits
    int sideInfoLength = 0;  // header and side information bits
    int granules = 0;
    int channels = 0;
    BitFieldList header{12};
    BitFieldList frame{12};
    BitFieldList channel[kMaxChannels] = {BitFieldList(8), BitFieldList(8)};
    BitFieldList granule[kMaxGranules][kMaxChannels] = {{BitFieldList(32), BitFieldList(32)},
                                                        {BitFieldList(32), BitFieldList(32)}};
    SideInfoLink* next = nullptr;
};

namespace {

// Scalefactor groups of a long block (bands first..last) and whether slen1 codes them.
struct LongGroup {
    int first;
    int last;
    bool lower;
};
constexpr LongGroup kLongGroups[4] = {{0, 5, true}, {6, 10, true}, {11, 15, false}, {16, 20, false}};

void AppendScalefactors(const GranuleInfo& gi, const ScaleFactors& sf, const int (&scfsi)[4], int gr,
                        BitFieldList& out) {
    out.Clear();
    const int slen1 = tables::kSlen1[gi.scalefac_compress & 15];
    const int slen2 = tables::kSlen2[gi.scalefac_compress & 15];
    if (IsShortBlock(gi)) {
        for (int sfb = 0; sfb < 12; ++sfb)
            for (int w = 0; w < 3; ++w)
                out.Add(static_cast<std::uint32_t>(sf.s[sfb][w]), sfb < 6 ? slen1 : slen2);
        return;
    }
    for (int g = 0; g < 4; ++g) {
        if (gr == 1 && scfsi[g]) continue;
        for (int sfb = kLongGroups[g].first; sfb <= kLongGroups[g].last; ++sfb)
            out.Add(static_cast<std::uint32_t>(sf.l[sfb]), kLongGroups[g].lower ? slen1 : slen2);
    }
}

}  // namespace

int ScalefactorBits(const GranuleInfo& gi, const int (&scfsi)[4], int gr) {
    const int slen1 = tables::kSlen1[gi.scalefac_compress & 15];
    const int slen2 = tables::kSlen2[gi.scalefac_compress & 15];
    if (IsShortBlock(gi)) return 18 * slen1 + 18 * slen2;
    int bits = 0;
    for (int g = 0; g < 4; ++g)
        if (!(gr == 1 && scfsi[g]))
            bits += (kLongGroups[g].last - kLongGroups[g].first + 1) * (kLongGroups[g].lower ? slen1 : slen2);
    return bits;
}

CFrameFormatter::CFrameFormatter() : header_(12), frameSide_(12), ancillary_(8) {
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        channelSide_[ch] = BitFieldList(8);
        for (int gr = 0; gr < kMaxGranules; ++gr) {
            granuleSide_[gr][ch] = BitFieldList(32);
            scalefactors_[gr][ch] = BitFieldList(64);
            huffman_[gr][ch] = BitFieldList(576);
            extraSpectral_[gr][ch] = BitFieldList(4);
        }
    }
}

CFrameFormatter::~CFrameFormatter() = default;

void CFrameFormatter::Open(platform::OutputFile& file, const EncodingSettings& settings) {
    if (!writer_.Open(file)) platform::FatalError("File non aperto.");
    settings_ = &settings;
    stereo_ = settings.stereo == 2 ? 2 : 1;
    granules_ = settings.granulesPerFrame == 1 ? 1 : 2;
    const int rateIndex = settings.samplingFrequencyIndex;
    bands_ = &tables::kScalefactorBands[rateIndex >= 0 && rateIndex <= 2 ? rateIndex : 0];
    ClearQueue();
    opened_ = true;
}

namespace {

// Negates the values whose spectral line is negative. The sign of music is a coin toss, so a
// jump per line would be mispredicted half the time: the negation is selected instead.
VELTO_VECTOR_KERNEL void ApplyLineSigns(const double* __restrict xr, int* __restrict ix) {
    for (int i = 0; i < kGranuleLines; ++i) {
        const int v = ix[i];
        ix[i] = xr[i] < 0 && v > 0 ? -v : v;
    }
}

}  // namespace

void CFrameFormatter::FormatFrame(QuantizedValues& ix, SideInfo& side, const FrameScaleFactors& scalefactors,
                                  const Spectrum& xr, const std::uint8_t* ancillary, int ancillaryBits) {
    ApplySigns(xr, ix);
    FormatSignedFrame(ix, side, scalefactors, ancillary, ancillaryBits);
}

void CFrameFormatter::ApplySigns(const Spectrum& xr, QuantizedValues& ix) const {
    for (int gr = 0; gr < granules_; ++gr)
        for (int ch = 0; ch < stereo_; ++ch)
            ApplyLineSigns(xr[gr][ch], ix[gr][ch]);
}

void CFrameFormatter::FormatSignedFrame(const QuantizedValues& ix, SideInfo& side,
                                        const FrameScaleFactors& scalefactors, const std::uint8_t* ancillary,
                                        int ancillaryBits) {
    AppendHeader(*settings_, header_);
    AppendSideInfo(side, granules_, stereo_, frameSide_, channelSide_, granuleSide_);
    BuildMainData(ix, side, scalefactors, ancillary, ancillaryBits);
    Enqueue(settings_->bitsPerFrame);

    // The main data must end within the frames whose headers are known: it never reaches into
    // a frame not yet formatted.
    if (MainDataBits() > remaining_ + QueuedMainDataBits()) platform::FatalError("main data overflow");
    WriteMainData();

    const int next = remaining_ / 8 + QueuedMainDataBits() / 8;
    if (next > (settings_->version == 1 ? 511 : 255)) platform::FatalError("main_data_begin > 511");
    side.main_data_begin = next;
}

void CFrameFormatter::BuildMainData(const QuantizedValues& ix, const SideInfo& side,
                                    const FrameScaleFactors& scalefactors, const std::uint8_t* ancillary,
                                    int ancillaryBits) {
    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < stereo_; ++ch) {
            const GranuleInfo& gi = side.gr[gr][ch];
            AppendScalefactors(gi, scalefactors.sf[gr][ch], side.scfsi[ch], gr, scalefactors_[gr][ch]);
            EncodeGranuleHuffman(ix[gr][ch], gi, *bands_, huffman_[gr][ch]);
            extraSpectral_[gr][ch].Clear();
        }
    }
    ancillary_.Clear();
    if (ancillary && ancillaryBits > 0) {
        const int bytes = ancillaryBits / 8, rest = ancillaryBits % 8;
        for (int i = 0; i < bytes; ++i)
            ancillary_.Add(ancillary[i], 8);
        if (rest) ancillary_.Add(static_cast<std::uint32_t>(ancillary[bytes] >> (8 - rest)), rest);
    }
    if (side.reservoirDrain > 0) ancillary_.AddRun(false, side.reservoirDrain);
}

CFrameFormatter::SideInfoLink* CFrameFormatter::TakeFreeLink() {
    if (freeLinks_) {
        SideInfoLink* link = freeLinks_;
        freeLinks_ = link->next;
        link->next = nullptr;
        return link;
    }
    try {
        links_.push_back(std::make_unique<SideInfoLink>());
    } catch (const std::bad_alloc&) {
        platform::FatalError("cannot allocate side_info_link");
    }
    return links_.back().get();
}

void CFrameFormatter::Enqueue(int frameLengthBits) {
    SideInfoLink* link = TakeFreeLink();
    link->frameLength = frameLengthBits;
    link->granules = granules_;
    link->channels = stereo_;
    link->header.CopyFrom(header_);
    link->frame.CopyFrom(frameSide_);
    int sideBits = header_.Bits() + frameSide_.Bits();
    for (int ch = 0; ch < stereo_; ++ch) {
        link->channel[ch].CopyFrom(channelSide_[ch]);
        sideBits += channelSide_[ch].Bits();
    }
    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < stereo_; ++ch) {
            link->granule[gr][ch].CopyFrom(granuleSide_[gr][ch]);
            sideBits += granuleSide_[gr][ch].Bits();
        }
    }
    link->sideInfoLength = sideBits;
    if (queueTail_)
        queueTail_->next = link;
    else
        queueHead_ = link;
    queueTail_ = link;
}

int CFrameFormatter::QueuedMainDataBits() const {
    int bits = 0;
    for (const SideInfoLink* link = queueHead_; link; link = link->next)
        bits += link->frameLength - link->sideInfoLength;
    return bits;
}

int CFrameFormatter::QueuedFrames() const {
    int n = 0;
    for (const SideInfoLink* link = queueHead_; link; link = link->next)
        ++n;
    return n;
}

int CFrameFormatter::MainDataBits() const {
    int bits = ancillary_.Bits();
    for (int gr = 0; gr < granules_; ++gr)
        for (int ch = 0; ch < stereo_; ++ch)
            bits += scalefactors_[gr][ch].Bits() + huffman_[gr][ch].Bits() + extraSpectral_[gr][ch].Bits();
    return bits;
}

void CFrameFormatter::WriteMainData() {
    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < stereo_; ++ch) {
            for (const BitField& f : scalefactors_[gr][ch])
                WriteMainDataField(f.value, f.length);
            for (const BitField& f : huffman_[gr][ch])
                WriteMainDataField(f.value, f.length);
            for (const BitField& f : extraSpectral_[gr][ch])
                WriteMainDataField(f.value, f.length);
        }
    }
    for (const BitField& f : ancillary_)
        WriteMainDataField(f.value, f.length);
}

void CFrameFormatter::WriteMainDataField(std::uint32_t value, int n) {
    // Most fields fit in the frame being filled.
    if (n > 0 && n <= remaining_ && bitsInFrame_ != frameSize_) {
        writer_.PutBits(value, n);
        bitsInFrame_ += n;
        remaining_ -= n;
        return;
    }
    while (n > 0) {
        if (bitsInFrame_ == frameSize_) StartNextFrame();
        // The high bits go into this frame; the rest follow the next header.
        const int k = n < remaining_ ? n : remaining_;
        writer_.PutBits(static_cast<std::uint32_t>(std::uint64_t{value} >> (n - k)), k);
        bitsInFrame_ += k;
        remaining_ -= k;
        n -= k;
    }
}

void CFrameFormatter::WriteList(const BitFieldList& list) {
    for (const BitField& f : list)
        writer_.PutBits(f.value, f.length);
}

void CFrameFormatter::StartNextFrame() {
    SideInfoLink* link = queueHead_;
    if (!link) platform::FatalError("main data overflow");
    queueHead_ = link->next;
    if (!queueHead_) queueTail_ = nullptr;
    WriteList(link->header);
    WriteList(link->frame);
    for (int ch = 0; ch < link->channels; ++ch)
        WriteList(link->channel[ch]);
    for (int gr = 0; gr < link->granules; ++gr)
        for (int ch = 0; ch < link->channels; ++ch)
            WriteList(link->granule[gr][ch]);
    frameSize_ = link->frameLength;
    bitsInFrame_ = link->sideInfoLength;
    remaining_ = link->frameLength - link->sideInfoLength;
    link->next = freeLinks_;
    freeLinks_ = link;
}

void CFrameFormatter::Flush() {
    if (!opened_) platform::FatalError("Not properly initialised !!");
    // Zero main data fills the current frame's tail and every queued frame to its length.
    for (int zeros = remaining_ + QueuedMainDataBits(); zeros > 0; zeros -= 32)
        WriteMainDataField(0, zeros < 32 ? zeros : 32);
    ClearQueue();
    opened_ = false;
}

void CFrameFormatter::ClearQueue() {
    while (queueHead_) {
        SideInfoLink* link = queueHead_;
        queueHead_ = link->next;
        link->next = freeLinks_;
        freeLinks_ = link;
    }
    queueTail_ = nullptr;
    bitsInFrame_ = frameSize_ = remaining_ = 0;
}

}  // namespace layer3
