#include "reader/own_window_focus.h"

namespace platform {

// X11 and Wayland do not say which process owns the focused window; the windowing layer's
// activation events tell instead.
bool foregroundWindowIsOurs() {
    return false;
}

}  // namespace platform
