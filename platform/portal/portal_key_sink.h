// Typing through the desktop portal (org.freedesktop.portal.RemoteDesktop over D-Bus): GNOME and
// KDE, whose compositors offer no virtual keyboard to ordinary clients. The user allows it once
// per session in the desktop's dialog; where the portal can remember that (version 2 and later),
// the restore token is kept next to the settings file and later starts need no dialog.
// The keys and levels are ours, chosen from the session's layout (and again when the user
// switches layouts), with Shift and AltGr pressed around each key: a desktop handed a keysym
// picks the first key carrying it and cannot press every level.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/key_sink.h"

// Null with `error` set when no portal with a keyboard is reachable on the session bus or the
// session's layout cannot be compiled. The returned sink asks for the session at once, off the
// caller's thread: keys are dropped (and the reason reported once on standard error) until the
// user has agreed, after a refusal, and after the portal closed the session or went away; a new
// session is asked for at a later block. A character the layout cannot type is skipped and
// said once. Keys still down when the session fails or the sink is destroyed are released.
std::unique_ptr<platform::KeySink> makePortalKeySink(std::string& error);
// The same, with the reports going to `report` instead; it is called from the sink's own thread
// as well as the caller's.
std::unique_ptr<platform::KeySink> makePortalKeySink(
    std::string& error, std::function<void(const std::string&)> report);

namespace platform {

// Where the restore token is kept: the settings file's path with ".portal-token" added.
std::string portalTokenPath();

}  // namespace platform
