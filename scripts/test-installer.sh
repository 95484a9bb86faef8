#!/usr/bin/env bash
# The Windows Installer package from end to end, under Wine:
#  1. builds build/windows/package/vandrel-<version>-x64.msi, unsigned, and
#     in build/windows-next the same sources as the next patch version,
#     signed with a throwaway certificate made here;
#  2. verifies every signature with osslsigncode against that certificate's
#     authority, and checks that a program changed by one byte, or checked
#     against another authority, fails;
#  3. in a fresh Wine prefix, installs the first package silently and checks
#     the program under Program Files, the Start-menu shortcut and the
#     installed-programs entry; starts the installed vandrel.exe and leaves
#     a picture of its window in build/windows/vandrel-installed.png;
#     installs the newer package over it (one entry, the new version, the
#     new files), which the older one then refuses to replace; uninstalls
#     silently and checks that nothing is left.
source "$(dirname "$0")/lib.sh"

if [ "${1:-}" != "--under-x" ]; then
  need_core_packages
  need_windows_packages
  need_packages osslsigncode openssl
  cd "$ROOT"
  start=$SECONDS

  version=$(sed -n 's/^set(vandrel_version \([0-9.]*\))$/\1/p' CMakeLists.txt)
  [[ "$version" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
  next="${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))"

  cmake --preset windows >/dev/null
  cmake --build --preset windows --target vandrel_msi win32_smoke
  old_msi="$ROOT/build/windows/package/vandrel-$version-x64.msi"
  [ -f "$old_msi" ] || { echo "the build made no $old_msi" >&2; exit 1; }

  # A throwaway authority and a code-signing certificate it issued, made
  # afresh on every run; a second authority that issued nothing here.
  certs="$ROOT/build/windows-next/throwaway-certificate"
  rm -rf "$certs" && mkdir -p "$certs"
  (
    cd "$certs"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vandrel test authority" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
      -keyout ca.key -out ca.pem 2>/dev/null
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Another authority" \
      -keyout other-ca.key -out other-ca.pem 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Vandrel test signer" \
      -keyout signer.key -out signer.csr 2>/dev/null
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
      "extendedKeyUsage=codeSigning" >signer.ext
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
      -extfile signer.ext -out signer.pem 2>/dev/null
  )
  [ -s "$certs/signer.pem" ] || { echo "openssl made no signing certificate" >&2; exit 1; }

  cmake --preset windows -B build/windows-next -DVANDREL_VERSION="$next" -DVANDREL_BUILD_TESTS=OFF \
    -DVANDREL_SIGN_CERT="$certs/signer.pem" -DVANDREL_SIGN_KEY="$certs/signer.key" >/dev/null
  cmake --build build/windows-next --target vandrel_msi
  new_package="$ROOT/build/windows-next/package"
  new_msi="$new_package/vandrel-$next-x64.msi"
  [ -f "$new_msi" ] || { echo "the signed build made no $new_msi" >&2; exit 1; }

  # Whether the file $2 verifies against the authority $1; the details go
  # to verify.log.
  verifies() { osslsigncode verify -CAfile "$1" -in "$2" >"$certs/verify.log" 2>&1; }
  for signed in "$new_package"/*.exe "$new_package"/*.dll "$new_msi"; do
    verifies "$certs/ca.pem" "$signed" ||
      { cat "$certs/verify.log" >&2; echo "the signature of $signed does not verify" >&2; exit 1; }
    ! verifies "$certs/other-ca.pem" "$signed" ||
      { echo "the signature of $signed verifies against an authority that never issued its certificate" >&2; exit 1; }
    echo "ok: signed and verified: ${signed#"$ROOT"/}"
  done
  changed="$certs/vandrel-changed.exe"
  python3 - "$new_package/vandrel.exe" "$changed" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 2] ^= 0xFF  # a byte of code, far from the signature
open(sys.argv[2], "wb").write(data)
PY
  ! verifies "$certs/ca.pem" "$changed" ||
    { echo "vandrel.exe changed by one byte after signing still verifies" >&2; exit 1; }
  echo "ok: vandrel.exe changed by one byte fails verification"

  export BUILD="$ROOT/build/windows" OLD_MSI="$old_msi" NEW_MSI="$new_msi" OLD_VERSION="$version" \
    NEW_VERSION="$next" OLD_PACKAGE="$ROOT/build/windows/package" NEW_PACKAGE="$new_package"
  status=0
  timeout 900 xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" --under-x || status=$?
  if [ -f "$BUILD/vandrel-installed.bmp" ]; then
    convert "$BUILD/vandrel-installed.bmp" "$BUILD/vandrel-installed.png" &&
      echo "window picture: $BUILD/vandrel-installed.png"
  fi
  [ "$status" -eq 0 ] || { echo "the installer test under Wine failed" >&2; exit "$status"; }
  echo "installer test passed in $((SECONDS - start)) s"
  exit 0
fi

# Under the virtual display, in a fresh prefix. Wine copies each Start-menu
# shortcut into the desktop's menus, so the desktop's menu folders are
# folders of the test's own.
work="$BUILD/installer-test"
# A Wine server still running for the old prefix would serve the new one.
[ ! -d "$work/wineprefix" ] || WINEPREFIX="$work/wineprefix" timeout 30 wineserver -k >/dev/null 2>&1 || true
rm -rf "$work"
mkdir -p "$work"
wine_environment "$work/wineprefix"
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
drive="$WINEPREFIX/drive_c"
install_dir="$drive/Program Files/Vandrel Configuration"
uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products_key='HKEY_LOCAL_MACHINE\Software\Classes\Installer\Products'

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
finish() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  [ "$failures" -eq 0 ] || echo "$failures check(s) failed" >&2
  exit $((failures == 0 ? 0 : 1))
}

echo "creating a fresh Wine prefix in $WINEPREFIX"
timeout 300 wineboot -i >"$work/wineboot.log" 2>&1 ||
  { fail "wineboot could not create the prefix (log: $work/wineboot.log)"; finish; }
# Without a window manager Wine draws the frame itself, caption included.
timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true

msiexec() {
  local what=$1
  shift
  local rc=0
  timeout 300 wine msiexec "$@" /qn /l*v "$work/$what.log" >/dev/null 2>&1 || rc=$?
  timeout 60 wineserver -w || true
  [ "$rc" -eq 0 ] || { fail "msiexec $* /qn ended with $rc (log: $work/$what.log)"; finish; }
  echo "ok: $what: msiexec $(basename "${@: -1}") /qn"
}

# Every value under the registry key $1, as "key<TAB>name<TAB>value" lines.
registry_values() {
  timeout 120 wine reg query "$1" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; next }
    /^    [^ ]/ { n = split(substr($0, 5), f, /    /); printf "%s\t%s\t%s\n", key, f[1], (n >= 3 ? f[3] : "") }'
}

# Of such lines ($1), the keys where the value $2 is $3; and the value $3
# of the key $2. (awk -v would read the backslashes of a key as escapes.)
keys_where() {
  NAME="$2" WANT="$3" awk -F'\t' '$2 == ENVIRON["NAME"] && $3 == ENVIRON["WANT"] { print $1 }' <<<"$1" | sort -u
}
value_of() {
  KEY="$2" NAME="$3" awk -F'\t' '$1 == ENVIRON["KEY"] && $2 == ENVIRON["NAME"] { print $3 }' <<<"$1"
}

shortcuts() {
  find "$drive/ProgramData/Microsoft/Windows/Start Menu" "$drive/users" \
    -path '*Start Menu*' -name 'Vandrel Configuration.lnk' 2>/dev/null || true
}

# The installed program, its shortcut and its installed-programs entry,
# for the version in $1 from the package folder $2 ($3 words the outcome).
# Sets product_code.
check_installed() {
  local version=$1 package=$2 installed_as=${3:-installed} failed_before=$failures links entries keys shown icon
  for program in "$package"/*.exe "$package"/vandrel.dll "$package"/vandrel.h "$package"/vandrel.lib; do
    local installed="$install_dir/$(basename "$program")"
    case "$program" in
      *.h) installed="$install_dir/include/vandrel/$(basename "$program")" ;;
      *.lib) installed="$install_dir/lib/$(basename "$program")" ;;
    esac
    if [ ! -f "$installed" ]; then
      fail "not installed: ${installed#"$drive"/}"
    elif ! cmp -s "$program" "$installed"; then
      fail "${installed#"$drive"/} is not the $version build's $(basename "$program")"
    fi
  done

  links=$(shortcuts)
  if [ "$(grep -c . <<<"$links")" -ne 1 ]; then
    fail "expected one Start-menu shortcut 'Vandrel Configuration', found: ${links:-none}"
  elif ! grep -qaF 'C:\Program Files\Vandrel Configuration\vandrel.exe' "$links"; then
    fail "the Start-menu shortcut does not lead to C:\\Program Files\\Vandrel Configuration\\vandrel.exe"
  fi

  entries=$(registry_values "$uninstall_key")
  keys=$(keys_where "$entries" DisplayName "Vandrel Configuration")
  if [ "$(grep -c . <<<"$keys")" -ne 1 ]; then
    fail "expected one installed-programs entry 'Vandrel Configuration', found: ${keys:-none}"
    product_code=""
    return
  fi
  product_code=${keys##*\\}
  shown=$(value_of "$entries" "$keys" DisplayVersion)
  [ "$shown" = "$version" ] || fail "the installed-programs entry shows version '$shown', expected $version"
  shown=$(value_of "$entries" "$keys" Publisher)
  [ "$shown" = "Vandrel developers" ] || fail "the installed-programs entry shows publisher '$shown'"
  # Installed apps takes a Windows Installer product's icon from the
  # product's own registration.
  icon=$(value_of "$(registry_values "$products_key")" "$products_key\\$(packed_guid "$product_code")" ProductIcon)
  icon=${icon//\\//}
  if [ -z "$icon" ]; then
    fail "the installed product has no icon"
  elif ! cmp -s "$ROOT/data/vandrel.ico" "$drive/${icon#C:/}"; then
    fail "the installed product's icon $icon is not data/vandrel.ico"
  fi
  if [ "$failures" -eq "$failed_before" ]; then
    echo "ok: $version $installed_as: the program, the shortcut, the entry $product_code with its icon"
  fi
}

# Windows Installer registers a product under its code with each group of
# hex digits reversed: {AABBCCDD-EEFF-GGHH-...} becomes DDCCBBAAFFEEHHGG...
packed_guid() {
  local parts out="" i j
  IFS=- read -r -a parts <<<"${1//[\{\}]/}"
  for i in 0 1 2; do out+=$(rev <<<"${parts[$i]}"); done
  for i in 3 4; do
    for ((j = 0; j < ${#parts[i]}; j += 2)); do out+="${parts[i]:j+1:1}${parts[i]:j:1}"; done
  done
  echo "$out"
}

# The registry keys of the prefix, in the .reg files' spelling, whose name
# or values hold one of the words given, in any case; Wine's own keys
# (its record of the menu entries it made) are left out.
registry_keys_naming() {
  timeout 60 wineserver -w || true
  local words
  words=$(printf '%s\n' "$@" | tr '[:upper:]' '[:lower:]' | grep . | paste -sd'\t')
  awk -v words="$words" '
    BEGIN { n = split(words, w, "\t") }
    /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key) }
    { line = tolower($0); for (i = 1; i <= n; i++) if (index(line, w[i])) found[key] = 1 }
    END { for (k in found) print k }' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" |
    grep -v '^\[Software\\\\Wine\\\\' | sort || true
}

# 1. A fresh install of the first version.
msiexec install-"$OLD_VERSION" /i "$OLD_MSI"
check_installed "$OLD_VERSION" "$OLD_PACKAGE"
# The program keeps nothing in the registry; only Windows Installer's own
# registration of the product may name it.
own=$(registry_keys_naming vandrel "$product_code" "$(packed_guid "$product_code")" |
  grep -vE '^\[Software\\\\(Classes\\\\Installer|Microsoft\\\\Windows\\\\CurrentVersion\\\\(Installer|Uninstall))\\\\' || true)
[ -z "$own" ] || fail "the install wrote registry keys of its own: $own"

# The installed program starts from its place under Program Files and shows
# its window.
rm -f "$BUILD/vandrel-installed.bmp"
timeout 120 wine "$BUILD/tests/win32/win32_smoke.exe" \
  'C:\Program Files\Vandrel Configuration\vandrel.exe' "$BUILD/vandrel-installed.bmp" ||
  fail "the installed vandrel.exe did not start and show its window"
[ -s "$BUILD/vandrel-installed.bmp" ] || fail "no picture of the installed program's window"
timeout 60 wineserver -w || true

# 2. The newer version replaces it.
old_code=$product_code
msiexec install-"$NEW_VERSION" /i "$NEW_MSI"
check_installed "$NEW_VERSION" "$NEW_PACKAGE"
[ "$product_code" != "$old_code" ] || fail "the newer package has the same product code $old_code"
# The older package refuses to replace it.
if timeout 300 wine msiexec /i "$OLD_MSI" /qn /l*v "$work/downgrade.log" >/dev/null 2>&1; then
  fail "the $OLD_VERSION package installed over $NEW_VERSION (log: $work/downgrade.log)"
fi
timeout 60 wineserver -w || true
check_installed "$NEW_VERSION" "$NEW_PACKAGE" "kept when $OLD_VERSION was refused"

# 3. Removed by its product code, as Installed apps does.
[ -n "$product_code" ] || finish
msiexec uninstall "/x" "$product_code"
# The prefix is fresh, so whatever is in C:\windows\Installer (the cached
# package, the icon) is the product's.
left=$(find "$drive" -iname '*vandrel*' 2>/dev/null; find "$drive/windows/Installer" -mindepth 1; shortcuts)
[ -z "$left" ] || fail "left behind after uninstalling: $left"
left=$(registry_keys_naming vandrel "$product_code" "$(packed_guid "$product_code")" \
  "$old_code" "$(packed_guid "$old_code")")
[ -z "$left" ] || fail "left behind in the registry after uninstalling: $left"
if [ "$failures" -eq 0 ]; then
  echo "ok: uninstalled; nothing of the program is left"
fi
finish
