#!/usr/bin/env bash
# Typing through the real desktop portal of headless GNOME Shell and KWin (portal_desktops.py):
# chars/s, exactness and scan-to-typed time per desktop and layout. Run as root: each desktop runs
# as nobody in a mount namespace where every /dev/ttyS* is /dev/null. Argument: a build directory.
# PM_KEEP=1 keeps the desktops' logs; PM_ONLY_GNOME=1 skips KDE.
set -uo pipefail
build=$(realpath "${1:-build/release}")
here=$(realpath "$(dirname "$0")")
pelmorad=$build/app/pelmorad/pelmorad
echo "## Typing through the desktop portal (pelmorad --sink auto, real portals)"
if [ ! -x "$pelmorad" ] || [ "$(id -u)" != 0 ]; then
  echo "skipped: needs root and $pelmorad"
  exit 0
fi
work=$(mktemp -d /tmp/pelmora-portal-bench.XXXXXX)
[ -n "${PM_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# kwin_wayland's file capability (cap_sys_resource) is refused in containers: a plain copy runs.
kwin=""
if command -v kwin_wayland >/dev/null; then
  mkdir "$work/kwin" && cp "$(command -v kwin_wayland)" "$work/kwin/kwin_wayland" && kwin=$work/kwin/kwin_wayland
fi
run() {  # DESKTOP LAYOUT
  local dir=$work/$1-$2
  mkdir -p "$dir/run" "$dir/home"
  chown -R nobody:nogroup "$dir" && chmod 700 "$dir/run"
  # shellcheck disable=SC2016 # expanded by the inner shell, as its own arguments
  timeout 300 unshare -m bash -c '
    for t in /dev/ttyS*; do [ -e "$t" ] && mount --bind /dev/null "$t"; done
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin \
      HOME="$0/home" XDG_CONFIG_HOME="$0/home/.config" XDG_RUNTIME_DIR="$0/run" PM_DIR="$0" \
      PM_KWIN="$1" dbus-run-session -- /usr/bin/python3 "$2/portal_desktops.py" "$3" "$4" "$5"' \
    "$dir" "$kwin" "$here" "$1" "$2" "$pelmorad" 2>"$dir/stderr" | grep -E "^$1 " ||
    echo "$1 $2: failed (logs in $dir)"
}
if command -v gnome-shell >/dev/null && [ -e /usr/share/xdg-desktop-portal/portals/gnome.portal ]; then
  run gnome us
  run gnome de

else
  echo "gnome: skipped (gnome-shell or xdg-desktop-portal-gnome missing)"
fi
if [ -n "$kwin" ] && [ -e /usr/share/xdg-desktop-portal/portals/kde.portal ]; then
  [ -n "${PM_ONLY_GNOME:-}" ] || run kde fr
else
  echo "kde: skipped (kwin_wayland or xdg-desktop-portal-kde missing)"
fi
