#!/usr/bin/env bash
# Runs a command on a private X server: Xvfb on a free display (-displayfd), the openbox window
# manager and, with --tray, the trayer tray host. Ends what it started, whatever the command does.
#   xvfb_run.sh [--tray] [--] command [args...]
set -u
tray=0
if [ "${1:-}" = "--tray" ]; then
    tray=1
    shift
fi
[ "${1:-}" = "--" ] && shift

pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -f "$fdfile"
}
fdfile=$(mktemp)
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
done
[ -s "$fdfile" ] || { echo "xvfb_run: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"
unset WAYLAND_DISPLAY

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done

if [ "$tray" = 1 ]; then
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xprop -root 2>/dev/null | grep -q _NET_SYSTEM_TRAY && break
        xdotool search --classname trayer >/dev/null 2>&1 && break
        sleep 0.1
    done
fi

"$@"
exit $?
