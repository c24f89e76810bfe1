// The system's MP3 codec as an audio compression driver: the libmp3lame shared library,
// loaded at run time (never linked), converting 16-bit PCM into MPEG-1 Layer III.
#pragma once

#include <string>

#include "platform/acm.h"

namespace platform {

inline constexpr const char* kMp3CodecLibrary = "libmp3lame.so.0";
// The short name the driver registers under; the trailing blank is part of it.
inline constexpr const char* kMp3CodecShortName = "MPEG Layer-3 Codec ";

// Loads the library (by name as the dynamic loader searches, or by path) and registers the
// driver for as long as the result lives. When the library or one of its entry points is
// missing nothing is registered and the result is empty. For the default library,
// $VELTO_CODEC_LIBRARY, when set, names the file loaded instead.
AcmDriverRegistration RegisterMp3CodecDriver(const std::string& library = kMp3CodecLibrary);

}  // namespace platform
