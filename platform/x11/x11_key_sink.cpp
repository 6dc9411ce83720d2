// Placeholder until the X11 sink lands.
#include "platform/x11/x11_key_sink.h"

namespace platform {
std::unique_ptr<KeySink> makeX11KeySink(std::string& error, const std::string&) {
    error = "X11 typing is not built yet";
    return nullptr;
}
}  // namespace platform
