// What the window tests share: a main window on a profile of its own with scripted message
// boxes, and waiting while the event loop runs.
#pragma once

#include <QApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/encoder_choice.h"
#include "app/main_window.h"
#include "job/encoding_settings.h"
#include "platform/scripted_message_box.h"
#include "tests/support/wav_writer.h"

namespace uitest {

// Runs the event loop until done() or the time is up; false on time-out.
inline bool RunUntil(const std::function<bool()>& done, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Window {
    explicit Window(const std::string& profilePath, bool codecFound = false)
        : profile(profilePath),
          window(std::make_unique<MainWindow>(profile, codecFound, nullptr, MakeBatchEncoder, settings)),
          boxes(std::make_unique<platform::ScriptedMessageBox>()) {
        window->show();
    }
    ~Window() {
        boxes.reset();
        window.reset();
    }
    bool BatchEnded(int seconds = 120) {
        return RunUntil([&] { return !window->Job().m_bRunning && window->Job().m_hWorkerDone.IsSet(); },
                        seconds);
    }

    profile::AppProfile profile;
    EncodingSettings settings;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<platform::ScriptedMessageBox> boxes;
};

}  // namespace uitest
