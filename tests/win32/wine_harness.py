#!/usr/bin/env python3
"""Linux side of the Wine tests that need a serial line or a desktop.

Runs inside tools/wine/sandbox (tools/wine/wine-run starts it), with WINEPREFIX set. COM1 is a
dosdevices symlink to a pseudo-terminal made here; the host's serial ports are not visible.

  wine_harness.py serial PROBE.exe
      serial_probe.exe against COM1: a 40-byte burst, silence, a cancelled read.
  wine_harness.py desktop [--tray] PROGRAM.exe [args...]
      PROGRAM.exe (the tray program's in-process tests) on Xvfb with openbox and, with --tray,
      the trayer tray host; COM1 is a pseudo-terminal nothing writes to.
  wine_harness.py typing --window TARGET.exe --reader READER.exe [--opened REGEX] [args...]
      The whole reader: bytes into the pseudo-terminal, READER.exe reads COM1 and types them,
      TARGET.exe (a focused window under Xvfb) reports the WM_CHAR it receives.

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

    def expect(self, pattern, timeout):
        """Waits for a new line matching pattern; returns the match."""
        regex = re.compile(pattern)
        seen = len(self.lines)
        deadline = time.monotonic() + timeout
        while True:
            for line in self.lines[seen:]:
                match = regex.search(line)
                if match:
                    return match
            seen = len(self.lines)
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                fail(f"{self.tag}: no line matching {pattern!r} within {timeout} s")
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


def make_com1(prefix):
    """A pseudo-terminal as COM1 of the prefix; returns the master and slave descriptors."""
    dosdevices = os.path.join(prefix, "dosdevices")
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        # A new prefix: let Wine finish making it before any program starts, or the first one
        # may find no desktop to put its windows on.
        subprocess.run(["wineboot", "-i"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], check=False)
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


def run_serial(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    probe = Program("probe", ["wine", args.probe, "COM1"])
    probe.expect(r"^ready burst$", 120)
    time.sleep(0.2)  # the first read has begun: the burst arrives during it
    os.write(master, BURST)
    probe.expect(r"^ready silence$", 60)
    status = probe.finish(120)
    drain(master)
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


def run_desktop(args):
    master, _slave = make_com1(os.environ["WINEPREFIX"])
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    helpers = [subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)]
    program = None
    try:
        if args.tray:
            helpers.append(subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                 "--height", "32", "--SetDockType", "true"], env=env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            deadline = time.monotonic() + 20
            while subprocess.run(["xdotool", "search", "--classname", "trayer"], env=env,
                                 stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL).returncode != 0:
                if time.monotonic() > deadline:
                    fail("trayer did not start")
                time.sleep(0.2)
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


def write_reader_settings(env):
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as reg:
        reg.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vantel\\Pelmora]\n")
        for name, value in READER_SETTINGS.items():
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
        reader = Program("reader", ["wine", args.reader] + args.reader_args, env)
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
    typing.add_argument("reader_args", nargs="*")
    args = parser.parse_args()
    {"serial": run_serial, "desktop": run_desktop, "typing": run_typing}[args.command](args)
    print("done", flush=True)


if __name__ == "__main__":
    main()
