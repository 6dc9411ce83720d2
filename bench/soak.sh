#!/usr/bin/env bash
# Soak and idle cost of pelmorad and the tray program, bounded: prints two tables.
#   bench/soak.sh [BUILD_DIR] [SECONDS]     (SECONDS defaults to $SOAK_SECONDS, else 60)
# 1. A virtual scanner on a pseudo-terminal streams numbered scans for SECONDS (default 60) at the
#    pace of a 256000 bit/s line into `pelmorad --sink stdout`, then the same stream into
#    `pelmorad --sink x11` typing into a real X client (pelmora-xreceiver) on a private Xvfb: what
#    comes out must be exactly what went in (0 lost, 0 reordered).
# 2. pelmorad, then the tray program `pelmora` (docked in a tray host on a private Xvfb), idle for
#    10 s reading (port open, nothing sent) and halted (no such port): resident memory and wakeups
#    a second (context switches of all their threads).
# Rows whose tools are missing (Xvfb, the X client, the tray program) become a "skipped" row
# saying why. Only pseudo-terminals and a settings file in a temporary folder: never a real port.
# shellcheck disable=SC2317 # cleanup, holds and tray_host run through trap and wait_for
set -euo pipefail
build=${1:-build/release}
seconds=${2:-${SOAK_SECONDS:-60}}
pelmorad=$build/app/pelmorad/pelmorad
vscan=$build/tools/vscan/pelmora-vscan
xreceiver=$build/tools/xreceiver/pelmora-xreceiver
pelmora=$build/app/pelmora
for p in "$pelmorad" "$vscan"; do
  [ -x "$p" ] || { echo "soak: $p not built" >&2; exit 1; }
done

tmp=$(mktemp -d /tmp/pelmora-soak-XXXXXX)
pids=()
keep_tmp=0
# running PID: whether PID is a job of this script that has not ended. A number that ended is
# free for another process to take, so only a running job is ever signalled.
running() {
  local p
  for p in $(jobs -pr); do [ "$p" != "$1" ] || return 0; done
  return 1
}
cleanup() {  # ends what this script started, newest first
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    if running "${pids[$i]}"; then kill -TERM "${pids[$i]}" 2>/dev/null || true; fi
    wait "${pids[$i]}" 2>/dev/null || true
  done
  [ "$keep_tmp" = 1 ] || rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export PELMORA_CONFIG=$tmp/Pelmora.conf
export XDG_CONFIG_HOME=$tmp
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

settings() {  # settings DEVICE
  printf 'DeviceName="%s"\nSerialDevice=1\nBaudRate=256000\nbSkipFirstChar=0\nbCRLF=0\n' "$1" \
    >"$PELMORA_CONFIG"
}

wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

# stop PID: SIGTERM and wait for it, however it ends.
stop() {
  if running "$1"; then kill -TERM "$1" 2>/dev/null || true; fi
  wait "$1" 2>/dev/null || true
}

# Context switches of every thread of a process, voluntary and not.
switches() {
  local total=0 n status
  for status in /proc/"$1"/task/*/status; do
    n=$(awk '/ctxt_switches/ {s += $2} END {print s + 0}' "$status" 2>/dev/null || echo 0)
    total=$((total + n))
  done
  echo "$total"
}
rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status; }

# idle LABEL PID: a table row after 10 s of watching.
idle() {
  sleep 2
  local before after
  before=$(switches "$2")
  sleep 10
  after=$(switches "$2")
  kill -0 "$2" 2>/dev/null || { echo "soak: $1 ended while watched" >&2; return 1; }
  printf '| %-52s | %6s KiB | %6.1f /s |\n' "$1" "$(rss_kib "$2")" \
    "$(awk -v a="$after" -v b="$before" 'BEGIN {print (a - b) / 10}')"
}

# holds PID FILE: whether the process has FILE (the port behind a link) open.
holds() {
  local target fd
  target=$(readlink -f "$2")
  for fd in /proc/"$1"/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$target" ] && return 0
  done
  return 1
}

# start_scanner CODES LOG ARGS...: a virtual scanner sending the lines of the file CODES, behind
# the link $tmp/scanner, which must lead to a pseudo-terminal. Sets scanner_pid.
start_scanner() {
  local codes=$1 log=$2
  shift 2
  rm -f "$tmp/scanner"
  "$vscan" --link "$tmp/scanner" "$@" <"$codes" >/dev/null 2>"$log" &
  scanner_pid=$!
  pids+=("$scanner_pid")
  wait_for 10 test -L "$tmp/scanner" || { echo "soak: the virtual scanner did not start" >&2; return 1; }
  case "$(readlink "$tmp/scanner")" in
    /dev/pts/*) ;;
    *) echo "soak: refusing to run, $tmp/scanner is not a pseudo-terminal" >&2; return 1 ;;
  esac
}

# A private X server, started on first use; sets DISPLAY. Fails when there is no Xvfb.
xvfb_started=0
start_xvfb() {
  [ "$xvfb_started" = 0 ] || return 0
  command -v Xvfb >/dev/null || return 1
  mkfifo "$tmp/displayfd"
  Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1024x768x24 \
    3>"$tmp/displayfd" >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  local number
  read -r -t 20 number <"$tmp/displayfd" || return 1
  export DISPLAY=":$number"
  xvfb_started=1
}

# pelmorad must take its port from our settings file, never a default one.
settings "$tmp/no-such-port"
timeout 2 "$pelmorad" --sink stdout --verbose >/dev/null 2>"$tmp/probe.err" || true
if ! grep -q "$tmp/no-such-port" "$tmp/probe.err"; then
  echo "soak: skipped, pelmorad does not read its settings from PELMORA_CONFIG in this build"
  exit 0
fi

# 10-byte scans (9 characters and CR) at 25,600 bytes/s: 2,560 scans a second.
scans=$((seconds * 2560))
seq -f 'S%08.0f' 1 "$scans" >"$tmp/codes"
expected_bytes=$((scans * 10))
failed=0

# report LABEL RECEIVED EXPECTED RATE: a soak row; the files must be equal byte for byte. Scans
# end at CR or LF. Lost: sent scans that never arrived; reordered or changed: arrived scans that
# are not a sent one, or not the one after the previous.
report() {
  local counts
  counts=$(tr '\r' '\n' <"$2" | awk -v n="$scans" '
    /^S[0-9]+$/ && length($0) == 9 && !seen[$0]++ {
      i = substr($0, 2) + 0
      if (i >= 1 && i <= n) { got++; if (i != last + 1) bad++; last = i; next }
    }
    { bad++ }
    END { print n - got, bad + 0 }')
  # shellcheck disable=SC2086 # two numbers
  printf '| %-46s | %d | %d | %d | %d | %s |\n' "$1" "$scans" "$(stat -c %s "$2")" $counts "$4"
  if ! cmp -s "$3" "$2"; then
    echo "soak: the stream received by $1 differs from the one sent (kept in $tmp)" >&2
    keep_tmp=1
    failed=1
  fi
}

echo "| soak | scans | bytes | lost | reordered or changed | bytes/s achieved |"
echo "|---|---:|---:|---:|---:|---:|"

# Into standard output: the stdout sink writes code 13 as a line end.
awk '{printf "%s\n", $0}' "$tmp/codes" >"$tmp/expected"
settings "$tmp/scanner"
start_scanner "$tmp/codes" "$tmp/vscan.err" --baud 256000 --gap 0 --linger 3000 --wait-open 20000
"$pelmorad" --sink stdout >"$tmp/received" 2>"$tmp/pelmorad.err" &
daemon_pid=$!
pids+=("$daemon_pid")
start=$(date +%s.%N)
wait "$scanner_pid" || true
# The scanner lingers 3 s after its last byte; the stream itself ended then.
end=$(awk -v t="$(date +%s.%N)" 'BEGIN {printf "%.3f", t - 3}')
stop "$daemon_pid"
rate=$(awk -v n="$(stat -c %s "$tmp/received")" -v s="$start" -v e="$end" \
  'BEGIN {printf "%d", n / (e - s)}')
report "$seconds s at 256000 bit/s into --sink stdout" "$tmp/received" "$tmp/expected" "$rate"

# Into a real X client: pelmorad types through XTest into pelmora-xreceiver, which writes each
# character as its input context delivers it (Enter as CR). It exits by itself once every byte
# arrived, or after 15 s without one, and tells when the first and the last character came.
x_soak() {
  local label="$seconds s at 256000 bit/s into --sink x11, X client"
  if [ ! -x "$xreceiver" ]; then
    echo "| $label | skipped: $xreceiver not built (tools/bootstrap.sh x11) | | | | |"
    return 0
  fi
  if ! start_xvfb; then
    echo "| $label | skipped: no Xvfb (tools/bootstrap.sh x11) | | | | |"
    return 0
  fi
  tr '\n' '\r' <"$tmp/expected" >"$tmp/expected.x"
  "$xreceiver" --ready-file "$tmp/ready" --count "$expected_bytes" --idle-exit-ms 15000 --stats \
    >"$tmp/received.x" 2>"$tmp/xreceiver.err" &
  local receiver_pid=$!
  pids+=("$receiver_pid")
  if ! wait_for 20 test -e "$tmp/ready"; then
    echo "| $label | skipped: the X client did not get the focus | | | | |"
    return 0
  fi
  start_scanner "$tmp/codes" "$tmp/vscan.x.err" --baud 256000 --gap 0 --linger 1000 \
    --wait-open 20000
  "$pelmorad" --sink x11 2>"$tmp/pelmorad.x.err" &
  local daemon_pid=$!
  pids+=("$daemon_pid")
  sleep 1
  if ! kill -0 "$daemon_pid" 2>/dev/null && [ ! -s "$tmp/received.x" ]; then
    echo "| $label | skipped: $(tail -n 1 "$tmp/pelmorad.x.err") | | | | |"
    stop "$receiver_pid"
    stop "$scanner_pid"
    return 0
  fi
  wait "$receiver_pid" || true
  stop "$scanner_pid"
  stop "$daemon_pid"
  # Receive rate: characters over the time from the first to the last one.
  local rate
  rate=$(awk '/^chars/ {d = ($6 - $4) / 1e9; printf "%d", (d > 0 ? $2 / d : 0)}' \
    "$tmp/xreceiver.err")
  report "$label" "$tmp/received.x" "$tmp/expected.x" "${rate:-0}"
}
x_soak

echo
echo "| idle cost | resident memory | wakeups |"
echo "|---|---:|---:|"
settings "$tmp/scanner"
start_scanner /dev/null /dev/null --hold --wait-open 20000
"$pelmorad" --sink stdout >/dev/null 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
idle "pelmorad idle, reading (port open, no data)" "$daemon_pid"
stop "$daemon_pid"

settings "$tmp/no-such-port"
"$pelmorad" --sink stdout >/dev/null 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
idle "pelmorad idle, halted (no such port)" "$daemon_pid"
stop "$daemon_pid"

tray_host() {  # whether a tray host runs on $DISPLAY
  xprop -root 2>/dev/null | grep -q _NET_SYSTEM_TRAY ||
    xdotool search --classname trayer >/dev/null 2>&1
}

# The tray program as a user runs it: its icon docked in a tray host (trayer, under openbox) on
# the private X server, the status window hidden. Where there is no tray host it runs offscreen,
# and with no tray it shows its status window.
tray_idle() {
  if [ ! -x "$pelmora" ]; then
    echo "| pelmora: skipped, $pelmora not built (Qt 6: tools/bootstrap.sh gui) | | |"
    return 0
  fi
  local where="offscreen, status window shown"
  if start_xvfb && command -v openbox >/dev/null && command -v trayer >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
      >/dev/null 2>&1 &
    pids+=($!)
    if wait_for 10 tray_host; then
      where="tray icon on Xvfb"
      export QT_QPA_PLATFORM=xcb
    fi
  fi
  if [ "$where" != "tray icon on Xvfb" ]; then
    export QT_QPA_PLATFORM=offscreen
    unset DISPLAY
  fi
  local pid
  settings "$tmp/scanner"
  "$pelmora" >/dev/null 2>"$tmp/pelmora.err" &
  pid=$!
  pids+=("$pid")
  # It must be reading our pseudo-terminal: proof that it took the port from our settings file
  # before it is given one that does not exist.
  if ! wait_for 20 holds "$pid" "$tmp/scanner"; then
    echo "| pelmora: skipped, it did not open the port of its settings file | | |"
    stop "$pid"
    return 0
  fi
  idle "pelmora ($where), reading (port open, no data)" "$pid"
  stop "$pid"
  settings "$tmp/no-such-port"
  "$pelmora" >/dev/null 2>>"$tmp/pelmora.err" &
  pid=$!
  pids+=("$pid")
  idle "pelmora ($where), halted (no such port)" "$pid"
  stop "$pid"
}
tray_idle
stop "$scanner_pid"

exit "$failed"
