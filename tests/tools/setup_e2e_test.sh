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
# and only when asked for. Last, --remove takes them all away.
#
#   setup_e2e_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/zindo-setup-e2e.XXXXXX)
devsim_pid=
cleanup() {
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid"
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

"$build/zindo-devsim" --link "$by_id/$adapter" "${owner[@]}" \
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

setup --remove
[[ $status == 0 && ! -e $launcher && ! -e $icon && ! -e $autostart ]] ||
  fail "--remove ($status): $out"

((failures == 0)) && echo "PASS"
exit $((failures > 0))
