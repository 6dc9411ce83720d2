#!/usr/bin/env bash
# Runs one libFuzzer target for a while and prints what it did.
#   fuzz/run.sh FUZZER SECONDS WORKDIR [CORPUS_DIR...]
# New inputs go to WORKDIR/corpus (kept between runs), anything that fails to WORKDIR/artifacts.
# The corpus directories (seeds, saved regressions) are read, never written.
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3
shift 3
name=$(basename "$fuzzer")
mkdir -p "$work/corpus" "$work/artifacts"
dirs=()
for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done

log="$work/last-run.log"
: >"$log"
marker="$work/.started"
: >"$marker"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "${dirs[@]}" >"$log" 2>&1 || status=$?

execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
done_line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -1 || true)
cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
corpus=$(find "$work/corpus" -type f | wc -l)
crashes=$(find "$work/artifacts" -type f -newer "$marker" | wc -l)
echo "fuzz-summary: $name seconds=$seconds execs=${execs:-0} cov=${cov:-?} ft=${ft:-?}" \
  "corpus=$corpus artifacts=$crashes status=$status"
if [ "$status" -ne 0 ]; then
  # Show how it failed; the input that did it is in the artifacts folder.
  grep -v -E '^#[0-9]+ ' "$log" | tail -40
fi
exit "$status"
