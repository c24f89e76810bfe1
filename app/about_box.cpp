#include "app/about_box.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "app/version.h"
#include "ui/art.h"
#include "ui/logo_window.h"

namespace {
constexpr int kLogoDelayMs = 10000;
}

void ShowAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setWindowTitle("About Velto");
    auto* logo = new QLabel(&box);
    const QSize size = ui::ArtSize(ui::kBitmapLogo);
    const qreal dpr = box.devicePixelRatioF();
    QPixmap image = QPixmap::fromImage(ui::RenderArt(ui::kBitmapLogo, size * dpr));
    image.setDevicePixelRatio(dpr);
    if (image.isNull())
        logo->setText("Velto");
    else
        logo->setPixmap(image);
    auto* version = new QLabel(QString("Version %1").arg(kVeltoVersion), &box);
    version->setObjectName("version");
    version->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(logo);
    layout->addWidget(version);
    box.exec();
}

void ShowLogo(QWidget*) {
    ui::CLogoWnd::Show(ui::kBitmapLogo, kLogoDelayMs);
}
