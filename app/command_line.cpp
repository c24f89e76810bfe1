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
