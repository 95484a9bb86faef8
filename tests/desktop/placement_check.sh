#!/usr/bin/env bash
# Starts a Linux program of the project on the current X display under a
# window manager and checks where its window "Vandrel" opened: centred on
# the screen when its frame fits, else with the frame's top-left corner at
# the screen's top-left, so the title bar and close box stay reachable.
# Usage: placement_check.sh PROGRAM SCALE   (SCALE as QT_SCALE_FACTOR takes it)
set -euo pipefail
program="$1" scale="$2"

QT_SCALE_FACTOR="$scale" "$program" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

info=""
for _ in $(seq 100); do
  # Only once the window manager has framed the window does its frame
  # extent exist.
  if info=$(xwininfo -name Vandrel 2>/dev/null) &&
     xprop -id "$(awk '/Window id:/ {print $4}' <<<"$info")" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='; then
    break
  fi
  info=""
  sleep 0.1
done
[ -n "$info" ] || { echo "FAIL at scale $scale: no framed window named Vandrel appeared" >&2; exit 1; }
sleep 0.5  # the program moves its window once more when it learns the frame
info=$(xwininfo -name Vandrel)
id=$(awk '/Window id:/ {print $4}' <<<"$info")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
w=$(awk '/Width:/ {print $2}' <<<"$info")
h=$(awk '/Height:/ {print $2}' <<<"$info")
read -r left right top bottom < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
root=$(xwininfo -root)
sw=$(awk '/Width:/ {print $2}' <<<"$root")
sh=$(awk '/Height:/ {print $2}' <<<"$root")

fx=$((x - left)) fy=$((y - top)) fw=$((w + left + right)) fh=$((h + top + bottom))
want_x=$(( fw <= sw ? (sw - fw) / 2 : 0 ))
want_y=$(( fh <= sh ? (sh - fh) / 2 : 0 ))
echo "scale $scale: frame ${fw}x${fh} at $fx,$fy on a ${sw}x${sh} screen (expected $want_x,$want_y)"
# Qt places in device-independent pixels: a scaled half pixel may round.
tolerance=$(awk -v s="$scale" 'BEGIN { print int(s + 0.999) }')
for axis in x y; do
  got=$([ $axis = x ] && echo $fx || echo $fy)
  want=$([ $axis = x ] && echo $want_x || echo $want_y)
  d=$((got - want)); d=${d#-}
  if [ "$d" -gt "$tolerance" ]; then
    echo "FAIL at scale $scale: the frame's $axis is $got, expected $want" >&2
    exit 1
  fi
done
