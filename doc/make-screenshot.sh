#!/usr/bin/env bash
# The README's picture, made from the real programs on a virtual display:
# a relay runs the tests' DOS companion in DOSBox, and beside it a second
# relay, in a folder whose companion settings name no port, shows its
# default-port message. Both relays' ports are pseudo-terminals that
# zindo-pty makes here; nothing reaches a real serial port. Not run by the
# tests: run it by hand after a change to what the user sees.
#
#   doc/make-screenshot.sh BUILD_DIR [OUTPUT.png]   (default doc/screenshot.png)
#
# BUILD_DIR is a build with the programs and tests/dos/FINDPOLL.COM
# (make build). It installs what it needs first (packaging/install-deps
# screenshot) unless ZINDO_NO_DEPS=1.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: make-screenshot.sh BUILD_DIR [OUTPUT.png]}" && pwd)
out=$(realpath -m "${2:-$here/screenshot.png}")
companion=$build/tests/dos/FINDPOLL.COM
for file in "$build/zindo-relay" "$build/zindo-pty" "$build/zindo-mkpif" \
            "$companion"; do
  [[ -f $file ]] || { echo "make-screenshot: no $file (make build)" >&2; exit 1; }
done
[[ ${ZINDO_NO_DEPS:-} == 1 ]] || "$here/../packaging/install-deps" screenshot

scratch=$(mktemp -d /tmp/zindo-screenshot.XXXXXX)
chmod 755 "$scratch"
started=()  # every process started here, ended here by its id
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# wait_for TENTHS COMMAND...: until COMMAND succeeds, at most TENTHS/10 s.
wait_for() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
fail() { echo "make-screenshot: $*" >&2; exit 1; }

# As root the relays run as nobody, in a mount namespace where every
# /dev/ttyS* is /dev/null, as in the tests.
as_relay_user=()
owner=()
if [[ $(id -u) -eq 0 ]]; then
  as_relay_user=(unshare -m sh -c
    'for t in /dev/ttyS*; do mount --bind /dev/null "$t"; done; exec "$@"'
    guard setpriv --reuid=65534 --regid=65534 --clear-groups --)
  owner=(--owner 65534:65534)
fi

# The display, a window manager for the title bars when there is one.
Xvfb -displayfd 3 -screen 0 1280x520x24 -nolisten tcp -ac -noreset \
  3>"$scratch/display" 2>/dev/null &
started+=($!)
wait_for 100 test -s "$scratch/display" || fail "Xvfb did not start"
DISPLAY=:$(cat "$scratch/display")
export DISPLAY
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  started+=($!)
fi

# A folder of the relay's user: a prefix whose drive C is the companion's
# folder, and COM1 a pseudo-terminal.
make_folder() {  # NAME: $scratch/NAME/{prefix,work,home}
  local base=$scratch/$1
  mkdir -p "$base/prefix/dosdevices" "$base/work" "$base/home"
  ln -s "$base/work" "$base/prefix/dosdevices/c:"
  "$build/zindo-pty" "${owner[@]}" "$base/prefix/dosdevices/com1" \
    >"$base/device.log" 2>&1 &
  started+=($!)
  wait_for 50 test -L "$base/prefix/dosdevices/com1" ||
    fail "zindo-pty made no COM1 for $1"
  chmod -R a+rwX "$base/work" "$base/home"
}
start_relay() {  # NAME: the relay in $scratch/NAME/work
  local base=$scratch/$1
  (cd "$base/work" &&
    exec "${as_relay_user[@]}" env HOME="$base/home" \
      ZINDO_PREFIX="$base/prefix" ZINDO_TRACE="$base/work/trace.log" \
      DISPLAY="$DISPLAY" "$build/zindo-relay") >"$base/relay.out" 2>&1 &
  started+=($!)
}

# The companion, waiting for a device that never answers: a batch file
# that says what it is, then the tests' companion, which draws nothing.
make_folder companion
work=$scratch/companion/work
mkdir "$work/zindo"
printf '1,-1,0,521,c,c:\\zindo\\,1\r\n' >"$work/zindo/LOCAL6.DAT"
cp "$companion" "$work/ORDERS.COM"
printf '%s\r\n' 'echo ORDERS' 'echo.' 'echo Sending the order to the device ...' \
  'ORDERS.COM' >"$work/ORDERS.BAT"
"$build/zindo-mkpif" "$work/autoexec.pif" 'C:\ORDERS.BAT' --dir 'C:\' >/dev/null
chmod -R a+rwX "$work"
start_relay companion
wait_for 200 grep -q 'DOSBox started' "$work/trace.log" 2>/dev/null ||
  fail "no DOSBox: $(cat "$scratch/companion/relay.out")"
started+=("$(sed -n 's/.*DOSBox started: .*(process \([0-9]*\)).*/\1/p' \
  "$work/trace.log" | head -n 1)")
# The companion's first request has reached the device: it now waits.
wait_for 200 grep -q . "$scratch/companion/device.log" ||
  fail "the companion sent nothing"
dosbox_window=$(xdotool search --sync --name DOSBox | head -n 1)

# The second folder has no LOCAL6.DAT: the relay shows its message.
make_folder message
start_relay message
dialog=$(timeout 30 xdotool search --sync --name '^zindo-relay$' | head -n 1) ||
  fail "no message: $(cat "$scratch/message/relay.out")"

xdotool windowmove "$dosbox_window" 10 40 windowmove "$dialog" 680 60
sleep 2  # both windows redrawn where they now are
# The picture ends a little beyond the dialog's right edge.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
import -window root -crop "$((X + WIDTH + 12))x470+0+20" +repage -colors 48 \
  "PNG8:$out"
echo "$out"
