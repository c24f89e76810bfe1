// velto-batch's command line, one argument per input line: the options, the settings they
// make of the profile's values, and the expansion of the inputs inside a fixed folder tree
// (arguments that would climb out of it are left out, so the run reads nothing else).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/batch_console.h"
#include "app/batch_options.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// tree/ holds a.wav, B.WAV, notes.txt, a folder named d.wav and a folder sub/ with e.wav.
const std::string& Tree() {
    static const std::string tree = [] {
        namespace fs = std::filesystem;
        const std::string root = fuzz::ScratchFolder() + "/tree";
        fs::create_directories(root + "/d.wav");
        fs::create_directories(root + "/sub");
        for (const char* name : {"a.wav", "B.WAV", "notes.txt", "sub/e.wav"})
            std::ofstream(root + "/" + name) << "RIFF";
        return root;
    }();
    return tree;
}

bool StaysInTree(const std::string& arg) {
    return arg.find("..") == std::string::npos;
}

void CheckSettings(const BatchOptions& o) {
    CommandLineSettings page(profile::SettingsValues{}, o, true);
    const profile::SettingsValues v = page.Values();
    // Combo indexes the settings translation looks up in its tables.
    if (v.bitrate < 0 || v.bitrate > 13 || v.deemphasis < 0 || v.deemphasis > 2 || v.encodingMode < 0 ||
        v.encodingMode > 3)
        std::abort();
    if (page.PrioritySliderPosition() < 0 || page.PrioritySliderPosition() > 6) std::abort();
}

void CheckExpansion(const BatchOptions& o) {
    // A few inputs show every way of naming the tree; each one more is a folder listed again.
    constexpr std::size_t kMaxInputs = 8;
    std::vector<std::string> inputs;
    for (const std::string& in : o.inputs)
        if (StaysInTree(in) && inputs.size() < kMaxInputs) inputs.push_back(Tree() + "/" + in);
    for (const std::string& file : ExpandInputs(inputs))
        if (file.rfind(Tree(), 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const BatchOptions o = ParseBatchOptions(fuzz::SplitArguments(data, size));
    if (!o.error.empty()) return 0;
    if (o.jobs < 0) std::abort();
    // The CD options the extraction trusts: a target, track numbers, read sizes.
    if (o.cdTarget < -1 || o.cdTarget > 6 || o.daeMode < -1 || o.daeMode > 2 || o.nsectors == 0 ||
        o.nsectors > 27 || o.synchsectors == 0 || o.synchsectors > 10)
        std::abort();
    // The shard the list is cut by.
    if (o.shard && (o.shard->index < 1 || o.shard->index > o.shard->count)) std::abort();
    for (int t : o.tracks)
        if (t < 1 || t > 99 || std::count(o.tracks.begin(), o.tracks.end(), t) != 1) std::abort();
    CheckSettings(o);
    CheckExpansion(o);
    return 0;
}
