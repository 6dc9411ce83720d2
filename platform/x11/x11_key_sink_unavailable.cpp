// Built when the X11 development libraries are missing: the sink reports why it cannot type.
#include "platform/x11/x11_key_sink.h"

namespace platform {
std::unique_ptr<KeySink> makeX11KeySink(std::string& error, const std::string&) {
    error = "this program was built without X11 typing (libx11-dev, libxtst-dev, libxi-dev)";
    return nullptr;
}
}  // namespace platform
