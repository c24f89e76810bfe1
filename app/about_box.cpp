#include "app/about_box.h"

#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

void ShowAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setWindowTitle("About Velto");
    auto* text = new QLabel("Velto\n\nMPEG-1 Layer III encoder and audio CD extractor", &box);
    text->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(text);
    box.exec();
}

void ShowLogo(QWidget* parent) {
    ShowAboutBox(parent);
}
