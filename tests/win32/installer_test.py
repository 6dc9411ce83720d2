#!/usr/bin/env python3
"""The x86_64 Windows installer under Wine, as a user would meet it: a silent install into a
fresh prefix, the installed programs started, a silent uninstall with the programs still running.

  installer_test.py BUILD/package-windows.txt

Runs inside tools/wine/sandbox with a fresh WINEPREFIX (tools/wine/installer-test starts it). COM1
is a pseudo-terminal. Prints "done" as its last line when every check passed.
"""
import os
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_harness import (Program, fail, in_sandbox, make_com1, start_xvfb,  # noqa: E402
                          write_reader_settings)

INSTDIR = r"C:\Program Files\Pelmora"
SETTINGS_KEY = r"HKCU\Software\Vantel\Pelmora"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelmora"


def read_manifest(path):
    with open(path) as manifest:
        fields = dict(line.rstrip("\n").split("=", 1) for line in manifest if "=" in line)
    fields["programs"] = fields["programs"].split()
    return fields


def reg_value(env, key, name):
    """The data of a registry value as reg.exe shows it, or None when there is none."""
    result = subprocess.run(["wine", "reg", "query", key, "/v", name], env=env,
                            capture_output=True, timeout=60)
    if result.returncode != 0:
        return None
    for line in result.stdout.decode("latin-1").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
            return parts[2] if len(parts) == 3 else ""
    return None


def reg(env, *args):
    subprocess.run(["wine", "reg", *args], env=env, check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def install(env, setup):
    """Runs the installer silently; returns its exit status."""
    # No pipes: Wine's service processes would hold them open.
    return subprocess.run(["wine", setup, "/S"], env=env, timeout=180,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def check_zip(manifest):
    with zipfile.ZipFile(manifest["zip"]) as archive:
        names = set(archive.namelist())
    wanted = {f"{manifest['stem']}/{name}" for name in manifest["programs"] + ["LICENSE.txt"]}
    if not wanted <= names:
        fail(f"portable zip lacks {sorted(wanted - names)}")
    print(f"ok portable zip holds {' '.join(manifest['programs'])}", flush=True)


def main():
    if not in_sandbox() or "WINEPREFIX" not in os.environ or len(sys.argv) != 2:
        fail("usage: tools/wine/installer-test BUILD_DIR (runs me in the sandbox)")
    manifest = read_manifest(sys.argv[1])
    if manifest["arch"] != "x86_64":
        fail(f"the paths and registry views here are those of the x86_64 installer, "
             f"not {manifest['arch']}")
    programs = manifest["programs"]
    tray = "pelmora.exe" in programs
    prefix = os.environ["WINEPREFIX"]
    # Shortcuts would otherwise become menu entries of the Linux desktop.
    os.environ["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d;" + os.environ.get(
        "WINEDLLOVERRIDES", "")
    check_zip(manifest)

    master, _slave = make_com1(prefix)
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    running = []
    try:
        write_reader_settings(env)
        instdir = os.path.join(prefix, "drive_c", "Program Files", "Pelmora")
        # With the i686 Pelmora installed (its entry in the 32-bit registry view), the installer
        # refuses and installs nothing.
        reg(env, "add", UNINSTALL_KEY, "/v", "InstallLocation", "/d",
            r"C:\Program Files (x86)\Pelmora", "/reg:32", "/f")
        status = install(env, manifest["setup"])
        if status == 0 or os.path.exists(instdir):
            fail(f"installed beside the i686 Pelmora (status {status})")
        reg(env, "delete", UNINSTALL_KEY, "/reg:32", "/f")
        print("ok refused to install beside the i686 Pelmora", flush=True)
        status = install(env, manifest["setup"])
        if status != 0:
            fail(f"installer exited with status {status}")
        missing = [name for name in programs + ["uninstall.exe"]
                   if not os.path.isfile(os.path.join(instdir, name))]
        if missing:
            fail(f"not installed in {INSTDIR}: {missing}")
        shortcut = os.path.join(prefix, "drive_c", "ProgramData", "Microsoft", "Windows",
                                "Start Menu", "Programs", "Pelmora.lnk")
        if not os.path.isfile(shortcut):
            fail("no Start menu entry Pelmora.lnk")
        start = f'"{INSTDIR}\\pelmora.exe"' if tray else f'"{INSTDIR}\\pelmorad.exe" --verbose'
        if reg_value(env, RUN_KEY, "Pelmora") != start:
            fail(f"start at logon is {reg_value(env, RUN_KEY, 'Pelmora')!r}, not {start!r}")
        uninstall = reg_value(env, UNINSTALL_KEY, "UninstallString")
        if uninstall != f'"{INSTDIR}\\uninstall.exe"':
            fail(f"Add/Remove Programs entry: UninstallString {uninstall!r}")
        print(f"ok installed {' '.join(programs)}, Start menu entry, start at logon, "
              "Add/Remove Programs entry", flush=True)

        # The installed programs start, and stay running: the uninstaller has to end them to
        # remove their files.
        running.append(Program("pelmorad", ["wine", INSTDIR + r"\pelmorad.exe", "--verbose"], env))
        running[-1].expect(r"opened COM1", 60)
        if tray:
            running.append(Program("pelmora", ["wine", INSTDIR + r"\pelmora.exe"], env))
            time.sleep(5)
            if running[-1].proc.poll() is not None:
                fail(f"installed pelmora.exe ended within 5 s (status {running[-1].proc.poll()})")
        print(f"ok installed {' and '.join(p.tag for p in running)} running", flush=True)

        result = subprocess.run(["wine", INSTDIR + r"\uninstall.exe", "/S"], env=env,
                                timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode != 0:
            fail(f"uninstaller exited with status {result.returncode}")
        print("waiting for the uninstaller to end the running programs", flush=True)
        for program in running:
            program.finish(30)
        try:
            # The uninstaller runs from a copy of itself: until every Wine program has ended.
            subprocess.run(["wineserver", "-w"], env=env, timeout=120, check=False)
        except subprocess.TimeoutExpired:
            fail("Wine programs still running 120 s after the uninstaller started")
        left = [path for path in (instdir, shortcut) if os.path.exists(path)]
        if left:
            fail(f"left after uninstall: {left}")
        if reg_value(env, RUN_KEY, "Pelmora") is not None:
            fail("start at logon left after uninstall")
        if reg_value(env, UNINSTALL_KEY, "UninstallString") is not None:
            fail("Add/Remove Programs entry left after uninstall")
        if reg_value(env, SETTINGS_KEY, "DeviceName") != "COM1":
            fail(f"settings lost: DeviceName is {reg_value(env, SETTINGS_KEY, 'DeviceName')!r}")
        print("ok uninstalled: running programs ended; files, Start menu entry, start at logon, "
              "Add/Remove Programs entry gone; settings kept", flush=True)
    finally:
        for program in running:
            program.stop()
        os.close(master)
        xvfb.terminate()
        xvfb.wait()
    print("done", flush=True)


if __name__ == "__main__":
    main()
