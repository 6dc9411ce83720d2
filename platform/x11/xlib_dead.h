// Marking a connection whose server is gone, in a file of its own: Xlib's internal header
// defines min and max as macros, which the standard library cannot live with.
#pragma once

#include <X11/Xlib.h>

namespace platform::x11 {

// Flags the display as Xlib flags it after an I/O error: every later call, XCloseDisplay
// included, then sends and waits for nothing.
void markDisplayDead(Display* dpy);

}  // namespace platform::x11
