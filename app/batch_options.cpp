#include "app/batch_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "job/file_list.h"
#include "input/extensions.h"
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

// A whole number within [low, high] after the option's '=', or an error naming the option.
int NumberInRange(const std::string& a, std::size_t nameLength, int low, int high, BatchOptions& o) {
    const int n = WholeNumber(a.substr(nameLength));
    if (n < low || n > high)
        o.error = a.substr(0, nameLength - 1) + " takes a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high);
    return n;
}

// "all", or track numbers and ranges separated by commas.
void ParseTrackList(const std::string& list, BatchOptions& o) {
    o.tracks.clear();
    o.allTracks = list == "all";
    if (o.allTracks) return;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const int from = WholeNumber(item.substr(0, dash));
        const int to = dash == std::string::npos ? from : WholeNumber(item.substr(dash + 1));
        if (from < 1 || to > 99 || to < from) {
            o.error = "--tracks takes all, or track numbers 1-99 and ranges such as 1,3,5-7";
            return;
        }
        for (int t = from; t <= to; ++t)
            if (std::find(o.tracks.begin(), o.tracks.end(), t) == o.tracks.end()) o.tracks.push_back(t);
        start = comma + 1;
    }
}

bool ParseCdOption(const std::string& a, BatchOptions& o) {
    if (a == "--list-drives") {
        o.listDrives = true;
    } else if (StartsWith(a, "--cd=")) {
        o.cdTarget = NumberInRange(a, 5, 0, 6, o);
    } else if (StartsWith(a, "--tracks=")) {
        ParseTrackList(a.substr(9), o);
    } else if (StartsWith(a, "--folder=")) {
        o.folder = a.substr(9);
        if (o.folder.empty()) o.error = "--folder takes a folder";
    } else if (StartsWith(a, "--release=")) {
        o.release = NumberInRange(a, 10, 1, 99, o);
    } else if (StartsWith(a, "--name=")) {
        o.nameTemplate = a.substr(7);
        if (o.nameTemplate.empty()) o.error = "--name takes a template such as \"%n %t\"";
    } else if (a == "--keep") {
        o.keep = 1;
    } else if (a == "--extract-only") {
        o.extractOnly = 1;
    } else if (StartsWith(a, "--dae-mode=")) {
        o.daeMode = NumberInRange(a, 11, 0, 2, o);
    } else if (StartsWith(a, "--nsectors=")) {
        o.nsectors = NumberInRange(a, 11, 1, 27, o);
    } else if (StartsWith(a, "--synchsectors=")) {
        o.synchsectors = NumberInRange(a, 15, 1, 10, o);
    } else {
        return false;
    }
    return true;
}

bool ParseLargeBatchOption(const std::string& a, BatchOptions& o) {
    if (StartsWith(a, "--files-from=")) {
        o.filesFrom.push_back(a.substr(13));
        if (o.filesFrom.back().empty()) o.error = "--files-from takes a file, or - for standard input";
        if (std::count(o.filesFrom.begin(), o.filesFrom.end(), "-") > 1)
            o.error = "--files-from=- reads standard input, which can be read once";
    } else if (a == "--null") {
        o.nulSeparated = true;
    } else if (StartsWith(a, "--shard=")) {
        o.shard = worklist::ParseShard(a.substr(8));
        if (!o.shard) o.error = "--shard takes K/N, whole numbers with 1 <= K <= N";
    } else if (a == "--skip-existing") {
        o.skipExisting = true;
    } else if (StartsWith(a, "--report=")) {
        o.reportPath = a.substr(9);
        if (o.reportPath.empty()) o.error = "--report takes a file, or - for standard output";
    } else {
        return false;
    }
    return true;
}

// Combinations that make no sense, found once every option is read.
std::string ConflictOf(const BatchOptions& o) {
    if (o.nulSeparated && o.filesFrom.empty()) return "--null needs --files-from";
    // Every worker would extract the whole disc.
    if (o.shard && o.cdTarget >= 0) return "--shard shares out files, not CD tracks; use it without --cd";
    return "";
}

void ParseLongOption(const std::string& a, BatchOptions& o) {
    if (ParseCdOption(a, o) || ParseLargeBatchOption(a, o)) return;
    if (a == "--codec") {
        o.useCodec = true;
    } else if (a == "--help") {
        o.help = true;
    } else if (a == "--bare") {
        o.bare = true;
    } else if (a == "--no-replaygain") {
        o.noReplayGain = true;
    } else if (a == "--version") {
        o.version = true;
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
    if (o.error.empty() && o.cdTarget < 0 && (!o.tracks.empty() || o.allTracks))
        o.error = "--tracks needs --cd";
    if (o.error.empty()) o.error = ConflictOf(o);
    if (o.cdTarget >= 0 && o.tracks.empty()) o.allTracks = true;
    if (o.error.empty() && !o.help && !o.version && !o.listDrives && o.cdTarget < 0 && o.inputs.empty() &&
        o.filesFrom.empty())
        o.error = "no audio files given";
    return o;
}

std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs,
                                      std::vector<UnlistedFolder>* unlisted) {
    return ExpandFolders(inputs, unlisted);
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Appends the names of one list: a folder stands for its files as on the command line.
std::string ReadList(const std::string& path, worklist::Separator separator,
                     std::vector<std::string>& files) {
    std::unique_ptr<std::FILE, FileCloser> opened;
    if (path != "-") {
        opened.reset(std::fopen(path.c_str(), "r"));
        if (!opened) return std::strerror(errno);
    }
    return worklist::ReadNames(opened ? opened.get() : stdin, separator, [&files](std::string&& name) {
        std::error_code ec;
        if (!std::filesystem::is_directory(name, ec)) {
            files.push_back(std::move(name));
            return;
        }
        for (std::string& file : ExpandInputs({name}))
            files.push_back(std::move(file));
    });
}

}  // namespace

std::string CollectInputs(const BatchOptions& o, std::vector<std::string>& files, std::size_t& listed,
                          std::vector<UnlistedFolder>* unlisted) {
    files = ExpandInputs(o.inputs, unlisted);
    const auto separator = o.nulSeparated ? worklist::Separator::kNul : worklist::Separator::kLine;
    for (const std::string& list : o.filesFrom)
        if (const std::string why = ReadList(list, separator, files); !why.empty())
            return "--files-from=" + list + ": " + why;
    listed = files.size();
    if (!o.filesFrom.empty() || o.shard)
        listed = worklist::SortUniqueAndSelect(files, o.shard.value_or(worklist::Shard{}));
    return "";
}

const char* BatchUsage() {
    return "usage: velto-batch [options] audio-file|folder ...\n"
           "  -b<kbps>      bit rate: 32 40 48 56 64 80 96 112 128 160 192 224 256 320\n"
           "  -c -o         copyright and original bits\n"
           "  -e<0|1|2>     de-emphasis: none, 50/15 us, CCITT\n"
           "  -m            encode stereo as one channel\n"
           "  -p<0..6>      encoder priority, idle to time critical (3 is normal)\n"
           "  --mode=N      0 ISO, 1 minimise audible distortion, 2 fewest distorted bands,\n"
           "                3 minimise total distortion\n"
           "  --codec       encode with the system's MP3 codec\n"
           "  --bare        write the audio frames only: no Info frame, tag or ReplayGain\n"
           "  --no-replaygain  measure no loudness and write no ReplayGain values\n"
           "  -jN, --jobs=N encode N files at once (0: one per core)\n"
           "  --version     the program's name and version\n"
           "Audio CD tracks, extracted to WAV and encoded after the files:\n"
           "  --list-drives      list the CD-ROM drives and the audio tracks of their discs\n"
           "  --cd=TARGET        the drive on target 0-6 (as --list-drives shows it)\n"
           "  --tracks=LIST|all  track numbers and ranges, e.g. 1,3,5-7 (default: all)\n"
           "  --folder=DIR       folder for the extracted WAV files\n"
           "  --name=TEMPLATE    names of the extracted tracks: %n number, %t title, %a artist,\n"
           "                     %A album; '/' makes folders (default \"Track %02d\")\n"
           "  --release=N        of the releases a disc lookup finds, take the Nth (default: the first)\n"
           "  --keep             keep the WAV files after encoding\n"
           "  --extract-only     extract without encoding\n"
           "  --dae-mode=N       0 Normal, 1 Buffered, 2 Jitter Correction\n"
           "  --nsectors=N       sectors per read, 1-27\n"
           "  --synchsectors=N   sectors of overlap in Jitter Correction, 1-10\n"
           "  A batch with CD tracks runs on one worker.\n"
           "Large batches:\n"
           "  --files-from=FILE  also encode the files FILE names, one a line (- reads standard\n"
           "                     input; blank lines and lines beginning with # are skipped)\n"
           "  --null             the lists' names end with NUL bytes, as find -print0 writes them\n"
           "  --shard=K/N        encode only every N-th file of the sorted list, from the K-th\n"
           "  --skip-existing    leave out files whose MP3 is newer than them (\"already done\")\n"
           "  --report=FILE      write one JSON object a line for every file and a summary to\n"
           "                     FILE (- : standard output, instead of the outcome lines)\n"
           "  With --files-from or --shard the files are encoded in sorted order, each once.\n"
           "Other settings come from the profile's [Settings], [AudioCD], [DAE] and [Folders]\n"
           "sections, which are never written.\n"
           "Exit status: 0 all encoded, 1 some failed, 2 usage error or unreadable profile,\n"
           "128 + the signal when stopped (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";
}
