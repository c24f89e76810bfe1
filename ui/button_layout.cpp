#include "ui/button_layout.h"

#include <algorithm>

ButtonLayout LayOutButton(const ButtonLayoutInput& in) {
    ButtonLayout out;
    const ButtonRect& a = in.area;
    const bool image = in.imageWidth > 0 && in.imageHeight > 0;
    const bool text = in.textWidth > 0;
    if (image) {
        out.imageX = text ? a.x + in.edgeGap : a.x + (a.width - in.imageWidth) / 2;
        out.imageY = a.y + (a.height - in.imageHeight) / 2;
    }
    out.textX = image ? out.imageX + in.imageWidth + in.imageTextGap : a.x + (a.width - in.textWidth) / 2;
    out.textY = a.y + (a.height - in.textHeight) / 2;
    if (in.pushed) {
        ++out.imageX, ++out.imageY;
        ++out.textX, ++out.textY;
    }
    return out;
}

ButtonRect FocusRectangle(const ButtonRect& area) {
    const int smaller = std::min(area.width, area.height);
    const int inset = smaller <= 15 ? smaller / 4 : 3;
    return {area.x + inset, area.y + inset, area.width - 2 * inset, area.height - 2 * inset};
}
