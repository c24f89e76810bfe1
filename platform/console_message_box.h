// The console front end for message boxes: the text goes to standard error; a question reads
// y/n from the terminal when standard input is one, otherwise it takes the default answer and
// says so.
#pragma once

#include <cstdio>

#include "platform/message_box.h"

namespace platform {

class ConsoleMessageBox : public MessageBoxFrontEnd {
  public:
    // in and err default to the process's standard streams; tests hand in their own.
    ConsoleMessageBox(std::FILE* in = nullptr, std::FILE* err = nullptr, bool interactive = false);

    // The front end used when none is installed: standard streams, interactive when
    // standard input is a terminal.
    static ConsoleMessageBox& Standard();

    int Show(const MessageBoxRequest& request) override;

  private:
    std::FILE* in_;
    std::FILE* err_;
    bool interactive_;
};

}  // namespace platform
