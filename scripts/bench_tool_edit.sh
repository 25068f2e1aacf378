#!/bin/sh
# Measures the tool's in-place edits against `check` on the same files: a
# flat file of about 100 MB and a file nested 1,000,000 deep. Prints the
# wall time and peak resident memory of each run (GNU time's -v figures).
# Usage: scripts/bench_tool_edit.sh [BUILD_DIR]   (default: build)
set -eu
build=${1:-build}
tool=$build/tools/kelmo
[ -x "$tool" ] || { echo "no tool at $tool; build first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk 'BEGIN {
  print "<?xml version=\"1.0\" encoding=\"utf-8\"?>"; print "<root>"
  for (i = 0; size < 100000000; i++) {
    line = sprintf("  <item id=\"%d\"><name>entry %d</name><value>%d</value></item>", i, i, i * 7)
    print line; size += length(line) + 1
  }
  print "  <last>x</last>"; print "</root>"
}' > "$work/flat.xml"
awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "<a>"; printf "<v>1</v>";
             for (i = 0; i < 1000000; i++) printf "</a>" }' > "$work/deep.xml"

measure() {  # LABEL FILE COMMAND...
  label=$1; file=$2; shift 2
  cp "$file" "$work/edit.xml"
  /usr/bin/time -v "$tool" "$@" 2> "$work/time.txt" > /dev/null || { cat "$work/time.txt" >&2; exit 1; }
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  printf '| %-28s | %10s | %8d MB |\n' "$label" "$seconds" $((kib / 1024))
}

printf '| %-28s | %10s | %11s |\n' "Run" "Wall time" "Peak RSS"
printf '|------------------------------|------------|-------------|\n'
measure "check, 100 MB flat" "$work/flat.xml" check "$work/edit.xml"
measure "set -i, 100 MB flat" "$work/flat.xml" set "$work/edit.xml" last y -i
measure "del -i, 100 MB flat" "$work/flat.xml" del "$work/edit.xml" "item[5]" -i
measure "check, 1,000,000 deep" "$work/deep.xml" check "$work/edit.xml"
measure "set -i, 1,000,000 deep" "$work/deep.xml" set "$work/edit.xml" w 2 -i
measure "del -i, 1,000,000 deep" "$work/deep.xml" del "$work/edit.xml" a -i
