# Sourced by the Wine scripts: runs Wine away from this machine's serial
# ports. One of them may be the console, and Wine opens them all to see
# which are real, so every Wine process (and so the wineserver, which opens
# devices for its clients) runs as nobody, in a mount namespace where each
# /dev/ttyS* is /dev/null, in a throw-away prefix. That needs root.
#
# Needs: $prefix (the Wine prefix) and $top (a directory holding home/).

user=65534

# Runs a command as nobody, with the prefix's environment and without a
# display, inside the guard. The wrappers exec, so the command keeps the
# pid they start with.
as_wine_user() {
  env -u DISPLAY -u WAYLAND_DISPLAY \
    WINEPREFIX="$prefix" HOME="$top/home" WINEDEBUG=-all \
    WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d' \
    unshare -m sh -c '
      for t in /dev/ttyS*; do
        [ -e "$t" ] || continue
        mount --bind /dev/null "$t" || exit 126
      done
      exec "$@"' guard \
    setpriv --reuid=$user --regid=$user --clear-groups -- "$@"
}

# Fails unless the guard really hides every serial port.
check_wine_guard() {
  as_wine_user sh -c '
    for t in /dev/ttyS*; do
      [ -e "$t" ] || continue
      [ "$(stat -L -c %t:%T "$t")" = 1:3 ] || exit 1
    done'
}

# What both Wine scripts wait and report with.
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
# The relay's standard output and error ($top/relay.out), for a failure.
show_relay_output() { sed 's/^/  relay: /' "$top/relay.out" >&2 || true; }

# Starts zindo-devsim ($1) as the device on a pseudo-terminal that
# $top/com1 links to, owned by the Wine user: its reply to the second
# request (2,0,67,68) is $3, to any other $2. Sets $devsim_pid and $pty;
# fails (through the script's own fail) when it does not come up.
start_device() {
  "$1" --link "$top/com1" --owner "$user:$user" \
    --log "$top/device.log" --rule "prefix 2,0,67,68: reply $3" \
    --rule "any: reply $2" >"$top/devsim.out" 2>&1 &
  devsim_pid=$!
  wait_for 50 test -L "$top/com1" || fail "zindo-devsim did not start"
  pty=$(readlink "$top/com1")
  [[ "$pty" == /dev/pts/* ]] || fail "zindo-devsim's link points at $pty"
}
