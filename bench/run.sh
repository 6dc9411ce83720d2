#!/usr/bin/env bash
# Prints every performance figure of the project; argument: a release build directory.
set -euo pipefail
build=${1:-build/release}
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -1)
echo "# Pelmora benchmarks — $(date -u '+%Y-%m-%d %H:%M UTC') — $(uname -srm), ${cpu:-unknown CPU}," \
  "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null)"
echo
"$build/bench/bench_stop_latency"
if [ -x "$build/bench/bench_pelmorad_stop" ]; then
  echo
  "$build/bench/bench_pelmorad_stop"
fi
# Soak through pelmorad into stdout and into an X client (SOAK_SECONDS each, default 60), and the
# idle cost of pelmorad and the tray program; needs the virtual scanner.
if [ -x "$build/app/pelmorad/pelmorad" ] && [ -x "$build/tools/vscan/pelmora-vscan" ]; then
  echo
  "$(dirname "$0")/soak.sh" "$build" "${SOAK_SECONDS:-60}"
fi
# Typing into an X client on a private Xvfb, against xdotool (needs tools/bootstrap.sh x11).
if [ -x "$build/bench/bench_typing" ]; then
  echo
  "$build/bench/bench_typing"
fi
# Typing into a Wayland client on a private headless sway, against wtype (needs tools/bootstrap.sh
# wayland).
if [ -x "$build/bench/bench_wayland_typing" ]; then
  echo
  "$build/bench/bench_wayland_typing"
fi
# The same through the real desktop portals of headless GNOME Shell and KWin, next to the native
# figures above (needs root, and the GNOME and KDE packages of tools/bootstrap.sh).
echo
"$(dirname "$0")/portal_desktops.sh" "$build"
if [ -x "$build/bench/bench_shell_lifecycle" ]; then
  echo
  "$build/bench/bench_shell_lifecycle"
fi
if [ -x "$build/bench/bench_serial_timing" ]; then
  echo
  "$build/bench/bench_serial_timing"
fi
# pelmora.exe under Wine next to the Linux tray program (tools/bootstrap.sh windows and the win64
# build beside this one, or PELMORA_WIN64_BUILD); a "skipped" row says what is missing.
# Last, as it takes the longest.
echo
"$(dirname "$0")/wine_tray.sh" "$build" "${PELMORA_WIN64_BUILD:-$(dirname "$build")/win64}"
