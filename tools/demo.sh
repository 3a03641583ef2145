#!/usr/bin/env bash
# The relay at work without any hardware: zindo-devsim plays the device on
# COM1 of a throw-away prefix, and a scripted companion sends three messages
# through the relay, shows each response and asks the relay to quit.
# Everything lives in a directory under /tmp, and every process started here
# is ended here.
#
# Usage: tools/demo.sh BUILD_DIR   (make demo builds first, then runs this)
set -euo pipefail

build_dir=$(cd "${1:?usage: demo.sh BUILD_DIR}" && pwd)
relay_bin="$build_dir/zindo-relay"
devsim_bin="$build_dir/zindo-devsim"
request_bin="$build_dir/zindo-request"
for program in "$relay_bin" "$devsim_bin" "$request_bin"; do
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
devsim_pid=""
relay_pid=""

end_process() {  # pid: ends it if it still runs, and reaps it
  local pid=$1
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  end_process "$relay_pid"
  end_process "$devsim_pid"
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

# The device's 19-byte answers: one to each message, and one to the probe.
answer="17,0,129,63,1,2,3,4,5,6,7,2,0,0,0,1,184,34,10"
probe_answer="17,0,129,63,9,9,9,9,9,9,9,2,0,0,0,1,184,34,10"

write_device_rules() {
  cat >"$demo_dir/device.rules" <<RULES
# The device answers 3,0,9,... in full.
prefix 3,0,9: reply $answer
# It answers 3,0,2,... with only 15 of the 19 bytes it announces.
prefix 3,0,2: reply $answer truncate 15
# It has nothing to say to 3,0,3,... and the relay has to recover the line.
prefix 3,0,3: empty
# It wakes up when the relay probes it.
probe: reply $probe_answer
RULES
}

# The companion, as the relay starts it: it speaks through zindo-request,
# which writes each request file the way the companion does and waits for
# the response file to change.
write_companion() {
  cat >"$work/autoexec.pif" <<SCRIPT
#!/bin/sh
say() { echo "companion: \$*"; }
send() {
  say "sends \$1"
  reply=\$("$request_bin" --wait=30 \$1) || { say "no response"; exit 1; }
  say "response: \$reply"
}
say "started"
send "3 0 9 7 8"
send "3 0 2 2 2"
send "3 0 3 3 3"
say "(that was the relay's stand-in while it recovers the line)"
sleep 2.5
say "response now: \$(cat zindoK2.txt | tr -d '\\r')"
say "asks the relay to quit"
"$request_bin" --quit --wait=20
SCRIPT
  chmod 755 "$work/autoexec.pif"
}

start_device() {
  local owner=()
  $as_root && owner=(--owner "$relay_uid:$relay_uid")
  # Not a pipeline: $! must be the simulator's own pid, to end it by.
  "$devsim_bin" --link "$prefix/dosdevices/com1" "${owner[@]}" \
    --script "$demo_dir/device.rules" > >(sed -u 's/^/device:    /') &
  devsim_pid=$!
  wait_for 50 test -L "$prefix/dosdevices/com1" ||
    { echo "demo: zindo-devsim did not map COM1" >&2; exit 1; }
}

# The same device over plain TCP (DEMO_LINE=tcp): COM1 names the
# simulator's address instead of a pseudo-terminal.
start_device_listening() {
  "$devsim_bin" --listen 127.0.0.1:0 --script "$demo_dir/device.rules" \
    > >(tee "$demo_dir/devsim.out" | sed -u 's/^/device:    /') &
  devsim_pid=$!
  wait_for 50 grep -q 'listening on' "$demo_dir/devsim.out" ||
    { echo "demo: zindo-devsim did not listen" >&2; exit 1; }
  local address
  address=$(sed -n 's/.*listening on //p' "$demo_dir/devsim.out")
  ln -s "tcp://$address" "$prefix/dosdevices/com1"
  if $as_root; then chown -h "$relay_uid:$relay_uid" "$prefix/dosdevices/com1"; fi
}

start_relay() {
  local command=("$relay_bin")
  if $as_root; then
    command=(unshare -m sh -c
      'for t in /dev/ttyS*; do [ -e "$t" ] || continue;
         mount --bind /dev/null "$t" || exit 126; done; exec "$@"'
      guard setpriv "--reuid=$relay_uid" "--regid=$relay_uid" --clear-groups --
      "$relay_bin")
  fi
  # Both wrappers exec, so $! is the relay's own pid. The companion inherits
  # the relay's output, which goes to this terminal.
  (cd "$work" && ZINDO_PREFIX="$prefix" ZINDO_TRACE="$demo_dir/trace.log" \
    exec "${command[@]}" </dev/null 2>&1) &
  relay_pid=$!
}

step "Prefix $prefix, working directory $work"
mkdir -p "$prefix/dosdevices" "$prefix/drive_c/zindo" "$work"
chmod 711 "$demo_dir"
printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$prefix/drive_c/zindo/LOCAL6.DAT"
write_device_rules
write_companion
if $as_root; then
  touch "$demo_dir/trace.log"
  chown -R "$relay_uid:$relay_uid" "$prefix" "$work" "$demo_dir/trace.log"
fi

if [[ "${DEMO_LINE:-pty}" == tcp ]]; then
  step "The device (zindo-devsim on TCP, COM1 -> tcp://) and the relay with its companion"
  start_device_listening
else
  step "The device (zindo-devsim on COM1) and the relay with its companion"
  start_device
fi
start_relay
if ! wait_for 600 eval '! kill -0 "$relay_pid" 2>/dev/null'; then
  echo "demo: the relay did not end within a minute" >&2
  exit 1
fi
relay_status=0
wait "$relay_pid" || relay_status=$?
relay_pid=""
end_process "$devsim_pid"
devsim_pid=""

step "The relay's trace (ZINDO_TRACE)"
cat "$demo_dir/trace.log"
step "The relay ended with status $relay_status; the status file says $(tr -d '\r' <"$work/zindoK.inf")"
[[ $relay_status -eq 0 ]]
