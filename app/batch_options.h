// The batch command line: WAV files and folders, the switches of velto, and long options.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/file_list.h"
#include "worklist/name_list.h"

struct BatchOptions {
    std::vector<std::string> inputs;  // files and folders, in the order given
    // Overrides of the profile's "Settings" values; -1 where the command line says nothing.
    int bitrateIndex = -1;  // header index, from -b<kbps>
    int copyright = -1;
    int original = -1;
    int mono = -1;
    int deemphasisCode = -1;    // header code, from -e<digit>
    int encodingMode = -1;      // --mode=N
    int prioritySlider = 3;     // -p<digit> as a slider position; 3 is normal priority
    bool useCodec = false;      // --codec
    bool bare = false;          // --bare: no Info frame, tag or ReplayGain
    bool noReplayGain = false;  // --no-replaygain
    int jobs = 1;               // -jN / --jobs=N; 0 means one per core
    bool help = false;
    bool version = false;  // --version
    // Audio CD tracks, extracted and encoded after the files; -1 where the profile decides.
    bool listDrives = false;   // --list-drives
    int cdTarget = -1;         // --cd=TARGET
    bool allTracks = false;    // --tracks=all (also when --cd comes without --tracks)
    std::vector<int> tracks;   // --tracks=LIST: numbers and ranges, e.g. 1,3,5-7
    std::string folder;        // --folder=DIR; empty: the profile's
    std::string nameTemplate;  // --name=TEMPLATE; empty: the profile's
    int release = 0;           // --release=N: which release of a disc lookup to take; 0 the first
    int keep = -1;             // --keep
    int extractOnly = -1;      // --extract-only
    int daeMode = -1;          // --dae-mode=0|1|2
    int nsectors = -1;         // --nsectors=1..27
    int synchsectors = -1;     // --synchsectors=1..10
    // Large batches: names from lists, one worker's shard of them, resuming, the JSON report.
    std::vector<std::string> filesFrom;    // --files-from=FILE, "-" for standard input
    bool nulSeparated = false;             // --null: the lists' names end with NUL bytes
    std::optional<worklist::Shard> shard;  // --shard=K/N
    bool skipExisting = false;             // --skip-existing
    std::string reportPath;                // --report=FILE, "-" for standard output
    std::string error;                     // a usage error, or empty
};

BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// Files in the order given; a folder stands for its audio files (*.wav, *.flac, *.aiff and the
// other extensions of input/extensions.h, any case) in name order. A folder that cannot be
// listed is added to unlisted instead.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs,
                                      std::vector<UnlistedFolder>* unlisted = nullptr);

// The files of the batch: the command line's (folders expanded) and then the lists'. With a
// list or a shard they are sorted and each named once, and only the shard's are kept, so that
// every worker given the same lists agrees on the shares. Returns an empty string, or why a
// list cannot be read; `listed` is how many files there were before the shard was taken.
std::string CollectInputs(const BatchOptions& options, std::vector<std::string>& files, std::size_t& listed,
                          std::vector<UnlistedFolder>* unlisted = nullptr);

const char* BatchUsage();
