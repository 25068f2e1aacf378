#!/usr/bin/env bash
# Runs the bundled example on variants of its settings file: one missing a
# parameter, which it must read with its default, and a malformed one, which
# it must report. Neither may crash it.
#   example_test.sh EXAMPLE SETTINGS
set -uo pipefail
example=$1
settings=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

grep -v '<gain>' "$settings" > "$work/no-gain.xml"
"$example" "$work/no-gain.xml" "$work" > "$work/out.txt" 2>&1
status=$?
if [ $status -ne 0 ] || ! grep -q 'sampling/gain is missing' "$work/out.txt"; then
  echo "without <gain>: exit status $status"; cat "$work/out.txt"; exit 1
fi

sed 's|</sampling>|</sampl>|' "$settings" > "$work/malformed.xml"
"$example" "$work/malformed.xml" "$work" > "$work/out.txt" 2>&1
status=$?
if [ $status -ne 1 ] || ! grep -q 'malformed.xml:[0-9]*:[0-9]*: cannot load' "$work/out.txt"; then
  echo "malformed file: exit status $status"; cat "$work/out.txt"; exit 1
fi
echo "example handles a missing parameter and a malformed file"
