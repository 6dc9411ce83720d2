#!/usr/bin/env bash
# Screenshots of the Options and About dialogs under a private Xvfb with openbox, so the window
# frames are drawn too:  tools/dialog_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
build=${1:-build/dev}
out=${2:-$build/screenshots}
tool=$build/tools/dialog_screenshots/dialog_screenshots
[ -x "$tool" ] || { echo "build $tool first" >&2; exit 1; }
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wm=""
  if command -v openbox >/dev/null; then openbox & wm=$!; sleep 1; fi
  QT_QPA_PLATFORM=xcb "$0" "$1"; status=$?
  [ -z "$wm" ] || kill "$wm"
  exit $status' "$tool" "$out"
ls -1 "$out"
