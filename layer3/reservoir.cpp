#include "layer3/reservoir.h"

#include <algorithm>

#include "job/encoding_settings.h"

namespace layer3 {

namespace {

constexpr int kMaxGranuleBits = 4095;       // part2_3_length has 12 bits
constexpr int kReservoirWindowBits = 7680;  // frame length plus reservoir never exceeds this

}  // namespace

void CBitReservoir::Reset() {
    reservoirSize_ = 0;
    reservoirMax_ = 0;
}

void CBitReservoir::FrameBegin(int /*meanBits*/, int frameLengthBits, const EncodingSettings& settings) {
    reservoirMax_ = frameLengthBits <= kReservoirWindowBits ? kReservoirWindowBits - frameLengthBits : 0;
    // main_data_begin counts whole bytes: 9 bits (511 bytes) in MPEG-1, 8 bits otherwise.
    const int addressable = settings.version == 1 ? 4088 : 2040;
    reservoirMax_ = std::min(reservoirMax_, addressable);
}

int CBitReservoir::MaxBits(double perceptualEntropy, int meanBits, int stereo) const {
    const int share = meanBits / stereo;
    const int max = std::min(share, kMaxGranuleBits);
    if (reservoirMax_ == 0) return max;
    // Clamped before truncation, so that an absurd entropy cannot overflow the conversion.
    const double wanted = std::clamp(perceptualEntropy * 3.1 - share, -1e9, 1e9);
    const int more = static_cast<int>(wanted);
    int add = 0;
    if (more > 100) add = std::min((reservoirSize_ * 6) / 10, more);
    // A nearly full reservoir is spent regardless, so that it does not overflow into stuffing.
    const int over = reservoirSize_ - (reservoirMax_ * 8) / 10;
    if (over > add) add = over;
    return std::min(max + add, kMaxGranuleBits);
}

void CBitReservoir::Adjust(const GranuleInfo& gi, int meanBits, int stereo) {
    reservoirSize_ += meanBits / stereo - static_cast<int>(gi.part2_3_length);
}

void CBitReservoir::FrameEnd(SideInfo& side, int meanBits, const EncodingSettings& settings, int stereo) {
    if (stereo == 2 && (meanBits & 1)) reservoirSize_ += 1;
    const int over = std::max(reservoirSize_ - reservoirMax_, 0);
    reservoirSize_ -= over;
    int stuffing = over;
    // The reservoir holds whole bytes, as main_data_begin counts bytes.
    const int r = reservoirSize_ % 8;
    if (r != 0) {
        reservoirSize_ -= r;
        stuffing += r;
    }
    if (stuffing > 0) DistributeStuffing(side, stuffing, settings.granulesPerFrame, stereo);
}

void CBitReservoir::DistributeStuffing(SideInfo& side, int stuffing, int granules, int stereo) {
    GranuleInfo& first = side.gr[0][0];
    if (static_cast<int>(first.part2_3_length) + stuffing < kMaxGranuleBits) {
        first.part2_3_length += static_cast<unsigned>(stuffing);
        return;
    }
    for (int gr = 0; gr < granules && stuffing > 0; ++gr) {
        for (int ch = 0; ch < stereo && stuffing > 0; ++ch) {
            GranuleInfo& gi = side.gr[gr][ch];
            const int room = kMaxGranuleBits - static_cast<int>(gi.part2_3_length);
            const int given = std::clamp(room, 0, stuffing);
            gi.part2_3_length += static_cast<unsigned>(given);
            stuffing -= given;
        }
    }
    side.reservoirDrain = stuffing;
}

}  // namespace layer3
