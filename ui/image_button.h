// A push button that draws an image beside its text: the normal image with the mask colour
// turned into the button face, and, when disabled, the image with the mask turned white drawn
// embossed. Pushed, image and text move by a pixel. The images are drawn at the screen's pixel
// density.
#pragma once

#include <QImage>
#include <QPushButton>

namespace ui {

class CImageButton : public QPushButton {
  public:
    CImageButton(const QString& text, QWidget* parent);

    // Builds the two images from the program's image with this number, at width x height
    // (logical pixels); false, leaving the button without an image, when it cannot be made.
    bool SetBitmap(int bitmap, int width = 15, int height = 15, QRgb mask = 0xFF00FF);
    // The same from an image at hand, whose pixels of the mask colour (or transparent ones)
    // are the button face.
    bool SetImage(const QImage& image, int width = 15, int height = 15, QRgb mask = 0xFF00FF);
    int Bitmap() const { return bitmap_; }

    void SetGaps(int edgeGap, int imageTextGap);
    void SetOuterFrame(bool on);
    void SetCornerMark(bool on, QColor colour = Qt::red);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void UseImage(int width, int height, QRgb mask);
    bool HasImage() const { return bitmap_ != 0 || !source_.isNull(); }
    // Renders the images at the current pixel density.
    void BuildImages();

    int bitmap_ = 0;  // the program's image drawn, or 0 for source_
    QImage source_;   // an image at hand
    QRgb mask_ = 0xFF00FF;
    QSize imageSize_{15, 15};
    QImage normal_;
    QImage disabled_;
    qreal builtFor_ = 0.0;
    int edgeGap_ = 4;
    int imageTextGap_ = 8;
    bool outerFrame_ = false;
    bool cornerMark_ = false;
    QColor cornerColour_ = Qt::red;
};

}  // namespace ui
