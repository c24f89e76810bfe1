// The images of the window's buttons and lists, by the numbers the pages know them by.
#pragma once

#include <QIcon>
#include <QPushButton>

namespace ui {

inline constexpr int kBitmapLogo = 136;
inline constexpr int kBitmapAdd = 138;
inline constexpr int kBitmapRemove = 139;
inline constexpr int kBitmapGo = 140;
inline constexpr int kBitmapStop = 141;
inline constexpr int kBitmapClearAll = 145;
inline constexpr int kBitmapRefresh = 147;
inline constexpr int kBitmapAll = 148;
inline constexpr int kBitmapFolder = 149;

inline constexpr int kListImageFile = 0;
inline constexpr int kListImageTrack = 1;

// A push button with the text (ampersand marks the mnemonic) and the image.
QPushButton* MakeImageButton(const QString& text, int bitmap, QWidget* parent);
// Gives a button made by MakeImageButton another text and image.
void SetButtonImage(QPushButton* button, const QString& text, int bitmap);
// An image of the list image strip.
QIcon ListImage(int index);
// The application's icon.
QIcon AppIcon();

}  // namespace ui
