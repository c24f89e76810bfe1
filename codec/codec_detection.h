// The start-up search for the MP3 codec and the process-wide codec-found flag that the
// settings page, the Go handler and the profile code read.
#pragma once

#include <string>

#include "platform/acm_mp3_driver.h"

namespace codec {

// The short name of the codec driver looked for; the trailing blank is part of it.
inline constexpr const char* kCodecDriverName = "MPEG Layer-3 Codec ";

// Loads the system's codec library into the compression manager (for the rest of the process)
// and records whether a driver named kCodecDriverName is installed. Called once at start-up;
// a later call replaces the earlier load. Returns the flag.
bool DetectCodec(const std::string& codecLibrary = platform::kMp3CodecLibrary);

// The codec-found flag: false until DetectCodec has found the codec.
bool CodecFound();

}  // namespace codec
