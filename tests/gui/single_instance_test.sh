#!/bin/sh
# Run on an X server with a tray (xvfb_run.sh --tray): a second start of the tray program ends
# with status 0, leaves the first running and has it show its main window; --help still answers.
set -eu
pelmora=$1
dir=$(mktemp -d)
first=
cleanup() {
  if [ -n "$first" ]; then
    kill "$first" 2>/dev/null || true
    wait "$first" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
chmod 700 "$dir"
export XDG_RUNTIME_DIR=$dir PELMORA_CONFIG=$dir/Pelmora.conf
printf 'DeviceName="%s/no-such-port"\n' "$dir" >"$PELMORA_CONFIG"

fail() {
  echo "$1"
  cat "$dir/first.err" 2>/dev/null
  exit 1
}

# wait_for TENTHS COMMAND...: true once COMMAND succeeds within TENTHS tenths of a second.
wait_for() {
  tries=$1
  shift
  while [ "$tries" -gt 0 ]; do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

"$pelmora" 2>"$dir/first.err" &
first=$!
wait_for 200 test -S "$dir/Pelmora-$DISPLAY.socket" || fail "the first copy did not claim the session"
# The main window by its title (the tray icon is a visible window of the program too).
main_window_shown() {
  xdotool search --all --onlyvisible --pid "$first" --name '^Pelmora Utility$'
}
# With the tray there, the first copy keeps its window hidden until asked.
sleep 1
if main_window_shown >/dev/null 2>&1; then
  fail "the first copy showed its window by itself"
fi

"$pelmora" --help >"$dir/help.out" || fail "--help failed while a copy runs"
grep -q -- "--version" "$dir/help.out" || fail "--help said no usage while a copy runs"

status=0
timeout 30 "$pelmora" 2>"$dir/second.err" || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with status $status: $(cat "$dir/second.err")"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
wait_for 100 main_window_shown || fail "the first copy did not show its window"
wait_for 50 test "$(xdotool getactivewindow getwindowpid 2>/dev/null)" = "$first" ||
  fail "the first copy's window is not in front"
echo "single instance: ok"
