#!/bin/sh
# Inside the test guest: starts the virtual units, then either plays
# scenarios through the runner over the native backend, or draws the window
# beside one virtual unit.
#   play.sh [--windows PREFIX] OUTDIR RUNNER FILE...
#   play.sh [--windows PREFIX] OUTDIR --picture PROGRAM PNG VID PID
# For each FILE, OUTDIR gets NAME.actual (what the runner printed),
# NAME.err and NAME.status; a picture's status goes to picture.status, and
# the reason it failed to picture.err. OUTDIR/progress gets a line as each
# step starts and ends, with the seconds since the guest started, so that
# whoever stops a guest that ran out of time can tell where it stood; the
# units write to OUTDIR/units.log.
# With --windows, RUNNER and PROGRAM are Windows programs run by Wine in
# the prefix PREFIX, whose HID bus reads the kernel's hidraw nodes.
prefix=
if [ "${1:-}" = "--windows" ]; then
  prefix=$2
  shift 2
fi
out=$1
shift
here=$(dirname "$0")
. "$here/budget.sh"
mkdir -p "$out"
: >"$out/progress"
step() {
  echo "$(cut -d' ' -f1 /proc/uptime) $*" >>"$out/progress"
}
sock=/tmp/vandrel-units.sock
address=$sock
if [ -n "$prefix" ]; then
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Devices that earlier guests plugged, and half-kept state of one that was
  # stopped, must not meet this guest's units: Wine's registry starts as
  # the prefix was made.
  cp "$prefix"/.pristine/*.reg "$prefix/" || exit 1
  # Wine's HID bus hears of hidraw nodes from udev: the daemon runs here
  # as on a desktop, and its events reach Wine once its rules have run.
  /lib/systemd/systemd-udevd --daemon 2>/dev/null
  # One Wine server and its HID bus for every program played here. Its
  # desktop takes the display of the first program that needs one, so for
  # a picture Wine starts on the virtual display, further down.
  if [ "$1" != --picture ]; then
    step start wine
    wineserver -p
    # The bus's services inherit this first program's standard error: what
    # Wine's plug and play makes of udev's news (in units.log) goes to
    # wine.log, for when Wine's list and the kernel's disagree.
    WINEDEBUG=-all,+plugplay,warn+hid wine cmd /c exit >/dev/null 2>"$out/wine.log"
    step end wine
  fi
  address=127.0.0.1:7531
fi
step start units
python3 "$here/virtual_units.py" "$sock" 127.0.0.1:7531 2>"$out/units.log" &
units=$!
i=0
while [ ! -S "$sock" ]; do
  i=$((i + 1))
  if [ $i -gt 600 ] || ! kill -0 $units 2>/dev/null; then
    echo "play: the virtual units did not start within 60 s:" >&2
    cat "$out/units.log" >&2
    exit 1
  fi
  sleep 0.1
done
step end units

stop() {
  python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(b"quit\n")' "$sock"
  wait $units
  if [ -n "$prefix" ]; then
    wineserver -k
    # udevadm refuses to stop the daemon in a chroot.
    for p in /proc/[0-9]*; do
      [ "$(cat "$p/comm" 2>/dev/null)" != systemd-udevd ] || kill "${p#/proc/}"
    done
  fi
}

if [ "$1" != --picture ]; then
  runner=$1
  shift
  # Wine maps a program's sections straight from its file, and pages of a
  # file on the guest's 9p share can read back as zeros that way: run
  # copies from the guest's own memory.
  if [ -n "$prefix" ]; then cp "$runner" /tmp/runner.exe && runner=/tmp/runner.exe; fi
  for f in "$@"; do
    name=$(basename "$f" .scn)
    step start "$name"
    status=0
    # A scenario that hangs is stopped at its budget, and the others play on.
    limit=$(scenario_budget "$f")
    if [ -n "$prefix" ]; then
      timeout -k 10 "$limit" wine "$runner" --live "$address" "$f" >"$out/$name.raw" 2>"$out/$name.err" || status=$?
      # Status 4: Wine's HID bus still lists devices the kernel no longer
      # has, before the scenario's first command. Wine 8.0's bus can lose
      # track of the devices it holds once one of them leaves, and then
      # keeps them listed for good; only a new Wine server forgets them.
      # Nothing has been played, so the scenario starts, once, on a fresh
      # server.
      if [ $status = 4 ]; then
        step restart wine
        sed 's/^/play: before a new Wine server: /' "$out/$name.err" >"$out/$name.restarted"
        wineserver -k
        wineserver -p
        wine cmd /c exit >/dev/null 2>>"$out/wine.log"
        status=0
        timeout -k 10 "$limit" wine "$runner" --live "$address" "$f" >"$out/$name.raw" 2>"$out/$name.err" || status=$?
      fi
      # A Windows program ends its lines with CR LF.
      tr -d '\r' <"$out/$name.raw" >"$out/$name.actual"
      rm -f "$out/$name.raw"
    else
      timeout -k 10 "$limit" "$runner" --live "$address" "$f" >"$out/$name.actual" 2>"$out/$name.err" || status=$?
    fi
    if [ $status = 124 ] || [ $status = 137 ]; then
      echo "play: $name was stopped after its budget of $limit s" >>"$out/$name.err"
    fi
    echo $status >"$out/$name.status"
    step end "$name" $status
  done
  stop
  exit 0
fi

program=$2 png=$3 vid=$4 pid=$5
[ -z "$prefix" ] || { cp "$program" /tmp/picture.exe && program=/tmp/picture.exe; }
# One unit as it leaves the factory.
step start plug
python3 - "$sock" "$vid" "$pid" >"$out/picture.err" 2>&1 <<'PY'
import socket, sys
sock, vid, pid = sys.argv[1:4]
text = lambda t: "".join("%04X" % ord(c) for c in t)
s = socket.socket(socket.AF_UNIX)
s.connect(sock)
f = s.makefile("rw")
f.write("plug vid=%s pid=%s version=274 serial=%s manufacturer=%s product=%s "
        "report=008C00010002582710 feature_len=9 input_len=65 output_len=0\n"
        % (vid, pid, text("VD-000101"), text("Vandrel Instruments"), text("Vandrel Pulse Generator")))
f.flush()
answer = f.readline().strip()
if not answer.startswith("ok"):
    sys.exit("cannot plug the unit for the picture: " + answer)
PY
status=$?
step end plug $status
if [ $status = 0 ] && [ -z "$prefix" ]; then
  step start picture
  "$program" "$png" >>"$out/picture.err" 2>&1
  status=$?
  step end picture $status
elif [ $status = 0 ]; then
  # The Windows program is the real one, which takes no arguments: it runs
  # on a virtual display, and the picture is taken of the display once its
  # window has been up for a while. Every wait is bounded, and names
  # itself when it runs out.
  step start picture
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    step() { echo "$(cut -d" " -f1 /proc/uptime) $*" >>"$2/progress"; }
    step start wine
    wineserver -p
    wine "$0" & pid=$!
    end=$(($(cut -d. -f1 /proc/uptime) + 300))
    until xwininfo -root -tree 2>/dev/null | grep -q "\"Vandrel\""; do
      if ! kill -0 $pid 2>/dev/null; then
        echo "the program ended before its window appeared"; wineserver -k; exit 1
      elif [ "$(cut -d. -f1 /proc/uptime)" -ge $end ]; then
        echo "the window did not appear within 300 s"; wineserver -k; exit 1
      fi
      sleep 0.5
    done
    step window up
    # Its timer has connected the unit well before this.
    sleep 8
    timeout 60 import -window root "$1"; status=$?
    [ $status = 0 ] || echo "import could not take the picture within 60 s (status $status)"
    wineserver -k
    wait $pid
    exit $status
  ' "$program" "$png" "$out" >>"$out/picture.err" 2>&1
  status=$?
  step end picture $status
fi
echo $status >"$out/picture.status"
stop
