// Where the window opens on a 1920 by 1080 screen whose task bar takes 40
// pixels at the bottom, at the desktop scales a user may choose.
#include "window/placement.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* what;
    int frameWidth, frameHeight;
    window::DesktopRect available;
    int x, y;
};

TEST(WindowPlacement, CentredWhenItFitsElseTopLeftOfTheAvailableArea) {
    // In device-independent pixels: the 361 by 574 client area with a
    // 30-pixel title bar and 1-pixel borders, on the screen as the scale
    // leaves it (1920 by 1080, 1280 by 720, 960 by 540).
    const Case cases[] = {
        {"100 %: centred in the area above the task bar", 363, 605, {0, 0, 1920, 1040}, 778, 217},
        {"150 %: still fits", 363, 605, {0, 0, 1280, 693}, 458, 44},
        {"200 %: too tall, top edge kept, still centred across", 363, 605, {0, 0, 960, 520}, 298, 0},
        {"exactly as tall as the area", 363, 520, {0, 0, 960, 520}, 298, 0},
        {"too wide and too tall", 2000, 1200, {0, 0, 1920, 1040}, 0, 0},
        {"an area that starts away from the origin", 363, 605, {1920, 24, 1280, 500}, 2378, 24},
    };
    for (const Case& c : cases) {
        const window::DesktopPoint at = window::windowPlacement(c.frameWidth, c.frameHeight, c.available);
        EXPECT_EQ(at.x, c.x) << c.what;
        EXPECT_EQ(at.y, c.y) << c.what;
    }
}

}  // namespace
