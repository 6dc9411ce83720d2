#!/usr/bin/env bash
# A private headless GNOME Shell or KDE Plasma compositor (kwin_wayland) with the real
# xdg-desktop-portal and the desktop's own portal backend, for tests and benchmarks. Neither
# desktop runs as root, so as root the whole session runs as nobody. The session bus is private,
# and a second private bus stands in for the system bus, with a mocked logind (the shell dies
# without one).
#
#   desktop-session.sh start DIR gnome|kde LAYOUT[:VARIANT][,LAYOUT[:VARIANT]...]
#       starts the session, its first layout active, in DIR (created if missing) and stays in
#       the foreground until it ends or is sent TERM; DIR/ready appears when it is usable, DIR/failed (with the reason) when it
#       cannot start, DIR/env holds the variables a client of the session needs
#   desktop-session.sh run DIR PROGRAM [ARG...]   runs a program as the session's user, in its
#                                                 environment (no DISPLAY)
#   desktop-session.sh receiver DIR FILE          runs the window that types go to, titled
#                                                 pelmora-receiver, writing what it receives to
#                                                 FILE (GNOME: foot running cat in raw mode; KDE:
#                                                 a GTK window, as foot dies there)
#   desktop-session.sh eval DIR JAVASCRIPT        GNOME: runs JavaScript in the shell, prints the
#                                                 result
#   desktop-session.sh focus DIR                  prints the title of the focused window
#   desktop-session.sh layout DIR INDEX           makes the session's INDEXth layout (from 0)
#                                                 the active one
#   desktop-session.sh activate DIR TITLE         gives the focus to the window with that title
#   desktop-session.sh consent DIR                answers GNOME's "Remote desktop" dialog with
#                                                 "Allow remote interaction" and "Share" (KDE
#                                                 asks nothing)
#
# DIR/session.log holds the compositor's and the portals' output.
set -uo pipefail
# Read whole before it runs: a session lives for minutes, and a checkout meanwhile must not
# change what it does next.
{

here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || {
  sed -n '2,/^set/p' "$0" | sed '$d' >&2
  exit 2
}
desktop=$(cat "$dir/desktop" 2>/dev/null || true)
[ "$cmd" = start ] && desktop=${3:-gnome}
case $desktop in
gnome) current=GNOME ;;
kde) current=KDE ;;
*) echo "desktop-session.sh: no session in $dir" >&2; exit 2 ;;
esac

# Runs its arguments as the session's user with the session's environment; they end with the
# process that started them, so a killed test leaves nothing typing or holding its port.
as_user() { (exec_as_user "$@"); }
exec_as_user() {
  local pre=(setpriv --pdeathsig TERM)
  [ "$(id -u)" -eq 0 ] && pre+=(--reuid=nobody --regid=nogroup --clear-groups)
  # Out of the caller's folder, which may be closed to nobody (a clone under /root).
  cd "$dir" || return 1
  exec "${pre[@]}" env -i PATH=/usr/bin:/bin HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" \
    XDG_CONFIG_HOME="$dir/home/.config" XDG_DATA_HOME="$dir/home/.local/share" \
    XDG_CACHE_HOME="$dir/home/.cache" LANG=C.UTF-8 XDG_CURRENT_DESKTOP=$current \
    XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM=wayland \
    GDK_BACKEND=wayland DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system_bus" NO_AT_BRIDGE=1 "$@"
}

# ---- GNOME: the shell's JavaScript (allowed by --unsafe-mode) ----

# The result of a JavaScript expression (gdbus prints (true, 'RESULT')); fails on an exception.
shell_eval() {
  local reply
  reply=$(as_user gdbus call --session --timeout 10 --dest org.gnome.Shell \
    --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
  case $reply in
  "(true, "*)
    reply=${reply#"(true, "}
    reply=${reply%")"}
    reply=${reply:1:${#reply}-2}
    # Eval gives its result as JSON: a string keeps its double quotes.
    case $reply in \"*\") reply=${reply:1:${#reply}-2} ;; esac
    printf '%s\n' "$reply"
    ;;
  *) return 1 ;;
  esac
}

# Presses and releases keysyms through mutter's own remote-desktop API, which no dialog guards.
# Arguments: keysyms in hex, "+" before a keysym holds it until the next plain one is released.
# Mutter ends a session when its creator's connection closes: one process makes all the calls.
remote_keys() {
  as_user /usr/bin/python3 - "$@" <<'PY'
import sys, time
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
def call(path, iface, method, args=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, "org.gnome.Mutter." + iface,
                         method, args, None, Gio.DBusCallFlags.NONE, 10000, None)
session = call("/org/gnome/Mutter/RemoteDesktop", "RemoteDesktop", "CreateSession").unpack()[0]
call(session, "RemoteDesktop.Session", "Start")
def key(sym, down):
    call(session, "RemoteDesktop.Session", "NotifyKeyboardKeysym", GLib.Variant("(ub)", (sym, down)))
held = []
for k in sys.argv[1:]:
    if k.startswith("+"):
        held.append(int(k[1:], 16))
        key(held[-1], True)
        continue
    key(int(k, 16), True)
    key(int(k, 16), False)
    for h in reversed(held):
        key(h, False)
    held = []
    time.sleep(0.3)
call(session, "RemoteDesktop.Session", "Stop")
PY
}

# ---- KDE: KWin scripts, whose print() goes to kwin's standard error ----

kwin_script() { # kwin_script NAME JAVASCRIPT
  local file=$dir/home/$1.js
  printf '%s\n' "$2" >"$file"
  chmod 0644 "$file"
  local kwin=(as_user gdbus call --session --dest org.kde.KWin --object-path /Scripting)
  "${kwin[@]}" --method org.kde.kwin.Scripting.loadScript "$file" "$1" >/dev/null &&
    "${kwin[@]}" --method org.kde.kwin.Scripting.start >/dev/null
  local ok=$?
  "${kwin[@]}" --method org.kde.kwin.Scripting.unloadScript "$1" >/dev/null 2>&1
  rm -f "$file"
  return $ok
}

focus_title() {
  if [ "$desktop" = gnome ]; then
    shell_eval 'global.display.focus_window ? global.display.focus_window.get_title() : ""'
    return
  fi
  local n line=
  n=pelmora$(date +%s%N)
  kwin_script "$n" "print(\"$n: \" + (workspace.activeClient ? workspace.activeClient.caption : \"\"));" ||
    return 1
  for _ in $(seq 20); do
    line=$(grep -a "$n: " "$dir/session.log" | tail -1)
    [ -n "$line" ] && break
    sleep 0.1
  done
  [ -n "$line" ] || return 1
  printf '%s\n' "${line#*"$n: "}"
}

case $cmd in
start) ;;
run)
  shift 2
  exec_as_user "$@"
  ;;
receiver)
  out=$3
  : >"$out"
  [ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$out"
  if [ "$desktop" = gnome ]; then
    exec_as_user foot --title pelmora-receiver sh -c 'stty raw -echo; exec cat >"$0"' "$out"
  else
    exec_as_user /usr/bin/python3 "$dir/gtk-receiver.py" pelmora-receiver "$out"
  fi
  ;;
focus)
  focus_title
  exit $?
  ;;
eval)
  shell_eval "$3"
  exit $?
  ;;
layout)
  # As the user's layout switcher does it.
  if [ "$desktop" = gnome ]; then
    shell_eval "imports.ui.status.keyboard.getInputSourceManager().inputSources[$3].activate(true)" \
      >/dev/null
  else
    [ "$(as_user gdbus call --session --dest org.kde.keyboard --object-path /Layouts \
      --method org.kde.KeyboardLayouts.setLayout "$3")" = "(true,)" ]
  fi
  exit $?
  ;;
activate)
  title=${3//\'/\\\'}
  if [ "$desktop" = gnome ]; then
    shell_eval "global.get_window_actors().map(a => a.meta_window).filter(w => w.get_title() == '$title').map(w => w.activate(global.get_current_time())).length" >/dev/null
  else
    kwin_script "pelmora$(date +%s%N)" \
      "for (const c of workspace.clientList()) if (c.caption == '$title') workspace.activeClient = c;"
  fi
  exit $?
  ;;
consent)
  [ "$desktop" = gnome ] || exit 0
  # The dialog opens with its "Allow remote interaction" switch focused and off: mutter drops a
  # new device's first key (Shift_L), Return turns the switch on, Alt+S presses "Share".
  before=$(focus_title)
  remote_keys ffe1 ff0d +ffe9 73 || exit 1
  for _ in $(seq 50); do
    [ "$(focus_title)" != "$before" ] && exit 0
    sleep 0.1
  done
  echo "the dialog \"$before\" is still open" >&2
  exit 1
  ;;
*)
  echo "desktop-session.sh: unknown command $cmd" >&2
  exit 2
  ;;
esac

# ---- start ----
# LAYOUT[:VARIANT][,LAYOUT[:VARIANT]...]: the session's layouts, the first one active.
layouts='' variants='' sources=''
IFS=, read -ra wanted <<<"${4:-us}"
for l in "${wanted[@]}"; do
  v=
  case $l in *:*) v=${l#*:}; l=${l%%:*} ;; esac
  layouts+=${layouts:+,}$l
  variants+=,$v
  sources+="${sources:+, }('xkb', '$l${v:++$v}')"
done
variants=${variants#,}
mkdir -p "$dir"
rm -f "$dir/ready" "$dir/failed"
fail() {
  echo "$1" >"$dir/failed"
  exit 1
}
needs=(dbus-daemon gdbus setpriv /usr/libexec/xdg-desktop-portal)
if [ "$desktop" = gnome ]; then
  needs+=(gnome-shell gsettings foot /usr/libexec/xdg-desktop-portal-gnome)
else
  needs+=(kwin_wayland)
  ls /usr/lib/*/libexec/xdg-desktop-portal-kde >/dev/null 2>&1 ||
    fail "xdg-desktop-portal-kde is not installed (tools/bootstrap.sh desktop)"
  /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk' \
    2>/dev/null || fail "python3-gi with GTK 3 is not installed (tools/bootstrap.sh desktop)"
  ls /usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    fail "qtwayland5 is not installed (tools/bootstrap.sh desktop): the KDE portal needs it"
fi
for p in "${needs[@]}"; do
  command -v "$p" >/dev/null || fail "$p is not installed (tools/bootstrap.sh desktop)"
done
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null ||
  fail "python3-dbusmock is not installed (tools/bootstrap.sh desktop)"

echo "$desktop" >"$dir/desktop"
cp "$here/gtk-receiver.py" "$dir/gtk-receiver.py"
mkdir -p "$dir/home/.config" "$dir/run"
chmod 0700 "$dir/run"
if [ "$desktop" = kde ]; then
  # kwin_wayland carries a file capability (cap_sys_resource) that a container's bounding set may
  # lack; a copy drops it. Its Qt platform plugin is found only under its own name.
  mkdir -p "$dir/kwin"
  cp /usr/bin/kwin_wayland "$dir/kwin/kwin_wayland"
  chmod 0755 "$dir/kwin" "$dir/kwin/kwin_wayland"
  {
    echo "[Layout]"
    echo "Use=true"
    echo "LayoutList=$layouts"
    echo "VariantList=$variants"
  } >"$dir/home/.config/kxkbrc"
fi
[ "$(id -u)" -eq 0 ] && chown -R nobody:nogroup "$dir"
chmod 0755 "$dir"

pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    # Each leads a process group of its own: what a bus activated goes with it.
    kill -TERM -- "-${pids[i]}" 2>/dev/null
  done
  [ ${#pids[@]} -gt 0 ] && sleep 0.5
  for i in "${pids[@]}"; do kill -KILL -- "-$i" 2>/dev/null; done
  pids=()
}
trap 'cleanup; exit 0' TERM INT HUP
trap cleanup EXIT

bus_config() { # bus_config TYPE SOCKET
  cat <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$1</type>
  <listen>unix:path=$2</listen>
  <auth>EXTERNAL</auth>
  $([ "$1" = session ] && echo "<standard_session_servicedirs/>")
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="service_start_timeout">60000</limit>
</busconfig>
EOF
}
bus_config system "$dir/system_bus" >"$dir/system.conf"
bus_config session "$dir/run/bus" >"$dir/session.conf"
chmod 0644 "$dir/system.conf" "$dir/session.conf"

wait_for() { # wait_for SECONDS COMMAND...
  local end=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.2
  done
}

# Starts a program as the session's user, leading a process group of its own.
spawn() {
  setsid "$0" run "$dir" "$@" >>"$dir/session.log" 2>&1 &
  pids+=($!)
}

start_bus() { # start_bus CONFIG SOCKET
  spawn dbus-daemon --nofork --nopidfile --config-file="$1"
  wait_for 10 test -S "$2"
}

kwin_up() {
  as_user gdbus call --session --dest org.kde.KWin --object-path /KWin \
    --method org.freedesktop.DBus.Peer.Ping && test -S "$dir/run/wayland-0"
}

try_start() {
  cleanup
  rm -f "$dir/system_bus" "$dir/run/bus" "$dir/run/wayland-0" "$dir/run/wayland-0.lock"
  start_bus "$dir/system.conf" "$dir/system_bus" || return 1
  spawn /usr/bin/python3 -m dbusmock --system -t logind
  # Services the bus starts (dconf, the portals) inherit its environment.
  start_bus "$dir/session.conf" "$dir/run/bus" || return 1
  wait_for 10 as_user gdbus call --system --dest org.freedesktop.login1 \
    --object-path /org/freedesktop/login1 --method org.freedesktop.DBus.Peer.Ping || return 1
  if [ "$desktop" = kde ]; then
    spawn "$dir/kwin/kwin_wayland" --virtual --no-lockscreen --no-global-shortcuts \
      --socket wayland-0 --width 1280 --height 720
    wait_for 45 kwin_up
    return
  fi
  as_user gsettings set org.gnome.desktop.input-sources sources "[$sources]" || return 1
  # No blanking, locking or animations in the middle of a test.
  as_user gsettings set org.gnome.desktop.session idle-delay 0
  as_user gsettings set org.gnome.desktop.screensaver lock-enabled false
  as_user gsettings set org.gnome.desktop.interface enable-animations false
  spawn gnome-shell --headless --wayland --no-x11 --wayland-display=wayland-0 \
    --virtual-monitor 1280x720 --unsafe-mode
  wait_for 45 shell_eval 'global.display.get_n_monitors()' || return 1
  # The overview it opens at start would take the focus from every window.
  wait_for 15 shell_eval 'if (Main.layoutManager._startingUp) throw "starting"; 1' || return 1
  overview_hidden() {
    shell_eval 'Main.overview.hide()' && [ "$(shell_eval 'Main.overview.visible')" = false ]
  }
  wait_for 10 overview_hidden
}

# About 2 GNOME starts in 12 hang while the shell starts up.
for attempt in 1 2 3; do
  echo "desktop-session: start $attempt" >>"$dir/session.log"
  if try_start; then
    {
      echo "XDG_RUNTIME_DIR=$dir/run"
      echo "WAYLAND_DISPLAY=wayland-0"
      echo "DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/run/bus"
      echo "DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/system_bus"
      echo "XDG_CURRENT_DESKTOP=$current"
    } >"$dir/env"
    touch "$dir/ready"
    # Until the compositor ends, or whoever started the session does without ending it.
    while kill -0 "${pids[-1]}" 2>/dev/null && kill -0 "$PPID" 2>/dev/null; do
      sleep 1 &
      wait $!
    done
    echo "desktop-session: the compositor or the session's starter ended" >>"$dir/session.log"
    exit 1
  fi
done
fail "the $desktop session did not start in 3 attempts (see $dir/session.log)"
exit 1
}
