#include "platform/x11/xlib_dead.h"

#include <X11/Xlibint.h>

namespace platform::x11 {

void markDisplayDead(Display* dpy) {
    dpy->flags = dpy->flags | XlibDisplayIOError;
}

}  // namespace platform::x11
