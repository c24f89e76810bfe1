#include "job/encoding_settings.h"

EncodingSettings encodingSettings;

EncodingSettings::EncodingSettings() {
    ResetToDefaults();
}

void EncodingSettings::ResetToDefaults() {
    version = 1;
    mode = 0;
    Bitrate = 128;
    Deemphasis = 0;
    errorProtection = 0;
    privateBit = 0;
    modeExtension = 0;
    Copyright = 0;
    Original = 0;
    samplingFrequencyIndex = 0;
    bitrateIndex = 9;
    Mono = 0;
    EncodingMode = 1;
}

int EncodingSettings::SetBitrateIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kBitrateTable.size())) return -1;
    bitrateIndex = index;
    Bitrate = kBitrateTable[static_cast<std::size_t>(index)];
    return Bitrate;
}

int EncodingSettings::SetSamplingFrequency(int hz) {
    switch (hz) {
        case 32000:
            samplingFrequencyIndex = 2;
            break;
        case 48000:
            samplingFrequencyIndex = 1;
            break;
        case 44100:
            samplingFrequencyIndex = 0;
            break;
        default:
            samplingFrequencyIndex = 0;
            hz = 44100;
            break;
    }
    samplingFrequencyHz = hz;
    return samplingFrequencyIndex;
}
