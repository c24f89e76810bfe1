// A message box front end for tests: answers come from a script, every box is recorded.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace platform {

class ScriptedMessageBox : public MessageBoxFrontEnd {
  public:
    // Installs itself for its lifetime and restores the previous front end afterwards.
    ScriptedMessageBox();
    ~ScriptedMessageBox() override;
    ScriptedMessageBox(const ScriptedMessageBox&) = delete;
    ScriptedMessageBox& operator=(const ScriptedMessageBox&) = delete;

    // Queues the answer for the next box; without one a box takes its default button.
    void Answer(int answer);

    int Show(const MessageBoxRequest& request) override;

    std::vector<MessageBoxRequest> Shown() const;
    std::vector<std::string> Texts() const;
    std::size_t Count() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<MessageBoxRequest> shown_;
    MessageBoxFrontEnd* previous_;
};

}  // namespace platform
