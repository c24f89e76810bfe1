#include "input/rates.h"

#include <initializer_list>

namespace input {

bool IsEncoderRate(int rate) {
    return rate == 32000 || rate == 44100 || rate == 48000;
}

int EncoderRateFor(int sourceRate) {
    if (IsEncoderRate(sourceRate) || sourceRate <= 0) return sourceRate;
    // 48 kHz first: of 8 kHz and 16 kHz, which also divide 32 kHz, the higher rate keeps more.
    for (int rate : {48000, 44100, 32000}) {
        const bool multiple = sourceRate % rate == 0;
        const bool divisor = rate % sourceRate == 0;
        if (multiple || divisor) return rate;
    }
    return 48000;
}

}  // namespace input
