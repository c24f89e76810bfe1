#include "ui/art.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/image_button.h"

namespace ui {

namespace {

// The resource of an image; the list strip's two images are 151 and 151 + 1.
QString ArtPath(int id) {
    switch (id) {
        case kIconApp:
            return ":/art/icon-128.svg";
        case kBitmapLogo:
            return ":/art/logo-136.svg";
        case kBitmapAdd:
            return ":/art/button-138-add.svg";
        case kBitmapRemove:
            return ":/art/button-139-remove.svg";
        case kBitmapGo:
            return ":/art/button-140-go.svg";
        case kBitmapStop:
            return ":/art/button-141-stop.svg";
        case kBitmapClearAll:
            return ":/art/button-145-clear.svg";
        case kBitmapRefresh:
            return ":/art/button-147-refresh.svg";
        case kBitmapAll:
            return ":/art/button-148-all.svg";
        case kBitmapFolder:
            return ":/art/button-149-folder.svg";
        case kBitmapListImages:
            return ":/art/list-151-file.svg";
        case kBitmapListImages + 1:
            return ":/art/list-151-track.svg";
        default:
            return QString();
    }
}

QPixmap Pixmap(int id, int size) {
    return QPixmap::fromImage(RenderArt(id, QSize(size, size)));
}

}  // namespace

QImage RenderArt(int id, QSize pixels) {
    const QString path = ArtPath(id);
    if (path.isEmpty() || !QFile::exists(path)) return QImage();
    QSvgRenderer svg(path);
    if (!svg.isValid()) return QImage();
    if (pixels.isEmpty()) pixels = svg.defaultSize();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    svg.render(&p);
    return image;
}

QSize ArtSize(int id) {
    const QString path = ArtPath(id);
    if (path.isEmpty() || !QFile::exists(path)) return QSize();
    QSvgRenderer svg(path);
    return svg.isValid() ? svg.defaultSize() : QSize();
}

QPushButton* MakeImageButton(const QString& text, int bitmap, QWidget* parent) {
    auto* button = new CImageButton(text, parent);
    button->SetBitmap(bitmap, 15, 15, 0xFF00FF);
    return button;
}

void SetButtonImage(QPushButton* button, const QString& text, int bitmap) {
    button->setText(text);
    if (auto* image = dynamic_cast<CImageButton*>(button)) image->SetBitmap(bitmap, 15, 15, 0xFF00FF);
}

QIcon ListImage(int index) {
    const int id = kBitmapListImages + (index == kListImageTrack ? 1 : 0);
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(Pixmap(id, size));
    return icon;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Pixmap(kIconApp, size));
    return icon;
}

}  // namespace ui
