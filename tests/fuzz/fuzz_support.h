// What the fuzz targets share: a scratch folder of their own, a file in it that takes each
// input, a message box front end that shows nothing, and an input split into arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace fuzz {

// A folder made once per process under $TMPDIR (or /tmp) and removed at exit.
const std::string& ScratchFolder();

// Writes the bytes to one file in the scratch folder, replacing what it held, and returns its
// path. Aborts when the write fails: a target that tests nothing must not look green.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// Answers every box with its default button and keeps no record, so that a long run neither
// prints nor grows.
class SilentMessageBoxes : public platform::MessageBoxFrontEnd {
  public:
    SilentMessageBoxes() : previous_(platform::SetMessageBoxFrontEnd(this)) {}
    ~SilentMessageBoxes() override { platform::SetMessageBoxFrontEnd(previous_); }
    SilentMessageBoxes(const SilentMessageBoxes&) = delete;
    SilentMessageBoxes& operator=(const SilentMessageBoxes&) = delete;
    int Show(const platform::MessageBoxRequest& request) override { return request.DefaultAnswer(); }

  private:
    platform::MessageBoxFrontEnd* previous_;
};

// The input as a command line: one argument per line (a trailing line without its newline
// counts too), so that the corpus files read as argument lists.
std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
