#!/usr/bin/env bash
# zindo-setup from start to end, as a user on a fresh account would use it:
# in a scratch home, with a pseudo-terminal played by zindo-devsim as the
# serial adapter under a stand-in /dev/serial/by-id. It lists and maps the
# adapter, writes the launcher (which desktop-file-validate must pass), and
# checks the companion's folder; `zindo-relay --check` must leave the
# folder and the prefix as they were. The interview, on a terminal, keeps
# a launcher the user does not want replaced, and a check whose result is
# lost fails. The launcher's Exec is then run in its Path= as a desktop
# runs it, and the companion makes one exchange with the device through
# the relay. --autostart adds the launcher's twin in the autostart folder,
# and only when asked for. A DOS companion in a folder with a long name is
# set up by zindo-setup alone and sees its responses in DOSBox, on a virtual
# display, with its PIF's start folder and without one; the launcher moved
# to it takes the old login start away. Last, --remove takes away all it
# made, and only that.
#
#   setup_e2e_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/zindo-setup-e2e.XXXXXX)
devsim_pid=
xvfb_pid=
cleanup() {
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid"
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

home=$scratch/home
work=$scratch/work
by_id=$scratch/by-id
adapter=usb-Zindo_Test_Adapter_T0001-if00-port0
mkdir -p "$home" "$work" "$by_id"
chmod 755 "$scratch"

# As root, everything runs as nobody, in a mount namespace in which every
# /dev/ttyS* is /dev/null, as the relay's other tests run it.
as_user=()
owner=()
if [[ $(id -u) == 0 ]]; then
  # One line, since the interview passes it through script(1)'s shell, which
  # may be dash: bash's %q writes a newline as $'\n', which dash cannot read.
  guard='for t in /dev/ttyS*; do [ -e "$t" ] || continue; mount --bind /dev/null "$t" || exit 126; done; exec "$@"'
  as_user=(unshare -m sh -c "$guard" guard
    setpriv --reuid=65534 --regid=65534 --clear-groups --)
  owner=(--owner 65534:65534)
  chown 65534:65534 "$home" "$work" "$by_id"
fi

# The companion: one request, its response kept, then the quit request. The
# device echoes it: 13 bytes or more, so that the reply settles at once.
request="13 0 9 8 7 6 5 4 3 2 1 0 1 2 3"
cat >"$work/autoexec.pif" <<SCRIPT
#!/bin/sh
"$build/zindo-request" --wait=15 $request >answer.txt 2>&1
"$build/zindo-request" --quit
SCRIPT
chmod 755 "$work/autoexec.pif"
[[ $(id -u) == 0 ]] && chown 65534:65534 "$work/autoexec.pif"

# The DOS companion's two requests get replies of 13 and 14 bytes.
first_reply=11,0,1,2,3,4,5,6,7,8,9,10,11
second_reply=12,0,1,2,3,4,5,6,7,8,9,10,11,12
"$build/zindo-devsim" --link "$by_id/$adapter" "${owner[@]}" \
  --rule "prefix 1,0,67: reply $first_reply" \
  --rule "prefix 2,0,67,68: reply $second_reply" \
  --rule 'any: echo' --log "$scratch/devsim.log" >"$scratch/devsim.out" 2>&1 &
devsim_pid=$!
for _ in $(seq 100); do [[ -L $by_id/$adapter ]] && break; sleep 0.05; done
[[ -L $by_id/$adapter ]] || { echo "FAIL: zindo-devsim made no adapter"; exit 1; }

# A desktop's environment: the user's home and PATH, nothing of the tests.
user_env=(env -i "HOME=$home" "PATH=$PATH" "ZINDO_SERIAL_BY_ID=$by_id")
# setup ARGS...: sets $status and $out (standard output and error).
setup() {
  out=$("${as_user[@]}" "${user_env[@]}" "$build/zindo-setup" "$@" 2>&1)
  status=$?
}

setup --list
[[ $status == 0 && $out == *"1. $adapter -> /dev/pts/"* &&
   $out == *"you may open it"* ]] || fail "--list ($status): $out"
setup --map 1 "$adapter"
[[ $status == 0 && $(readlink "$home/.zindo/dosdevices/com1") == "$by_id/$adapter" ]] ||
  fail "--map ($status): $out"
setup --desktop "$work"
[[ $status == 0 && $out == *"The relay would start here."* ]] ||
  fail "--desktop ($status): $out"
launcher=$home/.local/share/applications/zindo-relay.desktop
icon=$home/.local/share/icons/hicolor/scalable/apps/zindo-relay.svg
[[ -f $launcher && $(head -c 5 "$icon") == "<?xml" ]] || fail "no launcher or icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$launcher" || fail "desktop-file-validate $launcher"
else
  echo "SKIP: launcher not validated: desktop-file-validate is not installed" \
       "(package desktop-file-utils)"
fi
autostart=$home/.config/autostart/zindo-relay.desktop
[[ ! -e $autostart ]] || fail "--desktop alone wrote $autostart"
setup --autostart
[[ $status == 2 && $out == *"--autostart needs --desktop FOLDER"* ]] ||
  fail "--autostart alone ($status): $out"
setup --desktop "$work" --autostart
[[ $status == 0 && $out == *"autostart: $autostart"* ]] ||
  fail "--desktop --autostart ($status): $out"
# The same command in the same folder as the launcher, which runs below.
[[ $(cat "$autostart" 2>&1) == "$(cat "$launcher")" ]] ||
  fail "the autostart entry is not the launcher's twin: $(cat "$autostart" 2>&1)"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$autostart" || fail "desktop-file-validate $autostart"
fi

# The interview, on a terminal, with a launcher already there for another
# folder: the answers take adapter 1 for the port the companion names, a
# launcher for $other, no to replacing the old one, and no to asking the
# device. The old launcher stays, and the check of $other still runs and
# decides the exit status.
other=$scratch/other
mkdir -p "$other"
cp -p "$work/autoexec.pif" "$other/"
[[ $(id -u) == 0 ]] && chown -R 65534:65534 "$other"
launcher_before=$(cat "$launcher")
interview=$(printf '%q ' "${as_user[@]}" "${user_env[@]}" "$build/zindo-setup")
out=$(printf '%s\n' 1 "" "$other" "" n n |
      script -qec "$interview" /dev/null 2>&1)
status=$?
[[ $status == 0 && $out == *"Replace the launcher there is?"* &&
   $out == *"kept: it starts the relay in $work"* &&
   $out == *"ask the device whether it answers"* && $out != *"probe:"* &&
   $out == *"What the relay would do in $other:"* &&
   $out == *"The relay would start here."* ]] || fail "interview ($status): $out"
[[ $(cat "$launcher") == "$launcher_before" ]] || fail "the interview replaced the launcher"

# A check whose status cannot be had (SIGCHLD ignored, so the system reaps
# the relay itself) has not passed.
# Innermost, since sh and unshare set SIGCHLD back. The $ is Perl's.
# shellcheck disable=SC2016
out=$("${as_user[@]}" perl -e '$SIG{CHLD} = "IGNORE"; exec @ARGV or die "exec: $!"' \
      -- "${user_env[@]}" "$build/zindo-setup" --check "$work" 2>&1)
status=$?
[[ $status == 1 && $out == *"PROBLEM  the check's result is unknown: waitpid: "* ]] ||
  fail "check with its status lost ($status): $out"

# The check touches nothing: no request, status or configuration file, no
# directory, and the port stays free.
snapshot() { find "$home" "$work" -printf '%p %y %s %T@ %l\n' | sort; }
before=$(snapshot)
out=$(cd "$work" && "${as_user[@]}" "${user_env[@]}" "$build/zindo-relay" --check 2>&1)
status=$?
[[ $status == 0 && $out == *"ok       device: COM1: "*"can be opened now"* &&
   $out == *"port: COM1, the default"* ]] || fail "--check ($status): $out"
[[ $(snapshot) == "$before" ]] || fail "--check changed files: $(diff <(echo "$before") <(snapshot))"

# A port behind a serial server is read from its link, not connected to.
com1="$home/.zindo/dosdevices/com1"
adapter_link=$(readlink "$com1")
ln -sfn rfc2217://127.0.0.1:1 "$com1"
out=$(cd "$work" && "${as_user[@]}" "${user_env[@]}" "$build/zindo-relay" --check 2>&1)
status=$?
[[ $status == 0 && $out == *"rfc2217://127.0.0.1:1, a serial server"* ]] ||
  fail "--check of a serial server ($status): $out"
ln -sfn "$adapter_link" "$com1"


# The launcher's command, run in its folder as a desktop would run it.
exec_line=$(sed -n 's/^Exec=//p' "$launcher")
folder=$(sed -n 's/^Path=//p' "$launcher")
[[ $folder == "$work" ]] || fail "Path=$folder, not $work"
eval "command=($exec_line)"
(cd "$folder" && timeout 60 "${as_user[@]}" "${user_env[@]}" "${command[@]}" \
  </dev/null >"$scratch/relay.out" 2>&1)
status=$?
[[ $status == 0 ]] || fail "the launcher's relay ended with $status: $(cat "$scratch/relay.out")"
[[ $(cat "$work/zindoK2.txt" 2>/dev/null) == "/0,${request// /,}"$'\r' ]] ||
  fail "response: $(cat -A "$work/zindoK2.txt" 2>&1); companion: $(cat "$work/answer.txt" 2>&1)"
[[ $(cat "$work/zindoK.inf" 2>/dev/null) == $'0,0\r' ]] || fail "status file"
grep -q "13   0   9   8   7   6   5   4   3   2   1   0   1   2   3" \
  "$scratch/devsim.log" || fail "device log: $(cat "$scratch/devsim.log")"

# run_dos_companion WHAT: the launcher's relay runs the DOS companion in
# $dos, on the virtual display when there is one; the companion must keep
# both responses in GOT.TXT. The quit request then ends the relay.
run_dos_companion() {
  local display=() exec_line command relay_pid
  [[ -s $scratch/display ]] && display=("DISPLAY=:$(cat "$scratch/display")")
  rm -f "$dos/GOT.TXT"
  exec_line=$(sed -n 's/^Exec=//p' "$launcher")
  eval "command=($exec_line)"
  (cd "$dos" && exec timeout 90 "${as_user[@]}" "${user_env[@]}" "${display[@]}" \
    "${command[@]}" </dev/null >"$scratch/dos-relay.out" 2>&1) &
  relay_pid=$!
  for _ in $(seq 600); do [[ -e $dos/GOT.TXT ]] && break; sleep 0.1; done
  [[ $(cat "$dos/GOT.TXT" 2>/dev/null) == "/0,$first_reply"$'\r\n'"/0,$second_reply"$'\r' ]] ||
    fail "the DOS companion $1: $(cat -A "$dos/GOT.TXT" 2>&1); relay: $(cat "$scratch/dos-relay.out")"
  "${as_user[@]}" "$build/zindo-request" --dir "$dos" --quit >/dev/null
  wait "$relay_pid" || fail "the relay for the DOS companion $1 ended with $?: $(cat "$scratch/dos-relay.out")"
}

# A DOS companion in a folder that DOS could never name, whose PIF starts
# it in C:\ZINDO: zindo-setup alone makes C:\ZINDO that folder, and the
# relay's DOSBox runs it there. Setting up the new folder without --autostart
# takes the login start in $work away with the launcher there.
dos=$home/"Zindo Office été (companion)"
dos_companion=$build/tests/dos/OPENPOLL.COM
if ! command -v dosbox >/dev/null || [[ ! -f $dos_companion ]]; then
  echo "SKIP: the DOS companion: dosbox (package dosbox) or $dos_companion is missing"
else
  mkdir -p "$dos"
  cp "$dos_companion" "$dos/CO.COM"
  "$build/zindo-mkpif" "$dos/autoexec.pif" 'C:\ZINDO\CO.COM' --dir 'C:\ZINDO' >/dev/null
  # The relay reads c:\zindo\LOCAL6.DAT: the companion's own, through the link.
  printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$dos/LOCAL6.DAT"
  [[ $(id -u) == 0 ]] && chown -R 65534:65534 "$dos"
  setup --desktop "$dos"
  [[ $status == 1 && $out == *"already starts the relay in $work"* &&
     $(sed -n 's/^Path=//p' "$autostart") == "$work" ]] ||
    fail "--desktop for another folder without --force ($status): $out"
  # The relay in $work made C:\ZINDO a folder for its LOCAL6.DAT: --force
  # sets it aside.
  setup --desktop "$dos" --force
  [[ $status == 0 &&
     $out == *"mapped C:\ZINDO (the start folder in autoexec.pif) to $dos"* &&
     $(readlink "$home/.zindo/drive_c/zindo") == "$dos" ]] ||
    fail "--desktop for a DOS companion ($status): $out"
  [[ ! -e $autostart ]] || fail "a login start is left: $(cat "$autostart")"
  if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 \
      3>"$scratch/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.05; done
  fi
  run_dos_companion "with its start folder"
  # Without a start folder, the folder gets a drive of its own, and the link
  # for C:\ZINDO goes, giving its name back to the folder set aside.
  "$build/zindo-mkpif" --force "$dos/autoexec.pif" 'CO.COM' >/dev/null
  setup --desktop "$dos"
  [[ $status == 0 &&
     $out == *"mapped D: (autoexec.pif names no start folder) to $dos"* &&
     $(readlink "$home/.zindo/dosdevices/d:") == "$dos" &&
     ! -L $home/.zindo/drive_c/zindo ]] ||
    fail "--desktop for a DOS companion without a start folder ($status): $out"
  run_dos_companion "without a start folder"
fi

# The port's link stays, and so does the folder the relay made for
# C:\ZINDO before, which the link stood in for.
setup --remove
[[ $status == 0 && ! -e $launcher && ! -e $icon && ! -e $autostart &&
   ! -L $home/.zindo/drive_c/zindo && -L $home/.zindo/dosdevices/com1 ]] ||
  fail "--remove ($status): $out"
[[ ! -e $home/.zindo/drive_c/zindo.old && -f $home/.zindo/drive_c/zindo/LOCAL6.DAT ]] ||
  fail "--remove left $(ls "$home/.zindo/drive_c")"

((failures == 0)) && echo "PASS"
exit $((failures > 0))
