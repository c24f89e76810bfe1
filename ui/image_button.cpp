#include "ui/image_button.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

#include "ui/art.h"
#include "ui/button_layout.h"

namespace ui {

namespace {

QRect ToQRect(const ButtonRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

// The image with its mask-coloured pixels made transparent.
QImage WithoutMask(QImage image, QRgb mask) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) == 255 && (line[x] & 0xFFFFFF) == (mask & 0xFFFFFF)) line[x] = 0;
    }
    return image;
}

// The disabled look: the image over white, its dark parts drawn as a shape in the shadow
// colour with a highlight one pixel below and to the right, the white parts left out.
QImage Embossed(const QImage& image, QColor shadow, QColor light, int offset) {
    QImage shape(image.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(shape.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Over white, a pixel stays dark enough to show where the image is drawn.
            const int a = qAlpha(in[x]);
            const int grey = (qGray(in[x]) * a + 255 * (255 - a)) / 255;
            if (grey < 192) out[x] = 0xFF000000;
        }
    }
    QImage result(image.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter p(&result);
    const auto tinted = [&](QColor colour) {
        QImage t = shape;
        QPainter tp(&t);
        tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tp.fillRect(t.rect(), colour);
        return t;
    };
    p.drawImage(offset, offset, tinted(light));
    p.drawImage(0, 0, tinted(shadow));
    return result;
}

}  // namespace

CImageButton::CImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

bool CImageButton::SetBitmap(int bitmap, int width, int height, QRgb mask) {
    if (ArtSize(bitmap).isEmpty() || width <= 0 || height <= 0) return false;
    bitmap_ = bitmap;
    source_ = QImage();
    UseImage(width, height, mask);
    return true;
}

bool CImageButton::SetImage(const QImage& image, int width, int height, QRgb mask) {
    if (image.isNull() || width <= 0 || height <= 0) return false;
    bitmap_ = 0;
    source_ = image;
    UseImage(width, height, mask);
    return true;
}

void CImageButton::UseImage(int width, int height, QRgb mask) {
    mask_ = mask;
    imageSize_ = QSize(width, height);
    builtFor_ = 0.0;  // drawn anew at the next paint
    updateGeometry();
    update();
}

void CImageButton::BuildImages() {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = imageSize_ * dpr;
    const QImage image = bitmap_ ? RenderArt(bitmap_, pixels)
                                 : source_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    normal_ = WithoutMask(image, mask_);
    disabled_ = Embossed(normal_, palette().color(QPalette::Disabled, QPalette::ButtonText),
                         palette().color(QPalette::Light), qMax(1, qRound(dpr)));
    normal_.setDevicePixelRatio(dpr);
    disabled_.setDevicePixelRatio(dpr);
    builtFor_ = dpr;
}

void CImageButton::SetGaps(int edgeGap, int imageTextGap) {
    edgeGap_ = edgeGap;
    imageTextGap_ = imageTextGap;
    updateGeometry();
    update();
}

void CImageButton::SetOuterFrame(bool on) {
    outerFrame_ = on;
    update();
}

void CImageButton::SetCornerMark(bool on, QColor colour) {
    cornerMark_ = on;
    cornerColour_ = colour;
    update();
}

QSize CImageButton::sizeHint() const {
    const QFontMetrics fm(font());
    const QString plain = QString(text()).remove(QLatin1Char('&'));
    const int textWidth = plain.isEmpty() ? 0 : fm.horizontalAdvance(plain);
    const bool image = HasImage();
    int width = image ? edgeGap_ + imageSize_.width() : 0;
    if (textWidth) width += (image ? imageTextGap_ : 0) + textWidth;
    width += edgeGap_;
    const int height = qMax(image ? imageSize_.height() : 0, fm.height());
    QStyleOptionButton opt;
    opt.initFrom(this);
    return style()
        ->sizeFromContents(QStyle::CT_PushButton, &opt, QSize(width, height), this)
        .expandedTo(QSize(40, 0));
}

void CImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) builtFor_ = 0.0;
    QPushButton::changeEvent(event);
}

void CImageButton::paintEvent(QPaintEvent*) {
    if (HasImage() && builtFor_ != devicePixelRatioF()) BuildImages();
    QPainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    opt.icon = QIcon();
    style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);

    QRect face = rect();
    if (outerFrame_) {
        p.setPen(Qt::black);
        p.drawRect(face.adjusted(0, 0, -1, -1));
        face.adjust(1, 1, -1, -1);
    }
    if (cornerMark_) {
        p.setPen(cornerColour_);
        for (int i = 0; i < 8; ++i)
            p.drawLine(face.left(), face.top() + i, face.left() + 7 - i, face.top() + i);
    }

    const QFontMetrics fm(font());
    const QString plain = QString(text()).remove(QLatin1Char('&'));
    ButtonLayoutInput in;
    in.area = {face.x(), face.y(), face.width(), face.height()};
    if (HasImage()) in.imageWidth = imageSize_.width(), in.imageHeight = imageSize_.height();
    in.textWidth = plain.isEmpty() ? 0 : fm.horizontalAdvance(plain);
    in.textHeight = fm.height();
    in.edgeGap = edgeGap_;
    in.imageTextGap = imageTextGap_;
    in.pushed = isDown() || isChecked();
    const ButtonLayout at = LayOutButton(in);

    if (HasImage()) p.drawImage(QPoint(at.imageX, at.imageY), isEnabled() ? normal_ : disabled_);
    if (!plain.isEmpty()) {
        const bool underline = style()->styleHint(QStyle::SH_UnderlineShortcut, &opt, this);
        style()->drawItemText(
            &p, QRect(at.textX, at.textY, in.textWidth + 2, in.textHeight),
            Qt::AlignLeft | Qt::AlignVCenter | (underline ? Qt::TextShowMnemonic : Qt::TextHideMnemonic),
            palette(), isEnabled(), text(), QPalette::ButtonText);
    }
    if (hasFocus() && isEnabled()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = ToQRect(FocusRectangle(in.area));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

}  // namespace ui
