#!/bin/bash
# Keeps the arrows between the folders honest: fails when a folder includes a
# header from a folder it may not use (see HACKING.md), when a subject of
# platform/ includes one above it, or when code other than a test includes
# the fakes. Usage: include_arrows_test.sh SOURCE_DIR
set -euo pipefail
cd "${1:-.}"

# The folders each folder may include from, itself first.
declare -A may_use=(
  [base]="base"
  [platform]="platform base"
  [dos]="dos platform base"
  [exchange]="exchange platform base"
  [link]="link platform base"
  [core]="core dos exchange link platform base"
  [tools]="tools dos exchange link platform base"
  [tests]="tests tools core dos exchange link platform base"
)

status=0
for folder in "${!may_use[@]}"; do
  while IFS=: read -r file line text; do
    used=${text#*\"}
    used=${used%%/*}
    # Headers from outside the project (GoogleTest) are not its arrows.
    [[ -v may_use[$used] || $used == tests ]] || continue
    if [[ " ${may_use[$folder]} " != *" $used "* ]]; then
      echo "$file:$line: $folder/ may not include from $used/: $text" >&2
      status=1
    fi
  done < <(grep -rnE '^#include "[^"/]+/' --include='*.h' --include='*.cc' \
             "$folder" || true)
done

# Inside platform/, each place uses only itself and the places after it
# here: first the root's files that gather or look at every subject
# (platform.h, its builders, the surroundings), then the subjects, then the
# root's helpers of one system, which every subject uses. A test of a
# subject may build its setting from any of them; the fakes and the test
# helpers serve tests only, as checked below.
platform_places=(root desktop programs serial files system root-helpers)
root_helpers=(platform/descriptor-posix platform/windows-win32)

# The place of the platform file `1`; nothing for the fakes and the test
# helpers, "unknown" for a folder that has no place above.
platform_place() {
  local file=$1 helper
  for helper in "${root_helpers[@]}"; do
    [[ ${file%.*} == "$helper" ]] && { echo root-helpers; return; }
  done
  case $file in
    platform/fake/* | platform/testing/*) ;;
    platform/*/*)
      local subject=${file#platform/}
      subject=${subject%%/*}
      [[ " ${platform_places[*]} " == *" $subject "* ]] && echo "$subject" ||
        echo unknown
      ;;
    *) echo root ;;
  esac
}

# The position of place `1` in platform_places; -1 when it has none.
place_rank() {
  local rank
  for rank in "${!platform_places[@]}"; do
    [[ ${platform_places[rank]} == "$1" ]] && { echo "$rank"; return; }
  done
  echo -1
}

while IFS=: read -r file line text; do
  case $file in *_test.cc | *_test.h) continue ;; esac
  used=${text#*\"}
  used=${used%%\"*}
  from=$(platform_place "$file")
  to=$(platform_place "$used")
  [[ -n $from && -n $to ]] || continue
  from_rank=$(place_rank "$from")
  to_rank=$(place_rank "$to")
  if ((from_rank < 0 || to_rank < 0 || to_rank < from_rank)); then
    echo "$file:$line: platform's $from may not include from its $to: $text" >&2
    status=1
  fi
done < <(grep -rnE '^#include "platform/' --include='*.h' --include='*.cc' \
           platform || true)

# The fakes and the platform's test helpers stand in for the platform in
# tests only, and the helpers made for tests serve tests only.
while IFS=: read -r file line text; do
  case $file in
    *_test.cc | *_test.h | platform/fake/* | platform/testing/*) ;;
    *)
      echo "$file:$line: only tests may include the fakes and test helpers: $text" >&2
      status=1
      ;;
  esac
done < <(grep -rnE '^#include "(platform/fake/|platform/testing/|base/test_bytes\.h|[^"]*_test\.h")' \
           --include='*.h' --include='*.cc' \
           base platform dos exchange link core tools || true)

# Each subject of platform/ keeps its own helpers: a header listed here is
# included only from its own folder, from the fakes that stand in for it,
# and from tests.
private_helpers=(
  platform/serial/com_port_client.h
  platform/serial/network_stream.h
)
for header in "${private_helpers[@]}"; do
  room=${header%/*}
  while IFS=: read -r file line text; do
    case $file in
      "$room"/* | platform/fake/* | *_test.cc | *_test.h | tests/*) ;;
      *)
        echo "$file:$line: $header is private to $room/: $text" >&2
        status=1
        ;;
    esac
  done < <(grep -rnF "#include \"$header\"" --include='*.h' --include='*.cc' \
             base platform dos exchange link core tools tests || true)
done

exit $status
