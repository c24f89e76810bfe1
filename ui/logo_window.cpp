#include "ui/logo_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "ui/art.h"

namespace ui {

CLogoWnd::CLogoWnd(QImage image, QSize size) : QWidget(nullptr), image_(std::move(image)) {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(size);
    setWindowTitle("Velto");
}

CLogoWnd* CLogoWnd::Show(int bitmap, int delayMs) {
    const QSize size = ArtSize(bitmap);
    if (size.isEmpty()) return nullptr;
    const qreal dpr = qGuiApp->devicePixelRatio();
    QImage image = RenderArt(bitmap, size * dpr);
    if (image.isNull()) return nullptr;
    image.setDevicePixelRatio(dpr);
    auto* logo = new CLogoWnd(std::move(image), size);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        logo->move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
    logo->show();
    logo->raise();
    logo->activateWindow();
    logo->setFocus();
    logo->repaint();
    QTimer::singleShot(delayMs, logo, [logo] { logo->close(); });
    return logo;
}

void CLogoWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(0, 0), image_);
}

void CLogoWnd::keyPressEvent(QKeyEvent*) {
    close();
}

void CLogoWnd::mousePressEvent(QMouseEvent*) {
    close();
}

}  // namespace ui
