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
cmake --build "$build" --target tray_test pelmora pelmora_grab pelmora-vscan >/dev/null

PELMORA_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
    "$root/tests/gui/xvfb_run.sh" "$build/tests/tray_test" >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/scenario.sh" <<SCENARIO
set -u
. "$root/tools/lib/app_on_pty.sh"
# Scanners often send a leading byte, which the default settings skip.
start_app_on_pty "$build" "$tmp" --prefix 0x02 4006381333931 || exit 1
sleep 2
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_started.png"
# trayer sits in the top right corner of the 1024x768 screen, 32 pixels high, one icon wide.
xdotool mousemove 1010 16 click 1
sleep 1
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_tray_menu.png"
xdotool key s
sleep 3
"$build/tools/shell_screenshots/pelmora_grab" "$out/pelmora_status.png"
end_started
SCENARIO
unshare -m "$root/tests/gui/xvfb_run.sh" --tray bash "$tmp/scenario.sh"
ls "$out"
