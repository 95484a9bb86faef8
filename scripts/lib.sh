# Shared by the scripts: installs the Debian packages a step needs when
# they are missing, and finds the project's root.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export DEBIAN_FRONTEND=noninteractive

# A command that changes the system: as root, or through sudo for a user.
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

need_packages() {
  local missing=()
  for p in "$@"; do
    is_installed "$p" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    if [ -z "${VANDREL_APT_UPDATED:-}" ]; then
      as_root apt-get update -qq
      export VANDREL_APT_UPDATED=1
    fi
    # Another step or program may hold the package lock for a while.
    as_root apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# What every build of the core needs.
need_core_packages() {
  need_packages build-essential cmake ninja-build googletest libgtest-dev libbenchmark-dev pkg-config python3 python3-pytest \
    clang-format
}

# What the Qt 6 desktop programs need to build and to draw their window,
# what draws their launcher icons, and what says where vandrelctl's
# completion goes.
need_qt_packages() {
  need_packages qt6-base-dev libgl-dev fonts-liberation librsvg2-bin bash-completion
}

# Runs COMMAND --screenshot FILE, where COMMAND ends in vandrel-demo, and
# checks that FILE is a PNG of the window's client area, 361 by 574
# pixels: a PNG starts with an 8-byte signature and an IHDR chunk whose
# first fields are the width and height, big-endian.
#   check_screenshot FILE COMMAND...
check_screenshot() {
  local file=$1 expected=361x574 b
  shift
  rm -f "$file"
  "$@" --screenshot "$file"
  [ -s "$file" ] || { echo "missing or empty: $file" >&2; return 1; }
  [ "$(od -An -tx1 -N8 "$file" | tr -d ' \n')" = "89504e470d0a1a0a" ] || { echo "not a PNG: $file" >&2; return 1; }
  read -r -a b < <(od -An -tu1 -j16 -N8 "$file")
  local width=$(( (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3] ))
  local height=$(( (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7] ))
  [ "${width}x${height}" = "$expected" ] || { echo "$file is ${width}x${height}, expected $expected" >&2; return 1; }
  echo "ok: $file (${width}x${height})"
}

# What the Windows cross-build, its installer package and its runs under
# Wine need.
need_windows_packages() {
  need_packages mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wixl \
    wine wine64 xvfb xauth x11-utils imagemagick python3-build python3-setuptools python3-wheel
}

# What the Windows half of the live stack needs besides: the udev daemon
# that tells Wine's HID bus of devices in the guest.
need_live_windows_packages() {
  need_windows_packages
  need_packages udev
}

# Every Wine this project starts: a 64-bit prefix, quiet, and no installer
# prompts for the .NET and HTML engines, which nothing here uses.
#   wine_environment PREFIX
wine_environment() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# A Wine prefix for the live stack's guest, made once on this machine,
# where Wine starts in seconds rather than minutes: its HID bus reads the
# kernel's hidraw nodes (not SDL's devices), and hears of them coming and
# going from the guest's udev daemon, as on a desktop.
prepare_live_wine_prefix() {
  local prefix=$1 made="hidraw, no evdev, no USB bus, udevd, pristine registry"
  [ "$(cat "$prefix/.vandrel-live" 2>/dev/null)" = "$made" ] && return 0
  rm -rf "$prefix"
  (
    wine_environment "$prefix"
    timeout 300 wineboot -i >/dev/null 2>&1
    local bus='HKLM\System\CurrentControlSet\Services\winebus'
    wine reg add "$bus" /v 'Enable SDL' /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # The units are hidraw nodes only. Wine 8.0's bus thread dies on udev's
    # removal of an input device that has no device node, and hears no
    # hot-plug event after that: it is not told of input devices at all.
    wine reg add "$bus" /v DisableInput /t REG_DWORD /d 1 /f >/dev/null 2>&1
    # Wine's USB bus finds no driver for a unit, nor for the guest's root
    # hubs, and looks through every INF file for one on each plug, before
    # the plug and play thread reaches the HID bus's device: in the
    # emulated guest, seconds per plug. Without its root device it never
    # starts.
    wine reg delete 'HKLM\System\CurrentControlSet\Enum\ROOT\WINE\WINEUSB' /f >/dev/null 2>&1
    # Without a window manager Wine draws the window frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    timeout 60 wineserver -w
    # Wine keeps what it learns of devices in the registry and saves it as
    # it goes, even from a guest that is stopped: each guest starts from
    # the registry as made here (tests/live/play.sh puts it back).
    mkdir -p "$prefix/.pristine" && cp "$prefix"/*.reg "$prefix/.pristine/"
  ) && echo "$made" >"$prefix/.vandrel-live"
}
