// The Linux sinks: X11 through XTest, the desktop portal (GNOME, KDE), uinput for Wayland and
// the text console.
#include <cstdio>

#include "platform/keys/key_sinks.h"
#include "platform/portal/portal_key_sink.h"
#include "platform/uinput/uinput_key_sink.h"
#include "platform/x11/x11_key_sink.h"

namespace platform {

std::unique_ptr<KeySink> makePlatformKeySink(const std::string& kind, std::string& error) {
    if (kind == "x11") {
        return makeX11KeySink(error);
    }
    if (kind == "uinput") {
        return makeUinputKeySink(error);
    }
    if (kind == "portal") {
        return makePortalKeySink(error);
    }
    error = "unknown key sink '" + kind + "' (use " + keySinkKinds() + ")";
    return nullptr;
}

std::string platformKeySinkKinds() {
    return "x11|portal|uinput";
}

std::unique_ptr<KeySink> makeSessionKeySink(std::string& error, std::string* chosen) {
    return chooseKeySink(
        detectSession(), [](std::string& e) { return makeX11KeySink(e); },
        [](std::string& e) { return makeUinputKeySink(e); }, error, chosen);
}

std::unique_ptr<KeySink> makeDefaultKeySink() {
    return std::make_unique<DeferredKeySink>(
        [](std::string& error) { return makeSessionKeySink(error); },
        [](const std::string& error) { std::fprintf(stderr, "pelmora: %s\n", error.c_str()); });
}

}  // namespace platform
