#!/usr/bin/env bash
# Builds the Debian package as a packager would: RelWithDebInfo with
# Debian's own compiler and linker flags and warnings as errors, runs the
# tests, makes the .deb with cpack and checks it with lintian. Then installs
# it with apt, checks the installed demo, desktop entry, metadata, copyright
# file and udev rule, the library through pkg-config, CMake and Python,
# removes them again and checks that nothing of them is left.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages dpkg-dev file lintian appstream desktop-file-utils udev
cd "$ROOT"
build="$ROOT/build/package"

# The preset takes Debian's flags from the environment, as a Debian build
# exports them.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS)" CPPFLAGS="$(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" cmake --workflow --preset package

packages=(vandrel libvandrel1 libvandrel-dev python3-vandrel)
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=()
for p in "${packages[@]}"; do
  found=("$build/${p}_"*.deb)
  [ "${#found[@]}" -eq 1 ] && [ -f "${found[0]}" ] || { echo "cpack made no single ${p}_*.deb" >&2; exit 1; }
  debs+=("${found[0]}")
  echo "package: ${found[0]}"
  dpkg-deb --info "${found[0]}" | sed -n 's/^ \(Depends\|Installed-Size\|Section\|Architecture\):/  \1:/p'
done
deb="${debs[0]}"

# No error and no warning.
findings="$(lintian --no-cfg "${debs[@]}" 2>&1 || true)"
[ -n "$findings" ] && echo "$findings"
if echo "$findings" | grep -qE '^[EW]: '; then
  echo "lintian reported errors or warnings" >&2
  exit 1
fi

as_root apt-get install -y -qq -o DPkg::Lock::Timeout=300 "${debs[@]}" >/dev/null
installed="$(mktemp)"
work="$(mktemp -d)"
trap 'rm -rf "$installed" "$work"' EXIT
dpkg-query -L "${packages[@]}" >"$installed"

check_screenshot "$build/installed-demo.png" \
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR /usr/bin/vandrel-demo

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
    /usr/share/icons/hicolor/scalable/apps/vandrel.svg /usr/include/vandrel/vandrel.h \
    /usr/lib/python3/dist-packages/vandrel/__init__.py; do
  [ -f "$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
# The command-line program runs without a display and finds no unit here.
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/vandrelctl --version
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/vandrelctl list --json
bash -c "source '$completions/vandrelctl' && complete -p vandrelctl" >/dev/null

# The library: its SONAME, and a C program built from pkg-config alone
# (the example the -dev package ships), then one through find_package.
library="$(grep -x '/usr/lib/.*/libvandrel\.so\.1' "$installed")"
objdump -p "$library" | grep -qE 'SONAME +libvandrel\.so\.1$' || { echo "$library has no SONAME libvandrel.so.1" >&2; exit 1; }
pkg-config --exists --print-errors vandrel
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/list_and_set" /usr/share/doc/libvandrel-dev/examples/list_and_set.c \
  $(pkg-config --cflags --libs vandrel)
env -u LD_LIBRARY_PATH "$work/list_and_set"
mkdir -p "$work/cmake"
printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(user C)' 'find_package(vandrel 1 REQUIRED)' \
  'add_executable(user /usr/share/doc/libvandrel-dev/examples/list_and_set.c)' \
  'target_link_libraries(user PRIVATE vandrel::vandrel)' >"$work/cmake/CMakeLists.txt"
cmake -S "$work/cmake" -B "$work/cmake/build" >/dev/null && cmake --build "$work/cmake/build" >/dev/null
"$work/cmake/build/user" >/dev/null
# Debian's own python3, with no unit attached: an empty list, no error.
listed="$(cd / && env -u PYTHONPATH /usr/bin/python3 -c 'import vandrel; print(list(vandrel.units()))')"
echo "python3: list(vandrel.units()) = $listed"
[ "$listed" = "[]" ] || { echo "import vandrel did not list no unit" >&2; exit 1; }
(cd / && env -u PYTHONPATH /usr/bin/python3 -m vandrel)

as_root apt-get purge -y -qq -o DPkg::Lock::Timeout=300 "${packages[@]}" >/dev/null
for p in "${packages[@]}"; do
  ! is_installed "$p" || { echo "$p is still installed" >&2; exit 1; }
done
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
echo "packages installed, checked and removed without a trace: ${packages[*]}"
