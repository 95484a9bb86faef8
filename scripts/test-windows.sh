#!/usr/bin/env bash
# Cross-builds vandrel.exe and the test programs for 64-bit Windows with
# mingw-w64, then runs every test under Wine on a virtual X display: the
# core's tests, the Windows HID backend's, and the window's smoke test,
# which leaves a picture of the window in build/windows/vandrel-window.png,
# then the smoke test at 150 and 200 % (vandrel-window-144.png, -192.png).
source "$(dirname "$0")/lib.sh"
need_core_packages
need_windows_packages
cd "$ROOT"

cmake --workflow --preset windows

export BUILD="$ROOT/build/windows"
wine_environment "$BUILD/wineprefix"

# Everything that starts Wine runs on one virtual display, and the Wine
# server is stopped before that display goes away, so nothing is left
# holding a dead display for the next run.
cat >"$BUILD/run-under-wine.sh" <<'INNER'
set -u
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix in $WINEPREFIX"
  timeout 300 wineboot -i || { echo "wineboot failed"; exit 1; }
fi
# Without a window manager Wine draws the window frames itself, so the
# caption shows in the picture.
timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
dpi() {
  timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
}
dpi 96
status=0
ctest --preset windows || status=$?
# The smoke test again at 150 and 200 %: on the 1920 by 1080 display the
# window fits at 150 % and is taller than the screen at 200 %.
for scaled in 144 192; do
  dpi "$scaled"
  echo "win32_smoke at $scaled dpi"
  timeout 120 wine "$BUILD/tests/win32/win32_smoke.exe" "$BUILD/bin/vandrel.exe" "$BUILD/vandrel-window-$scaled.bmp" ||
    status=1
done
dpi 96
timeout 30 wineserver -k || true
exit $status
INNER

status=0
timeout 1800 xvfb-run -a -s "-screen 0 1920x1080x24" bash "$BUILD/run-under-wine.sh" || status=$?

for picture in vandrel-window vandrel-window-144 vandrel-window-192; do
  if [ -f "$BUILD/$picture.bmp" ]; then
    convert "$BUILD/$picture.bmp" "$BUILD/$picture.png" && echo "window picture: $BUILD/$picture.png"
  fi
done
exit $status
