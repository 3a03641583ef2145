#!/usr/bin/env bash
# The programs as a user meets them on the command line: --help, --version
# and refusals alike in all of them; the relay not starting on a wrong
# argument; and the tools keeping the user's files: a link or file in the
# way of zindo-devsim, a PIF in the way of zindo-mkpif, bytes written to
# zindo-pty's port just before it is closed.
#
#   command_lines_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
scratch=$(mktemp -d /tmp/zindo-cli-test.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# As root, the programs run as nobody, as the relay's other tests run it.
as_user=()
if [[ $(id -u) == 0 ]]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  chmod 755 "$scratch"
fi

# run NAME ARGS...: sets $status, $out, $err.
run() {
  (cd "$scratch/cwd" &&
    "${as_user[@]}" "$build/$@" >"$scratch/out" 2>"$scratch/err")
  status=$?
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
}
expect_status() { [[ $status == "$1" ]] || fail "$2: exit $status, not $1 ($err)"; }

# wait_for CONDITION...: up to 5 s.
wait_for() {
  for _ in $(seq 100); do "$@" && return 0; sleep 0.05; done
  return 1
}

# check_manual_page NAME.SECTION: the page, as it is installed, formats
# without a warning and carries the version.
check_manual_page() {
  local page=$build/packaging/man/$1.gz warnings
  if ! command -v man >/dev/null; then
    echo "SKIP: manual pages not checked: man is not installed (package man-db)"
  elif [[ ! -f $page ]]; then
    fail "no manual page $page"
  else
    warnings=$(man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page: $warnings"
    [[ $(zcat "$page") == *"zindo-relay $version"* ]] || fail "$page: no version"
  fi
}

mkdir -m 777 "$scratch/cwd"
for program in zindo-relay zindo-devsim zindo-request zindo-mkpif zindo-pty \
               zindo-setup; do
  run $program --help
  expect_status 0 "$program --help"
  [[ $out == "usage: $program"* && -z $err ]] || fail "$program --help: $out"
  run $program --version
  expect_status 0 "$program --version"
  first=${out%%$'\n'*}
  [[ $first == "$program $version" || $first == "$program $version (git "*")" ]] ||
    fail "$program --version: $out"
  [[ $out == *$'\nCopyright 2026 the zindo-relay developers\nMIT licence, '* ]] ||
    fail "$program --version names no licence: $out"
  run $program --no-such-option
  expect_status 2 "$program --no-such-option"
  [[ -z $out && $err == "$program: unknown option --no-such-option"* &&
     $(wc -l <<<"$err") == 1 ]] || fail "$program --no-such-option: $err"
  check_manual_page "$program.1"
done
check_manual_page zindo-files.5

# A wrong argument ends the relay before it writes anything.
for wrong in --bogus extra; do
  run zindo-relay $wrong
  expect_status 2 "zindo-relay $wrong"
  [[ -z $(ls -A "$scratch/cwd") ]] || fail "zindo-relay $wrong wrote files"
done

# zindo-devsim keeps what is not a pseudo-terminal link of its own.
run zindo-devsim --link "$scratch/x" extra
expect_status 2 "devsim with a stray word"
[[ $err == *"unexpected argument extra"* ]] || fail "stray word: $err"
echo "the user's notes" >"$scratch/file"
ln -s /nonexistent/ttyUSB0 "$scratch/real-port"
for kept in file real-port; do
  before=$(ls -l "$scratch/$kept"; cat "$scratch/$kept" 2>/dev/null)
  run zindo-devsim --link "$scratch/$kept" --rule 'any: echo'
  expect_status 1 "devsim over $kept"
  [[ $err == *"--force"* ]] || fail "devsim over $kept: $err"
  [[ $(ls -l "$scratch/$kept"; cat "$scratch/$kept" 2>/dev/null) == "$before" ]] ||
    fail "devsim changed $kept"
done

# A link to a pseudo-terminal (one left by a killed simulator) is replaced;
# on exit the link goes only if it still points to the simulator's own.
ln -s /dev/pts/9999 "$scratch/com1"
"$build/zindo-devsim" --link "$scratch/com1" >/dev/null 2>&1 &
pids+=($!)
points_to_pty() { [[ $(readlink "$1") == /dev/pts/* && $(readlink "$1") != "$2" ]]; }
wait_for points_to_pty "$scratch/com1" /dev/pts/9999 ||
  fail "devsim did not replace a stale pseudo-terminal link"
kill "${pids[-1]}"; wait "${pids[-1]}"
[[ ! -e $scratch/com1 && ! -L $scratch/com1 ]] || fail "devsim left its link"
"$build/zindo-devsim" --link "$scratch/com1" >/dev/null 2>&1 &
pids+=($!)
wait_for test -L "$scratch/com1" || fail "devsim made no link"
ln -sfn /nonexistent/ttyUSB0 "$scratch/com1"  # the user takes the name back
kill "${pids[-1]}"; wait "${pids[-1]}"
[[ $(readlink "$scratch/com1") == /nonexistent/ttyUSB0 ]] ||
  fail "devsim removed a link that was no longer its own"
# A fresh prefix: the link's folders are made.
"$build/zindo-devsim" --link "$scratch/fresh/dosdevices/com1" >/dev/null 2>&1 &
pids+=($!)
wait_for test -L "$scratch/fresh/dosdevices/com1" ||
  fail "devsim did not make the link's folders"
kill "${pids[-1]}"; wait "${pids[-1]}"
run zindo-devsim --link "$scratch/file" --force --rule 'any: echo' --port x
expect_status 2 "devsim with --link and --port"

# zindo-pty shows every byte, those written just before a close too; its
# link's folder is made.
"$build/zindo-pty" "$scratch/pty-dir/pty" >"$scratch/pty.out" 2>&1 &
pids+=($!)
wait_for test -L "$scratch/pty-dir/pty" || fail "zindo-pty made no link"
echo hi >"$scratch/pty-dir/pty"
wait_for grep -q "0x0A" "$scratch/pty.out"
kill "${pids[-1]}"; wait "${pids[-1]}"
[[ $(grep -c "0x68\|0x69\|0x0A" "$scratch/pty.out") == 3 ]] ||
  fail "zindo-pty lost bytes: $(cat "$scratch/pty.out")"

# zindo-mkpif replaces nothing unless asked, and says why it cannot.
run zindo-mkpif a.pif 'C:\A.EXE'
expect_status 0 "mkpif a new file"
before=$(cksum <"$scratch/cwd/a.pif")
run zindo-mkpif a.pif 'C:\B.EXE'
expect_status 1 "mkpif over a file"
[[ $err == *"already exists"*"--force"* && $(cksum <"$scratch/cwd/a.pif") == "$before" ]] ||
  fail "mkpif over a file: $err"
run zindo-mkpif --force a.pif 'C:\B.EXE'
expect_status 0 "mkpif --force"
run zindo-mkpif --show a.pif
[[ $out == *'C:\B.EXE'* ]] || fail "mkpif --force did not replace: $out"
run zindo-mkpif no/such/dir.pif 'C:\A.EXE'
[[ $status == 1 && $err == *"No such file or directory"* ]] || fail "mkpif: $err"
run zindo-mkpif --show missing.pif
[[ $status == 1 && $err == *"No such file or directory"* ]] || fail "mkpif: $err"
rm "$scratch/cwd/a.pif"
run zindo-mkpif -h X.EXE
[[ $status == 0 && -z $(ls -A "$scratch/cwd") ]] || fail "mkpif -h wrote a file"

# --help wins over the rest of zindo-request's command line: nothing is sent.
run zindo-request 1 --quit --help
[[ $status == 0 && $out == "usage: zindo-request"* &&
   -z $(ls -A "$scratch/cwd") ]] || fail "zindo-request --help sent: $err"

exit $((failures > 0))
