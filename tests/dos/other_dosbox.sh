#!/usr/bin/env bash
# DOSBox-X or DOSBox Staging, as the tests run them: built from the source
# tarballs in a third-party folder (Debian 12 packages neither), with
# Debian's packages only and no network.
#
# Usage: other_dosbox.sh [--built] x|staging SOURCES [CACHE_DIR]
# Prints the path of the built emulator. SOURCES holds the tarballs (see its
# README.md); CACHE_DIR defaults to ~/.cache/zindo-relay. The build is kept
# there under a name made of the tarballs' digest and this script's own, and
# reused while those stay the same; a fresh one takes about 9 minutes on 2
# cores. Exits 3, saying why, when SOURCES lacks the tarballs: the caller
# then skips what needed them. With --built it builds nothing: it exits 4
# when the emulator has not been built yet.
set -euo pipefail

usage="usage: other_dosbox.sh [--built] x|staging SOURCES [CACHE_DIR]"
built_only=false
if [[ ${1:-} == --built ]]; then
  built_only=true
  shift
fi
which=${1:?$usage}
sources=${2:?$usage}
cache=${3:-${XDG_CACHE_HOME:-$HOME/.cache}/zindo-relay}
jobs=${JOBS:-$(nproc)}

say() { printf 'other dosbox (%s): %s\n' "$which" "$*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

case $which in
  x) tarballs=(dosbox-x-*-linux-src.tar.xz) ;;
  staging) tarballs=(dosbox-staging-*-src.tar.xz iir1-*-src.tar.xz) ;;
  *) fail "unknown emulator '$which' (x or staging)" ;;
esac
[[ -d "$sources" ]] || { say "no folder $sources"; exit 3; }
sources=$(cd "$sources" && pwd)
found=()
for pattern in "${tarballs[@]}"; do
  match=$(cd "$sources" && ls $pattern 2>/dev/null | sort -V | tail -n 1)
  [[ -n "$match" ]] || { say "no $pattern in $sources"; exit 3; }
  found+=("$sources/$match")
done

digest=$(cat "${found[@]}" "$0" | sha256sum | cut -c 1-12)
version=$(basename "${found[0]}" | sed -E 's/-(linux-)?src\.tar\.xz$//')
built="$cache/${version}_$digest"
program=$built/$([[ $which == x ]] && echo dosbox-x || echo dosbox)
if [[ -x "$program" ]]; then
  printf '%s\n' "$program"
  exit 0
fi
if $built_only; then
  say "not built yet (make other-dosboxes builds it)"
  exit 4
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/.building.XXXXXX")
trap 'rm -rf "$work"' EXIT
log="$work/build.log"
say "building $version (log: $log while it runs)"
step() {  # what, command...: runs the command with its output in the log
  local what=$1
  shift
  say "  $what"
  "$@" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; fail "$what"; }
}
unpack() {  # tarball: unpacked into the work folder, named as it names itself
  tar -xJf "$1" -C "$work"
}

build_x() {
  unpack "${found[0]}"
  cd "$work"/dosbox-x-*/
  step "autogen" ./autogen.sh
  step "configure" ./configure --enable-sdl2 --disable-debug
  step "make" make -j "$jobs"
  mkdir -p "$work/out"
  strip -o "$work/out/dosbox-x" src/dosbox-x
}

build_staging() {
  unpack "${found[0]}"
  unpack "${found[1]}"
  cd "$work"
  local deps=$work/deps
  step "iir1: configure" cmake -S iir1-*/ -B iir1-build \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
    -DCMAKE_INSTALL_LIBDIR=lib
  step "iir1: build" cmake --build iir1-build -j "$jobs"
  step "iir1: install" cmake --install iir1-build
  # iir1 is linked in statically, so that the emulator needs no library
  # beside it.
  rm -f "$deps"/lib/libiir.so*
  mv "$deps/lib/libiir_static.a" "$deps/lib/libiir.a"
  cd "$work"/dosbox-staging-*/
  # Its version script reads git.
  step "git" sh -c 'git init -q && git add -A &&
    git -c user.name=build -c user.email=build@localhost commit -qm source'
  # OpenGL, FluidSynth, MT-32, slirp and zlib-ng are left out: Debian 12
  # lacks some of them, and none matters to a program that reads and writes
  # files.
  step "meson setup" env PKG_CONFIG_PATH="$deps/lib/pkgconfig" \
    meson setup build --wrap-mode=nodownload -Duse_opengl=false \
    -Duse_fluidsynth=false -Duse_mt32emu=false -Duse_slirp=false \
    -Duse_zlib_ng=false -Dunit_tests=disabled -Dtry_static_libs=iir
  step "ninja" ninja -C build -j "$jobs"
  mkdir -p "$work/out"
  strip -o "$work/out/dosbox" build/dosbox
  # Staging looks for its shaders and fonts beside the program.
  [[ ! -d build/resources ]] || cp -r build/resources "$work/out/"
}

"build_$which"
cp "$log" "$work/out/build.log"
# Another run may have finished the same build meanwhile: keep the first.
mv -T "$work/out" "$built" 2>/dev/null || true
say "built $program"
printf '%s\n' "$program"
