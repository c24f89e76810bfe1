// Where the main window opens, from the place the last run kept and the screens there are now.
#include "app/window_placement.h"

#include <gtest/gtest.h>

namespace {

bool Same(const ScreenRect& a, const ScreenRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

TEST(WindowPlacement, KeepsAPlaceWhoseTopEdgeCanBeGrabbedAndCentresAnyOther) {
    const std::vector<ScreenRect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    // On the first screen, on the second, and mostly off the right edge with a grip left.
    for (const ScreenRect& kept :
         {ScreenRect{100, 80, 640, 480}, ScreenRect{2000, 50, 640, 480}, ScreenRect{3100, 900, 640, 480}})
        EXPECT_TRUE(Same(PlaceWindow(kept, screens), kept)) << kept.x;
    // A screen that was unplugged, a title bar above the screens, a grip too narrow to grab.
    for (const ScreenRect& kept :
         {ScreenRect{4000, 100, 640, 480}, ScreenRect{100, -300, 640, 480}, ScreenRect{3180, 100, 640, 480}})
        EXPECT_TRUE(Same(PlaceWindow(kept, screens), {640, 300, 640, 480})) << kept.x << "," << kept.y;
    // Centred on the primary screen, no larger than it.
    EXPECT_TRUE(Same(PlaceWindow({-5000, 0, 2500, 900}, screens), {0, 90, 1920, 900}));
}
