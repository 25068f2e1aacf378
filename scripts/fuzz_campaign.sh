#!/usr/bin/env bash
# A fuzzing campaign that builds on earlier ones: runs every fuzz target for
# the given time (seconds apiece, default 1200), as many at once as there are
# cores (KELMO_JOBS), then merges what each found back into fuzz/corpus/,
# minimized with libFuzzer's -merge=1, so that the next campaign and every CI
# run start where this one ended. Prints executions, corpus size and coverage
# per target and adds them to the running totals in fuzz/README.md.
#
#   scripts/fuzz_campaign.sh [SECONDS] [TARGET...]
#
# A finding stops nothing: the other targets run on, the input is kept under
# the build directory, and the script exits 1 at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-1200}
shift || true
. "$root/scripts/lib/build_dirs.sh"
build=${KELMO_FUZZ_BUILD_DIR:-$(kelmo_build_dir fuzz)}
jobs=${KELMO_JOBS:-$(nproc)}
. "$root/scripts/lib/fuzz_targets.sh"
kelmo_fuzz_build

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/findings"
mkdir -p "$artifacts"

selected=()
for entry in "${kelmo_fuzz_targets[@]}"; do
  read -r name _ <<<"$entry"
  if [ $# -eq 0 ] || printf '%s\n' "$@" | grep -qx "$name"; then
    selected+=("$entry")
  fi
done

# One target: fuzz into a fresh directory with the committed corpus as the
# starting point, then write the minimized union of both into a third.
campaign() {
  local name=$1 max_len=$2 dict=$3
  local found="$work/$name.found" merged="$work/$name.merged"
  mkdir -p "$found" "$merged"
  kelmo_fuzz_options "$name" "$max_len" "$dict" "$seconds" "$artifacts/$name-"
  local status=0
  "$build/fuzz_$name" "${fuzz_options[@]}" "$found" "$root/fuzz/corpus/$name" \
    >"$work/$name.log" 2>&1 || status=$?
  "$build/fuzz_$name" -merge=1 -max_len="$max_len" -rss_limit_mb=2048 -timeout=25 \
    "$merged" "$root/fuzz/corpus/$name" "$found" >"$work/$name.merge.log" 2>&1
  echo "$status" >"$work/$name.status"
}

for entry in "${selected[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  read -r name max_len dict <<<"$entry"
  echo "fuzz_$name: ${seconds}s"
  campaign "$name" "$max_len" "$dict" &
done
wait

totals="$root/fuzz/campaign_totals.tsv"
[ -f "$totals" ] || printf 'target\texecutions\tseconds\tfiles\tbytes\tfeatures\tdate\n' >"$totals"
failed=0
today=$(date -u +%Y-%m-%d)
printf '%-14s %12s %12s %8s %10s %10s\n' target executions total files bytes features
for entry in "${selected[@]}"; do
  read -r name _ <<<"$entry"
  status=$(cat "$work/$name.status")
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/$name.log")
  features=$(sed -n 's/.*MERGE-OUTER: [0-9]* new files with \([0-9]*\) new features.*/\1/p' "$work/$name.merge.log" | tail -n1)
  if [ "$status" != 0 ]; then
    failed=1
    echo "---- fuzz_$name found a problem (input under $artifacts) ----"
    grep -E -A40 "property broken|ERROR: |runtime error|SUMMARY" "$work/$name.log" | head -60 || tail -40 "$work/$name.log"
  fi
  # The minimized corpus replaces the committed one only when the merge
  # produced one; a failed merge leaves the corpus as it was.
  if [ -n "$(ls -A "$work/$name.merged")" ]; then
    rm -rf "$root/fuzz/corpus/$name"
    mv "$work/$name.merged" "$root/fuzz/corpus/$name"
  fi
  files=$(find "$root/fuzz/corpus/$name" -type f | wc -l)
  bytes=$(du -sb "$root/fuzz/corpus/$name" | cut -f1)
  previous=$(awk -F'\t' -v t="$name" '$1 == t {e = $2} END {print e + 0}' "$totals")
  previous_seconds=$(awk -F'\t' -v t="$name" '$1 == t {s = $3} END {print s + 0}' "$totals")
  total=$(( previous + ${execs:-0} ))
  awk -F'\t' -v t="$name" '$1 != t' "$totals" >"$work/totals" && cat "$work/totals" >"$totals"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$total" "$(( previous_seconds + seconds ))" \
    "$files" "$bytes" "${features:-?}" "$today" >>"$totals"
  printf '%-14s %12s %12s %8s %10s %10s\n' "$name" "${execs:-?}" "$total" "$files" "$bytes" "${features:-?}"
done

# The running totals, as a table in fuzz/README.md between its markers.
readme="$root/fuzz/README.md"
if [ -f "$readme" ] && grep -q '<!-- campaign totals -->' "$readme"; then
  table="$work/table.md"
  {
    echo '<!-- campaign totals -->'
    echo '| target | executions, all campaigns | seconds, all campaigns | corpus files | corpus bytes | coverage features | last campaign |'
    echo '|---|---:|---:|---:|---:|---:|---|'
    awk -F'\t' 'NR > 1 {printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6, $7}' "$totals"
    echo '<!-- end campaign totals -->'
  } >"$table"
  awk -v table="$table" '
    /<!-- campaign totals -->/ {while ((getline line < table) > 0) print line; skip = 1; next}
    /<!-- end campaign totals -->/ {skip = 0; next}
    !skip' "$readme" >"$work/readme" && cat "$work/readme" >"$readme"
fi
exit "$failed"
