// velto-batch as a worker of GNU Parallel: three job slots, each one shard of the same list,
// encode every file once and byte for byte as a run of its own; killed in the middle and run
// again with --skip-existing, they do what is left and nothing twice.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 30;

std::vector<nlohmann::json> JsonLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));  // throws, and fails the test, on a broken line
    return lines;
}

// The inputs of the records of the given outcome.
std::multiset<std::string> Inputs(const std::vector<nlohmann::json>& lines, const std::string& outcome) {
    std::multiset<std::string> inputs;
    for (const auto& l : lines)
        if (l["record"] == "file" && l["outcome"] == outcome) inputs.insert(l["input"].get<std::string>());
    return inputs;
}

struct Shards : testing::Test {
    testwav::TempDir dir;
    std::vector<std::string> names;  // file names, without folder

    void SetUp() override {
        setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1);
        for (int i = 0; i < kFiles; ++i)
            names.push_back("take " + std::to_string(i) + ".wav");
    }

    // The files in a folder of their own: 0.2 s each, each of another pitch.
    std::string Folder(const std::string& name) {
        fs::create_directory(dir.File(name));
        for (int i = 0; i < kFiles; ++i)
            testwav::WritePcm16(dir.File(name + "/" + names[i]), testwav::Sine(8820, 2, 44100, 200 + 37 * i),
                                2, 44100);
        return dir.File(name);
    }

    // The list the slots share: with a comment, a blank line and every name twice.
    std::string List(const std::string& folder) {
        const std::string path = folder + ".list";
        std::ofstream list(path);
        list << "# the archive\n\n";
        for (int round = 0; round < 2; ++round)
            for (const std::string& n : names)
                list << folder << "/" << n << "\n";
        return path;
    }

    std::vector<std::string> ParallelArgs(const std::string& list, const std::string& report,
                                          const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"--will-cite",
                                      "-j3",
                                      "--tag",
                                      testproc::BinPath("velto-batch"),
                                      "--files-from=" + list,
                                      "--shard={}/3",
                                      "--report=" + report + "-{}.jsonl"};
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {":::", "1", "2", "3"});
        return args;
    }

    // Each file encoded by a run of its own.
    std::map<std::string, std::vector<std::uint8_t>> Alone() {
        const std::string folder = Folder("alone");
        std::map<std::string, std::vector<std::uint8_t>> mp3;
        for (const std::string& n : names) {
            EXPECT_EQ(testproc::Run("velto-batch", {folder + "/" + n}).exitCode, 0);
            mp3[n] = testwav::ReadBytes(folder + "/" + n.substr(0, n.size() - 3) + "mp3");
        }
        return mp3;
    }

    std::size_t Records(const std::string& report) {
        std::size_t count = 0;
        for (int k = 1; k <= 3; ++k) {
            std::ifstream in(report + "-" + std::to_string(k) + ".jsonl");
            for (std::string line; std::getline(in, line);)
                ++count;
        }
        return count;
    }
};

std::string Mp3(const std::string& folder, const std::string& wav) {
    return folder + "/" + wav.substr(0, wav.size() - 3) + "mp3";
}

// The counts of a summary line: "Encoded 10 files, 0 failed, 0 skipped, 3 already done: ...".
std::map<std::string, int> SummaryCounts(const std::string& line) {
    std::smatch m;
    std::map<std::string, int> counts;
    if (!std::regex_search(
            line, m,
            std::regex("Encoded (\\d+) files?, (\\d+) failed, (\\d+) skipped(, (\\d+) already done)?:")))
        return counts;
    counts["encoded"] = std::stoi(m[1]);
    counts["failed"] = std::stoi(m[2]);
    counts["skipped"] = std::stoi(m[3]);
    counts["already done"] = m[5].matched ? std::stoi(m[5]) : 0;
    return counts;
}

// Every slot's report parses line by line and ends with a summary whose counts are those of
// its records and of the slot's summary line (which --tag prefixes with the slot's shard).
void CheckReports(const std::string& report, const std::string& parallelOutput) {
    for (int k = 1; k <= 3; ++k) {
        const auto lines = JsonLines(report + "-" + std::to_string(k) + ".jsonl");
        ASSERT_FALSE(lines.empty());
        const auto& summary = lines.back();
        ASSERT_EQ(summary["record"], "summary");
        EXPECT_EQ(summary["shard"], std::to_string(k) + "/3");
        EXPECT_EQ(summary["files"], lines.size() - 1);
        std::map<std::string, int> fromRecords;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            ++fromRecords[lines[i]["outcome"].get<std::string>()];
        std::smatch line;
        const std::string tagged = std::to_string(k) + "\tEncoded [^\n]*";
        ASSERT_TRUE(std::regex_search(parallelOutput, line, std::regex(tagged))) << parallelOutput;
        const auto fromLine = SummaryCounts(line.str());
        for (const auto& [outcome, count] : summary["counts"].items()) {
            EXPECT_EQ(count.get<int>(), fromRecords[outcome]) << outcome;
            if (fromLine.count(outcome)) {
                EXPECT_EQ(count.get<int>(), fromLine.at(outcome)) << outcome;
            }
        }
    }
}

}  // namespace

TEST_F(Shards, ThreeSlotsEncodeEveryFileOnceAndAKilledRunResumesWithoutDoingAnythingTwice) {
    const auto alone = Alone();
    {
        SCOPED_TRACE("one run to the end");
        const std::string folder = Folder("whole");
        const std::string report = dir.File("report");
        const auto r = testproc::Run("/usr/bin/parallel", ParallelArgs(List(folder), report));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        CheckReports(report, r.output);
        std::multiset<std::string> encoded;
        for (int k = 1; k <= 3; ++k)
            encoded.merge(Inputs(JsonLines(report + "-" + std::to_string(k) + ".jsonl"), "encoded"));
        std::multiset<std::string> expected;
        for (const std::string& n : names) {
            expected.insert(folder + "/" + n);
            EXPECT_EQ(testwav::ReadBytes(Mp3(folder, n)), alone.at(n)) << n;
        }
        EXPECT_EQ(encoded, expected);
    }
    SCOPED_TRACE("a run killed and run again");
    const std::string folder = Folder("archive");
    const std::string list = List(folder);
    {
        // As a scheduler takes a node back: TERM to GNU Parallel, which passes it on to the slots.
        // Every run of a resumable job says --skip-existing, so a file the stop cut short is
        // removed rather than left to look done.
        testproc::Background killed("/usr/bin/parallel", ParallelArgs(list, dir.File("first"), {"--skip-existing"}));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (Records(dir.File("first")) < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        killed.Signal(SIGTERM);
        killed.Wait();
    }
    std::map<std::string, fs::file_time_type> done;
    for (const std::string& n : names)
        if (fs::exists(Mp3(folder, n))) {
            done[folder + "/" + n] = fs::last_write_time(Mp3(folder, n));
            // An output under its final name is complete.
            EXPECT_EQ(testwav::ReadBytes(Mp3(folder, n)), alone.at(n)) << n;
        }
    ASSERT_GE(done.size(), 1u);
    ASSERT_LT(done.size(), names.size()) << "the run ended before it was killed";

    const std::string report = dir.File("again");
    const auto r = testproc::Run("/usr/bin/parallel", ParallelArgs(list, report, {"--skip-existing"}));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CheckReports(report, r.output);
    std::multiset<std::string> encoded, already;
    for (int k = 1; k <= 3; ++k) {
        const auto lines = JsonLines(report + "-" + std::to_string(k) + ".jsonl");
        encoded.merge(Inputs(lines, "encoded"));
        already.merge(Inputs(lines, "already done"));
    }
    for (const std::string& n : names) {
        const std::string input = folder + "/" + n;
        const bool wasDone = done.count(input) > 0;
        EXPECT_EQ(already.count(input), wasDone ? 1u : 0u) << n;
        EXPECT_EQ(encoded.count(input), wasDone ? 0u : 1u) << n;
        if (wasDone) {
            EXPECT_EQ(fs::last_write_time(Mp3(folder, n)), done[input]) << n;
        }
        EXPECT_EQ(testwav::ReadBytes(Mp3(folder, n)), alone.at(n)) << n;
    }
}

TEST_F(Shards, ABadShardOrListIsAUsageError) {
    const std::string wav = Folder("few") + "/" + names[0];
    for (const char* shard : {"--shard=0/3", "--shard=3/2", "--shard=x/y"}) {
        const auto r = testproc::RunApart("velto-batch", {shard, wav});
        EXPECT_EQ(r.exitCode, 2) << shard;
        EXPECT_NE(r.errors.find("--shard takes K/N"), std::string::npos) << r.errors;
    }
    const auto r = testproc::RunApart("velto-batch", {"--files-from=" + dir.File("no-list")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("No such file or directory"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(Mp3(dir.File("few"), names[0])));
}

TEST_F(Shards, TheReportOnStandardOutputTakesNamesWithNewlines) {
    const std::string odd = dir.File("two\nlines \"quoted\".wav");
    testwav::WritePcm16(odd, testwav::Sine(8820, 1, 32000, 440), 1, 32000);
    const std::string list = dir.File("list0");
    std::ofstream(list) << odd << '\0' << dir.File("missing.wav") << '\0';
    const auto r = testproc::RunApart("velto-batch", {"--files-from=" + list, "--null", "--report=-"});
    EXPECT_EQ(r.exitCode, 1);
    std::vector<nlohmann::json> lines;
    std::istringstream out(r.output);
    for (std::string line; std::getline(out, line);)
        lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 3u) << r.output;
    EXPECT_EQ(lines[0]["input"], dir.File("missing.wav"));
    EXPECT_EQ(lines[0]["outcome"], "failed");
    EXPECT_EQ(lines[1]["input"], odd);
    EXPECT_EQ(lines[1]["outcome"], "encoded");
    EXPECT_GT(lines[1]["output_bytes"].get<int>(), 0);
    EXPECT_EQ(lines[2]["counts"]["failed"], 1);
    EXPECT_EQ(lines[2]["exit_status"], 1);
    // The summary line goes to standard error then.
    EXPECT_NE(r.errors.find("Encoded 1 file, 1 failed, 0 skipped"), std::string::npos) << r.errors;
}
