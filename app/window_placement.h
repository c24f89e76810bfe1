// Where the main window opens: where the last run left it, unless that is off every screen.
#pragma once

#include <vector>

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// saved: the frame's top-left corner and the inside size the last run kept (width 0: none).
// screens: the screens' available areas, the primary one first. The window keeps its place
// when a good part of its top edge, where it is grabbed to move it, lies on a screen;
// otherwise it opens centred on the primary screen, no larger than that screen.
ScreenRect PlaceWindow(const ScreenRect& saved, const std::vector<ScreenRect>& screens);
