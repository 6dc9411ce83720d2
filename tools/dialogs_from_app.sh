#!/usr/bin/env bash
# Opens the Options and About dialogs from the tray menu and from the main window's menus of the
# real `pelmora` on a private X server (Xvfb, openbox, trayer), and saves the screen each time.
# The program reads a pseudo-terminal named in a temporary settings file, inside a mount
# namespace where every /dev/ttyS* is /dev/null: no real serial port is ever reached.
#   tools/dialogs_from_app.sh [build-dir] [out-dir]   (defaults: build/dev, build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
out=$(mkdir -p "${2:-$root/build/screenshots}" && cd "${2:-$root/build/screenshots}" && pwd)
cmake --build "$build" --target pelmora pelmora_grab pelmora-vscan >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/scenario.sh" <<SCENARIO
set -u
. "$root/tools/lib/app_on_pty.sh"
start_app_on_pty "$build" "$tmp" || exit 1
sleep 2
grab() { sleep 1.5; "$build/tools/shell_screenshots/pelmora_grab" "$out/\$1.png"; }
tray() { xdotool mousemove 1010 16 click 1; sleep 1; xdotool key "\$1"; }
# From the tray menu (trayer: top right corner, one icon wide).
tray o; grab dialogs_options_from_tray; xdotool key Escape; sleep 1
tray a; grab dialogs_about_from_tray; xdotool key Return; sleep 1
# From the main window's menu bar.
tray s; sleep 2
xdotool key alt+f; sleep 1; xdotool key o; grab dialogs_options_from_menu; xdotool key Escape
sleep 1
xdotool key alt+h; sleep 1; xdotool key a; grab dialogs_about_from_menu; xdotool key Escape
sleep 1
tray x
for _ in \$(seq 50); do kill -0 \$app 2>/dev/null || break; sleep 0.1; done
end_started
exit 0
SCENARIO
unshare -m "$root/tests/gui/xvfb_run.sh" --tray bash "$tmp/scenario.sh"
ls "$out"/dialogs_*
