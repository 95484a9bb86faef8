#!/usr/bin/env bash
# Screenshots of vandrel-demo with a unit connected, through a real X
# server (Xvfb) and through Qt's offscreen platform; each must be a PNG of
# the window's client area, 361 by 574 pixels. The front end's own tests
# run with the others in scripts/test-core.sh.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages xvfb xauth
cd "$ROOT"
cmake --preset default >/dev/null
cmake --build --preset default --target vandrel-demo
demo="$ROOT/build/default/src/app/qt/vandrel-demo"

ci_shot="$ROOT/build/default/vandrel-demo-ci.png"
offscreen_shot="$ROOT/build/default/vandrel-demo-offscreen.png"
rm -f "$ci_shot" "$offscreen_shot"

env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR \
  xvfb-run -a -s "-screen 0 1024x768x24" "$demo" --screenshot "$ci_shot"
check_png "$ci_shot" 361x574

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR \
  "$demo" --screenshot "$offscreen_shot"
check_png "$offscreen_shot" 361x574
