#!/usr/bin/env bash
# Builds vandrel-demo and shows its window over two simulated units. On a
# desktop the window opens, with a panel to unplug and plug back each unit;
# on a machine without a display it writes a screenshot of the window and
# says where it is.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
cd "$ROOT"
cmake --preset default >/dev/null
cmake --build --preset default --target vandrel-demo
demo="$ROOT/build/default/src/app/qt/vandrel-demo"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$demo"
fi

shot="$ROOT/build/default/vandrel-demo.png"
"$demo" --screenshot "$shot"
echo "No display here, so the demo rendered its window off screen:"
echo "  $shot"
echo "On a desktop the same command opens the window itself."
