#include "app/batch_options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "job/settings_translation.h"
#include "platform/profile.h"

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// A whole non-negative decimal number, or -1.
int WholeNumber(const std::string& s) {
    if (s.empty() || s.size() > 6 ||
        !std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    return std::stoi(s);
}

void ParseLongOption(const std::string& a, BatchOptions& o) {
    if (a == "--codec") {
        o.useCodec = true;
    } else if (a == "--help") {
        o.help = true;
    } else if (StartsWith(a, "--mode=")) {
        o.encodingMode = WholeNumber(a.substr(7));
        if (o.encodingMode < 0 || o.encodingMode > 3) o.error = "--mode takes 0, 1, 2 or 3";
    } else if (StartsWith(a, "--jobs=")) {
        o.jobs = WholeNumber(a.substr(7));
        if (o.jobs < 0) o.error = "--jobs takes a whole number";
    } else {
        o.error = "unknown option " + a;
    }
}

// The switches of velto, read as velto reads them.
void ParseSwitch(const std::string& a, BatchOptions& o) {
    const std::string param = a.substr(1);
    const int number = platform::ParseProfileInt(param.substr(1));
    switch (param[0]) {
        case 'b':
            o.bitrateIndex = BitrateIndexForKbps(number);
            break;
        case 'c':
            o.copyright = 1;
            break;
        case 'e':
            o.deemphasisCode = DeemphasisCodeForSwitchDigit(number);
            break;
        case 'm':
            o.mono = 1;
            break;
        case 'o':
            o.original = 1;
            break;
        case 'p':
            o.prioritySlider = (number >= 0 && number <= 6 && number != 3) ? number : 3;
            break;
        case 'h':
            o.help = true;
            break;
        case 'j':
            o.jobs = WholeNumber(param.substr(1));
            if (o.jobs < 0) o.error = "-j takes a whole number";
            break;
        default:
            break;  // any other letter is ignored, as velto does
    }
}

}  // namespace

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
    BatchOptions o;
    for (const std::string& a : args) {
        if (StartsWith(a, "--"))
            ParseLongOption(a, o);
        else if (a.size() > 1 && a[0] == '-')
            ParseSwitch(a, o);
        else
            o.inputs.push_back(a);
        if (!o.error.empty()) break;
    }
    if (o.error.empty() && !o.help && o.inputs.empty()) o.error = "no WAV files given";
    return o;
}

std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs) {
    std::vector<std::string> files;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (!std::filesystem::is_directory(in, ec)) {
            files.push_back(in);
            continue;
        }
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(in, ec)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            if (ext == ".wav" && !e.is_directory(ec)) found.push_back(e.path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

const char* BatchUsage() {
    return "usage: velto-batch [options] file.wav|folder ...\n"
           "  -b<kbps>      bit rate: 32 40 48 56 64 80 96 112 128 160 192 224 256 320\n"
           "  -c -o         copyright and original bits\n"
           "  -e<0|1|2>     de-emphasis: none, 50/15 us, CCITT\n"
           "  -m            encode stereo as one channel\n"
           "  -p<0..6>      encoder priority, idle to time critical (3 is normal)\n"
           "  --mode=N      0 ISO, 1 minimise audible distortion, 2 fewest distorted bands,\n"
           "                3 minimise total distortion\n"
           "  --codec       encode with the system's MP3 codec\n"
           "  -jN, --jobs=N encode N files at once (0: one per core)\n"
           "Other settings come from the profile's [Settings] section, which is never written.\n"
           "Exit status: 0 all encoded, 1 some failed, 2 usage error or unreadable profile,\n"
           "130 stopped.\n";
}
