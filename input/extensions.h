// The file name extensions of the audio files Velto reads, for the Add dialog's filter, the
// expansion of a folder on the command line and the naming of outputs. Header-only, so that
// every layer can ask without linking the readers.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

namespace input {

// Lower case, without the dot. "wav" first: it is the classic input.
inline constexpr std::array<std::string_view, 10> kAudioExtensions = {"wav", "flac", "aif", "aiff", "aifc",
                                                                      "w64", "rf64", "ogg", "oga",  "caf"};

// The extension of a file name in lower case without its dot, or empty when it has none.
inline std::string ExtensionOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

inline bool HasAudioExtension(const std::string& path) {
    const std::string ext = ExtensionOf(path);
    return std::find(kAudioExtensions.begin(), kAudioExtensions.end(), ext) != kAudioExtensions.end();
}

// The Add dialog's filters: every audio type first, then the WAV files alone.
inline std::string AudioFileDialogFilter() {
    std::string patterns;
    for (std::string_view ext : kAudioExtensions) {
        std::string upper(ext);
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return std::toupper(c); });
        patterns += (patterns.empty() ? "*." : " *.") + std::string(ext) + " *." + upper;
    }
    return "Audio files (" + patterns + ");;WAV files (*.wav *.WAV *.Wav)";
}

}  // namespace input
