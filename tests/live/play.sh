#!/bin/sh
# Inside the test guest: starts the virtual units and plays each scenario
# through the runner over the native backend.
#   play.sh RUNNER OUTDIR FILE...
# For each FILE, OUTDIR gets NAME.actual (what the runner printed),
# NAME.err and NAME.status.
runner=$1 out=$2
shift 2
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
for f in "$@"; do
  name=$(basename "$f" .scn)
  status=0
  "$runner" --live "$sock" "$f" >"$out/$name.actual" 2>"$out/$name.err" || status=$?
  echo $status >"$out/$name.status"
done
python3 - "$sock" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(b"quit\n")
PY
wait $units
