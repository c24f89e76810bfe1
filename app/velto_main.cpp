// velto: the command line for one WAV file. For now it opens the file with the WAV reader and
// describes it; encoding arrives with the built-in encoder.
#include <cstdio>
#include <string>

#include "layer3/wave_reader.h"
#include "platform/time_format.h"

int main(int argc, char** argv) {
    std::string input;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;  // switches come with the encoder
        input = argv[i];
        break;
    }
    if (input.empty()) {
        std::fprintf(stderr, "usage: velto [-b<kbps>] [-c] [-e<0|1|2>] [-m] [-o] [-p<0..6>] file.wav\n");
        return 2;
    }
    layer3::CWaveReader reader;
    if (!reader.Open(input)) {
        std::fprintf(stderr, "%s could not be opened.\n", input.c_str());
        return 1;
    }
    std::printf("%s: %d Hz, %s, 16-bit PCM, %d samples per channel (%s)\n", input.c_str(), reader.sampleRate,
                reader.channels == 2 ? "stereo" : "mono", reader.sampleCount,
                platform::FormatSeconds(reader.durationSeconds).c_str());
    return 0;
}
