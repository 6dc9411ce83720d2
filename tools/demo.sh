#!/usr/bin/env bash
# make demo: a virtual scanner sends a few sample codes, pelmorad reads them from its
# pseudo-terminal and types them into a window of the demo's own (on a private Xvfb when there is
# no display), and the demo prints what that window received. It runs on a temporary settings
# file naming the virtual scanner: never the user's settings, never a real port.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
preset=${PRESET:-dev}
build="$root/build/$preset"

say() { printf 'demo: %s\n' "$*" >&2; }

say "building pelmorad and the tools ($preset)"
cmake --preset "$preset" >/dev/null
targets=(pelmorad pelmora-vscan)
if [ -f "$root/tools/xreceiver/CMakeLists.txt" ]; then
  targets+=(pelmora-xreceiver)
fi
cmake --build --preset "$preset" --target "${targets[@]}" -- -j2 >/dev/null

pelmorad="$build/app/pelmorad/pelmorad"
vscan="$build/tools/vscan/pelmora-vscan"
xreceiver="$build/tools/xreceiver/pelmora-xreceiver"

work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-demo.XXXXXX")
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Sample scans: an EAN-13, and Code 128 with accented letters (sent as Latin-1 bytes). The
# scanner sends STX first, which the reader drops (bSkipFirstChar), and no suffix: the reader
# adds Enter (bCRLF).
codes=("4006381333931" "Crème brûlée à 4,50" "Größe 42 µm")

scanner="$work/scanner"
cat >"$work/Pelmora.conf" <<CONF
# Demo settings: the virtual scanner's port, never a real one.
DeviceName=$scanner
SerialDevice=1
BaudRate=9600
bCRLF=1
bSkipFirstChar=1
CONF
export PELMORA_CONFIG="$work/Pelmora.conf"
export XDG_CONFIG_HOME="$work"
unset WAYLAND_DISPLAY

wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

sink=stdout
if [ -x "$xreceiver" ]; then
  sink=x11
  if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { say "Xvfb is missing: run tools/bootstrap.sh x11"; exit 1; }
    mkfifo "$work/displayfd"
    Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1024x768x24 \
      3>"$work/displayfd" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    read -r -t 20 number <"$work/displayfd" || { say "Xvfb did not start"; exit 1; }
    export DISPLAY=":$number"
    say "private X server at $DISPLAY"
  else
    say "typing into a window of its own on $DISPLAY"
  fi
  "$xreceiver" --ready-file "$work/ready" >"$work/received" 2>"$work/xreceiver.log" &
  pids+=($!)
  wait_for 20 test -e "$work/ready" || { say "the target window did not get the focus"; exit 1; }
fi

"$vscan" --verbose --link "$scanner" --prefix 0x02 --suffix none --baud 9600 --gap 400 \
  --latin1 --hold "${codes[@]}" >"$work/vscan.out" 2>"$work/vscan.log" &
vscan_pid=$!
pids+=($vscan_pid)
wait_for 10 test -L "$scanner" || { say "the virtual scanner did not start"; exit 1; }
case "$(readlink "$scanner")" in
  /dev/pts/*) ;;
  *) say "refusing to run: $scanner is not a pseudo-terminal"; exit 1 ;;
esac
say "virtual scanner at $(readlink "$scanner") (settings: DeviceName=$scanner)"

start_pelmorad() {
  if [ "$sink" = stdout ]; then
    "$pelmorad" --sink stdout --verbose >"$work/received" 2>"$work/pelmorad.log" &
  else
    "$pelmorad" --sink "$sink" --verbose 2>"$work/pelmorad.log" &
  fi
  pelmorad_pid=$!
  pids+=($pelmorad_pid)
}
start_pelmorad
sleep 0.3
if [ "$sink" = x11 ] && ! kill -0 "$pelmorad_pid" 2>/dev/null; then
  say "no X11 typing in this build ($(tail -n 1 "$work/pelmorad.log")); writing to stdout instead"
  sink=stdout
  start_pelmorad
fi

say "scanning ${#codes[@]} codes through pelmorad --sink $sink"
scans_received() {  # one line end (Enter) per scan
  [ "$(tr -cd '\r\n' <"$work/received" | wc -c)" -ge ${#codes[@]} ]
}
wait_for 30 scans_received || say "not every scan arrived in time"
kill -TERM "$pelmorad_pid"
wait "$pelmorad_pid" || say "pelmorad ended with status $?"

echo
echo "pelmorad said:"
sed 's/^/  /' "$work/pelmorad.log"
echo
if [ "$sink" = stdout ]; then
  echo "pelmorad wrote (Latin-1, shown as UTF-8):"
  iconv -f LATIN1 -t UTF-8 "$work/received" | sed 's/^/  | /'
else
  echo "the target window received (each Enter shown as a line end):"
  tr '\r' '\n' <"$work/received" | sed 's/^/  | /'
fi
expected=$(printf '%s\n' "${codes[@]}")
got=$(if [ "$sink" = stdout ]; then iconv -f LATIN1 -t UTF-8 "$work/received"; else tr '\r' '\n' <"$work/received"; fi)
if [ "$got" = "$expected" ]; then
  echo "demo: all ${#codes[@]} scans arrived intact"
else
  echo "demo: the received text differs from the scans" >&2
  exit 1
fi
