// The bitmap button's drawing and the logo window, as their pixels and lifetimes show them.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "tests/ui/ui_support.h"
#include "ui/art.h"
#include "ui/button_layout.h"
#include "ui/image_button.h"
#include "ui/logo_window.h"

namespace {

using uitest::RunUntil;

constexpr QRgb kMask = 0xFF00FF;
constexpr QRgb kMark = 0x0000FF;

// A 15 x 15 image on the mask colour with a 5 x 5 mark at (5, 5).
QImage MarkedImage() {
    QImage image(15, 15, QImage::Format_RGB32);
    image.fill(kMask);
    for (int y = 5; y < 10; ++y)
        for (int x = 5; x < 10; ++x)
            image.setPixel(x, y, kMark);
    return image;
}

QImage Grab(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QPoint Find(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == colour) return {x, y};
    return {-1, -1};
}

}  // namespace

TEST(ImageButton, DrawsTheImageWithoutItsMaskTheTextAfterTheGapAndMovesWhenPushed) {
    ui::CImageButton button("HHH", nullptr);
    ASSERT_TRUE(button.SetImage(MarkedImage()));
    button.resize(120, 30);
    button.show();
    const QImage normal = Grab(button);
    EXPECT_EQ(Find(normal, kMask), QPoint(-1, -1));  // the mask colour never shows
    const QPoint mark = Find(normal, kMark);
    // The image sits at the edge gap, centred vertically.
    EXPECT_EQ(mark, QPoint(4 + 5, (30 - 15) / 2 + 5));

    // The text starts 8 pixels after the image: nothing dark in the gap, ink right after it.
    const int imageRight = mark.x() - 5 + 15;
    const auto darkInColumn = [&](int x) {
        for (int y = 8; y < 22; ++y)
            if (qGray(normal.pixel(x, y)) < 110) return true;
        return false;
    };
    for (int x = imageRight; x < imageRight + 8; ++x)
        EXPECT_FALSE(darkInColumn(x)) << x;
    bool ink = false;
    for (int x = imageRight + 8; x < imageRight + 11; ++x)
        ink = ink || darkInColumn(x);
    EXPECT_TRUE(ink);

    button.setDown(true);
    EXPECT_EQ(Find(Grab(button), kMark), mark + QPoint(1, 1));
    button.setDown(false);

    button.setEnabled(false);
    const QImage disabled = Grab(button);
    EXPECT_EQ(Find(disabled, kMask), QPoint(-1, -1));
    EXPECT_EQ(Find(disabled, kMark), QPoint(-1, -1));  // drawn embossed, not in its colours
    EXPECT_NE(disabled.copy(4, 7, 15, 15), normal.copy(4, 7, 15, 15));
}

TEST(ImageButton, LayoutAndFocusRules) {
    ButtonLayoutInput in;
    in.area = {0, 0, 100, 24};
    in.imageWidth = in.imageHeight = 15;
    in.textWidth = 30, in.textHeight = 14;
    ButtonLayout at = LayOutButton(in);
    EXPECT_EQ(at.imageX, 4);
    EXPECT_EQ(at.textX, 4 + 15 + 8);
    in.textWidth = 0;  // an image alone is centred
    EXPECT_EQ(LayOutButton(in).imageX, (100 - 15) / 2);
    in.imageWidth = 0, in.textWidth = 30;  // so is a text alone
    EXPECT_EQ(LayOutButton(in).textX, 35);
    const ButtonRect small = FocusRectangle({0, 0, 40, 15});
    EXPECT_EQ(small.x, 3);  // a quarter of 15
    EXPECT_EQ(FocusRectangle({0, 0, 40, 24}).x, 3);
    EXPECT_EQ(FocusRectangle({0, 0, 12, 12}).width, 6);
}

TEST(ImageButton, EveryButtonImageOfTheProgramLoads) {
    for (int id : {ui::kBitmapAdd, ui::kBitmapRemove, ui::kBitmapGo, ui::kBitmapStop, ui::kBitmapClearAll,
                   ui::kBitmapRefresh, ui::kBitmapAll, ui::kBitmapFolder}) {
        ui::CImageButton button("x", nullptr);
        EXPECT_TRUE(button.SetBitmap(id)) << id;
    }
    EXPECT_FALSE(ui::AppIcon().isNull());
    EXPECT_FALSE(ui::ListImage(ui::kListImageTrack).isNull());
}

TEST(LogoWindow, ClosesOnItsTimerOrAKeyAndNeverShowsWithoutItsImage) {
    QPointer<ui::CLogoWnd> logo = ui::CLogoWnd::Show(ui::kBitmapLogo, 50);
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->size(), ui::ArtSize(ui::kBitmapLogo));
    EXPECT_TRUE(logo->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(RunUntil([&] { return logo.isNull(); }, 10));

    logo = ui::CLogoWnd::Show(ui::kBitmapLogo, 100000);
    ASSERT_TRUE(logo);
    QTest::keyClick(logo.data(), Qt::Key_Space);
    EXPECT_TRUE(RunUntil([&] { return logo.isNull(); }, 10));

    logo = ui::CLogoWnd::Show(ui::kBitmapLogo, 100000);
    QTest::mouseClick(logo.data(), Qt::RightButton);
    EXPECT_TRUE(RunUntil([&] { return logo.isNull(); }, 10));

    EXPECT_EQ(ui::CLogoWnd::Show(9999, 10), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<ui::CLogoWnd*>(w), nullptr);
}
