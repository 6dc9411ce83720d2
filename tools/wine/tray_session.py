"""A tray desktop under Wine for the screenshot script and the benchmark.

Xvfb (via wine_harness), openbox and trayer; COM1 a pseudo-terminal; the tray program's settings
in HKCU; helpers to find the docked icon, click it and the popup menu's items, wait for windows
and save the screen as PNG (xwd, converted here: no image library needed).
Runs inside tools/wine/sandbox with WINEPREFIX set (tools/wine/wine-run sees to both).
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "win32"))
import wine_harness  # noqa: E402  (the COM1 pseudo-terminal, Xvfb, the output reader)

fail = wine_harness.fail
Program = wine_harness.Program
SETTINGS_KEY = "HKEY_CURRENT_USER\\Software\\Vantel\\Pelmora"


class Desktop:
    """Xvfb with openbox and trayer (top right, 32 pixels square; with growing_tray a panel that
    widens as icons dock, which loses Wine's icons), and COM1 on a pseudo-terminal."""

    def __init__(self, growing_tray=False):
        self.master, self._slave = wine_harness.make_com1(os.environ["WINEPREFIX"])
        self.xvfb, display = wine_harness.start_xvfb()
        self.env = dict(os.environ, DISPLAY=display)
        self.helpers = [subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        self.trayer = None
        # trayer now and then dies at start (before openbox manages the screen): start it again.
        for _ in range(3):
            trayer = subprocess.Popen(wine_harness.trayer_command(growing_tray), env=self.env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.helpers.append(trayer)
            deadline = time.monotonic() + 10
            while self.trayer is None and trayer.poll() is None and time.monotonic() < deadline:
                found = self.x("xdotool", "search", "--classname", "trayer")
                if found:
                    self.trayer = found.split()[0]
                else:
                    time.sleep(0.2)
            if self.trayer is not None:
                break
            trayer.terminate()
            trayer.wait()
            self.helpers.remove(trayer)
        if self.trayer is None:
            self.close()
            fail("trayer did not start")

    def close(self):
        for helper in reversed(self.helpers):
            helper.terminate()
            helper.wait()
        self.xvfb.terminate()
        self.xvfb.wait()

    def x(self, *argv):
        """Output of an X client on this display ("" when it fails)."""
        done = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        return done.stdout.decode("latin-1") if done.returncode == 0 else ""

    def settings(self, device):
        """The tray program's settings: DEVICE at 9600 8N1, no byte dropped, no Enter added."""
        values = dict(wine_harness.READER_SETTINGS, DeviceName=f'"{device}"')
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as reg:
            reg.write(f"REGEDIT4\n\n[{SETTINGS_KEY}]\n")
            for name, value in values.items():
                reg.write(f'"{name}"={value}\n')
            path = reg.name
        try:
            subprocess.run(["wine", "regedit", "/S", path], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.unlink(path)

    def docked_icon(self, owner="explorer.exe"):
        """Geometry (x, y, w, h) of a Wine tray icon embedded in trayer, or None. Wine's
        explorer.exe owns the icons; an embedded one is a grandchild of trayer's panel, where a
        top-level window of explorer's sits at the root."""
        tree = self.x("xwininfo", "-root", "-tree")
        for line in tree.splitlines():
            match = re.match(r'( *)(0x[0-9a-f]+) .*\("' + re.escape(owner) + r'" "[^"]*"\)\s+'
                             r"(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)", line)
            if match and len(match.group(1)) > 8:
                w, h, x, y = (int(g) for g in match.groups()[2:])
                if w >= 8 and h >= 8:
                    self.icon_window = match.group(2)
                    return x, y, w, h
        return None

    def wait_docked(self, timeout, owner="explorer.exe"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            icon = self.docked_icon(owner)
            if icon is not None:
                return icon
            time.sleep(0.02)
        return None

    def window(self, name, timeout):
        """The X window id of a visible window whose title is NAME exactly, or fails."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.x("xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(name)}$")
            if found:
                return found.split()[0]
            time.sleep(0.1)
        fail(f"no window {name!r} within {timeout} s")

    def geometry(self, window):
        """(x, y, w, h) of an X window, frame excluded."""
        info = self.x("xwininfo", "-id", window)
        values = {key: int(value) for key, value in
                  re.findall(r"(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", info)}
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"],
                values["Height"])

    def frame(self, window):
        """(x, y, w, h) of an X window with the window manager's frame around it."""
        x, y, w, h = self.geometry(window)
        extents = re.search(r"= (\d+), (\d+), (\d+), (\d+)",
                            self.x("xprop", "-id", window, "_NET_FRAME_EXTENTS"))
        if not extents:
            return x, y, w, h
        left, right, top, bottom = (int(g) for g in extents.groups())
        return x - left, y - top, w + left + right, h + top + bottom

    def click(self, x, y, button=1):
        self.x("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.2)
        self.x("xdotool", "click", str(button))

    def popup_menu(self, timeout=10, must=True, owner="pelmora.exe", title=None):
        """Geometry of the open popup menu: a viewable top-level window of the program, untitled
        (Wine, which paints it about a second after it is mapped) or titled TITLE (Qt)."""
        name = r"\(has no name\)" if title is None else re.escape(f'"{title}"')
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            tree = self.x("xwininfo", "-root", "-children")
            for line in tree.splitlines():
                match = re.match(r"\s*(0x[0-9a-f]+) " + name + r': \("' + re.escape(owner) + '" ',
                                 line)
                if not match:
                    continue
                attributes = self.x("xwininfo", "-id", match.group(1))
                if "Map State: IsViewable" in attributes:
                    x, y, w, h = self.geometry(match.group(1))
                    if w > 60 and h > 60:
                        return x, y, w, h
            time.sleep(0.1)
        if must:
            fail(f"no popup menu within {timeout} s")
        return None

    def answers_click(self, icon_owner="explorer.exe", menu_owner="pelmora.exe", menu_title=None,
                      timeout=4):
        """One right click on the docked icon with the pointer, as a user gives it; the geometry
        of the menu that opened, or None."""
        icon = self.docked_icon(icon_owner)
        if icon is None:
            return None
        x, y, w, h = icon
        self.x("xdotool", "mousemove", "0", "300")
        time.sleep(0.2)
        self.x("xdotool", "mousemove", str(x + w // 2), str(y + h // 2))
        time.sleep(0.2)
        self.x("xdotool", "click", "3")
        return self.popup_menu(timeout, must=False, owner=menu_owner, title=menu_title)

    def open_tray_menu(self):
        icon = self.docked_icon()
        if icon is None:
            fail("no icon docked")
        x, y, w, h = icon
        # A click can come before Wine's icon takes input: try a few, then the caller starts
        # afresh.
        for attempt in range(4):
            self.x("xdotool", "mousemove", "0", "300")
            time.sleep(0.5)
            self.x("xdotool", "mousemove", str(x + w // 2), str(y + h // 2))
            time.sleep(0.3)
            if attempt % 2 == 0:
                self.x("xdotool", "click", "3")
            else:  # straight to the icon's window (a synthetic event)
                self.x("xdotool", "click", "--window", self.icon_window, "3")
            menu = self.popup_menu(5, must=False)
            if menu is not None:
                time.sleep(1.5)  # mapped: Wine paints it a moment later
                return menu
        fail(f"no popup menu after four clicks on the icon at {icon}")

    # The tray menu's rows under Wine with Tahoma 8 (measured on its screenshot): items 16 px,
    # separators 9 px, a 3 px border. Order: Show Main Window, Options, -, About, -, Exit.
    MENU_ROWS = {"show": 0, "options": 1, "about": 2, "exit": 3}

    def choose(self, item, screenshot=None):
        """Opens the tray menu (saving a screenshot of it first when a path is given) and
        clicks ITEM."""
        menu = self.open_tray_menu()
        if screenshot:
            self.screenshot(screenshot)
        self.click_item(menu, item)

    def click_item(self, menu, item):
        """Clicks ITEM of the open tray menu whose geometry is MENU."""
        menu_x, menu_y, menu_w, menu_h = menu
        row = self.MENU_ROWS[item]
        separators = {0: 0, 1: 0, 2: 1, 3: 2}[row]
        y = menu_y + 3 + row * 16 + separators * 9 + 8
        if item == "exit":  # the last row, whatever the menu font
            y = menu_y + menu_h - 10
        self.click(menu_x + menu_w // 2, y)

    def screenshot(self, path, crop=None):
        """The whole screen (or the crop box x, y, w, h of it) as an RGB PNG."""
        raw = subprocess.run(["xwd", "-root", "-silent"], env=self.env, check=True,
                             stdout=subprocess.PIPE).stdout
        write_png(path, *xwd_rgb(raw), crop)


def xwd_rgb(raw):
    """(width, height, rows of RGB bytes) of a 24/32-bit TrueColor XWD image."""
    fields = struct.unpack(">25I", raw[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, ncolors = fields[14], fields[19]
    if bits_per_pixel not in (24, 32) or red_mask != 0xFF0000:
        fail(f"unexpected XWD format: {bits_per_pixel} bits, red mask {red_mask:#x}")
    data = raw[header_size + 12 * ncolors:]
    # A pixel 0x(00)RRGGBB: in memory B G R (x) when LSB first, (x) R G B when MSB first.
    step = bits_per_pixel // 8
    order = (2, 1, 0) if byte_order == 0 else tuple(step - 3 + i for i in range(3))
    rows = []
    for y in range(height):
        line = data[y * bytes_per_line:y * bytes_per_line + width * step]
        rgb = bytearray(width * 3)
        for channel, offset in enumerate(order):
            rgb[channel::3] = line[offset::step]
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows, crop=None):
    x, y, w, h = crop if crop else (0, 0, width, height)
    x, y = max(0, x), max(0, y)
    w, h = min(w, width - x), min(h, height - y)
    body = b"".join(b"\0" + row[x * 3:(x + w) * 3] for row in rows[y:y + h])

    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload +
                struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))

    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n")
        png.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        png.write(chunk(b"IDAT", zlib.compress(body, 9)))
        png.write(chunk(b"IEND", b""))


def wine_process(tag):
    """PIDs of the Linux processes that run a Windows program whose command line has TAG."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                words = cmdline.read().split(b"\0")
        except OSError:
            continue
        if any(tag.encode() in word for word in words) and b"python" not in words[0]:
            pids.append(int(entry))
    return pids


def restart_wineserver():
    """Ends this prefix's Wine server and its programs (explorer.exe among them)."""
    subprocess.run(["wineserver", "-k"], check=False, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], check=False, stderr=subprocess.DEVNULL)
