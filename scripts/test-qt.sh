#!/usr/bin/env bash
# Screenshots of vandrel-demo with a unit connected, through a real X
# server (Xvfb) and through Qt's offscreen platform; each must be a PNG of
# the window's client area, 361 by 574 pixels; the same under each widget
# style; then the window on the desktop accessibility bus and its placement
# at 100, 150 and 200 % under a window manager. The front end's own tests
# run with the others in scripts/test-core.sh.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages xvfb xauth
cd "$ROOT"
cmake --preset default >/dev/null
cmake --build --preset default --target vandrel-demo vandrel
demo="$ROOT/build/default/src/app/qt/vandrel-demo"

check_screenshot "$ROOT/build/default/vandrel-demo-ci.png" \
  env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR xvfb-run -a -s "-screen 0 1024x768x24" "$demo"
check_screenshot "$ROOT/build/default/vandrel-demo-offscreen.png" \
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR "$demo"

# The window under each widget style a Debian 12 desktop can give it; the
# window keeps its own style, so each picture has the same geometry.
need_packages adwaita-qt6
for style in Fusion Windows Adwaita; do
  check_screenshot "$ROOT/build/default/vandrel-demo-style-$style.png" \
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_SCALE_FACTOR QT_QPA_PLATFORM=offscreen QT_STYLE_OVERRIDE="$style" "$demo"
done

# What a screen reader finds, on the desktop's accessibility bus, and where
# the window opens at three desktop scales on a 1920 by 1080 screen under a
# window manager.
need_packages at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus dbus-x11 openbox x11-utils
cat >"$ROOT/build/default/desktop-checks.sh" <<INNER
set -eu
/usr/bin/python3 "$ROOT/tests/desktop/accessibility_check.py" "$demo"
openbox >/dev/null 2>&1 &
wm=\$!
trap 'kill \$wm 2>/dev/null || true' EXIT
sleep 1
for scale in 1 1.5 2; do
  bash "$ROOT/tests/desktop/placement_check.sh" "$ROOT/build/default/src/app/qt/vandrel" "\$scale"
done
INNER
env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR -u QT_STYLE_OVERRIDE \
  timeout 300 xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- bash "$ROOT/build/default/desktop-checks.sh"
