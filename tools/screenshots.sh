#!/usr/bin/env bash
# Screenshots of the tray program on a private X server (Xvfb, openbox, trayer):
#  1. the tray test's own shots: the window with no tray host, the docked icon's tooltip and menu,
#     the main window and its File menu;
#  2. the real `pelmora` started to the tray, reading a pseudo-terminal named in a temporary
#     settings file, its tray menu and its status window.
# The program runs in a mount namespace where every /dev/ttyS* is /dev/null, so not even a
# wrong setting can reach a real serial port.
#   tools/screenshots.sh [build-dir] [out-dir]      (defaults: build/dev, build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
out=$(mkdir -p "${2:-$root/build/screenshots}" && cd "${2:-$root/build/screenshots}" && pwd)
cmake --build "$build" --target tray_test pelmora pelmora_grab >/dev/null

PELMORA_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
    "$root/tests/gui/xvfb_run.sh" "$build/tests/tray_test" >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/scenario.sh" <<SCENARIO
set -u
for t in /dev/ttyS*; do [ -e "\$t" ] && mount --bind /dev/null "\$t"; done
# A pseudo-terminal stands in for the scanner; its name goes into the settings file.
python3 - "$tmp" <<'PY' &
import os, pty, sys, time
master, slave = pty.openpty()
open(os.path.join(sys.argv[1], "pty"), "w").write(os.ttyname(slave))
time.sleep(3)
os.write(master, b"4006381333931\r\n")
time.sleep(30)
PY
feeder=\$!
for _ in \$(seq 50); do [ -s "$tmp/pty" ] && break; sleep 0.1; done
printf '[Pelmora]\nDeviceName=%s\n' "\$(cat "$tmp/pty")" >"$tmp/pelmora.conf"
PELMORA_CONFIG="$tmp/pelmora.conf" QT_QPA_PLATFORM=xcb "$build/app/pelmora" &
app=\$!
sleep 2
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_started.png"
# trayer sits in the top right corner of the 1024x768 screen, 32 pixels high, one icon wide.
xdotool mousemove 1010 16 click 1
sleep 1
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_tray_menu.png"
xdotool key s
sleep 3
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_status.png"
kill \$app \$feeder 2>/dev/null
wait \$app \$feeder 2>/dev/null
SCENARIO
unshare -m "$root/tests/gui/xvfb_run.sh" --tray bash "$tmp/scenario.sh"
ls "$out"
