// The Linux sinks: the compositor's virtual keyboard and the desktop portal for Wayland, uinput
// for Wayland and the text console, X11 through XTest.
#include <cstdio>

#include "platform/keys/key_sinks.h"
#include "platform/portal/portal_key_sink.h"
#include "platform/uinput/uinput_key_sink.h"
#include "platform/wayland/wayland_key_sink.h"
#include "platform/x11/x11_key_sink.h"

namespace platform {

namespace {

SinkFactories linuxFactories() {
    SinkFactories f;
    f.wayland = [](std::string& e) { return makeWaylandKeySink(e); };
    f.portal = [](std::string& e) { return makePortalKeySink(e); };
    f.uinput = [](std::string& e) { return makeUinputKeySink(e); };
    f.x11 = [](std::string& e) { return makeX11KeySink(e); };
    return f;
}

}  // namespace

std::unique_ptr<KeySink> makePlatformKeySink(const std::string& kind, std::string& error) {
    const SinkFactories f = linuxFactories();
    const SinkFactory* factory = kind == "wayland"  ? &f.wayland
                                 : kind == "portal" ? &f.portal
                                 : kind == "uinput" ? &f.uinput
                                 : kind == "x11"    ? &f.x11
                                                    : nullptr;
    if (factory == nullptr) {
        error = "unknown key sink '" + kind + "' (use " + keySinkKinds() + ")";
        return nullptr;
    }
    if (!*factory) {
        error = "this program was built without the " + kind + " key sink";
        return nullptr;
    }
    return (*factory)(error);
}

std::string platformKeySinkKinds() {
    return "wayland|portal|uinput|x11";
}

std::unique_ptr<KeySink> makeSessionKeySink(std::string& error, std::string* chosen,
                                            std::string* passedOver) {
    return chooseKeySink(detectSession(), linuxFactories(), error, chosen, passedOver);
}

std::unique_ptr<KeySink> makeDefaultKeySink() {
    return std::make_unique<DeferredKeySink>(
        [](std::string& error) { return makeSessionKeySink(error); },
        [](const std::string& error) { std::fprintf(stderr, "pelmora: %s\n", error.c_str()); });
}

}  // namespace platform
