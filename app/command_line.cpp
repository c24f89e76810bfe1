#include "app/command_line.h"

#include "job/settings_translation.h"
#include "platform/profile.h"

void CMakerCommandLineInfo::ParseParam(const std::string& param, bool isSwitch) {
    if (!isSwitch) {
        if (fileName.empty()) fileName = param;
        return;
    }
    if (param.empty()) return;
    // Numbers read as the profile reads them: blanks, an optional sign, the leading digits.
    const int number = platform::ParseProfileInt(param.substr(1));
    switch (param[0]) {
        case 'b':
            bitrateIndex = BitrateIndexForKbps(number);
            break;
        case 'c':
            copyright = 1;
            break;
        case 'e':
            deemphasis = DeemphasisCodeForSwitchDigit(number);
            break;
        case 'm':
            mono = 1;
            break;
        case 'o':
            original = 1;
            break;
        case 'p':
            priority = PriorityForSwitchDigit(number);
            break;
        case '-':
            if (param == "-bare") bare = 1;
            if (param == "-no-replaygain") noReplayGain = 1;
            break;
        default:
            break;  // any other letter is ignored
    }
}

CMakerCommandLineInfo ParseCommandLine(const std::vector<std::string>& args) {
    CMakerCommandLineInfo info;
    for (const std::string& a : args) {
        const bool isSwitch = a.size() > 1 && a[0] == '-';
        info.ParseParam(isSwitch ? a.substr(1) : a, isSwitch);
    }
    return info;
}

const char* VeltoUsage() {
    return "usage: velto [-b<kbps>] [-c] [-e<0|1|2>] [-m] [-o] [-p<0..6>] [--bare] [--no-replaygain] [file.wav]\n"
           "Without a file, opens the main window. With one, encodes file.wav to file.mp3 beside it\n"
           "with the built-in encoder in a small progress window (on the terminal without a display).\n"
           "  -b<kbps>   bit rate: 32 40 48 56 64 80 96 112 128 160 192 224 256 320 (default 128)\n"
           "  -c -o      copyright and original bits\n"
           "  -e<0|1|2>  de-emphasis: none, 50/15 us, CCITT\n"
           "  -m         encode stereo as one channel\n"
           "  -p<0..6>   encoder priority, idle to time critical (3 is normal)\n"
           "  --bare     write the audio frames only: no Info frame, tag or ReplayGain\n"
           "  --no-replaygain  measure no loudness and write no ReplayGain values\n"
           "  -h         this text\n"
           "Cancel or Ctrl-C leaves the shorter, properly closed MP3.\n"
           "For many files, folders, other settings and CD tracks use velto-batch.\n";
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a.rfind("-h", 0) == 0 || a.rfind("--help", 0) == 0) return true;
    return false;
}

namespace {

// What the switch param (without its '-') does differently from what it says, or empty.
std::string SwitchNotice(const std::string& param) {
    const std::string given = "-" + param;
    const int number = platform::ParseProfileInt(param.substr(1));
    switch (param[0]) {
        case 'b':
            if (BitrateIndexForKbps(number) >= 0) return "";
            return given + " is not a bit rate; encoding at 128 kbps";
        case 'e':
            if (number >= 0 && number <= 2) return "";
            return given + " is not a de-emphasis (0, 1 or 2); encoding without de-emphasis";
        case 'p':
            if (number >= 0 && number <= 6) return "";
            return given + " is not a priority (0 to 6); encoding at normal priority";
        case 'c':
        case 'm':
        case 'o':
            return "";
        case '-':
            if (param == "-bare" || param == "-no-replaygain") return "";
            return given + " is not a switch of velto; ignored";
        default:
            return given + " is not a switch of velto; ignored";
    }
}

}  // namespace

std::vector<std::string> CommandLineNotices(const std::vector<std::string>& args) {
    std::vector<std::string> notices, files;
    for (const std::string& a : args) {
        const bool isSwitch = a.size() > 1 && a[0] == '-';
        if (!isSwitch) {
            // An empty argument names no file, as the parser skips it too.
            if (!a.empty()) files.push_back(a);
        } else if (std::string notice = SwitchNotice(a.substr(1)); !notice.empty()) {
            notices.push_back(std::move(notice));
        }
    }
    if (files.empty()) return {};
    if (files.size() > 1) {
        std::string names;
        for (std::size_t i = 1; i < files.size(); ++i)
            names += (i > 1 ? ", " : "") + files[i];
        notices.push_back(names + (files.size() > 2 ? " are" : " is") +
                          " not encoded: velto encodes one file; velto-batch encodes several");
    }
    return notices;
}

int AnswerHelpAndNotices(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    if (AsksForHelp(args)) {
        std::fputs(VeltoUsage(), out);
        return 0;
    }
    for (const std::string& notice : CommandLineNotices(args))
        std::fprintf(err, "velto: %s\n", notice.c_str());
    return -1;
}
