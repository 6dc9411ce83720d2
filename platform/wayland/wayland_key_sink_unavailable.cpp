// Built when the Wayland or xkbcommon development files are missing.
#include "platform/wayland/wayland_key_sink.h"

namespace platform {
std::unique_ptr<KeySink> makeWaylandKeySink(std::string& error, const std::string&) {
    error = "this program was built without Wayland typing (libwayland-dev, libxkbcommon-dev)";
    return nullptr;
}
}  // namespace platform
