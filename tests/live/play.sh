#!/bin/sh
# Inside the test guest: starts the virtual units and plays each scenario
# through the runner over the native backend.
#   play.sh [--windows PREFIX] RUNNER OUTDIR [--screenshot PROGRAM PNG] FILE...
# For each FILE, OUTDIR gets NAME.actual (what the runner printed),
# NAME.err and NAME.status. "--runner OTHER" among the files plays the
# files after it through OTHER. With --screenshot, PROGRAM then draws the
# window beside one virtual unit into PNG (status in OUTDIR/screenshot.status).
# With --windows, RUNNER and PROGRAM are Windows programs run by Wine in
# the prefix PREFIX, whose HID bus reads the kernel's hidraw nodes.
prefix=
if [ "${1:-}" = "--windows" ]; then
  prefix=$2
  shift 2
fi
runner=$1 out=$2
shift 2
shot_program= shot_file=
if [ "${1:-}" = "--screenshot" ]; then
  shot_program=$2 shot_file=$3
  shift 3
fi
here=$(dirname "$0")
mkdir -p "$out"
sock=/tmp/vandrel-units.sock
address=$sock
if [ -n "$prefix" ]; then
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine maps a program's sections straight from its file, and pages of a
  # file on the guest's 9p share can read back as zeros that way: run
  # copies from the guest's own memory.
  cp "$runner" /tmp/runner.exe && runner=/tmp/runner.exe
  # Wine's HID bus hears of hidraw nodes from udev: the daemon runs here
  # as on a desktop, and its events reach Wine once its rules have run.
  /lib/systemd/systemd-udevd --daemon 2>/dev/null
  # One Wine server and its HID bus for every program played here.
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  address=127.0.0.1:7531
fi
python3 "$here/virtual_units.py" "$sock" 127.0.0.1:7531 2>"$out/units.log" &
units=$!
i=0
while [ ! -S "$sock" ]; do
  i=$((i + 1))
  if [ $i -gt 600 ] || ! kill -0 $units 2>/dev/null; then
    echo "play: the virtual units did not start:" >&2
    cat "$out/units.log" >&2
    exit 1
  fi
  sleep 0.1
done
next_is_runner=
for f in "$@"; do
  if [ -n "$next_is_runner" ]; then runner=$f next_is_runner=; continue; fi
  if [ "$f" = "--runner" ]; then next_is_runner=1; continue; fi
  name=$(basename "$f" .scn)
  status=0
  if [ -n "$prefix" ]; then
    wine "$runner" --live "$address" "$f" >"$out/$name.raw" 2>"$out/$name.err" || status=$?
    # Wine's HID bus hears of arrivals and departures by its own clock,
    # later than the kernel, and now and then (about one scenario in
    # forty) the runner gives up waiting for its list to show the units it
    # expects. The cause is not pinned down; such a run is played once
    # more, from a fresh reset, and the suite says so.
    if [ $status != 0 ] && grep -q 'the platform lists .* interfaces, not' "$out/$name.err"; then
      cp "$out/$name.err" "$out/$name.retried"
      status=0
      wine "$runner" --live "$address" "$f" >"$out/$name.raw" 2>"$out/$name.err" || status=$?
    fi
    # A Windows program ends its lines with CR LF.
    tr -d '\r' <"$out/$name.raw" >"$out/$name.actual"
    rm -f "$out/$name.raw"
  else
    "$runner" --live "$address" "$f" >"$out/$name.actual" 2>"$out/$name.err" || status=$?
  fi
  echo $status >"$out/$name.status"
done
if [ -n "$prefix" ] && [ -n "$shot_program" ]; then
  cp "$shot_program" /tmp/picture.exe && shot_program=/tmp/picture.exe
fi
# One unit as it leaves the factory, for the picture; then the units stop.
python3 - "$sock" "$shot_program" "$shot_file" "$out" "$prefix" <<'PY'
import socket, subprocess, sys
sock, program, png, out, windows = sys.argv[1:6]
# The Windows program is the real one, which takes no arguments: it runs
# on a virtual display, and the picture is taken of the display once its
# window has shown a unit for a while.
ON_DISPLAY = r"""
wine "$0" & pid=$!
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Vandrel"'; do
  i=$((i + 1)); [ $i -lt 600 ] || break; sleep 0.2
done
sleep 8
import -window root "$1"; status=$?
kill $pid; wait $pid
exit $status
"""
s = socket.socket(socket.AF_UNIX)
s.connect(sock)
f = s.makefile("rw")
if program:
    text = lambda t: "".join("%04X" % ord(c) for c in t)
    f.write("plug vid=%d pid=%d version=274 serial=%s manufacturer=%s product=%s "
            "report=008C00010002582710 feature_len=9 input_len=65 output_len=0\n"
            % (0x1209, 0x0001, text("VD-000101"), text("Vandrel Instruments"), text("Vandrel Pulse Generator")))
    f.flush()
    answer = f.readline().strip()
    if not answer.startswith("ok"):
        status = 1
    elif windows:
        status = subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "sh", "-c", ON_DISPLAY, program, png])
    else:
        status = subprocess.call([program, png])
    if not answer.startswith("ok"):
        print("play: cannot plug the unit for the picture: " + answer, file=sys.stderr)
    open(out + "/screenshot.status", "w").write("%d\n" % status)
f.write("quit\n")
f.flush()
PY
wait $units
if [ -n "$prefix" ]; then
  wineserver -k
  # udevadm refuses to stop the daemon in a chroot.
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" != systemd-udevd ] || kill "${p#/proc/}"
  done
fi
