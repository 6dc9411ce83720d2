#!/usr/bin/env bash
# Prints every performance figure of the project; argument: a release build directory.
set -euo pipefail
build=${1:-build/release}
echo "# Pelmora benchmarks — $(date -u +%Y-%m-%d) — $(uname -srm), $(nproc) cores"
echo
"$build/bench/bench_stop_latency"
if [ -x "$build/bench/bench_pelmorad_stop" ]; then
  echo
  "$build/bench/bench_pelmorad_stop"
fi
