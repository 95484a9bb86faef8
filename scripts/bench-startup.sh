#!/usr/bin/env bash
# The whole process's start-up, from exec to the first painted window,
# measured with hyperfine side by side: `vandrel-demo --screenshot` against
# a bare Qt program with the same widgets and list items that does the same
# (shows the window, waits the same 300 ms for start-up to settle, grabs it,
# writes the PNG, exits). Both run in the release build on Qt's offscreen
# platform. Prints hyperfine's table; the JSON lands in build/release.
#   VANDREL_STARTUP_RUNS  runs of each program (default 30)
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages hyperfine
cd "$ROOT"
cmake --preset release >/dev/null
cmake --build --preset release --target vandrel-demo vandrel-bench-bare-window

demo="$ROOT/build/release/src/app/qt/vandrel-demo"
bare="$ROOT/build/release/bench/qt/vandrel-bench-bare-window"
shots="$ROOT/build/release/startup-shots"
mkdir -p "$shots"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_SCALE_FACTOR -u QT_STYLE_OVERRIDE QT_QPA_PLATFORM=offscreen \
  hyperfine --warmup 3 --runs "${VANDREL_STARTUP_RUNS:-30}" --export-json "$ROOT/build/release/bench-startup.json" \
  -n "vandrel-demo --screenshot" "$demo --screenshot $shots/demo.png" \
  -n "bare Qt window" "$bare $shots/bare.png"
