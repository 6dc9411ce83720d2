#!/usr/bin/env python3
"""Screenshots of pelmora.exe under Wine: the tray menu, the status window, Options and About.

pelmora.exe runs on Xvfb with openbox and trayer, its settings in HKCU naming COM1, a
pseudo-terminal that receives a few scans so the status window shows them. The dialogs are drawn
in the fonts Windows uses for them (wine_harness.use_windows_dialog_fonts). The tray menu is
opened by a click on the docked icon (keyboard navigation into Wine's popup menus does not work
under openbox) and its items are clicked too. Each shot gets a run of its own: start, dock,
scans, one menu, the shot, the program ended.
  tools/wine/wine-run tools/wine/screenshots.py PELMORA.EXE OUT_DIR
(tools/wine/screenshots does this for the win64 build). Prints "done" last when every shot was made.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tray_session  # noqa: E402

SCANS = [b"4006381333931\r", b"9783161484100\r", b"PELMORA-\xe9-0042\r"]


def run(exe, out, item, caption, name):
    """One run: the tray menu's ITEM, then a shot of the window titled CAPTION (the whole screen
    for the status window, the dialog alone otherwise)."""
    desktop = tray_session.Desktop()
    app = None
    try:
        desktop.settings("COM1")
        app = tray_session.Program("pelmora", ["wine", exe, "--verbose"], desktop.env)
        app.expect(r"opened", 120)
        if desktop.wait_docked(30) is None:
            tray_session.fail("the icon did not dock")
        for scan in SCANS:
            time.sleep(0.5)
            os.write(desktop.master, scan)
        time.sleep(1)
        tray_session.wine_harness.drain(desktop.master)
        menu_shot = os.path.join(out, "windows_tray_menu.png") if item == "show" else None
        desktop.choose(item, menu_shot)
        window = desktop.window(caption, 20)
        time.sleep(1.5)
        crop = None if item == "show" else desktop.frame(window)
        desktop.screenshot(os.path.join(out, name), crop)
    finally:
        if app is not None:
            app.stop()
        desktop.close()
        # A fresh server (and explorer.exe, which holds the icons) for the next run, as at logon.
        tray_session.restart_wineserver()


def run_until_shot(exe, out, *args, tries=4):
    """run(), again on a fresh Wine server when the click on the icon was lost."""
    for attempt in range(1, tries + 1):
        try:
            run(exe, out, *args)
            return
        except SystemExit:
            if attempt == tries:
                raise
            print(f"again ({attempt} of {tries} failed)", flush=True)


def main():
    exe, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    run_until_shot(exe, out, "show", "Pelmora Utility", "windows_main_window.png")
    run_until_shot(exe, out, "options", "Pelmora", "windows_options_dialog.png")
    run_until_shot(exe, out, "about", "About Pelmora", "windows_about_dialog.png")
    for name in sorted(os.listdir(out)):
        print(f"saved {os.path.join(out, name)}", flush=True)
    print("done", flush=True)


if __name__ == "__main__":
    main()
