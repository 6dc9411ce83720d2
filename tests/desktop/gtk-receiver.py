#!/usr/bin/python3
# A window that writes what it is typed, in UTF-8, to a file: the receiver where foot cannot run
# (kwin_wayland --virtual). Usage: gtk-receiver.py TITLE FILE
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

title, path = sys.argv[1], sys.argv[2]
out = open(path, "ab", buffering=0)


def on_key(_widget, event):
    # The character of the key as pressed, with no input method in between: a dead key or a
    # modifier writes nothing.
    code = Gdk.keyval_to_unicode(event.keyval)
    if code:
        out.write(chr(code).encode())
    return True


window = Gtk.Window(title=title)
window.set_default_size(400, 200)
window.connect("key-press-event", on_key)
window.connect("destroy", Gtk.main_quit)
window.show_all()
window.present()
Gtk.main()
