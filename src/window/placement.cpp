#include "window/placement.h"

namespace window {

namespace {

int placeAlong(int size, int start, int length) {
    if (size >= length) return start;
    return start + (length - size) / 2;
}

}  // namespace

DesktopPoint windowPlacement(int frameWidth, int frameHeight, const DesktopRect& available) {
    return {placeAlong(frameWidth, available.left, available.width),
            placeAlong(frameHeight, available.top, available.height)};
}

}  // namespace window
