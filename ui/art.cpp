#include "ui/art.h"

namespace ui {

QPushButton* MakeImageButton(const QString& text, int bitmap, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setProperty("bitmap", bitmap);
    return button;
}

void SetButtonImage(QPushButton* button, const QString& text, int bitmap) {
    button->setText(text);
    button->setProperty("bitmap", bitmap);
}

QIcon ListImage(int) {
    return QIcon();
}

QIcon AppIcon() {
    return QIcon();
}

}  // namespace ui
