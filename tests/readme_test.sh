#!/usr/bin/env bash
# Runs every ```sh block of the README's Quick start and Command-line tool
# sections, as written, in a fresh copy of the sources (build directories
# left out), the way a new user would. Any command that fails fails the test.
#   readme_test.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/kelmo-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT

(cd "$source" && tar --exclude='./build*' --exclude='./.git' -cf - .) | (cd "$work" && tar -xf -)

# The blocks, one file each, in order.
awk -v dir="$work" '
  /^## / { section = ($0 == "## Quick start" || $0 == "## Command-line tool") }
  section && /^```sh$/ { n++; file = sprintf("%s/block-%02d.sh", dir, n); inblock = 1; next }
  inblock && /^```$/ { inblock = 0; close(file); next }
  inblock { print > file }
' "$work/README.md"

count=0
for block in "$work"/block-*.sh; do
  [ -e "$block" ] || continue
  count=$((count + 1))
  echo "== $(basename "$block")"
  sed 's/^/   $ /' "$block"
  (cd "$work" && bash -euo pipefail "$block") || { echo "FAILED: $(basename "$block")"; exit 1; }
done
[ "$count" -ge 2 ] || { echo "FAILED: found only $count command blocks"; exit 1; }
echo "all $count README command blocks ran"
