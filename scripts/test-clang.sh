#!/usr/bin/env bash
# The build a person gets from the two plain commands, without a preset,
# here with clang and warnings as errors: it must make both desktop
# programs, and its tests must pass. Also checks that configure stops and
# names the package when Qt 6 cannot be found.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages clang
cd "$ROOT"
build="$ROOT/build/clang"

cmake --workflow --preset clang
for program in vandrel vandrel-demo; do
  [ -x "$build/src/app/qt/$program" ] || { echo "the plain build made no $program" >&2; exit 1; }
done

noqt="$build-no-qt"
rm -rf "$noqt"
out="$(cmake -S . -B "$noqt" -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON 2>&1)" && { echo "configure went on without Qt 6" >&2; exit 1; }
echo "$out" | grep -q 'qt6-base-dev' || { echo "$out"; echo "configure did not name qt6-base-dev" >&2; exit 1; }
rm -rf "$noqt"
echo "ok: without Qt 6, configure stops and names qt6-base-dev"
