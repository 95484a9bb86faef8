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
# Each scenario must print exactly its golden output: NAME.windows.out
# beside NAME.scn where the Windows layer legitimately differs, else
# NAME.out, with the maker and product as Wine shows them (see
# wine_identity below). VANDREL_LIVE_LINUX=0 or VANDREL_LIVE_WINDOWS=0
# skips a half.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
cd "$ROOT"

failed=0 passed=0 played=0 commands=0

# Wine 8.0's HID bus takes a hidraw device's maker and product from the
# hidraw node instead of the USB device above it: every unit's maker reads
# "hidraw" and its product the kernel's name for the HID device, which is
# the maker and the product joined by a blank. Reads a golden output and
# prints it with those two captions as Wine gives them.
wine_identity() {
  # The product's line comes first in a block, the maker's two lines later.
  awk '
    function caption(line) { sub(/^[^"]*caption=" ?/, "", line); sub(/"$/, "", line); return line }
    function flush() { if (n) { print product; printf "%s", held } held = ""; n = 0 }
    /^lblProduct .* caption="/ { flush(); product = $0; held = ""; n = 1; next }
    n && /^lblManuf .* caption="/ {
      maker = caption($0)
      if (maker != "") {
        name = caption(product)
        sub(/caption=".*$/, "", product)
        product = product "caption=\" " maker (name == "" ? "" : " " name) "\""
        sub(/caption=".*$/, "caption=\" hidraw\"")
      }
      print product; printf "%s", held; print; held = ""; n = 0; next
    }
    n { held = held $0 "\n"; next }
    { print }
    END { flush() }
  ' "$1"
}

# Whether real devices can play a scenario: they cannot be told to fail
# a single call.
playable() {
  ! grep -q -E '^[[:space:]]*(fail|heal)\b' "$1"
}

# Plays in one guest, whose limit is the sum of its work's budgets
# (tests/live/budget.sh): play.sh's arguments after the prefix, if any.
#   guest LIMIT OUTDIR [--windows PREFIX] PLAY_ARGS...
# A guest that runs out of time is stopped; what it was doing and the last
# lines that the runner and the units wrote are shown.
guest() {
  local limit=$1 out=$2 windows=()
  shift 2
  if [ "$1" = --windows ]; then windows=("$1" "$2"); shift 2; fi
  rm -rf "$out"
  local status=0 begun=$SECONDS
  bash scripts/vm.sh --timeout "$limit" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 sh tests/live/play.sh "${windows[@]}" "$out" "$@" || status=$?
  echo "     (guest: $((SECONDS - begun)) s of its $limit s)"
  [ "$status" = 124 ] || return 0
  local last current
  last=$(tail -n 1 "$out/progress" 2>/dev/null)
  case "$last" in
    *" start "*) current=${last#* start } ;;
    *) current= ;;
  esac
  echo "FAIL the guest ran out of its $limit s${current:+ while at: $current}; the steps it took (seconds since boot):"
  sed 's/^/     /' "$out/progress" 2>/dev/null
  local f
  for f in "$out/$current.raw" "$out/$current.actual" "$out/$current.err" "$out/picture.err" "$out/units.log"; do
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
  local f name expected status
  for f in "$@"; do
    name=$(basename "$f" .scn)
    expected="${f%.scn}.out"
    if [ -n "$golden_suffix" ]; then
      if [ -f "${f%.scn}.$golden_suffix.out" ]; then
        expected="${f%.scn}.$golden_suffix.out"
      else
        wine_identity "$expected" >"$out/$name.expected"
        expected="$out/$name.expected"
      fi
    fi
    status=$(cat "$out/$name.status" 2>/dev/null || echo missing)
    played=$((played + 1))
    if [ "$status" != 0 ]; then
      echo "FAIL $name: the runner exited with $status"
      cat "$out/$name.err"
      echo "     the last commands it played:"
      grep '^> ' "$out/$name.actual" 2>/dev/null | tail -n 3 | sed 's/^/       /'
      echo "     last lines of the units' log:"
      tail -n 10 "$out/units.log" 2>/dev/null | sed 's/^/       /'
      failed=$((failed + 1))
    elif ! diff -u "$expected" "$out/$name.actual" >"$out/$name.diff"; then
      echo "FAIL $name: output differs from $expected"
      cat "$out/$name.diff"
      failed=$((failed + 1))
    else
      echo "ok   $name"
      passed=$((passed + 1))
    fi
    if [ -f "$out/$name.restarted" ]; then
      echo "     (played on a new Wine server: the first one kept listing units the kernel no longer had:"
      sed 's/^/     /' "$out/$name.restarted"
      echo "     )"
    fi
    commands=$((commands + $(grep -c '^> ' "$out/$name.actual" 2>/dev/null || true)))
  done
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
    sed 's/^/     /' "$out/picture.err" 2>/dev/null
    failed=$((failed + 1))
  fi
}

# The sum of the budgets of scenario files.
budgets() {
  local f total=0
  for f in "$@"; do total=$((total + $(scenario_budget "$f"))); done
  echo "$total"
}

. tests/live/budget.sh
# The ID a build's programs look for: ids BUILD VENDOR|PRODUCT.
ids() {
  sed -n "s/^VANDREL_$2_ID:[A-Z]*=//p" "$1/CMakeCache.txt"
}

if [ "${VANDREL_LIVE_LINUX:-1}" != 0 ]; then
  echo "--- Linux: hidraw"
  cmake --preset default >/dev/null
  cmake --build --preset default --target vandrel-sim vandrel-live-screenshot
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize --target vandrel-sim
  build="$ROOT/build/default"
  sanitized="$ROOT/build/sanitize/src/app/vandrel-sim"
  plain=() hostile=()
  for f in tests/scenarios/*.scn tests/live/*.scn; do
    playable "$f" || continue
    case "$(basename "$f")" in
      hostile_*) hostile+=("$ROOT/$f") ;;
      *) plain+=("$ROOT/$f") ;;
    esac
  done
  out="$ROOT/build/live/linux"
  guest $((BUDGET_BOOT + BUDGET_UNITS + $(budgets "${plain[@]}"))) "$out" "$build/src/app/vandrel-sim" "${plain[@]}"
  check "$out" "" "${plain[@]}"
  # Any sanitizer report aborts the runner, which then exits non-zero.
  guest $((BUDGET_BOOT + BUDGET_UNITS + $(budgets "${hostile[@]}"))) "$out-hostile" "$sanitized" "${hostile[@]}"
  check "$out-hostile" "" "${hostile[@]}"
  VENDOR_ID=$(ids "$build" VENDOR) PRODUCT_ID=$(ids "$build" PRODUCT)
  program="$build/tests/live/vandrel-live-screenshot" wine_budget=0 \
    picture "$out-picture" "$ROOT/build/live/vandrel-live.png"
fi

if [ "${VANDREL_LIVE_WINDOWS:-1}" != 0 ]; then
  echo "--- Windows: Wine's HID stack over hidraw"
  need_live_windows_packages
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target vandrel-sim vandrel
  build="$ROOT/build/windows"
  prefix="$build/wineprefix-live"
  prepare_live_wine_prefix "$prefix"
  scenarios=()
  for f in tests/scenarios/*.scn; do
    if playable "$f"; then scenarios+=("$ROOT/$f"); fi
  done
  out="$ROOT/build/live/windows"
  guest $((BUDGET_BOOT + BUDGET_WINE + BUDGET_UNITS + $(budgets "${scenarios[@]}"))) "$out" \
    --windows "$prefix" "$build/src/app/vandrel-sim.exe" "${scenarios[@]}"
  check "$out" windows "${scenarios[@]}"
  VENDOR_ID=$(ids "$build" VENDOR) PRODUCT_ID=$(ids "$build" PRODUCT)
  program="$build/bin/vandrel.exe" wine_budget=$BUDGET_WINE \
    picture "$out-picture" "$ROOT/build/live/vandrel-live-windows.png" --windows "$prefix"
fi

echo "live stack: $played scenarios, $commands commands played"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
