#!/usr/bin/env bash
# The live suite, in QEMU guests on Debian's kernel with virtual USB units:
# - Linux: every golden scenario that real devices can play (those that
#   fail no single call), and the Linux-only ones in tests/live/, through
#   vandrel-sim over the hidraw backend; the hostile ones (hostile_*.scn)
#   through a vandrel-sim built with AddressSanitizer and
#   UndefinedBehaviorSanitizer, which ends the run on any report; then a
#   picture of the Qt window over the same stack, build/live/vandrel-live.png.
# - Windows: the same golden scenarios but the Linux-only ones, through the
#   cross-built vandrel-sim.exe under Wine, whose HID stack reads the same
#   kernel devices; then a picture of vandrel.exe itself on a virtual
#   display, build/live/vandrel-live-windows.png.
# Each scenario must print exactly its golden output, compared as the
# simulated platform's are: NAME.windows.out beside NAME.scn where Wine's
# output differs (Wine 8.0's HID bus takes a unit's maker and product from
# the hidraw node: the maker reads "hidraw" and the product the kernel's
# name for the HID device, maker and product joined by a blank), else
# NAME.out. VANDREL_LIVE_LINUX=0 or VANDREL_LIVE_WINDOWS=0 skips a half.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
cd "$ROOT"

failed=0 passed=0 played=0 commands=0 limits=0

# Whether real devices can play a scenario: they cannot be told to fail
# a single call.
playable() {
  ! grep -q -E '^[[:space:]]*(fail|heal)\b' "$1"
}

# Scenarios that Wine 8.0 cannot play: its HID bus takes a departed unit
# out of its list twice, the second time once the window has closed its
# handle, and a device that arrives or leaves in between breaks the list
# (a unit is lost, or a departed one stays listed for good). These change
# devices while the window still holds a departed unit; every other
# scenario lets the window tick first.
wine_cannot_play() {
  case "$(basename "$1" .scn)" in
    connected_unit_replaced_between_ticks) return 0 ;;
  esac
  return 1
}

# Plays in one guest, whose limit is the sum of its work's budgets
# (tests/live/budget.sh and the runner's --budget): play.sh's arguments
# after the prefix and the library's journey, if any.
#   guest LIMIT OUTDIR [--windows PREFIX] [--library BUILD VID PID] PLAY_ARGS...
# A guest that runs out of time is stopped; what it was doing and the last
# lines that the runner and the units wrote are shown.
guest() {
  local limit=$1 out=$2 windows=()
  shift 2
  if [ "$1" = --windows ]; then windows=("$1" "$2"); shift 2; fi
  if [ "$1" = --library ]; then windows+=("$1" "$2" "$3" "$4"); shift 4; fi
  rm -rf "$out"
  local status=0 begun=$SECONDS
  limits=$((limits + limit))
  bash scripts/vm.sh --timeout "$limit" env VANDREL_BUDGET_RUNNER="$budget_runner" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 bash tests/live/play.sh "${windows[@]}" "$out" "$@" || status=$?
  echo "     (guest: $((SECONDS - begun)) s of its $limit s)"
  [ "$status" = 124 ] || return 0
  local last current
  last=$(tail -n 1 "$out/progress" 2>/dev/null)
  case "$last" in
    *" start "*) current=${last#* start } ;;
    *) current= ;;
  esac
  echo "FAIL the guest ran out of its $limit s${current:+ while at: $current}; the steps it took (seconds since boot):"
  sed 's/^/     /' "$out/progress" 2>/dev/null || true
  local f
  for f in "$out/$current.actual" "$out/$current.err" "$out/picture.err" \
    "$out/$current/journey.out" "$out/units.log"; do
    [ -s "$f" ] || continue
    echo "     last lines of $(basename "$f"):"
    tail -n 15 "$f" | sed 's/^/       /'
  done
  failed=$((failed + 1))
}

# Compares what a guest played with the golden files.
check() {
  local out=$1 golden_suffix=$2
  shift 2
  local f name expected status n
  for f in "$@"; do
    name=$(basename "$f" .scn)
    expected="${f%.scn}.out"
    if [ -n "$golden_suffix" ] && [ -f "${f%.scn}.$golden_suffix.out" ]; then
      expected="${f%.scn}.$golden_suffix.out"
    fi
    status=$(cat "$out/$name.status" 2>/dev/null || echo missing)
    played=$((played + 1))
    if [ "$status" != 0 ]; then
      echo "FAIL $name: the runner exited with $status"
      cat "$out/$name.err" 2>/dev/null || true
      echo "     the last commands it played:"
      { grep '^> ' "$out/$name.actual" 2>/dev/null || true; } | tail -n 3 | sed 's/^/       /'
      echo "     last lines of the units' log:"
      { tail -n 10 "$out/units.log" 2>/dev/null || true; } | sed 's/^/       /'
      failed=$((failed + 1))
    elif ! cmake -DEXPECTED="$expected" -DACTUAL="$out/$name.actual" \
      -P tests/scenarios/compare_golden.cmake >"$out/$name.diff" 2>&1; then
      echo "FAIL $name:"
      cat "$out/$name.diff"
      failed=$((failed + 1))
    else
      echo "ok   $name"
      passed=$((passed + 1))
    fi
    n=$(grep -c '^> ' "$out/$name.actual" 2>/dev/null) || n=0
    commands=$((commands + n))
  done
}

# Whether the C library's journey that a guest played after its scenarios
# (play.sh --library) passed: library_check OUTDIR WHAT.
library_check() {
  local out=$1 what=$2 status
  status=$(cat "$out/library.status" 2>/dev/null || echo missing)
  if [ "$status" = 0 ]; then
    echo "ok   $what"
    passed=$((passed + 1))
  else
    echo "FAIL $what: the journey exited with $status"
    failed=$((failed + 1))
  fi
  sed 's/^/     /' "$out/library/journey.out" 2>/dev/null || true
}

# Draws a program's window beside one virtual unit in a guest of its own.
picture() {
  local out=$1 png=$2
  shift 2
  rm -f "$png"
  guest $((BUDGET_BOOT + BUDGET_UNITS + BUDGET_PICTURE + ${wine_budget:-0})) "$out" "$@" \
    --picture "$program" "$png" "$VENDOR_ID" "$PRODUCT_ID"
  if [ "$(cat "$out/picture.status" 2>/dev/null)" = 0 ] && [ -f "$png" ]; then
    echo "ok   picture of the window over the live stack: $png"
    passed=$((passed + 1))
  else
    echo "FAIL no picture of the window over the live stack"
    sed 's/^/     /' "$out/picture.err" 2>/dev/null || true
    failed=$((failed + 1))
  fi
}

# The sum of the budgets of scenario files on a layer, from the runner's
# own reading of them: budgets linux|windows FILE...
budgets() {
  "$budget_runner" --budget "$@"
}

. tests/live/budget.sh
# The ID a build's programs look for: ids BUILD VENDOR|PRODUCT.
ids() {
  sed -n "s/^VANDREL_$2_ID:[A-Z]*=//p" "$1/CMakeCache.txt"
}

if [ "${VANDREL_LIVE_LINUX:-1}" != 0 ]; then
  echo "--- Linux: hidraw"
  cmake --preset default >/dev/null
  cmake --build --preset default --target vandrel-sim vandrel-live-screenshot vandrel_shared vandrelctl
  budget_runner="$ROOT/build/default/tests/rig/vandrel-sim"
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize --target vandrel-sim
  build="$ROOT/build/default"
  sanitized="$ROOT/build/sanitize/tests/rig/vandrel-sim"
  plain=() hostile=()
  for f in tests/scenarios/*.scn tests/live/*.scn; do
    playable "$f" || continue
    case "$(basename "$f")" in
      hostile_*) hostile+=("$ROOT/$f") ;;
      *) plain+=("$ROOT/$f") ;;
    esac
  done
  out="$ROOT/build/live/linux"
  VENDOR_ID=$(ids "$build" VENDOR) PRODUCT_ID=$(ids "$build" PRODUCT)
  guest $((BUDGET_BOOT + BUDGET_UNITS + BUDGET_RUNNER_LINUX + $(budgets linux "${plain[@]}") + BUDGET_LIBRARY_PYTHON)) "$out" \
    --library "$build" "$VENDOR_ID" "$PRODUCT_ID" "$build/tests/rig/vandrel-sim" "${plain[@]}"
  check "$out" "" "${plain[@]}"
  library_check "$out" "import vandrel sets and restores a unit as vandrelctl does"
  # Any sanitizer report aborts the runner, which then exits non-zero.
  guest $((BUDGET_BOOT + BUDGET_UNITS + BUDGET_RUNNER_LINUX + $(budgets linux "${hostile[@]}"))) "$out-hostile" \
    "$sanitized" "${hostile[@]}"
  check "$out-hostile" "" "${hostile[@]}"
  program="$build/tests/live/vandrel-live-screenshot" wine_budget=0 \
    picture "$out-picture" "$ROOT/build/live/vandrel-live.png"
fi

if [ "${VANDREL_LIVE_WINDOWS:-1}" != 0 ]; then
  echo "--- Windows: Wine's HID stack over hidraw"
  need_live_windows_packages
  # The budgets come from the native runner's reading of the scenarios.
  cmake --preset default >/dev/null
  cmake --build --preset default --target vandrel-sim
  budget_runner="$ROOT/build/default/tests/rig/vandrel-sim"
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target vandrel-sim vandrel vandrel-library-example
  build="$ROOT/build/windows"
  prefix="$build/wineprefix-live"
  prepare_live_wine_prefix "$prefix"
  scenarios=()
  for f in tests/scenarios/*.scn; do
    if playable "$f" && ! wine_cannot_play "$f"; then scenarios+=("$ROOT/$f"); fi
  done
  out="$ROOT/build/live/windows"
  VENDOR_ID=$(ids "$build" VENDOR) PRODUCT_ID=$(ids "$build" PRODUCT)
  guest $((BUDGET_BOOT + BUDGET_WINE + BUDGET_UNITS + BUDGET_RUNNER_WINE + $(budgets windows "${scenarios[@]}") +
    BUDGET_LIBRARY_LISTING +
    2 * BUDGET_LIBRARY_RUN)) "$out" --windows "$prefix" --library "$build/bin" "$VENDOR_ID" "$PRODUCT_ID" \
    "$build/tests/rig/vandrel-sim.exe" "${scenarios[@]}"
  check "$out" windows "${scenarios[@]}"
  library_check "$out" "the C example sets and restores a unit through vandrel.dll under Wine"
  program="$build/bin/vandrel.exe" wine_budget=$((BUDGET_WINE + BUDGET_DESKTOP)) \
    picture "$out-picture" "$ROOT/build/live/vandrel-live-windows.png" --windows "$prefix"
fi

echo "live stack: $played scenarios, $commands commands played; the guests' limits add up to $limits s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
