#!/usr/bin/env bash
# The Windows installer under Wine, as an office PC would run it: a silent
# install that names the companion's folder, then what the user would find
# (the relay for this Windows in Program Files, answering --version, with
# its DOSBox, that DOSBox's licence and source beside it, its own licence;
# Start menu and desktop shortcuts that start it, or its check, in the
# companion's folder; an entry in Add or Remove Programs; no Startup
# shortcut; the folder recorded), then the install again with /AUTOSTART
# and no folder, which keeps the recorded folder and adds a shortcut in the
# common Startup folder, which every user's login runs, that starts the
# relay there; then a plain update over what an earlier version left (no
# record, its shortcuts, a per-user Startup shortcut), which keeps the
# folder its shortcuts name and the common login start and removes the
# per-user one; then a silent uninstall that removes all of that and leaves
# the companion's files and the user's DOSBox settings alone. The prefix has no other DOSBox. Before all that, the folder page's
# DOS-name rule (companion-folder.nsh), over a table of paths.
#
# With LINUX_BUILD_DIR (zindo-devsim, zindo-request, zindo-mkpif),
# DOS_COMPANIONS (OPENPOLL.COM, FINDPOLL.COM) and DISPLAY, the installed
# relay runs each DOS companion in the DOSBox it brought, between install
# and uninstall: two exchanges each with zindo-devsim on COM1 (a
# pseudo-terminal), both responses seen.
#
# Usage: installer_under_wine.sh SETUP_EXE VERSION OBJDUMP_FORMAT [LINUX_BUILD_DIR]
#   OBJDUMP_FORMAT  pei-x86-64 in a 64-bit prefix, pei-i386 in a 32-bit one
# WINE, WINESERVER and WINEARCH choose the Wine, as for relay_under_wine.sh.
set -euo pipefail

setup_exe=$(realpath "${1:?usage: installer_under_wine.sh SETUP_EXE VERSION FORMAT}")
version=${2:?}
format=${3:?}
build_dir=${4:+$(realpath "$4")}
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
devsim_pid=""
relay_pid=""
source "$(dirname "$0")/wine_guard.sh"
end_process() {  # pid: ends it if it still runs, and reaps it
  [[ -n "$1" ]] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  local status=$?
  end_process "$relay_pid"
  as_wine_user "$wineserver" -k 2>/dev/null || true
  as_wine_user "$wineserver" -w 2>/dev/null || true
  end_process "$devsim_pid"
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
dosboxes() { find "$c" -iname 'dosbox*' ! -path "$user_settings*"; }
user_settings=$(find "$c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public |
  head -n 1)/AppData/Local/DOSBox
[[ -z "$(dosboxes)" ]] || fail "the prefix has a DOSBox: $(dosboxes)"
# The user's own DOSBox settings, which nothing here may touch.
settings_text='[cpu]
cycles=12345'
mkdir -p "$user_settings"
printf '%s\n' "$settings_text" >"$user_settings/dosbox-0.74-3.conf"
chown -R "$user:$user" "$user_settings"
installed="$c/Program Files/zindo-relay"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/zindo-relay"
desktop="$c/users/Public/Desktop/zindo-relay.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\zindo-relay'
finished() { as_wine_user "$wineserver" -w; }
# A shortcut's strings are UTF-16 or ANSI; without the zero bytes either reads.
starts_in() { tr -d '\000' <"$1" | grep -qi 'C:\\companion'; }
# Startup shortcuts of the relay, the user's or everyone's.
at_login() { find "$c" -ipath '*/Startup/zindo-relay.lnk'; }
common_startup="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp"
remembered='HKLM\Software\zindo-relay'
# The companion's folder as the installer recorded it.
remembered_folder() {
  as_wine_user "$wine" reg query "$remembered" /v CompanionFolder 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
# After an install that named no folder: every shortcut still starts in
# C:\companion, and no C:\ZINDO was made.
folder_kept() {
  local link
  for link in "$menu/zindo-relay.lnk" "$menu/Check zindo-relay.lnk" "$desktop"; do
    starts_in "$link" || fail "$link no longer starts in C:\\companion"
  done
  [[ ! -e "$c/ZINDO" && ! -e "$c/zindo" ]] || fail "C:\\ZINDO was made"
  [[ "$(remembered_folder)" == 'C:\companion' ]] ||
    fail "the recorded folder is '$(remembered_folder)'"
}
# The one login start is the common one, starting in C:\companion.
starts_at_everyones_login() {
  local startup
  startup=$(at_login)
  # Wine spells the folder StartUp.
  [[ ${startup,,} == "${common_startup,,}/zindo-relay.lnk" ]] ||
    fail "not one login start, in the common Startup folder: '$startup'"
  starts_in "$startup" || fail "$startup does not start in C:\\companion"
}

# The folder page's DOS-name rule: each path, then the first name in it
# that DOS does not show as it stands ("" for none).
long_name_table=(
  'C:\ZINDO' ''
  'C:\companion' 'companion'
  'C:\Program Files\ZINDO' 'Program Files'
  'D:\SHOP\DATA.1\' ''
  'C:\SHOP\ABCDEFGH.TXT' ''
  'C:\SHOP\ABCDEFGH.TXTX' 'ABCDEFGH.TXTX'
  'C:\ABCDEFGHI\A' 'ABCDEFGHI'
  'C:\A.B.C' 'A.B.C'
  'C:\.ABC' '.ABC'
  'C:\AB CD' 'AB CD'
  'C:\' ''
  'C:/SHOP/LONGFOLDER' 'LONGFOLDER'
)
check_long_name_rule() {
  local rule="$top/rule" here i got
  here=$(cd "$(dirname "$0")" && pwd)
  mkdir "$rule"
  makensis -V2 -WX -DPACKAGING="$here/../../packaging/windows" \
    -DOUTFILE="$rule/first_long_name.exe" "$here/first_long_name.nsi" ||
    fail "makensis first_long_name.nsi"
  for ((i = 0; i < ${#long_name_table[@]}; i += 2)); do
    printf '%s\r\n' "${long_name_table[i]}"
  done >"$rule/paths.txt"
  chown -R "$user:$user" "$rule"
  as_wine_user "$wine" "$rule/first_long_name.exe" ||
    fail "first_long_name.exe ended with status $?"
  finished
  mapfile -t got < <(tr -d '\r' <"$rule/names.txt")
  for ((i = 0; i < ${#long_name_table[@]}; i += 2)); do
    [[ "${got[i / 2]-}" == "${long_name_table[i + 1]}" ]] ||
      fail "${long_name_table[i]}: the first long name is '${got[i / 2]-}'"
  done
  say "the folder page's DOS-name rule: $((${#long_name_table[@]} / 2)) paths"
}


# The installed relay in C:\work, its companion each DOS companion in turn
# as CO.COM, zindo-devsim on COM1: each makes two exchanges and must see
# both responses, in the DOSBox the installer brought, which the trace and
# --check must name as the relay's own.
run_dos_companions() {
  local answer="17,0,129,63,1,2,3,4,5,6,7,2,0,0,0,1,184,34,10"
  local second_answer="12,0,1,2,3,4,5,6,7,8,9,10,11,12"
  local both="/0,$answer"$'\r\n'"/0,$second_answer"$'\r'
  local work="$c/work" trace="$c/zindo/trace.log" pty status
  local own_dosbox='C:\Program Files\zindo-relay\DOSBox\DOSBox.exe'
  say "DOS companions in the installed relay's DOSBox"
  start_device "$build_dir/zindo-devsim" "$answer" "$second_answer"
  as_wine_user "$wine" reg add 'HKLM\Software\Wine\Ports' \
    /v COM1 /t REG_SZ /d "$pty" /f >/dev/null || fail "reg add COM1"
  # A fresh wineserver maps the ports from the registry, and has its
  # desktop on the display.
  as_wine_user "$wineserver" -k || true
  as_wine_user "$wineserver" -w || true
  mkdir -p "$c/zindo" "$work"
  printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$c/zindo/LOCAL6.DAT"
  "$build_dir/zindo-mkpif" "$work/autoexec.pif" CO.COM >/dev/null
  chown -R "$user:$user" "$c/zindo" "$work"

  # On the display too: the first Wine process makes the desktop, and
  # DOSBox's window must be on it.
  (cd "$work" && as_wine_user env DISPLAY="$DISPLAY" "$wine" \
    "$installed/zindo-relay.exe" --check </dev/null >"$top/check.out" 2>&1) ||
    true
  grep -qiF "DOSBox: DOSBox, $own_dosbox" "$top/check.out" &&
    grep -q "the relay's own" "$top/check.out" ||
    { cat "$top/check.out" >&2; fail "--check does not name the relay's own DOSBox"; }
  say "  --check: $(grep -a 'DOSBox:' "$top/check.out" | tr -d '\r')"
  for companion in OPENPOLL.COM FINDPOLL.COM; do
    install -o "$user" -g "$user" -m 644 "$DOS_COMPANIONS/$companion" \
      "$work/CO.COM"
    rm -f "$work/GOT.TXT" "$work"/ZINDOK?.TXT "$trace"
    (cd "$work" && exec >"$top/relay.out" 2>&1 </dev/null &&
      as_wine_user env DISPLAY="$DISPLAY" ZINDO_TRACE='C:\zindo\trace.log' \
        "$wine" "$installed/zindo-relay.exe") &
    relay_pid=$!
    if ! wait_for 900 test -f "$work/GOT.TXT"; then
      show_relay_output
      sed 's/^/  trace: /' "$trace" >&2 || true
      fail "$companion did not finish within 90 s"
    fi
    [[ "$(cat "$work/GOT.TXT")" == "$both" ]] ||
      { show_relay_output; fail "GOT.TXT holds $(od -c "$work/GOT.TXT")"; }
    grep -qiF "DOSBox started: $own_dosbox (process " "$trace" &&
      grep -q "DOSBox started: .*, the relay's own" "$trace" ||
      fail "the trace does not name the relay's own DOSBox: $(cat "$trace")"
    setpriv --reuid=$user --regid=$user --clear-groups -- \
      "$build_dir/zindo-request" --dir "$work" --quit --wait=15 >/dev/null ||
      { show_relay_output; fail "the relay did not stop"; }
    wait_for 150 eval '! kill -0 $relay_pid 2>/dev/null' ||
      fail "the relay still runs"
    status=0
    wait "$relay_pid" || status=$?
    relay_pid=""
    [[ $status -eq 0 ]] || { show_relay_output; fail "the relay ended with $status"; }
    say "  $companion: both responses seen, in $own_dosbox (the relay's own)"
  done
  end_process "$devsim_pid"
  devsim_pid=""
  # DOSBox ends with its companion; the uninstaller runs once it has.
  as_wine_user timeout 60 "$wineserver" -w ||
    fail "DOSBox, or another Wine process, still runs 60 s after the relay"
}

check_long_name_rule

say "install: setup.exe /S /COMPANION=C:\\companion"
as_wine_user "$wine" "$top/setup.exe" /S '/COMPANION=C:\companion' ||
  fail "setup.exe ended with status $?"
finished
[[ -f "$installed/zindo-relay.exe" && -f "$installed/README.txt" &&
   -f "$installed/manual.txt" ]] || fail "nothing in $installed"
# Both texts are for Notepad: CR LF at every line end.
for text in README.txt manual.txt; do
  ! grep -qv $'\r$' "$installed/$text" || fail "$text has a line without CR"
done
grep -q $'^MIT License\r$' "$installed/LICENSE.txt" ||
  fail "no LICENSE.txt with CR LF line ends"
x86_64-w64-mingw32-objdump -f "$installed/zindo-relay.exe" |
  grep -q "file format $format" || fail "the installed relay is not $format"
say "  Program Files\\zindo-relay\\zindo-relay.exe ($format)"
answer=$(as_wine_user "$wine" "$installed/zindo-relay.exe" --version </dev/null)
[[ "$answer" == "zindo-relay $version"* && "$answer" == *"MIT licence"* ]] ||
  fail "--version said: $answer"
say "  it answers: ${answer%%$'\n'*}; LICENSE.txt beside it"
for part in DOSBox.exe COPYING source/dosbox_for_windows.sh; do
  [[ -f "$installed/DOSBox/$part" ]] || fail "no DOSBox\\$part"
done
ls "$installed"/DOSBox/source/dosbox_*.dsc "$installed"/DOSBox/source/libsdl1.2_*.dsc \
  >/dev/null || fail "no DOSBox\\source\\*.dsc"
x86_64-w64-mingw32-objdump -f "$installed/DOSBox/DOSBox.exe" |
  grep -q "file format pei-i386" || fail "the installed DOSBox is not pei-i386"
! x86_64-w64-mingw32-objdump -h "$installed/DOSBox/DOSBox.exe" |
  grep -q '\.debug_' || fail "the installed DOSBox is not stripped"
say "  Program Files\\zindo-relay\\DOSBox: DOSBox.exe (pei-i386, stripped), COPYING, source"
for link in "$menu/zindo-relay.lnk" "$menu/Check zindo-relay.lnk" "$desktop"; do
  [[ -f "$link" ]] || fail "no shortcut $link"
  starts_in "$link" || fail "$link does not start in C:\\companion"
done
tr -d '\000' <"$menu/Check zindo-relay.lnk" | grep -q -- '--check' ||
  fail "Check zindo-relay does not run --check"
tr -d '\000' <"$menu/Check zindo-relay and ask the device.lnk" |
  grep -q -- '--check --probe' ||
  fail "Check zindo-relay and ask the device does not run --check --probe"
[[ -d "$c/companion" ]] || fail "the companion's folder was not made"
[[ -z "$(at_login)" ]] || fail "a plain install starts it at login: $(at_login)"
[[ "$(remembered_folder)" == 'C:\companion' ]] ||
  fail "the companion's folder is not recorded: '$(remembered_folder)'"
say "  shortcuts in the Start menu (the relay, its check) and on the desktop"
say "  start in C:\\companion; none in a Startup folder"

# Without the Start menu's shortcut, only the record names the folder.
rm "$menu/zindo-relay.lnk"
say "install again: setup.exe /S /AUTOSTART, naming no folder"
as_wine_user "$wine" "$top/setup.exe" /S /AUTOSTART ||
  fail "setup.exe /AUTOSTART ended with status $?"
finished
folder_kept
starts_at_everyones_login
say "  the folder kept: the shortcuts still start in C:\\companion"
say "  the common Startup folder: zindo-relay.lnk, starting in C:\\companion"

# As an earlier version left it: no record of the folder, which only its
# shortcuts name, and its login start in the installing user's own folder.
as_wine_user "$wine" reg delete "$remembered" /f >/dev/null ||
  fail "reg delete $remembered"
user_startup="${user_settings%/AppData/Local/DOSBox}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp"
install -D -o "$user" -g "$user" -m 644 "$(at_login)" "$user_startup/zindo-relay.lnk"
say "update: setup.exe /S, over an earlier version's shortcuts and no record"
as_wine_user "$wine" "$top/setup.exe" /S || fail "setup.exe ended with status $?"
finished
folder_kept
starts_at_everyones_login
say "  the folder (from the shortcuts) and the common login start kept;"
say "  the per-user one removed"
as_wine_user "$wine" reg query "$key" /v DisplayVersion 2>/dev/null |
  grep -q "$version" || fail "no $version in Add or Remove Programs"
say "  Add or Remove Programs: zindo-relay $version"

if [[ -n "$build_dir" && -n "${DOS_COMPANIONS:-}" && -n "${DISPLAY:-}" ]]; then
  run_dos_companions
else
  say "DOS companions: skipped, they need LINUX_BUILD_DIR, DOS_COMPANIONS and DISPLAY"
fi

say "uninstall: uninstall.exe /S"
echo "the companion's data" >"$c/companion/DATA.TXT"
chown "$user:$user" "$c/companion/DATA.TXT"
as_wine_user "$wine" "$installed/uninstall.exe" /S ||
  fail "uninstall.exe ended with status $?"
finished
[[ ! -e "$installed" && ! -e "$menu" && ! -e "$desktop" && -z "$(at_login)" ]] ||
  fail "left behind: $(ls -d "$installed" "$menu" "$desktop" 2>/dev/null) $(at_login)"
if as_wine_user "$wine" reg query "$key" >/dev/null 2>&1; then
  fail "still in Add or Remove Programs"
fi
if as_wine_user "$wine" reg query "$remembered" >/dev/null 2>&1; then
  fail "$remembered is left behind"
fi
[[ -z "$(dosboxes)" ]] || fail "DOSBox left behind: $(dosboxes)"
[[ "$(cat "$user_settings/dosbox-0.74-3.conf")" == "$settings_text" &&
  $(ls -A "$user_settings") == dosbox-0.74-3.conf ]] ||
  fail "the user's DOSBox settings were touched: $(ls -A "$user_settings")"
[[ "$(cat "$c/companion/DATA.TXT")" == "the companion's data" ]] ||
  fail "the uninstaller touched the companion's files"
say "  all removed, DOSBox, the login start and the recorded folder too; the companion's files and the user's DOSBox settings kept"
say "passed"
