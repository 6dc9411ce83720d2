// Builds without libdbus-1 or xkbcommon have no portal sink.
#include "platform/portal/portal_key_sink.h"

std::unique_ptr<platform::KeySink> makePortalKeySink(std::string& error) {
    return makePortalKeySink(error, {});
}

std::unique_ptr<platform::KeySink> makePortalKeySink(std::string& error,
                                                     std::function<void(const std::string&)>) {
    error =
        "the desktop-portal sink is not built (libdbus-1 or xkbcommon development files missing)";
    return nullptr;
}

namespace platform {

std::string portalTokenPath() {
    return "";
}

}  // namespace platform
