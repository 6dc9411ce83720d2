#!/usr/bin/env python3
"""Start-up, exit and idle cost of pelmora.exe under Wine, next to the Linux tray program.

Both run docked in trayer under openbox on a private Xvfb, inside tools/wine/sandbox (no serial
device in sight): pelmora.exe with its settings in HKCU naming COM1, a pseudo-terminal; `pelmora`
with a settings file (PELMORA_CONFIG) naming the same pseudo-terminal.
- start to docked icon: from starting the program to its icon embedded in trayer (median of the
  samples; pelmora.exe on a fresh Wine server each time, so explorer.exe starts with it, as at
  logon);
- the share of starts whose icon answered one right click (the pointer's, as a user's) with the
  tray menu; for pelmora.exe also with a tray panel that widens as icons dock, which Wine
  mishandles (tests/win32/wine_harness.py, trayer_command);
- Exit to process end (pelmora.exe): a click on the tray menu's Exit to the end of the process;
- idle: resident memory (VmRSS) and wakeups per second (context switches of all threads over
  10 s) reading a silent open port, and halted on a port that does not exist. A Windows
  program under Wine is one Linux process (its /proc entry is what is read); the Wine server's
  wakeups in the same 10 s are given beside it, since a program's waits go through it.
  wine-run bench/wine_tray.py PELMORA.EXE [LINUX_PELMORA|-] [SAMPLES]
Prints a Markdown table, then "done".
"""
import contextlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "wine"))
import tray_session  # noqa: E402


def switches(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/status") as status:
            for line in status:
                if "ctxt_switches" in line:
                    total += int(line.split()[1])
    return total


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS"))


def wineserver_pid():
    """This prefix's Wine server: the one whose working folder is the prefix's server folder
    (server-DEVICE-INODE of the prefix, in a temporary folder of Wine's)."""
    info = os.stat(os.environ["WINEPREFIX"])
    folder = f"/server-{info.st_dev:x}-{info.st_ino:x}"
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/comm") as comm:
                    if (comm.read().startswith("wineserver") and
                            os.readlink(f"/proc/{entry}/cwd").endswith(folder)):
                        return int(entry)
            except OSError:
                continue
    return None


def idle(label, pid, server=None):
    time.sleep(2)
    before, server_before = switches(pid), switches(server) if server else 0
    time.sleep(10)
    after, server_after = switches(pid), switches(server) if server else 0
    extra = f"; Wine server (all of the prefix) {(server_after - server_before) / 10:.1f} /s" if server else ""
    print(f"| {label} | {rss_kib(pid)} KiB | {(after - before) / 10:.1f} /s{extra} |", flush=True)


def is_windows_program(pid, name):
    with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
        return name.encode() in cmdline.read()


def share(answered, starts):
    return f"{answered} of {starts} ({100 * answered / starts:.0f} %)"


def windows_starts(exe, samples, growing_tray):
    """SAMPLES starts of pelmora.exe, each on a fresh Wine server (so explorer.exe starts with
    it, as at logon): the times to a docked icon, how many icons answered one right click with
    the tray menu, and the first Exit (tray menu) to process end."""
    name = os.path.basename(exe)
    starts, answered, exits, undocked = [], 0, [], 0
    # A first start on a new prefix builds it (about 17 s): never counted.
    for sample in range(samples + 1):
        desktop = tray_session.Desktop(growing_tray=growing_tray)
        app = None
        try:
            desktop.settings("COM1")
            start = time.monotonic()
            app = tray_session.Program("pelmora.exe", ["wine", exe], desktop.env)
            docked = desktop.wait_docked(120 if sample == 0 else 30) is not None
            if sample == 0:
                continue
            if not docked:  # counted as a start that does not answer
                undocked += 1
                print(f"start {sample}: no docked icon; pelmora.exe "
                      f"{'running' if app.proc.poll() is None else 'ended'}", file=sys.stderr)
                continue
            starts.append(time.monotonic() - start)
            time.sleep(1)  # docked is not yet drawn: give it the time a user's eye takes
            with contextlib.redirect_stdout(sys.stderr):
                menu = desktop.answers_click()
            if menu is None:
                continue
            answered += 1
            if not exits and not growing_tray:
                time.sleep(1.5)  # mapped: Wine paints it a moment later
                desktop.click_item(menu, "exit")
                clicked = time.monotonic()
                with contextlib.redirect_stdout(sys.stderr):
                    app.finish(30)
                exits.append(time.monotonic() - clicked)
            if sample == samples and not growing_tray:
                if not is_windows_program(app.proc.pid, name):
                    tray_session.fail(f"process {app.proc.pid} does not run {name}")
        finally:
            if app is not None:
                app.stop()
            desktop.close()
            tray_session.restart_wineserver()
    return starts, answered, exits, undocked


def windows_rows(exe, samples):
    starts, answered, exits, undocked = windows_starts(exe, samples, growing_tray=False)
    grown_starts, grown_answered, _, grown_undocked = windows_starts(exe, samples,
                                                                      growing_tray=True)
    for label, device in (("reading COM1 (open, no data)", "COM1"),
                          ("halted (no such port COM7)", "COM7")):
        desktop = tray_session.Desktop()
        app = None
        try:
            desktop.settings(device)
            app = tray_session.Program("pelmora.exe", ["wine", exe], desktop.env)
            desktop.wait_docked(60)
            if not is_windows_program(app.proc.pid, os.path.basename(exe)):
                tray_session.fail(f"process {app.proc.pid} does not run {exe}")
            idle(f"pelmora.exe under Wine (tray icon on Xvfb), {label}", app.proc.pid,
                 wineserver_pid())
        finally:
            if app is not None:
                app.stop()
            desktop.close()
            tray_session.restart_wineserver()
    if not starts:
        tray_session.fail("pelmora.exe: no start docked its icon")
    print(f"| pelmora.exe under Wine: start to docked icon (median of {len(starts)}, fresh Wine "
          f"server each) | {statistics.median(starts) * 1000:.0f} ms | |", flush=True)
    print(f"| pelmora.exe under Wine: starts whose icon answered a right click with the menu "
          f"(fixed-width tray panel) | {share(answered, samples)} | |", flush=True)
    print(f"| pelmora.exe under Wine: the same with a tray panel that widens as icons dock "
          f"(Wine loses the icon) | {share(grown_answered, samples)} | |", flush=True)
    if undocked or grown_undocked:
        print(f"| pelmora.exe under Wine: starts without a docked icon in 30 s | {undocked} "
              f"(fixed panel), {grown_undocked} (widening panel) | |", flush=True)
    if exits:
        print(f"| pelmora.exe under Wine: Exit (tray menu) to process end | "
              f"{exits[0] * 1000:.0f} ms | |", flush=True)
    else:
        print("| pelmora.exe under Wine: Exit to process end | skipped: no icon answered | |",
              flush=True)


def linux_rows(program, samples):
    desktop = tray_session.Desktop()
    tmp = tempfile.mkdtemp(prefix="pelmora-bench-")
    config = os.path.join(tmp, "Pelmora.conf")
    env = dict(desktop.env, PELMORA_CONFIG=config, XDG_CONFIG_HOME=tmp, QT_QPA_PLATFORM="xcb")
    port = os.ttyname(desktop._slave)

    def settings(device):
        with open(config, "w") as conf:
            conf.write(f'DeviceName="{device}"\nSerialDevice=1\nBaudRate=9600\n')

    try:
        starts, answered = [], 0
        for sample in range(samples):
            settings(port)
            start = time.monotonic()
            app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            try:
                if desktop.wait_docked(30, owner="pelmora") is None:
                    tray_session.fail("pelmora: no docked icon")
                starts.append(time.monotonic() - start)
                time.sleep(1)
                if desktop.answers_click("pelmora", "pelmora", "Pelmora") is not None:
                    answered += 1
                if sample == samples - 1:
                    idle("pelmora (Linux, tray icon on Xvfb), reading (open, no data)", app.pid)
            finally:
                app.terminate()
                app.wait()
            time.sleep(1)  # trayer drops the icon
        settings(os.path.join(tmp, "no-such-port"))
        app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            desktop.wait_docked(30, owner="pelmora")
            idle("pelmora (Linux, tray icon on Xvfb), halted (no such port)", app.pid)
        finally:
            app.terminate()
            app.wait()
        print(f"| pelmora (Linux): start to docked icon (median of {len(starts)}) | "
              f"{statistics.median(starts) * 1000:.0f} ms | |", flush=True)
        print(f"| pelmora (Linux): starts whose icon answered a right click with the menu | "
              f"{share(answered, len(starts))} | |", flush=True)
    finally:
        desktop.close()
        for name in os.listdir(tmp):
            os.unlink(os.path.join(tmp, name))
        os.rmdir(tmp)


def main():
    exe = sys.argv[1]
    linux = sys.argv[2] if len(sys.argv) > 2 else "-"
    samples = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    print("| tray program under Wine and on Linux | resident memory or time | wakeups |")
    print("|---|---:|---:|", flush=True)
    windows_rows(exe, samples)
    if linux != "-" and os.access(linux, os.X_OK):
        linux_rows(linux, samples)
    else:
        print("| pelmora (Linux): skipped, not built (Qt 6: tools/bootstrap.sh gui) | | |")
    print("done", flush=True)


if __name__ == "__main__":
    main()
