#!/usr/bin/env bash
# The relay against a stand-in device: zindo-pty plays the device on COM1,
# a shell script plays the companion. Everything lives in a throw-away
# directory under /tmp and every process started here is ended here.
#
# Usage: tools/demo.sh BUILD_DIR   (make demo builds first, then runs this)
set -euo pipefail

build_dir=$(cd "${1:?usage: demo.sh BUILD_DIR}" && pwd)
relay_bin="$build_dir/zindo-relay"
pty_bin="$build_dir/zindo-pty"
for program in "$relay_bin" "$pty_bin"; do
  [[ -x "$program" ]] || { echo "demo: $program is not built" >&2; exit 1; }
done

# Users never run the relay as root, and root slips past exclusive opens.
# As root the relay runs as nobody, in a mount namespace where every
# /dev/ttyS* is /dev/null, so it cannot reach a real serial port (one of them
# may be this machine's console).
relay_uid=65534
as_root=false
[[ $(id -u) -eq 0 ]] && as_root=true

demo_dir=$(mktemp -d /tmp/zindo-demo.XXXXXX)
prefix="$demo_dir/prefix"
work="$demo_dir/work"
pty_pid=""
relay_pid=""

end_process() {  # pid: ends it if it still runs, and reaps it
  local pid=$1
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  end_process "$relay_pid"
  end_process "$pty_pid"
  rm -rf "$demo_dir"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

step() { printf '\n== %s\n' "$*"; }
show_file() {  # path: the content, with CR LF line ends spelled out
  printf '%s: ' "${1#"$demo_dir"/}"
  sed 's/\r$/\\r/; s/$/\\n/' "$1"
}

step "Prefix $prefix, working directory $work"
mkdir -p "$prefix/dosdevices" "$work"
chmod 711 "$demo_dir"
cat >"$work/autoexec.pif" <<'SCRIPT'
#!/bin/sh
echo "companion: started in $(pwd)"
SCRIPT
chmod 755 "$work/autoexec.pif"
pty_owner=()
if $as_root; then
  chown -R "$relay_uid:$relay_uid" "$prefix" "$work"
  pty_owner=(--owner "$relay_uid:$relay_uid")
fi

step "Device stand-in on COM1 (every byte the relay sends is shown)"
"$pty_bin" "${pty_owner[@]}" "$prefix/dosdevices/com1" &
pty_pid=$!
wait_for 50 test -L "$prefix/dosdevices/com1" ||
  { echo "demo: zindo-pty did not map COM1" >&2; exit 1; }

step "Starting the relay (empty prefix: it will say it uses COM1)"
relay_command=("$relay_bin")
if $as_root; then
  relay_command=(unshare -m sh -c
    'for t in /dev/ttyS*; do [ -e "$t" ] || continue;
       mount --bind /dev/null "$t" || exit 126; done; exec "$@"'
    guard setpriv "--reuid=$relay_uid" "--regid=$relay_uid" --clear-groups --
    "$relay_bin")
fi
# Both wrappers exec, so $! is the relay's own pid.
# Its messages go to standard error; 2>&1 keeps them in order with the rest.
(cd "$work" && ZINDO_PREFIX="$prefix" exec "${relay_command[@]}" </dev/null 2>&1) &
relay_pid=$!
wait_for 100 test -e "$work/zindoK.inf" ||
  { echo "demo: the relay wrote no status file" >&2; exit 1; }
sleep 0.5  # lets the companion's line come out before the listings

step "What the relay wrote"
show_file "$prefix/drive_c/zindo/LOCAL6.DAT"
show_file "$work/zindoK.inf"
ls -l "$work"

step "The companion sends a request (ZINDOK1.TXT holding 101,9,9,4,7,8: the device gets 3,0,9,7,8)"
printf '\145\011\011\004\007\010' >"$work/request.tmp"
$as_root && chown "$relay_uid:$relay_uid" "$work/request.tmp"
mv "$work/request.tmp" "$work/ZINDOK1.TXT"
wait_for 100 eval '! test -e "$work/ZINDOK1.TXT"' ||
  { echo "demo: the relay did not take the request" >&2; exit 1; }
sleep 0.3  # lets the device stand-in show the bytes

step "The companion asks the relay to quit (ZINDOK1.TXT holding 1,0,0 CR LF)"
printf '\001\000\000\r\n' >"$work/quit.tmp"
mv "$work/quit.tmp" "$work/ZINDOK1.TXT"
if ! wait_for 100 eval '! kill -0 "$relay_pid" 2>/dev/null'; then
  echo "demo: the relay did not end" >&2
  exit 1
fi
relay_status=0
wait "$relay_pid" || relay_status=$?
relay_pid=""
show_file "$work/zindoK.inf"
echo "relay exit status: $relay_status"

end_process "$pty_pid"
pty_pid=""
[[ $relay_status -eq 0 ]]
