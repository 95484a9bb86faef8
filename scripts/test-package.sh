#!/usr/bin/env bash
# Builds the Debian package as a packager would: RelWithDebInfo with
# Debian's own compiler and linker flags and warnings as errors, runs the
# tests, makes the .deb with cpack and checks it with lintian. Then installs
# it with apt, checks the installed demo, desktop entry, metadata, copyright
# file and udev rule, removes it again and checks that nothing of it is left.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages dpkg-dev file lintian appstream desktop-file-utils udev
cd "$ROOT"
build="$ROOT/build/package"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# CMake reads no CPPFLAGS; a Debian build passes them with the compiler's.
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DVANDREL_WERROR=ON -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure

rm -f "$build"/vandrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/vandrel_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no single vandrel_*.deb" >&2; exit 1; }
deb="${debs[0]}"
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Installed-Size\|Section\):/  \1:/p'

# No error and no warning.
findings="$(lintian --no-cfg "$deb" 2>&1 || true)"
[ -n "$findings" ] && echo "$findings"
if echo "$findings" | grep -qE '^[EW]: '; then
  echo "lintian reported errors or warnings" >&2
  exit 1
fi

$sudo apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >/dev/null
installed="$(mktemp)"
trap 'rm -f "$installed"' EXIT
dpkg-query -L vandrel >"$installed"

shot="$build/installed-demo.png"
rm -f "$shot"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR \
  /usr/bin/vandrel-demo --screenshot "$shot"
check_png "$shot" 361x574

desktop-file-validate /usr/share/applications/vandrel.desktop
metainfo="$(grep -x '/usr/share/metainfo/.*\.metainfo\.xml' "$installed")"
# Not even a pedantic finding: appstreamcli passes those with status 0.
validation="$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)" || { echo "$validation" >&2; exit 1; }
echo "$validation"
if echo "$validation" | grep -qE '^[EWIP]: '; then
  echo "appstreamcli reported findings on $metainfo" >&2
  exit 1
fi
rule="$(pkg-config --variable=udevdir udev)/rules.d/60-vandrel.rules"
[ -f "$rule" ] || { echo "the udev rule is not in $rule" >&2; exit 1; }
completions="$(pkg-config --variable=completionsdir bash-completion)"
for file in /usr/bin/vandrel /usr/share/doc/vandrel/copyright /usr/share/man/man1/vandrel.1.gz /usr/share/man/man1/vandrel-demo.1.gz \
    /usr/bin/vandrelctl /usr/share/man/man1/vandrelctl.1.gz "$completions/vandrelctl" \
    /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/vandrel.png \
    /usr/share/icons/hicolor/scalable/apps/vandrel.svg; do
  [ -f "$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
# The command-line program runs without a display and finds no unit here.
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/vandrelctl --version
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/vandrelctl list --json
bash -c "source '$completions/vandrelctl' && complete -p vandrelctl" >/dev/null

$sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=300 vandrel >/dev/null
if dpkg-query -W -f='${Status}' vandrel 2>/dev/null | grep -q installed; then
  echo "vandrel is still installed" >&2
  exit 1
fi
# Every file is gone; a directory may stay only while something else is in
# it (/lib is a link to /usr/lib on a merged system).
left=0
while read -r path; do
  if [ -d "$path" ]; then
    [ -z "$(ls -A "$path")" ] && { echo "left behind, empty: $path" >&2; left=1; }
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$installed"
[ "$left" -eq 0 ]
echo "package installed, checked and removed without a trace: $(basename "$deb")"
