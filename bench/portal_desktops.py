#!/usr/bin/python3
"""Typing through the real RemoteDesktop portal of a headless GNOME Shell or KWin: run by
portal_desktops.sh as an unprivileged user inside dbus-run-session.

  portal_desktops.py gnome|kde LAYOUT PELMORAD

Starts the desktop with LAYOUT, a receiver (GNOME: foot running cat; KDE: a GTK3 window that
writes each key press's character, as foot dies under kwin --virtual), pelmorad --sink auto on a
pseudo-terminal (GNOME's consent dialog is answered through mutter's own remote-desktop API), then
prints one line: chars/s for 600 random Latin-1 characters sent at once (from the first to the
last character received), whether they arrived exactly (less what pelmorad said it skipped), and
the scan-to-typed time of 40 barcode-like 12-character scans (median, p99), which includes the
100 ms gap that ends a read.
"""
import os
import pty
import random
import re
import signal
import subprocess
import sys
import time
import tty

import dbus

DESKTOP, LAYOUT, PELMORAD = sys.argv[1:4]
TMP = os.environ['PM_DIR']
RECEIVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'portal_receiver_gtk.py')
children = []


def spawn(argv, name, env=None):
    child = subprocess.Popen(argv, stdout=open(os.path.join(TMP, name + '.log'), 'wb'),
                             stderr=subprocess.STDOUT, env=env or os.environ)
    children.append(child)
    return child


def wait_for(condition, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        try:
            result = condition()
        except dbus.exceptions.DBusException:
            result = None
        if result:
            return result
        time.sleep(0.1)
    return None


def skip(why):
    print('%s: skipped (%s)' % (DESKTOP, why))
    sys.exit(0)


def start_gnome(bus):
    # gnome-shell needs logind on a system bus: a private one with python3-dbusmock's.
    conf = os.path.join(TMP, 'system.conf')
    with open(conf, 'w') as f:
        f.write("<busconfig><type>system</type><listen>unix:path=%s/system_bus</listen>"
                "<policy context='default'><allow send_destination='*'/>"
                "<allow receive_sender='*'/><allow own='*'/></policy></busconfig>" % TMP)
    spawn(['dbus-daemon', '--config-file=' + conf, '--nofork', '--nopidfile'], 'system-bus')
    wait_for(lambda: os.path.exists(TMP + '/system_bus'), 10)
    os.environ['DBUS_SYSTEM_BUS_ADDRESS'] = 'unix:path=%s/system_bus' % TMP
    spawn(['python3', '-m', 'dbusmock', '--system', '--template', 'logind'], 'logind')
    time.sleep(1)
    subprocess.run(['gsettings', 'set', 'org.gnome.desktop.input-sources', 'sources',
                    "[('xkb', '%s')]" % LAYOUT], check=True)
    spawn(['gnome-shell', '--headless', '--wayland', '--no-x11', '--wayland-display=wayland-pm',
           '--virtual-monitor', '1280x720', '--unsafe-mode'], 'desktop')

    def shell(code):
        ok, result = bus.get_object('org.gnome.Shell', '/org/gnome/Shell').Eval(
            code, dbus_interface='org.gnome.Shell', timeout=5)
        return result if ok else None
    if not wait_for(lambda: shell('1'), 90):
        skip('gnome-shell did not start')
    subprocess.run(['dbus-update-activation-environment', 'WAYLAND_DISPLAY=wayland-pm',
                    'XDG_CURRENT_DESKTOP=GNOME', 'XDG_SESSION_TYPE=wayland'], check=True)
    # Keys reach clients through IBus when it runs, as on a default GNOME desktop.
    wait_for(lambda: shell('imports.ui.status.keyboard.getInputSourceManager()._ibusReady')
             == 'true', 20)
    os.environ.update(WAYLAND_DISPLAY='wayland-pm', XDG_CURRENT_DESKTOP='GNOME')
    focus = ('(() => { Main.overview.hide(); const w = global.get_window_actors()'
             '.map(a => a.meta_window).find(w => w.get_title() == "recv");'
             ' if (w && !w.has_focus()) w.activate(global.get_current_time());'
             ' return global.display.focus_window ? global.display.focus_window.get_title() : ""; })()')
    spawn(['foot', '-T', 'recv', 'sh', '-c', 'stty raw -echo; exec cat > ' + TMP + '/out'],
          'receiver')
    if not wait_for(lambda: shell(focus) == '"recv"', 20):
        skip('the receiver never had the focus')
    return lambda: shell(focus) == '"recv"'


def answer_gnome_consent(bus):
    # The dialog opens with its switch off and focused: Return turns it on, Alt+S shares. Mutter
    # drops a new device's first key, hence the Shift first.
    remote = bus.get_object('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop')
    path = remote.CreateSession(dbus_interface='org.gnome.Mutter.RemoteDesktop')
    session = bus.get_object('org.gnome.Mutter.RemoteDesktop', path)
    iface = 'org.gnome.Mutter.RemoteDesktop.Session'
    session.Start(dbus_interface=iface)
    time.sleep(0.3)

    def key(sym, down):
        session.NotifyKeyboardKeysym(dbus.UInt32(sym), dbus.Boolean(down), dbus_interface=iface)
    for keys in ([0xffe1], [0xff0d], [0xffe9, 0x73]):
        for sym in keys:
            key(sym, True)
        for sym in reversed(keys):
            key(sym, False)
        time.sleep(0.3)
    return lambda: session.Stop(dbus_interface=iface)


def start_kde():
    config = os.environ['XDG_CONFIG_HOME']
    os.makedirs(config, exist_ok=True)
    with open(config + '/kxkbrc', 'w') as f:
        f.write('[Layout]\nLayoutList=%s\nUse=true\n' % LAYOUT)
    os.environ.update(XDG_CURRENT_DESKTOP='KDE', KDE_FULL_SESSION='true',
                      XDG_SESSION_TYPE='wayland', QT_QPA_PLATFORM='wayland')
    # The installed kwin_wayland carries a file capability this container may not grant; a copy
    # without it runs, if it keeps its name.
    spawn([os.environ['PM_KWIN'], '--virtual', '--socket', 'wayland-pm', '--no-lockscreen'],
          'desktop')
    if not wait_for(lambda: os.path.exists(os.environ['XDG_RUNTIME_DIR'] + '/wayland-pm'), 30):
        skip('kwin_wayland did not start')
    os.environ['WAYLAND_DISPLAY'] = 'wayland-pm'
    subprocess.run(['dbus-update-activation-environment', 'WAYLAND_DISPLAY=wayland-pm',
                    'XDG_CURRENT_DESKTOP=KDE', 'QT_QPA_PLATFORM=wayland',
                    'XDG_SESSION_TYPE=wayland', 'KDE_FULL_SESSION=true'], check=True)
    open(TMP + '/out', 'wb').close()
    spawn(['/usr/bin/python3', RECEIVER, TMP + '/out'], 'receiver',
          dict(os.environ, GDK_BACKEND='wayland'))
    time.sleep(3)


def size():
    return os.path.getsize(TMP + '/out') if os.path.exists(TMP + '/out') else 0


def main():
    bus = dbus.SessionBus()
    refocus = start_gnome(bus) if DESKTOP == 'gnome' else start_kde()
    master, slave = pty.openpty()
    tty.setraw(slave)
    with open(TMP + '/pelmora.conf', 'w') as f:
        f.write('DeviceName="%s"\nbCRLF=0\nbSkipFirstChar=0\n' % os.ttyname(slave))
    spawn([PELMORAD, '--sink', 'auto', '--verbose'], 'pelmorad',
          dict(os.environ, PELMORA_CONFIG=TMP + '/pelmora.conf'))
    log = lambda: open(TMP + '/pelmorad.log', errors='replace').read()
    if DESKTOP == 'gnome':
        time.sleep(2.5)
        stop = answer_gnome_consent(bus)
    if not wait_for(lambda: 'typing through the desktop portal' in log(), 30):
        skip('no portal session: ' + log().strip().replace('\n', ' | ')[-300:])
    if DESKTOP == 'gnome':
        stop()
        wait_for(refocus, 10)

    rnd = random.Random(7)
    text = bytes(rnd.choice(list(range(0x20, 0x7f)) + list(range(0xa0, 0x100)))
                 for _ in range(600))
    start = time.time()
    os.write(master, text)
    first = last_change = None
    last = 0
    while last_change is None or time.time() - last_change < 3:
        n = size()
        if n != last:
            last_change = time.time()
            first = first or last_change
            last = n
        elif last_change is None and time.time() - start > 30:
            break
        time.sleep(0.001)
    received = open(TMP + '/out', 'rb').read().decode('utf-8', 'replace')
    skipped = {int(c, 16) for c in re.findall(r'has no key for U\+([0-9A-F]{4})', log())}
    wanted = ''.join(chr(c) for c in text if c not in skipped)
    rate = (len(received) - 1) / (last_change - first) if first and last_change > first else 0

    times = []
    codes = [''.join(rnd.choice('ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-') for _ in range(12))
             for _ in range(40)]
    for code in codes:
        target = size() + len(code)
        sent = time.time()
        os.write(master, code.encode())
        while size() < target and time.time() - sent < 5:
            time.sleep(0.0005)
        times.append((time.time() - sent) * 1000)
        time.sleep(0.2)
    tail = open(TMP + '/out', 'rb').read().decode('utf-8', 'replace')[-12 * len(codes):]
    times.sort()
    warnings = 0
    if DESKTOP == 'gnome':
        warnings = sum('multiple virtual' in line or 'Unhandled level' in line
                       for line in open(TMP + '/desktop.log', errors='replace'))
    print('%s %s: %.0f chars/s, %d of %d typed, %s (%d skipped as the layout lacks them), '
          'mutter warnings %d; 40 scans: median %.0f ms, p99 %.0f ms, %s'
          % (DESKTOP, LAYOUT, rate, len(received), len(wanted),
             'exact' if received == wanted else 'NOT exact', len(skipped), warnings,
             times[len(times) // 2], times[-1], 'exact' if tail == ''.join(codes) else 'NOT exact'))


def end_session_leftovers():
    # gnome-shell starts ibus-daemon, which detaches: end whatever still carries this run's folder
    # but this process and the ones that started it.
    mark = ('PM_DIR=' + TMP).encode()
    keep = set()
    pid = os.getpid()
    while pid > 1:
        keep.add(pid)
        with open('/proc/%d/stat' % pid) as f:
            pid = int(f.read().rsplit(')', 1)[1].split()[1])
    for entry in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open('/proc/%s/environ' % entry, 'rb') as f:
                if mark in f.read().split(b'\0') and int(entry) not in keep:
                    os.kill(int(entry), signal.SIGTERM)
        except OSError:
            pass


try:
    main()
    sys.stdout.flush()
finally:
    for child in reversed(children):
        child.send_signal(signal.SIGTERM)
    time.sleep(1)
    for child in reversed(children):
        if child.poll() is None:
            child.kill()
    end_session_leftovers()
