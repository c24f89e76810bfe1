// The batch's window on a terminal: the title it shows while it works, and the user's own
// title given back at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/batch_console.h"
#include "app/batch_report.h"

namespace {

std::string Written(std::FILE* f) {
    std::string text;
    std::rewind(f);
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
        text += static_cast<char>(c);
    return text;
}

}  // namespace

TEST(ConsoleJobWindow, SavesTheUsersTitleOnceAndGivesItBackWhenTheBatchEnds) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        ConsoleJobWindow window(f, true, 80);
        const std::string idle = window.Title();
        window.SetTitle("Encoding 10 %");
        window.SetTitle("Encoding 20 %");
        window.SetTitle(idle);  // the end of the batch
    }
    EXPECT_EQ(Written(f), "\033[22;0t\033]0;Encoding 10 %\a\033]0;Encoding 20 %\a\033[23;0t");
    std::fclose(f);

    // A window that is destroyed while it shows a title of its own gives the user's back too.
    f = std::tmpfile();
    { ConsoleJobWindow(f, true, 80).SetTitle("Encoding 1 %"); }
    EXPECT_EQ(Written(f), "\033[22;0t\033]0;Encoding 1 %\a\033[23;0t");
    std::fclose(f);
}

TEST(BatchReport, NamesWithControlCharactersAreQuotedAsLsDoesAndTheReasonFollows) {
    EXPECT_EQ(QuotedName("plain name.wav"), "plain name.wav");
    EXPECT_EQ(QuotedName("a\nb.wav"), "'a'$'\\n''b.wav'");
    EXPECT_EQ(QuotedName("\tit's\x01"), "''$'\\t''it'\\''s'$'\\001'");
    std::FILE* out = std::tmpfile();
    BatchReport report(out, out, true);
    FileOutcome failed{FileOutcome::kFailed, "/m/two\nlines.wav", "/m/two\nlines.mp3"};
    failed.reason = "/m/two\nlines.wav cannot be read: No such file or directory";
    report.Record(failed);
    report.Record({FileOutcome::kEncoded, "/m/x.wav", "/m/x.mp3"});
    EXPECT_EQ(Written(out),
              "'/m/two'$'\\n''lines.wav': failed: '/m/two'$'\\n''lines.wav cannot be read: No such "
              "file or directory'\n/m/x.wav: encoded to /m/x.mp3\n");
    std::fclose(out);
}
