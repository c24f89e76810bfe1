#include "codec/codec_detection.h"

#include <atomic>
#include <mutex>

#include "codec/codec_encoder.h"

namespace codec {

namespace {

// What start-up leaves behind for the whole process: the loaded codec driver and the flag.
struct Detection {
    std::mutex mutex;
    platform::AcmDriverRegistration codecDriver;
    std::atomic<bool> found{false};
};

Detection& State() {
    static Detection detection;
    return detection;
}

}  // namespace

bool DetectCodec(const std::string& codecLibrary) {
    Detection& state = State();
    std::lock_guard lock(state.mutex);
    state.codecDriver.Reset();
    state.codecDriver = platform::RegisterMp3CodecDriver(codecLibrary);
    const bool found = CCodecEncoder::IsCodecInstalled(kCodecDriverName);
    state.found.store(found);
    return found;
}

bool CodecFound() {
    return State().found.load();
}

}  // namespace codec
