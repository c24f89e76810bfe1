// Which encoder a batch uses, and what the front ends ask of the codec.
#pragma once

#include <memory>

#include "job/encoder.h"
#include "job/job_views.h"

// Looks for the system's MP3 codec once at start-up; later calls give the same answer.
bool DetectCodecAtStartUp();

// The codec encoder when useCodec, otherwise the built-in encoder.
std::unique_ptr<CEncoder> MakeBatchEncoder(bool useCodec);

// The codec's answer to "can you encode this?", through a temporary codec encoder.
class CodecCanEncode : public CodecQuery {
  public:
    bool CanEncode(int sampleRate, int kbps, int mono) override;
};
