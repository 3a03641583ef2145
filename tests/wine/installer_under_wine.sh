#!/usr/bin/env bash
# The Windows installer under Wine, as an office PC would run it: a silent
# install that names the companion's folder, then what the user would find
# (the relay for this Windows in Program Files, answering --version; Start
# menu and desktop shortcuts that start it in the companion's folder; an
# entry in Add or Remove Programs), then a silent uninstall that removes all
# of that and leaves the companion's files alone.
#
# Usage: installer_under_wine.sh SETUP_EXE VERSION OBJDUMP_FORMAT
#   OBJDUMP_FORMAT  pei-x86-64 in a 64-bit prefix, pei-i386 in a 32-bit one
# WINE, WINESERVER and WINEARCH choose the Wine, as for relay_under_wine.sh.
set -euo pipefail

setup_exe=$(realpath "${1:?usage: installer_under_wine.sh SETUP_EXE VERSION FORMAT}")
version=${2:?}
format=${3:?}
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver64)}

say() { printf 'installer: %s\n' "$*"; }
fail() { say "FAILED: $*" >&2; exit 1; }
if [[ $(id -u) -ne 0 ]]; then
  say "skipped: fencing off the serial ports needs root (mount namespace)"
  exit 0
fi

top=$(mktemp -d /tmp/zindo-setup.XXXXXX)
prefix="$top/prefix"
source "$(dirname "$0")/wine_guard.sh"
cleanup() {
  local status=$?
  as_wine_user "$wineserver" -k 2>/dev/null || true
  as_wine_user "$wineserver" -w 2>/dev/null || true
  rm -rf "$top"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$prefix" "$top/home"
chmod 711 "$top"
chown "$user:$user" "$prefix" "$top/home"
cp "$setup_exe" "$top/setup.exe" && chmod 644 "$top/setup.exe"
check_wine_guard || fail "the serial ports are not fenced off"
as_wine_user "$wine" wineboot --init >"$top/wineboot.out" 2>&1 ||
  { cat "$top/wineboot.out" >&2; fail "wineboot"; }

c="$prefix/drive_c"
installed="$c/Program Files/zindo-relay"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/zindo-relay"
desktop="$c/users/Public/Desktop/zindo-relay.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\zindo-relay'
finished() { as_wine_user "$wineserver" -w; }
# A shortcut's strings are UTF-16 or ANSI; without the zero bytes either reads.
starts_in() { tr -d '\000' <"$1" | grep -qi 'C:\\companion'; }

say "install: setup.exe /S /COMPANION=C:\\companion"
as_wine_user "$wine" "$top/setup.exe" /S '/COMPANION=C:\companion' ||
  fail "setup.exe ended with status $?"
finished
[[ -f "$installed/zindo-relay.exe" && -f "$installed/README.txt" ]] ||
  fail "nothing in $installed"
x86_64-w64-mingw32-objdump -f "$installed/zindo-relay.exe" |
  grep -q "file format $format" || fail "the installed relay is not $format"
say "  Program Files\\zindo-relay\\zindo-relay.exe ($format)"
answer=$(as_wine_user "$wine" "$installed/zindo-relay.exe" --version </dev/null)
[[ "$answer" == "zindo-relay $version"* ]] || fail "--version said: $answer"
say "  it answers: $answer"
for link in "$menu/zindo-relay.lnk" "$desktop"; do
  [[ -f "$link" ]] || fail "no shortcut $link"
  starts_in "$link" || fail "$link does not start in C:\\companion"
done
[[ -d "$c/companion" ]] || fail "the companion's folder was not made"
say "  shortcuts in the Start menu and on the desktop start in C:\\companion"
as_wine_user "$wine" reg query "$key" /v DisplayVersion 2>/dev/null |
  grep -q "$version" || fail "no $version in Add or Remove Programs"
say "  Add or Remove Programs: zindo-relay $version"

say "uninstall: uninstall.exe /S"
echo "the companion's data" >"$c/companion/DATA.TXT"
chown "$user:$user" "$c/companion/DATA.TXT"
as_wine_user "$wine" "$installed/uninstall.exe" /S ||
  fail "uninstall.exe ended with status $?"
finished
[[ ! -e "$installed" && ! -e "$menu" && ! -e "$desktop" ]] ||
  fail "left behind: $(ls -d "$installed" "$menu" "$desktop" 2>/dev/null)"
if as_wine_user "$wine" reg query "$key" >/dev/null 2>&1; then
  fail "still in Add or Remove Programs"
fi
[[ "$(cat "$c/companion/DATA.TXT")" == "the companion's data" ]] ||
  fail "the uninstaller touched the companion's files"
say "  all removed; the companion's files kept"
say "passed"
