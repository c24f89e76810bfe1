// The program's own images, by the numbers the pages know them by, drawn from the SVG sources
// in ui/art that the build puts into the program.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPushButton>

namespace ui {

inline constexpr int kIconApp = 128;
inline constexpr int kBitmapLogo = 136;
inline constexpr int kBitmapAdd = 138;
inline constexpr int kBitmapRemove = 139;
inline constexpr int kBitmapGo = 140;
inline constexpr int kBitmapStop = 141;
inline constexpr int kBitmapClearAll = 145;
inline constexpr int kBitmapRefresh = 147;
inline constexpr int kBitmapAll = 148;
inline constexpr int kBitmapFolder = 149;
inline constexpr int kBitmapListImages = 151;

inline constexpr int kListImageFile = 0;
inline constexpr int kListImageTrack = 1;

// The image with this number rendered at this size in device pixels (its own size when the
// size is empty); a null image when there is no such image or it cannot be read.
QImage RenderArt(int id, QSize pixels = QSize());
// An image's own size in logical pixels; empty when there is no such image.
QSize ArtSize(int id);

// A bitmap button with the text (ampersand marks the mnemonic) and the 15 x 15 image.
QPushButton* MakeImageButton(const QString& text, int bitmap, QWidget* parent);
// Gives a button made by MakeImageButton another text and image.
void SetButtonImage(QPushButton* button, const QString& text, int bitmap);
// An image of the list image strip (151): the file image or the track image.
QIcon ListImage(int index);
// The application's icon (128).
QIcon AppIcon();

}  // namespace ui
