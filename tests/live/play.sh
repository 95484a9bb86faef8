#!/usr/bin/env bash
# Inside the test guest: starts the virtual units, then either plays
# scenarios through the runner over the native backend, or draws the window
# beside one virtual unit.
#   play.sh [--windows PREFIX] [--library BUILD VID PID] OUTDIR RUNNER FILE...
#   play.sh [--windows PREFIX] OUTDIR --picture PROGRAM PNG VID PID
# For each FILE, OUTDIR gets NAME.actual (what the runner printed),
# NAME.err and NAME.status, and runner.err what the runners said besides; a picture's status goes to picture.status, and
# the reason it failed to picture.err. OUTDIR/progress gets a line as each
# step starts and ends, with the seconds since the guest started, so that
# whoever stops a guest that ran out of time can tell where it stood; the
# units write to OUTDIR/units.log.
# With --windows, RUNNER and PROGRAM are Windows programs run by Wine in
# the prefix PREFIX, whose HID bus reads the kernel's hidraw nodes, and
# VANDREL_BUDGET_RUNNER names a native vandrel-sim that tells each
# scenario's budget (without it, RUNNER does).
# With --library, once the scenarios have played, the C library's journey
# sets a unit with the IDs VID and PID: import vandrel from the build BUILD
# (library_live.sh), or with --windows the C example from the Windows
# build's bin/ BUILD under the same Wine (library_wine.sh). Its status goes
# to library.status, what it printed to library/journey.out.
here=$(dirname "$0")
source "$here/../../scripts/lib.sh"
# Every step's status is recorded and the next one still runs.
set +e +u +o pipefail
. "$here/budget.sh"

# The runner's exit statuses that mean more than a failure, and timeout's.
RUNNER_UNSETTLED=4  # the stack was not as a scenario starts; nothing played
TIMED_OUT=124       # also the runner's own, when a scenario outlives its budget
KILLED=137

prefix=
if [ "${1:-}" = "--windows" ]; then
  prefix=$2
  shift 2
fi
library=
if [ "${1:-}" = "--library" ]; then
  library=$2 library_vid=$3 library_pid=$4
  shift 4
fi
out=$1
shift
mkdir -p "$out"
: >"$out/progress"
step() {
  echo "$(cut -d' ' -f1 /proc/uptime) $*" >>"$out/progress"
}
sock=/tmp/vandrel-units.sock
address=$sock
if [ -n "$prefix" ]; then
  wine_environment "$prefix"
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
    WINEDEBUG=-all,+plugplay,warn+hid timeout "$BUDGET_WINE" wine cmd /c exit >/dev/null 2>"$out/wine.log"
    status=$?
    step end wine $status
    if [ $status != 0 ]; then
      echo "play: Wine did not start within $BUDGET_WINE s (status $status)" >"$out/wine.err"
    fi
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
  timeout 10 python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(b"quit\n")' "$sock"
  local i=0
  while kill -0 $units 2>/dev/null && [ $i -lt 100 ]; do
    i=$((i + 1))
    sleep 0.1
  done
  kill $units 2>/dev/null
  if [ -n "$prefix" ]; then
    timeout 30 wineserver -k
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
  budget_runner=${VANDREL_BUDGET_RUNNER:-$runner}
  layer=linux wine=() start=$BUDGET_RUNNER_LINUX
  [ -z "$prefix" ] || layer=windows wine=(wine) start=$BUDGET_RUNNER_WINE
  # One runner plays the scenarios in turn, each into files of its own, and
  # stops itself when one outlives its budget; a runner stopped, or ended
  # by a sanitizer, leaves the rest to the next. No scenario plays twice.
  left=("$@")
  while [ ${#left[@]} -gt 0 ]; do
    status=0
    before=$(wc -l <"$out/progress")
    if [ -s "$out/wine.err" ]; then
      status=1
      cp "$out/wine.err" "$out/runner.err"
    elif ! limit=$("$budget_runner" --budget $layer "${left[@]}" 2>>"$out/runner.err"); then
      status=2
    else
      timeout -k 10 $((start + 2 * limit)) "${wine[@]}" "$runner" --live "$address" "$out" $layer "${left[@]}" \
        2>>"$out/runner.err" || status=$?
    fi
    if ! tail -n +$((before + 1)) "$out/progress" | grep -q " start "; then
      # The runner played nothing: no other would fare better.
      for f in "${left[@]}"; do
        echo $status >"$out/$(basename "$f" .scn).status"
        cp "$out/runner.err" "$out/$(basename "$f" .scn).err"
      done
      break
    fi
    rest=()
    for f in "${left[@]}"; do
      name=$(basename "$f" .scn)
      if [ -f "$out/$name.status" ]; then
        continue
      elif grep -q " start $name\$" "$out/progress"; then
        # The one it was playing when it stopped.
        echo $status >"$out/$name.status"
        step end "$name" $status
        if [ $status = $TIMED_OUT ] || [ $status = $KILLED ]; then
          echo "play: $name was stopped after twice its budget of $("$budget_runner" --budget $layer "$f") s" >>"$out/$name.err"
        fi
      else
        rest+=("$f")
      fi
    done
    left=("${rest[@]}")
  done
  previous="the guest's start"
  for f in "$@"; do
    name=$(basename "$f" .scn)
    if [ "$(cat "$out/$name.status" 2>/dev/null)" = $RUNNER_UNSETTLED ]; then
      # The reset before the first command found the layer still listing a
      # unit the kernel no longer has: what the scenario before left behind
      # broke it. Nothing of this one was played, and nothing is replayed.
      echo "play: nothing of $name was played: before its first command the layer still listed a unit that the kernel no longer has, left by $previous" >>"$out/$name.err"
    fi
    previous=$name
  done
  if [ -n "$library" ]; then
    step start library
    if [ -n "$prefix" ] && [ -s "$out/wine.err" ]; then
      mkdir -p "$out/library" && cp "$out/wine.err" "$out/library/journey.out"
      status=1
    elif [ -n "$prefix" ]; then
      bash "$here/library_wine.sh" "$sock" "$library" "$out/library" "$library_vid" "$library_pid"
      status=$?
    else
      sh "$here/library_live.sh" "$sock" "$library" "$out/library" "$library_vid" "$library_pid"
      status=$?
    fi
    echo $status >"$out/library.status"
    step end library $status
  fi
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
    out=$2
    step() { echo "$(cut -d" " -f1 /proc/uptime) $*" >>"$out/progress"; }
    step start wine
    wineserver -p
    # Wine boots its services first, as for the scenarios: a window asked
    # for in the middle of that boot can miss the desktop on a slow guest.
    timeout "$3" wine cmd /c exit >/dev/null 2>&1
    step end wine $?
    # A program that finds no desktop starts one and gives it 10 s, then
    # makes no window: on one emulated core explorer takes longer. Once the
    # boot'"'"'s desktop has closed, one is started here, ahead of the program.
    wait_for() {  # SECONDS WHAT COMMAND...
      seconds=$1 what=$2; shift 2
      end=$(($(cut -d. -f1 /proc/uptime) + seconds))
      until "$@"; do
        [ "$(cut -d. -f1 /proc/uptime)" -lt $end ] || { echo "$what within $seconds s"; wineserver -k; exit 1; }
        sleep 0.5
      done
    }
    wait_for 60 "the boot'"'"'s desktop did not close" sh -c "! pgrep -x explorer.exe >/dev/null"
    wine explorer /desktop >/dev/null 2>&1 &
    wait_for 120 "Wine'"'"'s desktop did not start" sh -c "xwininfo -root -tree 2>/dev/null | grep -q \"(.explorer.exe. \""
    step end desktop
    WINEDEBUG=-all,err+win wine "$0" & pid=$!
    end=$(($(cut -d. -f1 /proc/uptime) + 300))
    until xwininfo -root -tree 2>/dev/null | grep -q "\"Vandrel\""; do
      if ! kill -0 $pid 2>/dev/null; then
        wait $pid; echo "the program ended with status $? before its window appeared"; wineserver -k; exit 1
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
  ' "$program" "$png" "$out" "$BUDGET_WINE" >>"$out/picture.err" 2>&1
  status=$?
  step end picture $status
fi
echo $status >"$out/picture.status"
stop
