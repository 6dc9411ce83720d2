#!/usr/bin/env bash
# pelmora.exe under Wine (start to docked icon, share of starts whose icon answers a click, Exit
# to process end, idle memory and wakeups) next to the Linux tray program, measured in one
# sandboxed run by bench/wine_tray.py. A table with one "skipped" row when Wine, the desktop
# tools or the win64 build are missing.
#   bench/wine_tray.sh [LINUX_BUILD_DIR] [WIN64_BUILD_DIR] [SAMPLES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
win64=$(cd "${2:-$(dirname "$build")/win64}" 2>/dev/null && pwd) || win64=${2:-$(dirname "$build")/win64}
samples=${3:-10}
exe=$win64/app/pelmora.exe

skip() {
  echo "| tray program under Wine and on Linux | resident memory or time | wakeups |"
  echo "|---|---:|---:|"
  echo "| pelmora.exe under Wine: skipped, $1 | | |"
  exit 0
}
for tool in wine Xvfb openbox trayer xdotool xwd xwininfo xprop python3; do
  command -v "$tool" >/dev/null || skip "no $tool (tools/bootstrap.sh windows)"
done
[ -f "$exe" ] || skip "$exe not built (cmake --preset win64; cmake --build --preset win64 --target pelmora)"
linux=$build/app/pelmora
[ -x "$linux" ] || linux=-

out=$(mktemp)
trap 'rm -f "$out"' EXIT
if ! WINEPREFIX="$win64/wine-prefix-bench" "$root/tools/wine/wine-run" "$here/wine_tray.py" \
  "$exe" "$linux" "$samples" >"$out" 2>"$out.err"; then
  grep -v '^done$' "$out" || true
  echo "| pelmora.exe under Wine: failed, $(tail -n 1 "$out.err" 2>/dev/null) | | |"
  rm -f "$out.err"
  exit 1
fi
rm -f "$out.err"
grep -v '^done$' "$out"
