#!/bin/sh
# Inside the test guest: starts the virtual units and plays each scenario
# through the runner over the native backend.
#   play.sh RUNNER OUTDIR [--screenshot PROGRAM PNG] FILE...
# For each FILE, OUTDIR gets NAME.actual (what the runner printed),
# NAME.err and NAME.status. "--runner OTHER" among the files plays the
# files after it through OTHER. With --screenshot, PROGRAM then draws the
# window beside one virtual unit into PNG (status in OUTDIR/screenshot.status).
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
python3 "$here/virtual_units.py" "$sock" 2>"$out/units.log" &
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
  "$runner" --live "$sock" "$f" >"$out/$name.actual" 2>"$out/$name.err" || status=$?
  echo $status >"$out/$name.status"
done
# One unit as it leaves the factory, for the picture; then the units stop.
python3 - "$sock" "$shot_program" "$shot_file" "$out" <<'PY'
import socket, subprocess, sys
sock, program, png, out = sys.argv[1:5]
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
    status = subprocess.call([program, png]) if answer.startswith("ok") else 1
    if not answer.startswith("ok"):
        print("play: cannot plug the unit for the picture: " + answer, file=sys.stderr)
    open(out + "/screenshot.status", "w").write("%d\n" % status)
f.write("quit\n")
f.flush()
PY
wait $units
