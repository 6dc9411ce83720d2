#!/usr/bin/env python3
"""Linux side of the Wine tests that need a serial line or a desktop.

Runs inside tools/wine/sandbox (tools/wine/wine-run starts it), with WINEPREFIX set. COM1 is a
dosdevices symlink to a pseudo-terminal made here; the host's serial ports are not visible.

  wine_harness.py serial PROBE.exe
      serial_probe.exe against COM1: a 40-byte burst, silence, a cancelled read.
  wine_harness.py desktop [--tray] PROGRAM.exe [args...]
      PROGRAM.exe (the tray program's in-process tests) on Xvfb with openbox and, with --tray,
      the trayer tray host; COM1 is a pseudo-terminal nothing writes to.
  wine_harness.py typing --window TARGET.exe --reader READER.exe [--opened REGEX] [--late S]
                        [args...]
      The whole reader: bytes into the pseudo-terminal, READER.exe reads COM1 and types them,
      TARGET.exe (a focused window under Xvfb) reports the WM_CHAR it receives. With --late,
      COM1 appears only S seconds after READER.exe started.

  wine_harness.py unplug --reader READER.exe
      READER.exe reads COM1 while the pseudo-terminal behind it goes away and comes back: it
      notices the loss without spinning, says so once, and reads the new one.

  wine_harness.py second-start --program PELMORA.exe
      The tray program started twice: the second start ends with status 0 and brings the first
      one's main window up; one process, one docked icon, one reader remain.

  wine_harness.py tray-typing --window TARGET.exe --program PELMORA.exe --post POST.exe
      The tray program end to end: its icon docked in trayer, scans typed into TARGET.exe with an
      Enter after each, then Exit clicked in the tray menu (opened by POST.exe posting the icon's
      right click) ends it and leaves the settings as they were.

Prints "done" as its last line when every check passed.
"""
import argparse
import os
import random
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

BURST = bytes([0x00, 0x0D, 0x0A, 0xE9, 0xFF, 0x11, 0x13, 0x7F, 0x03, 0x04,
               0x1A, 0x1B, 0x15, 0x17, 0x08, 0x80]) + b"ABCDEFGHIJKLMNOPQRSTUVWX"


def fail(message):
    print("FAIL " + message, flush=True)
    sys.exit(1)


def in_sandbox():
    with open("/proc/self/mountinfo") as mounts:
        return any(" /dev " in line and "pelmora-sandbox-dev" in line for line in mounts)


class Program:
    """A process whose merged output is read line by line with time-outs."""

    def __init__(self, tag, argv, env=None):
        self.tag = tag
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, env=env)
        self.pending = b""
        self.lines = []

    def _read_some(self, timeout):
        ready, _, _ = select.select([self.proc.stdout], [], [], max(timeout, 0))
        if not ready:
            return True
        chunk = os.read(self.proc.stdout.fileno(), 4096)
        if not chunk:
            return False
        self.pending += chunk
        while b"\n" in self.pending:
            raw, self.pending = self.pending.split(b"\n", 1)
            line = raw.decode("latin-1").rstrip("\r")
            print(f"[{self.tag}] {line}", flush=True)
            self.lines.append(line)
        return True

    def expect(self, pattern, timeout, since=None):
        """Waits for a new line (or one from line number since on) matching pattern; returns the
        match."""
        match = self.wait_for(pattern, timeout, since)
        if match is None:
            fail(f"{self.tag}: no line matching {pattern!r} within {timeout} s")
        return match

    def wait_for(self, pattern, timeout, since=None):
        """Like expect, but returns None when no such line came in time."""
        regex = re.compile(pattern)
        seen = len(self.lines) if since is None else since
        deadline = time.monotonic() + timeout
        while True:
            for line in self.lines[seen:]:
                match = regex.search(line)
                if match:
                    return match
            seen = len(self.lines)
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            if not self._read_some(min(remaining, 0.5)):
                if self.proc.poll() is not None or not self._read_some(0):
                    self.proc.wait()
                    fail(f"{self.tag}: ended (status {self.proc.returncode}) "
                         f"before a line matching {pattern!r}")

    def finish(self, timeout):
        """Waits for the process to end and reads its output; returns the exit status."""
        deadline = time.monotonic() + timeout
        while True:
            status = self.proc.poll()
            if status is not None:
                # Wine's own service processes may keep the pipe open: read what has come, not
                # to the end of the pipe.
                settle = time.monotonic() + 1
                while time.monotonic() < settle and self._read_some(0.2):
                    pass
                return status
            if time.monotonic() >= deadline:
                self.stop()
                fail(f"{self.tag}: still running after {timeout} s")
            if not self._read_some(0.5):
                time.sleep(0.1)  # the pipe ended before the process

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


# The dialog fonts as Windows has them. "MS Shell Dlg" is Microsoft Sans Serif there, which keeps
# the metrics of the MS Sans Serif bitmap font; Wine ships a copy of that font, and a replacement
# makes it answer to the Windows name. "MS Shell Dlg 2" (DS_SHELLFONT dialogs) is Tahoma on both.
# Debian's Wine does not find the fonts it ships (fonts-wine) by itself, and would draw both
# with Liberation Sans: they are linked into the prefix's font folder.
DIALOG_FONT_FILES = ["sserife.fon", "tahoma.ttf", "tahomabd.ttf"]
DIALOG_FONT_REG = """REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"MS Shell Dlg"="Microsoft Sans Serif"
"MS Shell Dlg 2"="Tahoma"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Microsoft Sans Serif"="MS Sans Serif"
"""


def use_windows_dialog_fonts(prefix):
    """Sets up the prefix's dialog fonts as Windows has them, once per prefix."""
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in DIALOG_FONT_FILES:
        source = os.path.join("/usr/share/wine/fonts", name)
        if not os.path.exists(source):
            fail(f"{source} missing (fonts-wine: tools/bootstrap.sh windows)")
        if not os.path.lexists(os.path.join(fonts, name)):
            os.symlink(source, os.path.join(fonts, name))
    mark = os.path.join(prefix, "pelmora-dialog-fonts.reg")
    try:
        with open(mark) as done:
            if done.read() == DIALOG_FONT_REG:
                return
    except OSError:
        pass
    with open(mark + ".new", "w") as reg:
        reg.write(DIALOG_FONT_REG)
    subprocess.run(["wine", "regedit", "/S", mark + ".new"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_server()  # regedit ran without a display
    os.replace(mark + ".new", mark)


def make_com1(prefix):
    """A pseudo-terminal as COM1 of the prefix; returns the master and slave descriptors."""
    dosdevices = os.path.join(prefix, "dosdevices")
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        # A new prefix: let Wine finish making it before any program starts, or the first one
        # may find no desktop to put its windows on.
        subprocess.run(["wineboot", "-i"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], check=False)
    use_windows_dialog_fonts(prefix)
    master, slave = os.openpty()
    path = os.ttyname(slave)
    if not path.startswith("/dev/pts/"):
        fail(f"unexpected pseudo-terminal {path}")
    link = os.path.join(dosdevices, "com1")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(path, link)
    return master, slave


def drain(fd):
    """Discards what the line echoed back, so the master never fills up."""
    while select.select([fd], [], [], 0)[0]:
        try:
            if not os.read(fd, 4096):
                return
        except OSError:
            return


def wait_for_server():
    """Waits for the prefix's Wine server to end. A run without a display leaves a desktop
    without one behind while its server lives on: a program that came next would get that
    desktop and could make no windows (the tests share one prefix, one after another)."""
    subprocess.run(["wineserver", "-w"], check=False)


def run_serial(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    probe = Program("probe", ["wine", args.probe, "COM1"])
    probe.expect(r"^ready burst$", 120)
    time.sleep(0.2)  # the first read has begun: the burst arrives during it
    os.write(master, BURST)
    probe.expect(r"^ready silence$", 60)
    status = probe.finish(120)
    drain(master)
    wait_for_server()
    if status != 0 or not probe.lines or probe.lines[-1] != "done":
        fail(f"probe: status {status}, last line {probe.lines[-1:]!r}")


def start_xvfb():
    """Xvfb on a free display (-displayfd); returns (process, display name)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
                             "-nolisten", "tcp"], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n"):
        if time.monotonic() > deadline or not select.select([read_end], [], [], 1)[0]:
            if xvfb.poll() is not None or time.monotonic() > deadline:
                xvfb.kill()
                fail("Xvfb did not start")
            continue
        chunk = os.read(read_end, 16)
        if not chunk:
            xvfb.kill()
            fail("Xvfb did not report its display")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


# trayer as the tray host, with a panel of a fixed width. A panel that grows as icons dock
# ("--widthtype request") loses Wine's icons in most starts: Wine keeps a stand-in for the panel
# window, misses the panel widening right after the dock, and so clips the icon to nothing: it is
# never painted and no click reaches it (bench/wine_tray.py measures both).
def trayer_command(growing=False):
    width = ["request"] if growing else ["pixel", "--width", "32"]
    return ["trayer", "--edge", "top", "--align", "right", "--widthtype", *width, "--height", "32",
            "--SetDockType", "true"]


def start_desktop(env, tray, helpers):
    """openbox and, with tray, trayer on env's display; appends them to helpers."""
    helpers.append(subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    if not tray:
        return
    # trayer docks into the window manager's panel space: start it once openbox manages the
    # screen, and again if it gave up.
    deadline = time.monotonic() + 20
    while "window id #" not in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                              env=env, capture_output=True, text=True).stdout:
        if time.monotonic() > deadline:
            fail("openbox did not start")
        time.sleep(0.1)
    for attempt in range(3):
        errors = tempfile.TemporaryFile()
        trayer = subprocess.Popen(trayer_command(), env=env, stdout=subprocess.DEVNULL,
                                  stderr=errors)
        helpers.append(trayer)
        deadline = time.monotonic() + 20
        while subprocess.run(["xdotool", "search", "--classname", "trayer"], env=env,
                             stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if trayer.poll() is not None or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        else:
            return
        trayer.kill()
        trayer.wait()
        errors.seek(0)
        print(f"trayer did not start (attempt {attempt + 1}): "
              f"{errors.read().decode(errors='replace').strip()!r}", flush=True)
    fail("trayer did not start")


def run_desktop(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    helpers = []
    program = None
    try:
        start_desktop(env, args.tray, helpers)
        program = Program("test", ["wine", args.program] + args.program_args, env)
        status = program.finish(300)
        drain(master)
        if status != 0 or not program.lines or program.lines[-1] != "done":
            fail(f"test: status {status}, last line {program.lines[-1:]!r}")
    finally:
        if program is not None:
            program.stop()
        for helper in helpers:
            helper.terminate()
            helper.wait()
        xvfb.terminate()
        xvfb.wait()


READER_SETTINGS = {
    # Every byte typed as it is: no byte dropped, no Enter added, no XON/XOFF swallowed.
    "DeviceName": '"COM1"',
    "BaudRate": "dword:00002580",
    "bSkipFirstChar": "dword:00000000",
    "bCRLF": "dword:00000000",
    "bXIN": "dword:00000000",
    "bXOUT": "dword:00000000",
    "bDSR": "dword:00000000",
    "bCTS": "dword:00000000",
}


SETTINGS_KEY = "HKEY_CURRENT_USER\\Software\\Vantel\\Pelmora"


def write_reader_settings(env, settings=READER_SETTINGS):
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as reg:
        reg.write(f"REGEDIT4\n\n[{SETTINGS_KEY}]\n")
        for name, value in settings.items():
            reg.write(f'"{name}"={value}\n')
        path = reg.name
    try:
        subprocess.run(["wine", "regedit", "/S", path], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    finally:
        os.unlink(path)


def run_typing(args):
    rng = random.Random(args.seed)
    payload = bytes([0x41, 0xE9, 0x0D, 0x0A]) + bytes(rng.randrange(1, 256)
                                                      for _ in range(args.random_bytes))
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    window = reader = None
    try:
        write_reader_settings(env)
        window = Program("window", ["wine", args.window, str(len(payload)), "30000"], env)
        window.expect(r"^ready$", 120)
        if args.late:
            # A scanner plugged in after the start: COM1 appears while the reader waits.
            link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "com1")
            port = os.readlink(link)
            os.remove(link)
        reader = Program("reader", ["wine", args.reader] + args.reader_args, env)
        if args.late:
            reader.expect(r"cannot open COM1", 120)
            time.sleep(args.late)
            os.symlink(port, link)
            there = time.monotonic()
            reader.expect(args.opened, 30)
            print(f"ok COM1 opened {time.monotonic() - there:.2f} s after it appeared",
                  flush=True)
        else:
            reader.expect(args.opened, 120)
        time.sleep(0.3)
        # The four named bytes alone, then the rest in bursts the reader splits into blocks.
        os.write(master, payload[:4])
        time.sleep(0.5)
        for start in range(4, len(payload), 50):
            os.write(master, payload[start:start + 50])
            time.sleep(0.05)
            drain(master)
        status = window.finish(180)
        typed = [int(m.group(1), 16) for m in
                 (re.match(r"^char ([0-9A-F]{4})$", line) for line in window.lines) if m]
        if typed != list(payload):
            first = next((i for i, (a, b) in enumerate(zip(typed, payload)) if a != b),
                         min(len(typed), len(payload)))
            fail(f"typed {len(typed)} characters for {len(payload)} bytes; first difference at "
                 f"{first}: typed {typed[first:first + 4]}, sent {list(payload[first:first + 4])}")
        if status != 0 or window.lines[-1] != "done":
            fail(f"window: status {status}")
        print(f"ok {len(payload)} bytes typed in order, 0x41 0xE9 0x0D 0x0A first", flush=True)
        # The target runs at the reader's own integrity level: nothing may call it unreachable.
        refused = [line for line in reader.lines if "cannot receive typing" in line]
        if refused:
            fail(f"the reader took the target for unreachable: {refused[0]}")

        # The reader stops on Ctrl+C and exits by itself.
        if args.interrupt:
            reader.proc.send_signal(signal.SIGINT)
            status = reader.finish(30)
            if status != 0:
                fail(f"reader: status {status} after Ctrl+C")
            print("ok the reader stopped on Ctrl+C", flush=True)
    finally:
        for program in (reader, window):
            if program is not None:
                program.stop()
        xvfb.terminate()
        xvfb.wait()


def read_settings(env):
    """The values of the settings key as regedit exports them: {name: '"text"' or 'dword:...'}."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "settings.reg")
        subprocess.run(["wine", "regedit", "/E", path, SETTINGS_KEY], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(path, "rb") as exported:
            raw = exported.read()
    text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
    return dict(m.groups() for m in re.finditer(r'^"([^"]+)"=(.*?)\r?$', text, re.M))


def x_windows(env, *query):
    found = subprocess.run(["xdotool", "search"] + list(query), env=env,
                           capture_output=True, text=True)
    return found.stdout.split()


def docked_icon(env):
    """The X window of a Wine tray icon that trayer has embedded (parent not the root), or None."""
    icons = docked_icons(env)
    return icons[0] if icons else None


def docked_icons(env):
    found = []
    for window in x_windows(env, "--classname", "explorer.exe"):
        info = subprocess.run(["xprop", "-id", window, "_XEMBED_INFO"], env=env,
                              capture_output=True, text=True).stdout
        tree = subprocess.run(["xwininfo", "-children", "-id", window], env=env,
                              capture_output=True, text=True).stdout
        root = re.search(r"Root window id: (0x[0-9a-f]+)", tree)
        parent = re.search(r"Parent window id: (0x[0-9a-f]+)", tree)
        if "_XEMBED_INFO(" in info and root and parent and root.group(1) != parent.group(1):
            found.append(window)
    return found


def typed_chars(window):
    return [int(m.group(1), 16) for m in
            (re.match(r"^char ([0-9A-F]{4})$", line) for line in window.lines) if m]


# Two scans, each read as one block: Latin-1 bytes and '&' must arrive as those characters, each
# scan followed by Enter.
TRAY_NOTIFY_MESSAGE = 9998  # the frame's tray callback message and the icon's id
TRAY_ICON_ID = 9999
WM_RBUTTONUP = 0x0205
TRAY_SCANS = [b"PEL-\xe9&\xfc 42", b"x&y\xff\xa9\xe0"]


def run_tray_typing(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    helpers = []
    window = pelmora = None
    expected = [c for scan in TRAY_SCANS for c in list(scan) + [0x0D]]
    try:
        start_desktop(env, True, helpers)
        settings = dict(READER_SETTINGS, bCRLF="dword:00000001")
        write_reader_settings(env, settings)
        window = Program("window", ["wine", args.window, str(len(expected)), "30000"], env)
        window.expect(r"^ready$", 120)
        since = len(window.lines)
        pelmora = Program("pelmora", ["wine", args.program, "--verbose"], env)
        pelmora.expect(r"^pelmora: opened COM1$", 120)
        deadline = time.monotonic() + 60
        while (icon := docked_icon(env)) is None:
            if time.monotonic() > deadline:
                fail("the tray icon did not dock")
            time.sleep(0.3)
        print("ok the tray icon docked", flush=True)
        # Under Wine the docked icon's window becomes the foreground window (X focus stays put),
        # so the keys would go to it: click into the target, as a user does before scanning.
        if window.wait_for(r"^focus lost$", 10, since) is not None:
            since = len(window.lines)
            target = x_windows(env, "--name", "^Typing target$")
            if not target:
                fail("no X window for the target")
            subprocess.run(["xdotool", "mousemove", "--window", target[0], "200", "100",
                            "click", "1"], env=env, check=True)
            window.expect(r"^focus back$", 20, since)

        typed_so_far = 0
        for scan in TRAY_SCANS:
            os.write(master, scan)
            typed_so_far += len(scan) + 1
            deadline = time.monotonic() + 30
            while len(typed_chars(window)) < typed_so_far:
                if time.monotonic() > deadline or not window._read_some(0.5):
                    fail(f"typed {typed_chars(window)} after {scan!r}")
            drain(master)
        typed = typed_chars(window)
        if typed != expected:
            fail(f"typed {typed}, expected {expected}")
        if window.finish(30) != 0 or window.lines[-1] != "done":
            fail("window did not finish")
        print(f"ok {len(expected)} characters typed, Latin-1, '&' and an Enter after each scan",
              flush=True)

        # Exit from the tray menu: the icon's right click as the shell reports it (the pointer's
        # own click is the bench's business: here the tray host stays out of the test), then a
        # click on the menu's last item, Exit; the popup is pelmora.exe's only visible window.
        subprocess.run(["xdotool", "mousemove", "--window", icon, "8", "8"], env=env, check=True)
        menu = []
        for _attempt in range(3):
            poster = Program("post", ["wine", args.post, args.title, str(TRAY_NOTIFY_MESSAGE),
                                      str(TRAY_ICON_ID), str(WM_RBUTTONUP)], env)
            if poster.finish(30) != 0 or poster.lines[-1:] != ["done"]:
                fail("could not post the tray icon's right click")
            deadline = time.monotonic() + 5
            while not (menu := x_windows(env, "--onlyvisible", "--classname", "pelmora.exe")):
                if time.monotonic() > deadline:
                    break
                time.sleep(0.1)
            if menu:
                break
            print("no tray menu yet", flush=True)
        if not menu:
            fail("no tray menu after the icon's right click")
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", menu[0]], env=env,
                                  capture_output=True, text=True, check=True).stdout
        height = int(re.search(r"HEIGHT=(\d+)", geometry).group(1))
        width = int(re.search(r"WIDTH=(\d+)", geometry).group(1))
        subprocess.run(["xdotool", "mousemove", "--window", menu[0], str(width // 2),
                        str(height - 10), "click", "1"], env=env, check=True)
        status = pelmora.finish(30)
        if status != 0:
            fail(f"pelmora: status {status} after Exit")
        deadline = time.monotonic() + 10
        while docked_icon(env) is not None:
            if time.monotonic() > deadline:
                fail("the tray icon is still docked after Exit")
            time.sleep(0.3)
        after = read_settings(env)
        changed = {name: after.get(name) for name, value in settings.items()
                   if after.get(name, "").lower() != value.lower()}
        if changed:
            fail(f"settings changed by the run: {changed}")
        print("ok Exit from the tray menu ended pelmora.exe, settings intact", flush=True)
    finally:
        for program in (pelmora, window):
            if program is not None:
                program.stop()
        for helper in helpers:
            helper.terminate()
            helper.wait()
        xvfb.terminate()
        xvfb.wait()


def prefix_processes(prefix, program_matches):
    """The processes of this prefix whose program name (as /proc shows it) `program_matches`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as comm:
                if not program_matches(comm.read().strip()):
                    continue
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if f"WINEPREFIX={prefix}".encode() in environ.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue
    return found


def windows_processes(prefix, name):
    """The processes of this prefix whose program is `name` (as /proc shows it, cut to 15)."""
    return prefix_processes(prefix, lambda comm: comm == name[:15])


def run_second_start(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    helpers = []
    first = second = None
    main_window = ["--onlyvisible", "--name", "^" + args.title + "$"]
    try:
        start_desktop(env, True, helpers)
        write_reader_settings(env)
        first = Program("first", ["wine", args.program, "--verbose"], env)
        first.expect(r"^pelmora: opened COM1$", 120)
        deadline = time.monotonic() + 60
        while docked_icon(env) is None:
            if time.monotonic() > deadline:
                fail("the tray icon did not dock")
            time.sleep(0.3)
        time.sleep(1)
        if x_windows(env, *main_window):
            fail("the main window is shown before the second start")
        second = Program("second", ["wine", args.program, "--verbose"], env)
        status = second.finish(60)
        if status != 0:
            fail(f"second start: status {status}, said {second.lines!r}")
        if any("opened" in line for line in second.lines):
            fail(f"the second start opened the port: {second.lines!r}")
        print("ok the second start ended with status 0", flush=True)
        deadline = time.monotonic() + 20
        while not x_windows(env, *main_window):
            if time.monotonic() > deadline:
                fail("the first copy did not show its main window")
            time.sleep(0.2)
        if first.proc.poll() is not None:
            fail("the first copy ended")
        time.sleep(2)  # a second icon or process would have come by now
        processes = windows_processes(os.environ["WINEPREFIX"], "pelmora.exe")
        icons = docked_icons(env)
        if len(processes) != 1 or len(icons) != 1:
            fail(f"{len(processes)} pelmora.exe processes and {len(icons)} docked icons")
        print("ok one process, one icon, the first copy's main window shown", flush=True)
        drain(master)
    finally:
        for program in (second, first):
            if program is not None:
                program.stop()
        for helper in helpers:
            helper.terminate()
            helper.wait()
        xvfb.terminate()
        xvfb.wait()


def descendants(root):
    """root and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    ppid = int(stat.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except (OSError, IndexError, ValueError):
            pass
    return total / os.sysconf("SC_CLK_TCK")


def wineservers(prefix):
    """The Wine server of this prefix: every call the reader makes goes through it."""
    return prefix_processes(prefix, lambda comm: comm.startswith("wineserver"))


def run_unplug(args):
    prefix = os.environ["WINEPREFIX"]
    master, slave = make_com1(prefix)
    env = dict(os.environ)
    write_reader_settings(env, dict(READER_SETTINGS, bCRLF="dword:00000001"))
    reader = Program("reader", ["wine", args.reader, "--sink", "stdout", "--verbose"], env)
    try:
        reader.expect(r"opened COM1$", 120)
        time.sleep(0.3)
        os.write(master, b"BEFORE")
        reader.expect(r"^BEFORE$", 30)

        # The scanner is unplugged: the pseudo-terminal goes away, COM1 points nowhere.
        since = len(reader.lines)
        os.close(master)
        os.close(slave)
        pids = [pid for pid in descendants(reader.proc.pid)
                if "pelmorad" in open(f"/proc/{pid}/cmdline", "rb").read().decode("latin-1")]
        closed = time.monotonic()
        lost = reader.wait_for(r"lost COM1", 5, since)
        noticed = time.monotonic() - closed
        # While it stays away (the read that was under way when it went may spin under Wine).
        servers = wineservers(prefix)
        before, started = cpu_seconds(pids), time.monotonic()
        server_before = cpu_seconds(servers)
        reader.wait_for(r"^$never", args.gone)  # reads the output while the time passes
        elapsed = time.monotonic() - started
        own = (cpu_seconds(pids) - before) / elapsed
        server = (cpu_seconds(servers) - server_before) / elapsed
        print(f"loss {'noticed after %.1f s' % noticed if lost else 'not noticed in 5 s'}; "
              f"cpu over the next {args.gone} s: reader {own * 100:.1f} %, "
              f"wineserver {server * 100:.1f} % of a core", flush=True)
        gone_lines = reader.lines[since:]
        if lost is None:
            fail("the loss was not noticed")
        if own + server > 0.05:
            fail(f"{(own + server) * 100:.0f} % of a core used while the port was gone")
        if len(gone_lines) > 4:
            fail(f"said {len(gone_lines)} lines while the port stayed away: {gone_lines}")
        print(f"ok {len(gone_lines)} lines while away: {gone_lines}", flush=True)

        # Plugged in again: a new pseudo-terminal behind COM1 is opened and read.
        since = len(reader.lines)
        master, slave = make_com1(prefix)
        reader.expect(r"opened COM1$", 10, since)
        time.sleep(0.3)
        os.write(master, b"AFTER")
        reader.expect(r"^AFTER$", 30, since)
        drain(master)
        print("ok the port that came back is read", flush=True)
    finally:
        reader.stop()
        wait_for_server()


def main():
    if not in_sandbox() or "WINEPREFIX" not in os.environ:
        fail("run me through tools/wine/wine-run (sandbox and WINEPREFIX)")
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    serial = commands.add_parser("serial")
    serial.add_argument("probe")
    desktop = commands.add_parser("desktop")
    desktop.add_argument("--tray", action="store_true")
    desktop.add_argument("program")
    desktop.add_argument("program_args", nargs=argparse.REMAINDER)
    typing = commands.add_parser("typing")
    typing.add_argument("--window", required=True)
    typing.add_argument("--reader", required=True)
    typing.add_argument("--opened", default=r"opened COM1")
    typing.add_argument("--random-bytes", type=int, default=300)
    typing.add_argument("--seed", type=int, default=20261207)
    typing.add_argument("--interrupt", action="store_true")
    typing.add_argument("--late", type=float, default=0,
                        help="COM1 appears this many seconds after the reader started")
    typing.add_argument("reader_args", nargs="*")
    unplug = commands.add_parser("unplug")
    unplug.add_argument("--reader", required=True)
    unplug.add_argument("--gone", type=float, default=5)
    second_start = commands.add_parser("second-start")
    second_start.add_argument("--program", required=True)
    second_start.add_argument("--title", default="Pelmora Utility")
    tray_typing = commands.add_parser("tray-typing")
    tray_typing.add_argument("--window", required=True)
    tray_typing.add_argument("--program", required=True)
    tray_typing.add_argument("--post", required=True)
    tray_typing.add_argument("--title", default="Pelmora Utility")
    args = parser.parse_args()
    {"serial": run_serial, "desktop": run_desktop, "typing": run_typing,
     "unplug": run_unplug, "tray-typing": run_tray_typing, "second-start": run_second_start}[args.command](args)
    print("done", flush=True)


if __name__ == "__main__":
    main()
