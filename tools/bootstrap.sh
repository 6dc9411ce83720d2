#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need. Idempotent: apt-get
# runs only when something is missing (through sudo when not root).
#   tools/bootstrap.sh [group...]   groups: build test x11 wayland gui desktop windows windows32
#   installer fuzz vm (default: all but windows, windows32, installer and vm; windows32 is 32-bit Wine for
#   the i686 tests, about 1.1 GB, and turns on the i386 architecture; installer is NSIS, for the
#   Windows installers)
set -euo pipefail

declare -A groups=(
  # xkbcommon: the uinput sink types on the session's layout; libdbus-1: the desktop-portal sink.
  [build]="cmake ninja-build g++ make pkg-config clang-format dpkg-dev file libxkbcommon-dev xkb-data libdbus-1-dev"
  # dbus and python3-dbusmock: the portal sink against a mock portal on a private bus;
  # libxkbcommon-tools: xkbcli, the oracle for the inverse keymap.
  [test]="libgtest-dev libgmock-dev libbenchmark-dev socat dbus python3-dbusmock libxkbcommon-tools"
  [x11]="libx11-dev libxtst-dev libxi-dev xvfb xauth x11-xkb-utils x11-utils xdotool"
  # The virtual-keyboard sink, and a headless sway with wtype to test and measure it against;
  # Xwayland with xterm for X clients under it (xhost to admit root, xkbcomp to read keymaps).
  [wayland]="libwayland-dev wayland-protocols libxkbcommon-dev sway wtype wayland-utils xwayland xterm x11-xserver-utils x11-xkb-utils"
  [gui]="qt6-base-dev openbox trayer"
  # Real desktops for the portal sink: headless GNOME Shell with its portal (logind mocked on a
  # private system bus, foot as the terminal), and kwin_wayland with KDE's portal (which needs
  # qtwayland5) typing into a GTK 3 window; xkbcli tells which characters a layout has. IBus, as
  # on a default GNOME desktop: keys pass through it, and GNOME records the active layout only
  # while it runs.
  [desktop]="gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome dconf-service dconf-gsettings-backend python3-dbusmock ibus foot kwin-wayland xdg-desktop-portal-kde qtwayland5 python3-gi gir1.2-gtk-3.0 libxkbcommon-tools"
  # wine puts wine, wineboot and wineserver on the PATH; wine64 alone does not.
  # The tray program's Wine tests: a window manager and a tray host, Tahoma (fonts-wine) and an
  # Arial stand-in (fonts-liberation) for the dialogs; libwine only recommends the fonts; xprop and
  # xwininfo (x11-utils) to see the tray icon docked; xwd (x11-apps) for the screenshots.
  [windows]="mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 python3 xvfb xauth xdotool openbox trayer fonts-wine fonts-liberation x11-utils x11-apps"
  [windows32]="wine32:i386"
  [installer]="nsis"
  [fuzz]="clang libclang-rt-14-dev"
  [vm]="qemu-system-x86 busybox-static linux-image-amd64 cpio"
)

wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(build test x11 wayland gui desktop fuzz)

missing=()
for group in "${wanted[@]}"; do
  [ -n "${groups[$group]+x}" ] || { echo "bootstrap: unknown group '$group'" >&2; exit 2; }
  for pkg in ${groups[$group]}; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
  done
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
