#!/bin/bash
# Keeps the arrows between the folders honest: fails when a folder includes a
# header from a folder it may not use (see HACKING.md), or when code other
# than a test includes the fakes. Usage: include_arrows_test.sh SOURCE_DIR
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
