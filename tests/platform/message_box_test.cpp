#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/console_message_box.h"
#include "platform/fatal_error.h"
#include "platform/message_box.h"
#include "platform/scripted_message_box.h"

using namespace platform;

namespace {

// A console front end over temporary streams: what the user types, and what it printed.
struct Console {
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ~Console() {
        std::fclose(in);
        std::fclose(err);
    }
    void Type(const std::string& s) {
        std::fputs(s.c_str(), in);
        std::rewind(in);
    }
    std::string Printed() {
        std::fflush(err);
        std::rewind(err);
        std::string out;
        char buf[256];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, err)) > 0)
            out.append(buf, n);
        return out;
    }
};

}  // namespace

TEST(ConsoleMessageBox, QuestionReadsTheAnswerFromTheTerminal) {
    Console c;
    c.Type("maybe\nn\n");
    ConsoleMessageBox box(c.in, c.err, true);
    EXPECT_EQ(box.Show({"Really?", "Velto", MB_YESNO}), IDNO);
    // An answer it cannot read is asked again; the text is printed once.
    std::string printed = c.Printed();
    EXPECT_EQ(printed.find("Really?"), 0u);
    EXPECT_NE(printed.find("y/n"), std::string::npos);
}

TEST(ConsoleMessageBox, EmptyLineAndEndOfInputTakeTheDefault) {
    Console c;
    c.Type("\n");
    ConsoleMessageBox box(c.in, c.err, true);
    EXPECT_EQ(box.Show({"Go on?", "Velto", MB_YESNO | MB_DEFBUTTON2}), IDNO);
    EXPECT_EQ(box.Show({"Extract anyway?", "Velto", MB_OKCANCEL}), IDOK);  // input is exhausted
}

TEST(ConsoleMessageBox, WithoutATerminalTheDefaultIsTakenAndSaid) {
    Console c;
    c.Type("y\n");
    ConsoleMessageBox box(c.in, c.err, false);
    EXPECT_EQ(box.Show({"Exit?", "Velto", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2}), IDNO);
    std::string printed = c.Printed();
    EXPECT_NE(printed.find("Warning: Exit?"), std::string::npos);
    EXPECT_NE(printed.find("answering No"), std::string::npos);
    EXPECT_EQ(box.Show({"Done", "Velto", MB_OK}), IDOK);
}

TEST(ScriptedMessageBox, AnswersInOrderRecordsTextsAndRestoresThePreviousFrontEnd) {
    ScriptedMessageBox outer;
    {
        ScriptedMessageBox boxes;
        boxes.Answer(IDCANCEL);
        EXPECT_EQ(MessageBox("first\n", "Velto", MB_OKCANCEL), IDCANCEL);
        EXPECT_EQ(MessageBox("second", "Velto", MB_OK), IDOK);  // an OK box takes no answer
        EXPECT_EQ(MessageBox("third", "Velto", MB_YESNO | MB_DEFBUTTON2), IDNO);
        EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"first\n", "second", "third"}));
        EXPECT_EQ(boxes.Shown()[2].Icon(), 0u);
    }
    MessageBox("after", "Velto", MB_OK);
    EXPECT_EQ(outer.Texts(), std::vector<std::string>{"after"});
}

TEST(FatalErrorDeathTest, ShowsTheTextThenExitsWithMinusOne) {
    EXPECT_EXIT(FatalError("gain>256, program error."), testing::ExitedWithCode(255),
                "gain>256, program error.");
    EXPECT_EXIT(FatalErrorToStdout("bad table\n"), testing::ExitedWithCode(255), "");
}
