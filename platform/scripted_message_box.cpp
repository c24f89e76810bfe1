#include "platform/scripted_message_box.h"

namespace platform {

ScriptedMessageBox::ScriptedMessageBox() : previous_(SetMessageBoxFrontEnd(this)) {}

ScriptedMessageBox::~ScriptedMessageBox() {
    SetMessageBoxFrontEnd(previous_);
}

void ScriptedMessageBox::Answer(int answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

int ScriptedMessageBox::Show(const MessageBoxRequest& request) {
    std::lock_guard lock(mutex_);
    shown_.push_back(request);
    if (request.Buttons() == MB_OK)
        return IDOK;
    if (answers_.empty())
        return request.DefaultAnswer();
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::vector<MessageBoxRequest> ScriptedMessageBox::Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<std::string> ScriptedMessageBox::Texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& r : shown_)
        texts.push_back(r.text);
    return texts;
}

std::size_t ScriptedMessageBox::Count() const {
    std::lock_guard lock(mutex_);
    return shown_.size();
}

void ScriptedMessageBox::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

}  // namespace platform
