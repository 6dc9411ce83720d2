#!/usr/bin/python3
"""A GTK3 window that appends the character of each key press it gets, in UTF-8, to the file
named on its command line: a receiver that runs under kwin_wayland --virtual, where foot dies."""
import sys

import gi
gi.require_version('Gtk', '3.0')
gi.require_version('Gdk', '3.0')
from gi.repository import Gdk, Gtk  # noqa: E402

out = open(sys.argv[1], 'ab', buffering=0)
window = Gtk.Window(title='recv')
window.set_default_size(300, 200)


def on_key(_window, event):
    code = Gdk.keyval_to_unicode(event.keyval)
    if code:
        out.write(chr(code).encode('utf-8'))
    return True


window.connect('key-press-event', on_key)
window.connect('destroy', Gtk.main_quit)
window.show_all()
Gtk.main()
