#include "job/output_names.h"

#include <cstdlib>

#include "input/extensions.h"
#include "platform/file.h"
#include "platform/message_box.h"

std::string OutputNameFor(const std::string& input) {
    // An audio extension longer than three letters goes whole: song.flac gives song.mp3,
    // not song.fmp3.
    if (const std::string ext = input::ExtensionOf(input); ext.size() > 3 && input::HasAudioExtension(input))
        return input.substr(0, input.size() - ext.size()) + "mp3";
    return (input.size() >= 3 ? input.substr(0, input.size() - 3) : std::string()) + "mp3";
}

bool RefuseOutputOverInput(const std::string& input, const std::string& output) {
    if (input != output && !platform::SameFile(input, output)) return false;
    platform::MessageBox(input +
                             ": the MP3 file would overwrite this WAV file, so it is not encoded.\n"
                             "Rename the WAV file so that its name does not end in \"mp3\".",
                         platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    return true;
}

std::string OutputIdentity(const std::string& output) {
    const std::size_t slash = output.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    char* real = realpath(folder.c_str(), nullptr);
    if (!real) return output;
    std::string identity = real;
    std::free(real);
    return identity + "/" + name;
}
