#include "app/desktop.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <cstdlib>
#include <functional>

#include "app/compact_window.h"
#include "app/encoder_choice.h"
#include "app/main_window.h"
#include "job/encoding_settings.h"
#include "layer3/layer3_encoder.h"
#include "platform/interrupt.h"
#include "ui/art.h"

namespace {

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName("Velto");
    QApplication::setDesktopFileName("velto");
    app.setWindowIcon(ui::AppIcon());
}

// Ctrl-C in the terminal that started the program runs close on the user-interface thread, as
// the window's own close does; a second one ends the program at once.
platform::InterruptWatcher CloseOnInterrupt(std::function<void()> close) {
    return platform::InterruptWatcher([close = std::move(close)](int count) {
        if (count > 1 || !qApp) std::_Exit(130);
        QMetaObject::invokeMethod(qApp, close, Qt::QueuedConnection);
    });
}

}  // namespace

int RunMainWindow(int& argc, char** argv, bool codecFound) {
    QPointer<MainWindow> window;
    const platform::InterruptWatcher interrupts = CloseOnInterrupt([&] {
        if (window) window->close();
    });
    QApplication app(argc, argv);
    SetUpApplication(app);
    profile::AppProfile profile;
    CodecCanEncode codec;
    MainWindow main(profile, codecFound, &codec, MakeBatchEncoder, encodingSettings);
    window = &main;
    main.show();
    return QApplication::exec();
}

int RunCompactWindow(int& argc, char** argv, const CMakerCommandLineInfo& commandLine) {
    QPointer<CompactWindow> window;
    const platform::InterruptWatcher interrupts = CloseOnInterrupt([&] {
        if (window) window->reject();
    });
    QApplication app(argc, argv);
    SetUpApplication(app);
    CompactWindow dialog(commandLine, encodingSettings,
                         [] { return std::make_unique<layer3::CLayer3Encoder>(); });
    window = &dialog;
    dialog.Start();
    dialog.exec();
    return dialog.Completed() ? 0 : 1;
}
