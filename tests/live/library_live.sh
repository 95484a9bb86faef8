#!/bin/sh
# Inside the test guest, from play.sh once its scenarios have played:
# library_journey.py sets and restores a virtual unit with the package and
# libvandrel of the build BUILD, and compares the reports with that
# build's vandrelctl's.
#   library_live.sh SOCKET BUILD OUTDIR VID PID
# SOCKET is the running virtual units' command socket. OUTDIR gets
# journey.out; the exit status is the journey's.
sock=$1 build=$2 out=$3 vid=$4 pid=$5
here=$(dirname "$0")
. "$here/budget.sh"
mkdir -p "$out"
PYTHONPATH="$here/../../src/python" LD_LIBRARY_PATH="$build/src/lib" PYTHONDONTWRITEBYTECODE=1 \
  timeout -k 10 "$BUDGET_LIBRARY_PYTHON" python3 "$here/library_journey.py" "$sock" "$build/src/app/ctl/vandrelctl" "$vid" "$pid" >"$out/journey.out" 2>&1
status=$?
[ $status != 124 ] && [ $status != 137 ] || echo "the journey was stopped after its budget of $BUDGET_LIBRARY_PYTHON s" >>"$out/journey.out"
exit $status
