#!/usr/bin/env bash
# DOSBox for Windows, as the Wine tests run it: Debian's source packages
# dosbox and libsdl1.2 (apt-get source), cross-compiled with mingw-w64 for
# 32-bit Windows, SDL linked in statically with its windib and directx video
# drivers. That is the program DOSBox's own Windows installer puts in place.
#
# Usage: dosbox_for_windows.sh CACHE_DIR
# Prints the path of DOSBox.exe. Beside it: DOSBox's licence (COPYING), and
# in source/ what the GPL asks to go with the program when it is given away:
# the source packages it was built from, as apt fetched them, and this
# script. The build is kept in CACHE_DIR, under a name
# made of the two source versions and this script's own digest, and reused
# while those stay the same; a fresh one takes about 5 minutes on 2 cores.
# The source packages must be reachable (packaging/install-deps windows adds
# the deb-src entry they need).
set -euo pipefail

cache=${1:?usage: dosbox_for_windows.sh CACHE_DIR}
script=$(realpath "$0")
host=i686-w64-mingw32
jobs=${JOBS:-$(nproc)}

say() { printf 'dosbox for windows: %s\n' "$*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

# The version `apt-get source` would fetch: the highest one apt knows.
source_version() {
  apt-cache showsrc --only-source "$1" 2>/dev/null |
    sed -n 's/^Version: //p' | sort -V | tail -n 1
}

dosbox_version=$(source_version dosbox)
sdl_version=$(source_version libsdl1.2)
[[ -n "$dosbox_version" && -n "$sdl_version" ]] ||
  fail "apt has no sources of dosbox and libsdl1.2 (run packaging/install-deps windows)"
digest=$(sha256sum "$script" | cut -c 1-12)
key="dosbox-${dosbox_version}_libsdl1.2-${sdl_version}_${digest}"
key=${key//[:~]/_}
built="$cache/$key"
if [[ -f "$built/DOSBox.exe" ]]; then
  printf '%s\n' "$built/DOSBox.exe"
  exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/.building.XXXXXX")
trap 'rm -rf "$work"' EXIT
log="$work/build.log"
say "building $key (log: $log while it runs)"

# Only the upstream tarballs are used: Debian's patches are for Linux, and
# the archive may lack some of them (dosbox's has been missing), so apt-get
# may fail for those alone. apt checks each file it keeps against the
# archive's digests.
cd "$work"
apt-get source --download-only "dosbox=$dosbox_version" \
  "libsdl1.2=$sdl_version" >>"$log" 2>&1 || true
unpack() {  # name: the upstream tarball of source package name, unpacked
  local tarball
  tarball=$(ls "$1"_*.orig.tar.* 2>/dev/null | head -n 1)
  [[ -n "$tarball" ]] ||
    { tail -n 20 "$log" >&2; fail "apt-get source $1 fetched no .orig tarball"; }
  mkdir "$1"
  tar -xf "$tarball" -C "$1" --strip-components=1
}
unpack dosbox
unpack libsdl1.2

stage="$work/stage"
step() {  # what, command...: runs the command with its output in the log
  local what=$1
  shift
  say "  $what"
  "$@" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; fail "$what"; }
}
(cd libsdl1.2 &&
  step "SDL: configure" ./configure --host=$host --prefix="$stage" \
    --disable-shared --enable-static &&
  step "SDL: make" make -j "$jobs" &&
  step "SDL: install" make install)
# SDL's static library needs the Windows libraries its DLL would have named;
# the C and C++ runtimes go in too, so that DOSBox.exe needs no DLL beside it.
(cd dosbox &&
  step "DOSBox: configure" ./configure --host=$host \
    --with-sdl-prefix="$stage" \
    LIBS="-luser32 -lgdi32 -lwinmm -ldxguid" LDFLAGS="-static" &&
  step "DOSBox: make" make -j "$jobs")
mkdir -p "$work/out/source"
$host-strip -o "$work/out/DOSBox.exe" dosbox/src/dosbox.exe
cp dosbox/COPYING "$work/out/COPYING"
# Whatever apt fetched of the two packages (their .dsc, the upstream
# tarballs built from, Debian's own parts where the archive has them).
mv ./*.dsc ./*.orig.tar.* "$work/out/source/"
mv ./*.debian.tar.* ./*.diff.* "$work/out/source/" 2>/dev/null || true
cp "$script" "$work/out/source/dosbox_for_windows.sh"
[[ "$($host-objdump -f "$work/out/DOSBox.exe")" == *pei-i386* ]] ||
  fail "DOSBox.exe is not a 32-bit Windows program"
cp "$log" "$work/out/build.log"
# Another run may have finished the same build meanwhile: keep the first.
mv -T "$work/out" "$built" 2>/dev/null || true
say "built $built/DOSBox.exe"
printf '%s\n' "$built/DOSBox.exe"
