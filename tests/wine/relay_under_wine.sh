#!/usr/bin/env bash
# The Windows relay end to end under Wine: zindo-devsim plays the device on a
# pseudo-terminal that the prefix's COM1 is mapped to, a tiny Windows program
# stands in for the companion, and zindo-request sends one message through
# the relay and then asks it to quit; then, with DOS_COMPANIONS, DOS
# companions in DOSBox. At a console (cmd on a terminal), a wrong argument
# is answered there and ends the command. Exits non-zero when any step
# fails. Run by a script without a console, into a pipe or a file, a wrong
# argument is written there and the relay ends at once.
#
# Usage: relay_under_wine.sh RELAY_EXE LINUX_BUILD_DIR
#   RELAY_EXE        zindo-relay.exe, 64-bit or (with a 32-bit WINE and
#                    MINGW_CC) 32-bit
#   LINUX_BUILD_DIR  where zindo-devsim and zindo-request are built
# WINE (default: wine64) and WINESERVER (default: wineserver) may be set.
# DOS_COMPANIONS   the folder with OPENPOLL.COM, FINDPOLL.COM and PROBE.COM
# DOSBOX_EXE       DOSBox for Windows (tests/wine/dosbox_for_windows.sh); its
#                  runs need DISPLAY
# FLUSH_CONTROL    when set, FINDPOLL.COM runs once more with the flush off,
#                  where the idle helper alone lets it see its responses
# WINE_BENCH       flush_bench.exe: when set, prints the Wine figures too
#
# This machine's serial ports must stay out of reach: one of them may be the
# console. Wine points COM1 at the first of them on every start and opens
# them to see which are real, so
#  - COM1 is mapped through the prefix's registry (HKLM\Software\Wine\Ports),
#    and the wineserver is restarted so that the mapping takes effect;
#  - every Wine process (and so the wineserver, which opens devices for its
#    clients) runs in a mount namespace where each /dev/ttyS* is /dev/null;
#  - the relay and Wine run as nobody, in a throw-away prefix it owns.
# That needs root; anyone else gets a notice and nothing runs.
set -euo pipefail

relay_exe=$(realpath "${1:?usage: relay_under_wine.sh RELAY_EXE LINUX_BUILD_DIR}")
build_dir=$(realpath "${2:?usage: relay_under_wine.sh RELAY_EXE LINUX_BUILD_DIR}")
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver64)}
mingw_cc=${MINGW_CC:-x86_64-w64-mingw32-gcc}
devsim_bin="$build_dir/zindo-devsim"
request_bin="$build_dir/zindo-request"

say() { printf 'wine e2e: %s\n' "$*"; }
fail() { say "FAILED: $*" >&2; exit 1; }

for program in "$relay_exe" "$devsim_bin" "$request_bin" "$wine"; do
  [[ -x "$program" || -f "$program" ]] || fail "$program is missing"
done
if [[ $(id -u) -ne 0 ]]; then
  say "skipped: fencing off the serial ports needs root (mount namespace)"
  exit 0
fi

answer="17,0,129,63,1,2,3,4,5,6,7,2,0,0,0,1,184,34,10"
# The DOS companions' second request (2 0 67 68) gets a reply of its own: a
# companion that keeps the response sees a new one only when it changes.
second_answer="12,0,1,2,3,4,5,6,7,8,9,10,11,12"

top=$(mktemp -d /tmp/zindo-wine.XXXXXX)
# wineboot creates the prefix itself: it can loop on an empty folder.
prefix="$top/wine/prefix"
work="$top/work"
devsim_pid=""
server_pid=""
relay_pid=""
wine_started=false

end_process() {  # pid: ends it if it still runs, and reaps it
  [[ -n "$1" ]] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

source "$(dirname "$0")/wine_guard.sh"

cleanup() {
  local status=$?
  end_process "$relay_pid"
  if $wine_started; then
    as_wine_user "$wineserver" -k 2>/dev/null || true
    as_wine_user "$wineserver" -w 2>/dev/null || true
  fi
  end_process "$devsim_pid"
  end_process "$server_pid"
  rm -rf "$top"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

status_is() { [[ "$(cat "$work/zindoK.inf" 2>/dev/null)" == "$1"$'\r' ]]; }
relay_ended() { ! kill -0 "$relay_pid" 2>/dev/null; }
# Waits up to $1 tenths of a second for the relay to end, which must be
# with status $2.
expect_relay_end() {
  local status=0
  wait_for "$1" relay_ended || fail "the relay still runs"
  wait "$relay_pid" || status=$?
  relay_pid=""
  [[ $status -eq $2 ]] ||
    { show_relay_output; fail "the relay ended with status $status, not $2"; }
}
# Asks the relay in directory $1 to quit; it must end with status 0.
quit_relay() {
  setpriv --reuid=$user --regid=$user --clear-groups -- \
    "$request_bin" --dir "$1" --quit --wait=15 >/dev/null ||
    { show_relay_output; fail "the relay did not stop"; }
  expect_relay_end 150 0
}

mkdir -p "$top/wine" "$work" "$top/home"
chmod 711 "$top"
chown "$user:$user" "$top/wine" "$work" "$top/home"

# The namespace must hide every serial port before anything of Wine runs.
check_wine_guard || fail "the serial ports are not fenced off"

say "device: zindo-devsim on a pseudo-terminal"
start_device "$devsim_bin" "$answer" "$second_answer"
say "  $pty"

say "prefix: $prefix (COM1 -> $pty)"
wine_started=true
as_wine_user "$wine" wineboot --init >"$top/wineboot.out" 2>&1 ||
  { cat "$top/wineboot.out" >&2; fail "wineboot"; }
as_wine_user "$wine" reg add 'HKLM\Software\Wine\Ports' \
  /v COM1 /t REG_SZ /d "$pty" /f >/dev/null || fail "reg add COM1"
# The next Wine process starts a wineserver afresh, and with it the device
# manager that maps the ports from the registry.
as_wine_user "$wineserver" -k || true
as_wine_user "$wineserver" -w || true

say "relay: --version, and a wrong argument"
version=$(as_wine_user "$wine" "$relay_exe" --version </dev/null 2>&1) ||
  fail "--version ended with status $?: $version"
[[ "$version" == "zindo-relay "[0-9]* ]] || fail "--version said: $version"
say "  ${version%%$'\n'*}"
refused=0
as_wine_user "$wine" "$relay_exe" --no-such-option </dev/null \
  >"$top/refused.out" 2>&1 || refused=$?
[[ $refused -eq 2 ]] || fail "a wrong argument ended with $refused, not 2"
grep -q "unknown option --no-such-option" "$top/refused.out" ||
  fail "a wrong argument got: $(cat "$top/refused.out")"
[[ -z "$(ls -A "$work")" ]] || fail "the relay started on a wrong argument"
say "  a wrong argument: status 2, nothing started"

# The configuration names COM1, so the relay has no message box to show.
mkdir -p "$prefix/drive_c/zindo"
printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$prefix/drive_c/zindo/LOCAL6.DAT"
# The companion: a windowless program that leaves a mark where it starts.
# The shell runs a .pif that holds a Windows program as that program.
cat >"$top/companion.c" <<'C'
#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {
  HANDLE f = CreateFileA("companion.txt", GENERIC_WRITE, 0, NULL,
                         CREATE_ALWAYS, 0, NULL);
  DWORD n;
  WriteFile(f, "started\r\n", 9, &n, NULL);
  CloseHandle(f);
  return 0;
}
C
"$mingw_cc" -O2 -mwindows -o "$work/autoexec.pif" "$top/companion.c" ||
  fail "could not build the companion"
chown -R "$user:$user" "$prefix/drive_c/zindo" "$work"

say "relay: $relay_exe, in $work"
(cd "$work" && exec >"$top/relay.out" 2>&1 </dev/null &&
  as_wine_user "$wine" "$relay_exe") &
relay_pid=$!
if ! wait_for 300 status_is 0,1; then
  show_relay_output
  fail "zindoK.inf did not say 0,1 within 30 s"
fi
say "  zindoK.inf: 0,1 (no carrier on a pseudo-terminal)"
wait_for 100 test -f "$work/companion.txt" ||
  fail "the relay did not start autoexec.pif"
say "  the companion (autoexec.pif) started"

say "request: 3 0 9 7 8"
reply=$(setpriv --reuid=$user --regid=$user --clear-groups -- \
  "$request_bin" --dir "$work" --wait=15 3 0 9 7 8) ||
  { show_relay_output; fail "no response to the request"; }
say "  response: $reply"
[[ "$reply" == "$answer" ]] || fail "the response is not the device's reply"
grep -q -- '<- 0x03 0x00 0x09 0x07 0x08 ' "$top/device.log" ||
  { cat "$top/device.log" >&2; fail "the device did not get 3,0,9,7,8"; }
say "  the device got 3,0,9,7,8"
[[ "$(cat "$work/zindoK2.txt")" == "/0,$answer"$'\r' ]] ||
  fail "zindoK2.txt holds $(od -c "$work/zindoK2.txt")"

say "quit request"
quit_relay "$work"
status_is 0,0 || fail "zindoK.inf does not say 0,0"
say "  the relay ended with status 0; zindoK.inf: 0,0"

# --check lists the COM ports this PC has, the relay's marked, and with
# --probe asks the device, which answers any message; it changes no file of
# the companion's. Then a port file, zindo-com3.txt, names a serial server
# (zindo-devsim listening): the check takes that port as the relay does, and
# asks the device through it.
say "check: the ports this PC has, and the device asked"
# Runs zindo-relay --check $@ in $work; its report goes to $top/check.out.
run_check() {
  local status=0
  (cd "$work" && as_wine_user "$wine" "$relay_exe" --check "$@" </dev/null \
    >"$top/check.out" 2>&1) || status=$?
  [[ $status -eq 0 ]] || { cat "$top/check.out" >&2; fail "--check $* ended with $status"; }
}
work_before=$(cd "$work" && md5sum -- *)
run_check --probe
grep -aqE "^ok +ports: (.*, )?[^,]*COM1\)? <- the relay's port" "$top/check.out" ||
  { cat "$top/check.out" >&2; fail "the ports do not show COM1 as the relay's"; }
grep -aq "ok       probe: the device on COM1 answered: 19 byte(s)" "$top/check.out" ||
  { cat "$top/check.out" >&2; fail "the probe got no answer on COM1"; }
[[ "$(cd "$work" && md5sum -- *)" == "$work_before" ]] ||
  fail "--check --probe changed the companion's files"
say "  $(grep -a 'ports:' "$top/check.out" | tr -d '\r' | sed 's/^ok *//')"
say "  $(grep -a 'probe:' "$top/check.out" | tr -d '\r' | sed 's/^ok *//')"
"$devsim_bin" --listen 127.0.0.1:0 --log "$top/server.log" \
  --rule "any: reply $answer" >"$top/server.out" 2>&1 &
server_pid=$!
wait_for 50 grep -q 'listening on' "$top/server.out" || fail "no serial server"
server=$(sed -n 's/.*listening on //p' "$top/server.out")
printf 'tcp://%s\r\n' "$server" >"$work/zindo-com3.txt"
printf '3,-1,0,521,c,c:\\zindo\\,1\r\n' >"$prefix/drive_c/zindo/LOCAL6.DAT"
chown "$user:$user" "$work/zindo-com3.txt" "$prefix/drive_c/zindo/LOCAL6.DAT"
run_check --probe
grep -aq "ok       device: COM3: zindo-com3.txt -> tcp://$server, a serial server" \
  "$top/check.out" || { cat "$top/check.out" >&2; fail "zindo-com3.txt was not honoured"; }
grep -aq "ok       probe: the device on COM3 answered: 19 byte(s)" "$top/check.out" ||
  { cat "$top/check.out" >&2; fail "the probe got no answer through the server"; }
end_process "$server_pid"
rm "$work/zindo-com3.txt"
say "  zindo-com3.txt: COM3 is the serial server at $server, and the device answered"
# A port this PC does not have is named with the ports it has, and not asked.
printf '7,-1,0,521,c,c:\\zindo\\,1\r\n' >"$prefix/drive_c/zindo/LOCAL6.DAT"
missing=0
(cd "$work" && as_wine_user "$wine" "$relay_exe" --check --probe </dev/null \
  >"$top/check.out" 2>&1) || missing=$?
[[ $missing -eq 1 ]] &&
  grep -aqE "^PROBLEM +device: COM7: no such port on this PC \(it has COM1(, COM[0-9]+)*\)" \
    "$top/check.out" &&
  grep -aq "probe: not asked: COM7: no such port" "$top/check.out" ||
  { cat "$top/check.out" >&2; fail "COM7, which is not there ($missing)"; }
say "  $(grep -a 'device:' "$top/check.out" | tr -d '\r' | sed 's/^PROBLEM *//')"
printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$prefix/drive_c/zindo/LOCAL6.DAT"

# Log-off: a second relay is sent what Windows sends every top-level window
# when the session ends. Its hidden window needs a desktop, which Wine has
# only with a display.
if [[ -n "${DISPLAY:-}" ]]; then
  say "log-off: WM_QUERYENDSESSION and WM_ENDSESSION to the relay's window"
  cat >"$top/endsession.c" <<'C'
#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {
  HWND relay = NULL;
  for (int i = 0; i < 100 && relay == NULL; ++i) {
    relay = FindWindowW(L"zindo-relay session", NULL);
    if (relay == NULL) Sleep(100);
  }
  if (relay == NULL) return 2;
  DWORD_PTR may_end = 0;
  SendMessageTimeoutW(relay, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                      SMTO_NORMAL, 5000, &may_end);
  SendMessageTimeoutW(relay, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                      SMTO_NORMAL, 5000, NULL);
  return may_end == TRUE ? 0 : 3;
}
C
  "$mingw_cc" -O2 -mwindows -o "$top/endsession.exe" "$top/endsession.c" ||
    fail "could not build endsession.exe"
  # A fresh wineserver, whose desktop is on the display.
  as_wine_user "$wineserver" -k || true
  as_wine_user "$wineserver" -w || true
  rm -f "$work/companion.txt"
  (cd "$work" && exec >"$top/relay.out" 2>&1 </dev/null &&
    as_wine_user env DISPLAY="$DISPLAY" ZINDO_TRACE='C:\zindo\trace.log' \
      "$wine" "$relay_exe") &
  relay_pid=$!
  wait_for 300 test -f "$work/companion.txt" ||
    { show_relay_output; fail "the second relay did not start"; }
  as_wine_user env DISPLAY="$DISPLAY" "$wine" "$top/endsession.exe" ||
    fail "endsession.exe: no window, or WM_QUERYENDSESSION refused ($?)"
  expect_relay_end 150 0
  status_is 0,0 || fail "zindoK.inf does not say 0,0 after log-off"
  grep -q 'stop requested: log-off' "$prefix/drive_c/zindo/trace.log" ||
    fail "the trace does not name the log-off"
  say "  the relay ended with status 0; zindoK.inf: 0,0; trace: log-off"
else
  say "log-off: skipped, Wine needs a display for the relay's window"
fi

# At a console (cmd, on a terminal) the relay answers there only, as a
# console program does: a wrong argument is one line there, and the command
# ends with status 2. On the display a message box would wait for OK.
if [[ -n "${DISPLAY:-}" ]]; then
  say "console: cmd /c zindo-relay.exe --bogus, on a terminal"
  windows_relay="Z:${relay_exe//\//\\}"
  console=0
  as_wine_user env DISPLAY="$DISPLAY" timeout 60 script -qec \
    "$(printf '%q ' "$wine" cmd /c "$windows_relay" --bogus)" /dev/null \
    </dev/null >"$top/console.out" 2>&1 || console=$?
  [[ $console -ne 124 ]] || fail "the command did not end: a message box?"
  [[ $console -eq 2 ]] ||
    fail "cmd ended with $console, not 2: $(cat -A "$top/console.out")"
  [[ $(grep -c 'zindo-relay: ' "$top/console.out") -eq 1 ]] &&
    grep -q 'zindo-relay: unknown option --bogus' "$top/console.out" ||
    fail "the console got: $(cat -A "$top/console.out")"
  say "  $(grep -o 'zindo-relay: unknown option [^(]*' "$top/console.out")"
  say "  status 2, no message box"

  # Run by a script, with no console: what the relay says goes into the
  # pipe or the file it was given, and it ends at once, never waiting on a
  # message box. With no standard error, a failure goes to standard output.
  say "script: zindo-relay.exe --bogus into a pipe, and into a file alone"
  for how in pipe file; do
    status=0
    if [[ $how == pipe ]]; then
      as_wine_user env DISPLAY="$DISPLAY" timeout 60 "$wine" "$relay_exe" \
        --bogus </dev/null 2>&1 | cat >"$top/script.out" || status=$?
    else
      as_wine_user env DISPLAY="$DISPLAY" timeout 60 "$wine" "$relay_exe" \
        --bogus </dev/null >"$top/script.out" 2>&- || status=$?
    fi
    [[ $status -ne 124 ]] || fail "$how: the relay did not end: a message box?"
    [[ $status -eq 2 ]] || fail "$how: the relay ended with $status, not 2"
    grep -q 'zindo-relay: unknown option --bogus' "$top/script.out" ||
      fail "$how: the relay wrote: $(cat -A "$top/script.out")"
    say "  $how: status 2, the line delivered, no message box"
  done
else
  say "console: skipped, a message box can wait only on a display"
fi

# A DOS companion where Windows has no DOS (a 64-bit prefix, or a 32-bit
# one without NTVDM): the relay runs it in DOSBox. DOS_COMPANIONS is where
# OPENPOLL.COM and FINDPOLL.COM are; DOSBOX_EXE is DOSBox for Windows
# (tests/wine/dosbox_for_windows.sh), which shows its window on the display.
if [[ -n "${DOS_COMPANIONS:-}" ]]; then
  dos_work="$prefix/drive_c/work"
  trace="$prefix/drive_c/zindo/dosbox-trace.log"
  mkdir -p "$dos_work"
  "$build_dir/zindo-mkpif" "$dos_work/autoexec.pif" CO.COM >/dev/null
  chown -R "$user:$user" "$dos_work"
  # Starts the relay in C:\work with companion $1 as CO.COM, on the display
  # when the array display holds DISPLAY=... (the failure path shows its
  # message box there and waits).
  display=()
  run_dos_relay() {
    install -o "$user" -g "$user" -m 644 "$DOS_COMPANIONS/$1" "$dos_work/CO.COM"
    rm -f "$dos_work/GOT.TXT" "$dos_work/PROBE.TXT" "$dos_work"/ZINDOK?.TXT \
      "$trace"
    (cd "$dos_work" && exec >"$top/relay.out" 2>&1 </dev/null &&
      as_wine_user env "${display[@]}" ZINDO_TRACE='C:\zindo\dosbox-trace.log' \
        "$wine" "$relay_exe") &
    relay_pid=$!
  }
  # The settings file the relay hands DOSBox, in the Windows user's Temp.
  settings_files() { find "$prefix/drive_c/users" -name 'zindo-relay-*.conf'; }
  # Waits for the companion's GOT.TXT, which must hold $1.
  expect_got() {
    if ! wait_for 900 test -f "$dos_work/GOT.TXT"; then
      show_relay_output
      sed 's/^/  trace: /' "$trace" >&2 || true
      fail "the DOS companion did not finish within 90 s"
    fi
    [[ "$(cat "$dos_work/GOT.TXT")" == "$1" ]] ||
      { show_relay_output; fail "GOT.TXT holds $(od -c "$dos_work/GOT.TXT")"; }
  }
  flush_failures() {
    grep -c 'cannot make DOSBox read its directories again' \
      "$top/relay.out" || true
  }

  say "DOS companion, no DOSBox: the failure path says what is missing"
  run_dos_relay OPENPOLL.COM
  expect_relay_end 300 1
  grep -q 'this Windows cannot run DOS programs and DOSBox was not found (looked for .*\\DOSBox\\DOSBox.exe, for dosbox-x.exe .*; for dosbox.exe in App Paths, in C:\\Program Files\\dosbox\*' \
    "$top/relay.out" || { show_relay_output; fail "no line says DOSBox is missing"; }
  say "  status 1: $(grep -o 'this Windows.*not found' "$top/relay.out")"
  # The same cause, dated, in the log of the user's LOCALAPPDATA, where a
  # user who saw no console finds it; the wrong argument above is not there.
  log=$(find "$prefix/drive_c/users" -ipath '*/AppData/Local/zindo-relay/zindo-relay.log')
  [[ -n "$log" ]] || fail "no zindo-relay\\zindo-relay.log in LOCALAPPDATA"
  stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
  grep -qE "^$stamp .*this Windows cannot run DOS programs and DOSBox was not found .*"$'\r'"\$" \
    "$log" || { cat "$log" >&2; fail "the log does not hold the dated cause"; }
  grep -qE "^$stamp message shown: " "$log" ||
    { cat "$log" >&2; fail "the log does not name the message shown"; }
  ! grep -q "no-such-option" "$log" || fail "the log holds a refused argument"
  say "  the log: $(grep -aoE "^$stamp .{40}" "$log" | head -1)..."

  if [[ -z "${DOSBOX_EXE:-}" || -z "${DISPLAY:-}" ]]; then
    say "DOS companion in DOSBox: skipped, it needs DOSBOX_EXE and a display"
  else
    # Where DOSBox's installer puts it.
    programs='Program Files'
    [[ ! -d "$prefix/drive_c/Program Files (x86)" ]] ||
      programs='Program Files (x86)'
    dosbox_dir="$prefix/drive_c/$programs/DOSBox-0.74-3"
    dosbox_windows="C:\\$programs\\DOSBox-0.74-3\\DOSBox.exe"
    display=(DISPLAY="$DISPLAY")
    install -D -o "$user" -g "$user" -m 755 "$DOSBOX_EXE" "$dosbox_dir/DOSBox.exe"
    both="/0,$answer"$'\r\n'"/0,$second_answer"$'\r'
    for companion in OPENPOLL.COM FINDPOLL.COM; do
      say "DOS companion in DOSBox: $companion makes two exchanges"
      run_dos_relay "$companion"
      expect_got "$both"
      say "  GOT.TXT holds both responses"
      [[ $(flush_failures) -eq 0 ]] ||
        { show_relay_output; fail "the relay could not make DOSBox see its files"; }
      grep -qiF "DOSBox started: $dosbox_windows (process " "$trace" &&
        grep -q "DOSBox started: .*, found on this system" "$trace" ||
        fail "the trace does not name $dosbox_windows: $(cat "$trace")"
      [[ -n "$(settings_files)" ]] || fail "no settings file was handed to DOSBox"
      quit_relay "$dos_work"
      [[ -z "$(settings_files)" ]] || fail "the settings file was left behind"
      say "  no flush failure; the trace names $dosbox_windows; settings file removed"
    done

    # The idle helper, loaded before the companion: tests/dos/probe.asm
    # reports that it is resident, that every failed look-up of the
    # response or status file waited for a timer tick, and how many of
    # 1,000 look-ups of other missing names saw a tick pass (each would
    # wait one if the helper held them up). Its folder goes with the relay.
    say "DOS companion in DOSBox: the idle helper waits only for the relay's files"
    run_dos_relay PROBE.COM
    wait_for 900 test -f "$dos_work/PROBE.TXT" ||
      { show_relay_output; fail "the probe did not finish within 90 s"; }
    probe=$(tr -d '\r' <"$dos_work/PROBE.TXT")
    grep -qx 'HELPER YES' <<<"$probe" ||
      fail "the idle helper is not resident: $probe"
    awk '$1 != "HELPER" && $1 != "OTHERS" && $1 !~ /^STATUS-(OPEN|ATTRIBUTES)$/ &&
         $2 != "W" { bad = 1 } END { exit bad }' <<<"$probe" ||
      fail "a failed look-up of the relay's files did not wait: $probe"
    others=$(awk '$1 == "OTHERS" { print $2 }' <<<"$probe")
    ((16#${others:-FFFF} < 50)) ||
      fail "look-ups of other names were held up: $probe"
    quit_relay "$dos_work"
    [[ -z "$(find "$prefix/drive_c/users" -name 'zindo-relay-*')" ]] ||
      fail "the helper's folder was left behind"
    say "  resident; every missing look-up waited; $((16#$others)) of 1,000 others saw a tick"

    # The same DOSBox behind a program that starts it and waits: the relay
    # sends Ctrl+F4 to a process without a window and says so once, so
    # nothing empties DOSBox's directory cache. The FindFirst companion
    # still sees both responses: the idle helper answers its look-ups.
    if [[ -n "${FLUSH_CONTROL:-}" ]]; then
      say "FINDPOLL.COM with the flush turned off"
      cat >"$top/behind.c" <<'C'
#include <windows.h>
#include <wchar.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {
  wchar_t dosbox[MAX_PATH + 16], line[32768];
  DWORD length = GetModuleFileNameW(NULL, dosbox, MAX_PATH);
  while (length > 0 && dosbox[length - 1] != L'\\') --length;
  wcscpy(dosbox + length, L"DOSBox.exe");
  const wchar_t *rest = GetCommandLineW();
  wchar_t end = *rest == L'"' ? *rest++ : L' ';
  while (*rest && *rest != end) ++rest;
  if (*rest) ++rest;
  swprintf(line, 32768, L"\"%ls\" %ls", dosbox, rest);
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION started;
  if (!CreateProcessW(dosbox, line, NULL, NULL, FALSE, 0, NULL, NULL,
                      &startup, &started)) return 1;
  WaitForSingleObject(started.hProcess, INFINITE);
  return 0;
}
C
      "$mingw_cc" -O2 -mwindows -o "$top/behind.exe" "$top/behind.c" ||
        fail "could not build behind.exe"
      behind="$prefix/drive_c/behind"
      install -D -o "$user" -g "$user" -m 755 "$top/behind.exe" "$behind/behind.exe"
      install -o "$user" -g "$user" -m 755 "$DOSBOX_EXE" "$behind/DOSBox.exe"
      printf 'C:\\behind\\behind.exe\r\n' >"$dos_work/dosbox-path.txt"
      run_dos_relay FINDPOLL.COM
      expect_got "$both"
      [[ $(flush_failures) -eq 1 ]] ||
        { show_relay_output; fail "the flush failure was reported $(flush_failures) times"; }
      quit_relay "$dos_work"
      # DOSBox, and the program behind which it runs, end with the prefix's
      # wineserver.
      as_wine_user "$wineserver" -k || true
      as_wine_user "$wineserver" -w || true
      rm -f "$dos_work/dosbox-path.txt"
      say "  GOT.TXT holds both responses; the flush failure reported once"
    fi

    # Figures, with WINE_BENCH naming flush_bench.exe from the same Windows
    # build: what one flush costs the relay, and how long the FindFirst
    # companion waits from the response written to the response seen (its
    # next request appearing), with no other files beside it and with
    # 10,000, over 5 runs each.
    if [[ -n "${WINE_BENCH:-}" ]]; then
      exec {tick}<> <(:)  # read -t on it sleeps without a new process
      await_file() {  # name: polls for it every millisecond, up to 60 s
        local deadline=$((SECONDS + 60))
        until [[ -e "$dos_work/$1" ]]; do
          ((SECONDS < deadline)) || fail "$1 did not appear"
          read -rt 0.001 -u "$tick" || true
        done
      }
      # "median M, p95 P ms" of the numbers on standard input.
      summary() {
        sort -n | awk '{ v[NR] = $1 } END {
          printf "median %.2f, p95 %.2f ms", v[int((NR + 1) / 2)], v[int(NR * 0.95 + 0.99)] }'
      }
      row() { printf '| %-64s | %-34s | %-10s |\n' "$1" "$2" ""; }
      install -o "$user" -g "$user" -m 755 "$WINE_BENCH" "$top/flush_bench.exe"
      flush=$(as_wine_user env "${display[@]}" "$wine" "$top/flush_bench.exe" \
                "$dosbox_windows" </dev/null) ||
        fail "flush_bench.exe: $flush"
      flush=${flush//$'\r'/}  # a Windows program's line end
      row "flush: find DOSBox's window, post Ctrl+F4 (relay, Wine)" \
        "$(printf 'median %.2f, p95 %.2f ms' $flush)"
      for files in 0 10000; do
        for ((i = 0; i < files; i++)); do : >"$dos_work/other$i.dat"; done
        chown -R "$user:$user" "$dos_work"
        for run in 1 2 3 4 5; do
          run_dos_relay FINDPOLL.COM
          await_file ZINDOK2.TXT
          written=$EPOCHREALTIME
          await_file ZINDOK1.TXT
          awk -v from="$written" -v to="$EPOCHREALTIME" \
            'BEGIN { printf "%.2f\n", (to - from) * 1000 }'
          expect_got "$both"
          quit_relay "$dos_work"
        done >"$top/waits"
        label="no other files"
        ((files == 0)) || label="10,000 files"
        row "FindFirst companion: response -> seen, $label (Wine)" \
          "$(summary <"$top/waits")"
      done
      rm -f "$dos_work"/other*.dat
    fi
  fi
fi

# The mapping held: COM1 was the pseudo-terminal, not a serial port.
com1=$(readlink "$prefix/dosdevices/com1" || true)
[[ "$com1" == "$pty" ]] || fail "COM1 pointed at '$com1', not at $pty"
for link in "$prefix"/dosdevices/com*; do
  say "  dosdevices/$(basename "$link") -> $(readlink "$link")"
done
say "passed"
