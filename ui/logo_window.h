// The logo window: the logo in a frameless window of its size on top of the others, centred on
// the screen, closed after its delay or at the first key or mouse-button press.
#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

class CLogoWnd : public QWidget {
  public:
    // Shows the image with this number; null (and no window) when it cannot be loaded. The
    // window deletes itself when it closes.
    static CLogoWnd* Show(int bitmap, int delayMs);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    CLogoWnd(QImage image, QSize size);
    QImage image_;
};

}  // namespace ui
