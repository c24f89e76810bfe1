// The work list of a large batch: lists as they are read, shards, the files an earlier run
// did, and the JSON report.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/batch_options.h"
#include "tests/support/wav_writer.h"
#include "worklist/json_report.h"
#include "worklist/name_list.h"

namespace {

using namespace std::string_literals;

std::vector<std::string> Names(const std::string& text, worklist::Separator separator,
                               std::string* error = nullptr) {
    std::vector<std::string> names;
    std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    const std::string why = worklist::ReadNames(in, separator, [&](std::string&& n) { names.push_back(n); });
    std::fclose(in);
    if (error) *error = why;
    return names;
}

void SetModified(const std::string& path, std::filesystem::file_time_type::duration age) {
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - age);
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

}  // namespace

TEST(NameList, LinesSkipBlanksAndCommentsAndKeepEverythingElseOfAName) {
    std::string error;
    EXPECT_EQ(Names("a.wav\n\n# a comment\n  spaced name.wav\r\n\"quoted\".wav\nlast.wav",
                    worklist::Separator::kLine),
              (std::vector<std::string>{"a.wav", "  spaced name.wav", "\"quoted\".wav", "last.wav"}));
    // With NUL separators a newline or a '#' belongs to the name.
    EXPECT_EQ(Names("two\nlines.wav\0#hash.wav\0\0end.wav"s, worklist::Separator::kNul),
              (std::vector<std::string>{"two\nlines.wav", "#hash.wav", "end.wav"}));
    // A NUL-separated list read as lines would name files that are not in it.
    EXPECT_EQ(Names("a.wav\nb.wav\0c.wav\n"s, worklist::Separator::kLine, &error).size(), 1u);
    EXPECT_EQ(error, "line 2 holds a NUL byte; a list of NUL-separated names needs --null");
    // A long list of lines read with --null is one name longer than any file's.
    std::string lines;
    while (lines.size() <= PATH_MAX)
        lines += "some/folder/take.wav\n";
    EXPECT_TRUE(Names(lines, worklist::Separator::kNul, &error).empty());
    EXPECT_NE(error.find("name 1 is longer than any file name"), std::string::npos) << error;
}

TEST(NameList, ShardsOfTheSortedListCoverEveryNameOnce) {
    for (const char* bad :
         {"0/3", "3/2", "x/y", "1/0", "/3", "1/", "1/3/5", "+1/3", " 1/3", "1/3 ", "-1/3", "3"})
        EXPECT_FALSE(worklist::ParseShard(bad)) << bad;
    ASSERT_TRUE(worklist::ParseShard("3/3"));
    EXPECT_EQ(worklist::ParseShard("2/3")->index, 2);

    const std::vector<std::string> given{"e", "b", "a", "d", "b", "c", "g", "f", "a"};
    std::vector<std::string> all;
    for (int k = 1; k <= 3; ++k) {
        std::vector<std::string> names = given;
        EXPECT_EQ(worklist::SortUniqueAndSelect(names, {k, 3}), 7u);
        all.insert(all.end(), names.begin(), names.end());
    }
    EXPECT_EQ(all, (std::vector<std::string>{"a", "d", "g", "b", "e", "c", "f"}));
}

TEST(NameList, OnlyOutputsNewerThanTheirInputsAreDone) {
    testwav::TempDir dir;
    for (const char* name : {"old.wav", "old.mp3", "new.wav", "new.mp3", "none.wav"})
        testwav::WriteBytes(dir.File(name), {1});
    SetModified(dir.File("old.mp3"), std::chrono::hours(2));
    SetModified(dir.File("old.wav"), std::chrono::hours(1));
    std::vector<std::string> names{dir.File("old.wav"), dir.File("new.wav"), dir.File("none.wav"),
                                   dir.File("missing.wav")};
    SetModified(dir.File("new.wav"), std::chrono::hours(1));
    std::vector<std::string> done;
    worklist::TakeOutAlreadyDone(
        names, [](const std::string& in) { return in.substr(0, in.size() - 3) + "mp3"; },
        [&](const std::string& in, const std::string&) { done.push_back(in); });
    EXPECT_EQ(done, std::vector<std::string>{dir.File("new.wav")});
    EXPECT_EQ(names,
              (std::vector<std::string>{dir.File("old.wav"), dir.File("none.wav"), dir.File("missing.wav")}));

    // A stopped file's short output would pass for done on the next run: it goes.
    FileOutcome stopped{FileOutcome::kStopped, dir.File("new.wav"), dir.File("new.mp3"), 1.5};
    EXPECT_TRUE(worklist::ForgetStoppedOutput(stopped));
    EXPECT_EQ(stopped.kind, FileOutcome::kSkipped);
    EXPECT_FALSE(std::filesystem::exists(dir.File("new.mp3")));
    // An older output was not this run's: the stop left it as it was.
    FileOutcome keptOld{FileOutcome::kStopped, dir.File("old.wav"), dir.File("old.mp3")};
    EXPECT_FALSE(worklist::ForgetStoppedOutput(keptOld));
    EXPECT_TRUE(std::filesystem::exists(dir.File("old.mp3")));
}

TEST(JsonReport, OneObjectALineAndASummaryThatCountsThem) {
    testwav::TempDir dir;
    testwav::WriteBytes(dir.File("a.mp3"), std::vector<std::uint8_t>(417, 0));
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    {
        worklist::JsonReport report(out);
        report.Record({FileOutcome::kEncoded, dir.File("a.wav"), dir.File("a.mp3"), 2.5}, 0.25);
        report.Record({FileOutcome::kFailed, "bad\xff.wav", "bad\xff.mp3"}, 0);
        report.Refused("gone.wav", "gone.mp3", "cannot be read: No such file or directory");
        report.AlreadyDone(dir.File("b.wav"), dir.File("a.mp3"));
        EXPECT_TRUE(report.Finish({7, {2, 3}, 1.5, 1}));
    }
    std::fclose(out);
    const auto lines = JsonLines(std::string(text, size));
    std::free(text);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["outcome"], "encoded");
    EXPECT_EQ(lines[0]["output_bytes"], 417);
    EXPECT_EQ(lines[0]["audio_seconds"], 2.5);
    EXPECT_EQ(lines[0]["cpu_seconds"], 0.25);
    EXPECT_EQ(lines[1]["input"], "bad\xef\xbf\xbd.wav");  // not UTF-8: a replacement character
    EXPECT_EQ(lines[2]["reason"], "cannot be read: No such file or directory");
    EXPECT_EQ(lines[3]["outcome"], "already done");
    EXPECT_EQ(lines[3]["output_bytes"], 417);
    const auto& summary = lines[4];
    EXPECT_EQ(summary["record"], "summary");
    EXPECT_EQ(summary["files"], 4);
    EXPECT_EQ(
        summary["counts"],
        (nlohmann::json{{"encoded", 1}, {"failed", 2}, {"stopped", 0}, {"skipped", 0}, {"already done", 1}}));
    EXPECT_EQ(summary["shard"], "2/3");
    EXPECT_EQ(summary["listed"], 7);
    EXPECT_EQ(summary["exit_status"], 1);
}

TEST(JsonReport, AThreadsCpuSecondsAreTakenOncePerFile) {
    worklist::TakeThreadCpuSeconds();
    volatile double sink = 0;
    for (int i = 0; i < 5000000; ++i)
        sink = sink + i * 0.5;
    const double spent = worklist::TakeThreadCpuSeconds();
    EXPECT_GT(spent, 0.0);
    EXPECT_LT(worklist::TakeThreadCpuSeconds(), spent);
}

TEST(BatchOptions, LargeBatchOptionsAndTheirUsageErrors) {
    auto o =
        ParseBatchOptions({"--files-from=list", "--null", "--shard=2/5", "--skip-existing", "--report=-"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.filesFrom, std::vector<std::string>{"list"});
    EXPECT_TRUE(o.nulSeparated && o.skipExisting);
    EXPECT_EQ(o.shard->count, 5);
    EXPECT_EQ(o.reportPath, "-");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--shard=0/3", "a.wav"},
                                                {"--shard=3/2", "a.wav"},
                                                {"--shard=x/y", "a.wav"},
                                                {"--null", "a.wav"},
                                                {"--files-from="},
                                                {"--files-from=-", "--files-from=-"},
                                                {"--report=", "a.wav"},
                                                {"--shard=1/2", "--cd=1"}})
        EXPECT_FALSE(ParseBatchOptions(bad).error.empty()) << bad[0];
}

TEST(BatchOptions, ListsAndTheCommandLineMakeOneSortedListOfDistinctFiles) {
    testwav::TempDir dir;
    std::filesystem::create_directory(dir.File("album"));
    testwav::WriteBytes(dir.File("album/2.wav"), {});
    testwav::WriteBytes(dir.File("album/1.wav"), {});
    const std::string list = "# the archive\n" + dir.File("z.wav") + "\n" + dir.File("album") + "\n" +
                             dir.File("a.wav") + "\n" + dir.File("z.wav") + "\n";
    testwav::WriteBytes(dir.File("list"), std::vector<std::uint8_t>(list.begin(), list.end()));
    std::vector<std::string> files;
    std::size_t listed = 0;
    auto o = ParseBatchOptions({dir.File("album/1.wav"), "--files-from=" + dir.File("list")});
    EXPECT_EQ(CollectInputs(o, files, listed), "");
    EXPECT_EQ(files, (std::vector<std::string>{dir.File("a.wav"), dir.File("album/1.wav"),
                                               dir.File("album/2.wav"), dir.File("z.wav")}));
    EXPECT_EQ(listed, 4u);
    o = ParseBatchOptions({"--shard=2/2", "--files-from=" + dir.File("list")});
    EXPECT_EQ(CollectInputs(o, files, listed), "");
    EXPECT_EQ(files, (std::vector<std::string>{dir.File("album/1.wav"), dir.File("z.wav")}));

    o = ParseBatchOptions({"--files-from=" + dir.File("no-such-list")});
    EXPECT_EQ(CollectInputs(o, files, listed),
              "--files-from=" + dir.File("no-such-list") + ": No such file or directory");
}
