// Where a bitmap button puts its image, its text and its focus rectangle: the rules of the
// drawing, without the drawing.
#pragma once

struct ButtonRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct ButtonLayoutInput {
    ButtonRect area;     // the button's face, inside any outer frame
    int imageWidth = 0;  // 0 without an image
    int imageHeight = 0;
    int textWidth = 0;  // 0 without a text
    int textHeight = 0;
    int edgeGap = 4;       // between the button's edge and the image
    int imageTextGap = 8;  // between the image and the text
    bool pushed = false;   // image and text move one pixel right and down
};

struct ButtonLayout {
    int imageX = 0, imageY = 0;
    int textX = 0, textY = 0;
};

// Automatic layout: the image at the edge gap when there is a text, else centred; the text
// after the image and the gap, else centred; both centred vertically.
ButtonLayout LayOutButton(const ButtonLayoutInput& in);

// The focus rectangle: inset by a quarter of the smaller side when that side is at most 15
// pixels, else by 3 pixels.
ButtonRect FocusRectangle(const ButtonRect& area);
