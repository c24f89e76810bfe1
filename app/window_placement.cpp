#include "app/window_placement.h"

#include <algorithm>

namespace {

// How much of the window's top edge must lie on a screen for the user to reach it.
constexpr int kGripWidth = 100, kGripHeight = 20;

bool TopEdgeOnScreen(const ScreenRect& w, const ScreenRect& s) {
    const int left = std::max(w.x, s.x), right = std::min(w.x + w.width, s.x + s.width);
    const int top = std::max(w.y, s.y), bottom = std::min(w.y + kGripHeight, s.y + s.height);
    return right - left >= std::min(kGripWidth, w.width) && bottom - top >= kGripHeight;
}

}  // namespace

ScreenRect PlaceWindow(const ScreenRect& saved, const std::vector<ScreenRect>& screens) {
    if (screens.empty()) return saved;
    if (std::any_of(screens.begin(), screens.end(),
                    [&](const ScreenRect& s) { return TopEdgeOnScreen(saved, s); }))
        return saved;
    const ScreenRect& primary = screens.front();
    ScreenRect placed = saved;
    placed.width = std::min(saved.width, primary.width);
    placed.height = std::min(saved.height, primary.height);
    placed.x = primary.x + (primary.width - placed.width) / 2;
    placed.y = primary.y + (primary.height - placed.height) / 2;
    return placed;
}
