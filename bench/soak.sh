#!/usr/bin/env bash
# Soak and idle cost of pelmorad, bounded: prints a table.
#   bench/soak.sh [BUILD_DIR] [SECONDS]
# 1. A virtual scanner on a pseudo-terminal streams numbered scans for SECONDS (default 60) at the
#    pace of a 256000 bit/s line into `pelmorad --sink stdout`: what comes out must be exactly what
#    went in (0 lost, 0 reordered).
# 2. pelmorad idle for 10 s reading (port open, nothing sent) and halted (no such port): resident
#    memory and wakeups a second (context switches of all its threads).
# Only a pseudo-terminal and a settings file in a temporary folder: never a real port.
set -euo pipefail
build=${1:-build/release}
seconds=${2:-60}
pelmorad=$build/app/pelmorad/pelmorad
vscan=$build/tools/vscan/pelmora-vscan
for p in "$pelmorad" "$vscan"; do
  [ -x "$p" ] || { echo "soak: $p not built" >&2; exit 1; }
done

tmp=$(mktemp -d /tmp/pelmora-soak-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
export PELMORA_CONFIG=$tmp/Pelmora.conf

settings() {  # settings DEVICE
  printf 'DeviceName="%s"\nSerialDevice=1\nBaudRate=256000\nbSkipFirstChar=0\nbCRLF=0\n' "$1" \
    >"$PELMORA_CONFIG"
}

# Context switches of every thread of a process, voluntary and not.
switches() {
  local total=0 n
  for status in /proc/"$1"/task/*/status; do
    n=$(awk '/ctxt_switches/ {s += $2} END {print s + 0}' "$status" 2>/dev/null || echo 0)
    total=$((total + n))
  done
  echo "$total"
}
rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status; }

# idle NAME PID: a table row after 10 s of watching.
idle() {
  sleep 2
  local before after
  before=$(switches "$2")
  sleep 10
  after=$(switches "$2")
  printf '| pelmorad idle, %-26s | %6s KiB | %6.1f /s |\n' "$1" "$(rss_kib "$2")" \
    "$(awk -v a="$after" -v b="$before" 'BEGIN {print (a - b) / 10}')"
}

# pelmorad must take its port from our settings file, never a default one.
settings "$tmp/no-such-port"
timeout 2 "$pelmorad" --sink stdout --verbose >/dev/null 2>"$tmp/probe.err" || true
if ! grep -q "$tmp/no-such-port" "$tmp/probe.err"; then
  echo "soak: skipped, pelmorad does not read its settings from PELMORA_CONFIG in this build"
  exit 0
fi

echo "| soak | scans | bytes | lost | reordered or changed | bytes/s achieved |"
echo "|---|---:|---:|---:|---:|---:|"
# 10-byte scans (9 characters and CR) at 25,600 bytes/s: 2,560 scans a second.
scans=$((seconds * 2560))
seq -f 'S%08.0f' 1 "$scans" >"$tmp/codes"
# The stdout sink writes code 13 as a line end.
awk '{printf "%s\n", $0}' "$tmp/codes" >"$tmp/expected"
settings "$tmp/scanner"
"$vscan" --link "$tmp/scanner" --baud 256000 --gap 0 --linger 3000 --wait-open 20000 \
  <"$tmp/codes" >"$tmp/vscan.out" 2>"$tmp/vscan.err" &
vscan_pid=$!
pids+=("$vscan_pid")
for _ in $(seq 100); do [ -e "$tmp/scanner" ] && break; sleep 0.05; done
"$pelmorad" --sink stdout >"$tmp/received" 2>"$tmp/pelmorad.err" &
daemon_pid=$!
pids+=("$daemon_pid")
start=$(date +%s.%N)
wait "$vscan_pid" || true
# The scanner lingers 3 s after its last byte; the stream itself ended then.
end=$(awk -v t="$(date +%s.%N)" 'BEGIN {printf "%.3f", t - 3}')
kill -TERM "$daemon_pid"
wait "$daemon_pid" || true
expected_bytes=$(stat -c %s "$tmp/expected")
received_bytes=$(stat -c %s "$tmp/received")
lost=$((expected_bytes - received_bytes))
# Reordered or changed: received scans that are not the expected one at that place.
changed=$(paste -d' ' "$tmp/received" "$tmp/expected" |
  awk '$1 != $2 && $1 != "" {n++} END {print n + 0}')
rate=$(awk -v n="$received_bytes" -v s="$start" -v e="$end" 'BEGIN {printf "%d", n / (e - s)}')
printf '| %d s at 256000 bit/s into --sink stdout | %d | %d | %d | %d | %s |\n' "$seconds" \
  "$scans" "$received_bytes" "$lost" "$changed" "$rate"
if ! cmp -s "$tmp/expected" "$tmp/received"; then
  echo "soak: the received stream differs from the one sent (see $tmp)" >&2
  trap - EXIT
  exit 1
fi

echo
echo "| idle cost | resident memory | wakeups |"
echo "|---|---:|---:|"
settings "$tmp/scanner"
"$vscan" --link "$tmp/scanner" --hold --wait-open 20000 </dev/null >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$tmp/scanner" ] && break; sleep 0.05; done
"$pelmorad" --sink stdout >/dev/null 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
idle "reading (port open, no data)" "$daemon_pid"
kill -TERM "$daemon_pid"
wait "$daemon_pid" || true

settings "$tmp/no-such-port"
"$pelmorad" --sink stdout >/dev/null 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
idle "halted (no such port)" "$daemon_pid"
kill -TERM "$daemon_pid"
wait "$daemon_pid" || true
