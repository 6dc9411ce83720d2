// Types code units into the focused Wayland client through the compositor's virtual keyboard
// (zwp_virtual_keyboard_v1: sway and the other wlroots compositors), with Pelmora's own keymap.
#pragma once

#include <memory>
#include <string>

#include "platform/key_sink.h"

namespace platform {

// Connects to the compositor named by WAYLAND_DISPLAY (or `display` when not empty) and creates
// the session's virtual keyboard now. Null with `error` set when no compositor is reachable or it
// offers no virtual keyboard (GNOME's and KDE's do not).
std::unique_ptr<KeySink> makeWaylandKeySink(std::string& error, const std::string& display = {});

}  // namespace platform
