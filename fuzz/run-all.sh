#!/usr/bin/env bash
# Runs every fuzz target of a `fuzz` build for SECONDS each and prints a table of the results.
#   fuzz/run-all.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/fuzz} seconds=${2:-600}
echo "# Fuzzing — $(date -u '+%Y-%m-%d %H:%M UTC') — $(uname -srm), $(nproc) cores, ${seconds} s each"
echo
echo "| target | seconds | executions | exec/s | coverage (edges) | features | corpus | failures |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
failed=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  short=${name#fuzz_}
  line=$("$here/run.sh" "$fuzzer" "$seconds" "$build/fuzz/work/$short" \
    "$here/seeds/$short" "$here/regressions/$short" | grep '^fuzz-summary:' || true)
  execs=$(sed -n 's/.* execs=\([0-9]*\).*/\1/p' <<<"$line")
  cov=$(sed -n 's/.* cov=\([^ ]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft=\([^ ]*\).*/\1/p' <<<"$line")
  corpus=$(sed -n 's/.* corpus=\([0-9]*\).*/\1/p' <<<"$line")
  artifacts=$(sed -n 's/.* artifacts=\([0-9]*\).*/\1/p' <<<"$line")
  status=$(sed -n 's/.* status=\([0-9]*\).*/\1/p' <<<"$line")
  [ "${status:-1}" = 0 ] || failed=1
  echo "| $short | $seconds | ${execs:-0} | $(( ${execs:-0} / seconds )) | ${cov:-?} | ${ft:-?} |" \
    "${corpus:-0} | ${artifacts:-0} |"
done
[ "$failed" = 0 ] || echo "Some target failed: see $build/fuzz/work/*/last-run.log and artifacts/."
exit "$failed"
