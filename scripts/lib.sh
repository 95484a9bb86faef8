# Shared by the scripts: installs the Debian packages a step needs when
# they are missing, and finds the project's root.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export DEBIAN_FRONTEND=noninteractive

need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ -z "${VANDREL_APT_UPDATED:-}" ]; then
      $sudo apt-get update -qq
      export VANDREL_APT_UPDATED=1
    fi
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# What every build of the core needs.
need_core_packages() {
  need_packages build-essential cmake ninja-build googletest libgtest-dev libbenchmark-dev pkg-config python3
}

# What the Qt 6 desktop programs need to build and to draw their window.
need_qt_packages() {
  need_packages qt6-base-dev libgl-dev fonts-liberation
}
