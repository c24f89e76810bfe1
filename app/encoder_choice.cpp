#include "app/encoder_choice.h"

#include "codec/codec_detection.h"
#include "codec/codec_encoder.h"
#include "layer3/layer3_encoder.h"

bool DetectCodecAtStartUp() {
    static const bool found = codec::DetectCodec();
    return found;
}

std::unique_ptr<CEncoder> MakeBatchEncoder(bool useCodec) {
    if (useCodec) return std::make_unique<CCodecEncoder>();
    return std::make_unique<layer3::CLayer3Encoder>();
}

bool CodecCanEncode::CanEncode(int sampleRate, int kbps, int mono) {
    CCodecEncoder codec;
    return codec.CanEncode(sampleRate, kbps, mono != 0);
}
