#include "app/desktop.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <cstdlib>

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

}  // namespace

int RunMainWindow(int& argc, char** argv, bool codecFound) {
    QPointer<MainWindow> window;
    // Ctrl-C in the terminal that started the program closes the window as its close box
    // does; a second one ends the program at once.
    platform::InterruptWatcher interrupts([&](int count) {
        if (count > 1 || !qApp) std::_Exit(130);
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                if (window) window->close();
            },
            Qt::QueuedConnection);
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
    platform::InterruptWatcher interrupts([&](int count) {
        if (count > 1 || !qApp) std::_Exit(130);
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                if (window) window->reject();
            },
            Qt::QueuedConnection);
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
