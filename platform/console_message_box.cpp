#include "platform/console_message_box.h"

#include <unistd.h>

#include <cctype>
#include <string>

namespace platform {

namespace {

const char* AnswerName(int answer) {
    switch (answer) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        default:
            return "?";
    }
}

const char* IconPrefix(unsigned icon) {
    switch (icon) {
        case MB_ICONHAND:
            return "Error: ";
        case MB_ICONEXCLAMATION:
            return "Warning: ";
        default:
            return "";
    }
}

// Reads one line and maps it to the box's answers: y/yes/o/ok to the first button, n/no/c to
// the second, an empty line to the default. Returns 0 for anything else, or at end of input.
int ReadAnswer(std::FILE* in, const MessageBoxRequest& request, bool& endOfInput) {
    std::string line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n')
        line.push_back(static_cast<char>(std::tolower(c)));
    endOfInput = (c == EOF && line.empty());
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    if (line.empty()) return endOfInput ? 0 : request.DefaultAnswer();
    if (line == "y" || line == "yes" || line == "o" || line == "ok") return request.FirstAnswer();
    if (line == "n" || line == "no" || line == "c" || line == "cancel") return request.SecondAnswer();
    return 0;
}

}  // namespace

ConsoleMessageBox::ConsoleMessageBox(std::FILE* in, std::FILE* err, bool interactive)
    : in_(in ? in : stdin), err_(err ? err : stderr), interactive_(interactive) {}

ConsoleMessageBox& ConsoleMessageBox::Standard() {
    static ConsoleMessageBox standard(stdin, stderr, isatty(STDIN_FILENO) == 1);
    return standard;
}

int ConsoleMessageBox::Show(const MessageBoxRequest& request) {
    std::string text = request.text;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::fprintf(err_, "%s%s\n", IconPrefix(request.Icon()), text.c_str());
    if (!request.details.empty()) std::fputs(request.details.c_str(), err_);
    if (request.Buttons() == MB_OK) {
        std::fflush(err_);
        return IDOK;
    }
    const bool yesNo = request.Buttons() == MB_YESNO;
    const char* choices = yesNo ? "y/n" : "ok/cancel";
    if (interactive_) {
        for (;;) {
            std::fprintf(err_, "[%s, default %s] ", choices, AnswerName(request.DefaultAnswer()));
            std::fflush(err_);
            bool endOfInput = false;
            int answer = ReadAnswer(in_, request, endOfInput);
            if (answer != 0) return answer;
            if (endOfInput) break;
        }
    }
    int answer = request.DefaultAnswer();
    std::fprintf(err_, "(no terminal to ask: answering %s)\n", AnswerName(answer));
    std::fflush(err_);
    return answer;
}

}  // namespace platform
