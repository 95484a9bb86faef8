#pragma once

namespace window {

// A rectangle on the desktop in one front end's units (device pixels or
// device-independent pixels, as long as both arguments agree).
struct DesktopRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct DesktopPoint {
    int x = 0;
    int y = 0;
};

// Where the window's outer frame (title bar included) goes inside the
// screen's available area. Along each axis the frame is centred when it
// fits; when it does not (the window has a fixed size and cannot shrink),
// it starts at the area's left or top edge, so the title bar and its close
// box stay on the screen and the part cut off lies right or below.
inline DesktopPoint windowPlacement(int frameWidth, int frameHeight, const DesktopRect& available) {
    const auto along = [](int size, int start, int length) {
        return size >= length ? start : start + (length - size) / 2;
    };
    return {along(frameWidth, available.left, available.width), along(frameHeight, available.top, available.height)};
}

}  // namespace window
