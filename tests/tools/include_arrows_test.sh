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

# The fakes stand in for the platform in tests only, and the helpers made
# for tests serve tests only.
while IFS=: read -r file line text; do
  case $file in
    *_test.cc | *_test.h | platform/fake/*) ;;
    *)
      echo "$file:$line: only tests may include the fakes and test helpers: $text" >&2
      status=1
      ;;
  esac
done < <(grep -rnE '^#include "(platform/fake/|base/test_bytes\.h)' \
           --include='*.h' --include='*.cc' \
           base platform dos exchange link core tools || true)

exit $status
