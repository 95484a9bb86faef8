#!/usr/bin/env bash
# Inside the test guest, from play.sh once its scenarios have played: the
# C example, cross-built, lists and sets a virtual unit under Wine through
# vandrel.dll beside it, and the unit must receive the reports that
# vandrelctl.exe sends for the same request.
#   library_wine.sh SOCKET BIN OUTDIR VID PID
# SOCKET is the running virtual units' command socket, and Wine's server
# and HID bus run in the prefix of WINEPREFIX. BIN is the Windows build's
# bin/ (vandrel-library-example.exe, vandrel.dll). OUTDIR gets each run's
# output and exit status (NAME.out, NAME.status) and journey.out, which says
# which step failed if one did; the exit status is 0 when the reports are
# as expected.
here=$(dirname "$0")
. "$here/budget.sh"
sock=$1 bin=$2 out=$3 vid=$4 pid=$5
mkdir -p "$out"
fail() {
  echo "$*" >>"$out/journey.out"
  exit 1
}
# Wine maps a program's and a DLL's sections straight from their files, and
# pages of a file on the guest's 9p share can read back as zeros that way
# (the example then dies of an access violation before its buffered output
# is written): the programs run from copies in the guest's own memory.
run=/tmp/vandrel-library
mkdir -p "$run"
cp "$bin/vandrel-library-example.exe" "$bin/vandrel.dll" "$run/" || fail "cannot copy the example from $bin"
units_say() {
  timeout 10 python3 - "$sock" "$@" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
f = s.makefile("rw")
f.write(" ".join(sys.argv[2:]) + "\n")
f.flush()
# Up to "end" for reports, else one line; never past the socket's end.
for line in f:
    line = line.strip()
    if line == "end":
        break
    if sys.argv[2] != "reports":
        print(line)
        break
    print(line.upper())
PY
}
# The journey has one budget, its listing's and two runs', and a run may
# use what those before it left: on one core a run of the example took
# from 7 s to over 60 s.
journey_end=$(($(cut -d. -f1 /proc/uptime) + BUDGET_LIBRARY_LISTING + 2 * BUDGET_LIBRARY_RUN))
# One of Wine's programs, stopped when the journey's time is up; its output
# without CRs in OUTDIR/NAME.out, its exit status in OUTDIR/NAME.status.
wine_run() {
  local name=$1 left=$((journey_end - $(cut -d. -f1 /proc/uptime)))
  shift
  timeout -k 10 "$((left > 1 ? left : 1))" wine "$@" >"$out/$name.raw" 2>&1
  local status=$?
  tr -d '\r' <"$out/$name.raw" >"$out/$name.out"
  rm -f "$out/$name.raw"
  echo $status >"$out/$name.status"
  return $status
}
text() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n' | sed 's/\(..\)/00\1/g' | tr a-f A-F; }
serial=VD-WINE1
answer=$(units_say plug vid="$vid" pid="$pid" version=274 serial="$(text $serial)" \
  manufacturer="$(text 'Vandrel Instruments')" product="$(text 'Vandrel Pulse Generator')" \
  report=008C00010002582710 feature_len=9 input_len=65 output_len=0)
case "$answer" in ok\ *) id=${answer#ok } ;; *) fail "cannot plug the unit: $answer" ;; esac

# Wine's HID bus hears of the node from udev, seconds after the kernel
# (15 to 78 s measured): the example lists until it sees the unit, for a
# bounded time. Units that the scenarios left plugged may be listed too.
listed() { grep -q "^$serial	" "$out/list.out" 2>/dev/null; }
end=$(($(cut -d. -f1 /proc/uptime) + BUDGET_LIBRARY_LISTING))
until listed; do
  if [ "$(cut -d. -f1 /proc/uptime)" -ge $end ]; then
    fail "Wine did not list the unit within $BUDGET_LIBRARY_LISTING s; the example's last listing (exit $(cat "$out/list.status")):
$(cat "$out/list.out")"
  fi
  wine_run list "$run/vandrel-library-example.exe" ||
    fail "the example's listing exited with $(cat "$out/list.status"):
$(cat "$out/list.out")"
  listed || sleep 1
done
units_say reports "$id" >/dev/null
wine_run set "$run/vandrel-library-example.exe" $serial 457 ||
  fail "the example's set exited with $(cat "$out/set.status"):
$(cat "$out/set.out")"
from_example=$(units_say reports "$id" | tr '\n' ' ')
# What vandrelctl.exe sent this unit, as it leaves the factory, for
# `set --amplitude 457` and then `restore`, run in the same guest.
from_ctl="00:01:42:00:01:00:02:58:00 00:01:8C:00:01:00:02:58:00 "
{
  cat "$out/list.out" "$out/set.out"
  echo "set to 457 mV and restored:"
  echo "  example:    $from_example"
  echo "  vandrelctl: $from_ctl(set --amplitude 457, restore)"
} >>"$out/journey.out"
units_say unplug "$id" >/dev/null
[ -n "$from_example" ] || fail "the unit received no report from the example"
[ "$from_example" = "$from_ctl" ] || fail "the example's reports differ from vandrelctl.exe's"
echo "  same" >>"$out/journey.out"
