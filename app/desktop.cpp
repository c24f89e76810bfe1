#include "app/desktop.h"

#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/compact_window.h"
#include "app/encoder_choice.h"
#include "app/main_window.h"
#include "job/encoding_settings.h"
#include "layer3/layer3_encoder.h"
#include "platform/interrupt.h"
#include "ui/art.h"

namespace {

// Ctrl-C in the terminal that started the program (or SIGTERM, SIGHUP) runs close on the
// user-interface thread, as the window's own close does; a second one ends the program at once.
platform::InterruptWatcher CloseOnInterrupt(std::function<void()> close, std::atomic<bool>& interrupted) {
    return platform::InterruptWatcher([close = std::move(close), &interrupted](int count) {
        interrupted = true;
        if (count > 1 || !qApp) std::_Exit(platform::InterruptExitStatus());
        QMetaObject::invokeMethod(qApp, close, Qt::QueuedConnection);
    });
}

// The toolkit ends the process when it cannot reach the display after all (a server that
// went away between the probe and the start). The program starts again instead, marked as
// having no display: the terminal encodes the file, or the message says what is missing.
void RestartWithoutDisplay(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type != QtFatalMsg) return;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(in, arg, '\0');)
        args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    platform::MarkDisplayFailed();
    execv("/proc/self/exe", argv.data());
}

// The application, made while the toolkit's failure to start restarts the program; the probe's
// connection is let go once the toolkit holds its own.
class Application {
  public:
    Application(int& argc, char** argv, platform::DisplayProbe& display)
        : previous_(qInstallMessageHandler(RestartWithoutDisplay)), app_(argc, argv) {
        qInstallMessageHandler(previous_);
        display.Release();
        QApplication::setApplicationName("Velto");
        QApplication::setDesktopFileName("velto");
        app_.setWindowIcon(ui::AppIcon());
    }

  private:
    QtMessageHandler previous_;
    QApplication app_;
};

}  // namespace

int RunMainWindow(int& argc, char** argv, bool codecFound, platform::DisplayProbe& display) {
    QPointer<MainWindow> window;
    std::atomic<bool> interrupted = false;
    const platform::InterruptWatcher interrupts = CloseOnInterrupt(
        [&] {
            if (window) window->close();
        },
        interrupted);
    const Application app(argc, argv, display);
    profile::AppProfile profile;
    CodecCanEncode codec;
    MainWindow main(profile, codecFound, &codec, MakeBatchEncoder, encodingSettings);
    window = &main;
    main.show();
    const int status = QApplication::exec();
    return interrupted ? platform::InterruptExitStatus() : status;
}

int RunCompactWindow(int& argc, char** argv, const CMakerCommandLineInfo& commandLine,
                     platform::DisplayProbe& display) {
    QPointer<CompactWindow> window;
    std::atomic<bool> interrupted = false;
    const platform::InterruptWatcher interrupts = CloseOnInterrupt(
        [&] {
            if (window) window->reject();
        },
        interrupted);
    const Application app(argc, argv, display);
    CompactWindow dialog(commandLine, encodingSettings,
                         [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    window = &dialog;
    dialog.Start();
    dialog.exec();
    if (dialog.Completed()) return 0;
    return interrupted ? platform::InterruptExitStatus() : 1;
}
