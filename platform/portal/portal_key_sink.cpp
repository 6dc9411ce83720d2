#include "platform/portal/portal_key_sink.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/portal/portal_session.h"
#include "platform/posix/settings_file.h"
#include "platform/x11/x11_key_plan.h"
#include "platform/xkb/session_layout.h"
#include "settings/product_info.h"

namespace platform {
namespace {

// After the user declined, a new dialog waits this long: asking at every scan would nag.
constexpr std::chrono::seconds kAskAgainAfterRefusal{30};
// What the factory may spend on the bus: it runs on the reader thread.
constexpr int kProbeTimeoutMs = 2000;

void reportToStderr(const std::string& text) {
    std::fprintf(stderr, "pelmora: %s\n", text.c_str());
}

// A property of the RemoteDesktop interface as uint32; false when the portal does not answer.
bool portalProperty(DBusConnection* connection, const char* name, std::uint32_t& value,
                    std::string& error) {
    DBusMessage* call = dbus_message_new_method_call("org.freedesktop.portal.Desktop",
                                                     "/org/freedesktop/portal/desktop",
                                                     DBUS_INTERFACE_PROPERTIES, "Get");
    const char* interface = "org.freedesktop.portal.RemoteDesktop";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                             DBUS_TYPE_INVALID);
    DBusError err;
    dbus_error_init(&err);
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(connection, call, kProbeTimeoutMs, &err);
    dbus_message_unref(call);
    if (reply == nullptr) {
        error = err.message ? err.message : "no reply";
        dbus_error_free(&err);
        return false;
    }
    DBusMessageIter args;
    DBusMessageIter variant;
    bool ok = dbus_message_iter_init(reply, &args) &&
              dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_VARIANT;
    if (ok) {
        dbus_message_iter_recurse(&args, &variant);
        ok = dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_UINT32;
        if (ok) {
            dbus_message_iter_get_basic(&variant, &value);
        }
    }
    dbus_message_unref(reply);
    if (!ok) {
        error = std::string("unexpected type of the property ") + name;
    }
    return ok;
}

class PortalKeySink : public KeySink {
public:
    PortalKeySink(DBusConnection* connection, unsigned version, std::optional<KeyPlan> plan,
                  std::function<void(const std::string&)> report)
        : m_plan(std::move(plan)),
          m_report(report),
          m_session(connection, version, portalTokenPath(), std::move(report),
                    PortalSession::Timing{}) {}

    void beginBlock() override {
        const PortalSession::State state = m_session.state();
        const auto now = std::chrono::steady_clock::now();
        if (state == PortalSession::State::Starting && !m_saidWaiting) {
            m_saidWaiting = true;
            m_report(
                "waiting for the desktop's permission to type (answer its dialog): scans are read "
                "and recorded but not typed until then");
        } else if (state == PortalSession::State::Active) {
            m_saidWaiting = false;
        }
        if (state == PortalSession::State::Refused || state == PortalSession::State::Failed) {
            if (!m_overSince) {
                m_overSince = now;
            }
            if (state == PortalSession::State::Failed ||
                now - *m_overSince >= kAskAgainAfterRefusal) {
                m_overSince.reset();
                m_session.restart();
            }
        }
    }

    void sendKey(std::uint16_t codeUnit) override {
        if (!keyboardTypable(codeUnit)) {
            return;  // NUL, DEL, C0 without a key, C1: never typed
        }
        // GNOME and KDE type a keysym only where the active layout has it at its plain, Shift
        // or AltGr level, and drop the rest silently.
        if (m_plan && !m_plan->strokeFor(codeUnit)) {
            if (!m_reported[codeUnit]) {
                m_reported[codeUnit] = true;
                m_report("the keyboard layout " + m_plan->layoutName + " has no key for " +
                         describeCodeUnit(codeUnit) +
                         ", so the desktop cannot type it: it is not typed");
            }
            return;
        }
        if (auto keysym = x11::keysymForCodeUnit(codeUnit)) {
            m_session.typeKeysym(*keysym);
        }
    }

    void endBlock() override { m_session.flush(); }

private:
    std::optional<KeyPlan> m_plan;
    std::function<void(const std::string&)> m_report;
    std::array<bool, 256> m_reported{};
    std::optional<std::chrono::steady_clock::time_point> m_overSince;
    bool m_saidWaiting = false;
    PortalSession m_session;
};

}  // namespace

std::string portalTokenPath() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    const std::string settings =
        util::settingsFilePath(std::getenv("PELMORA_CONFIG"), std::getenv("XDG_CONFIG_HOME"), home,
                               kCompanyName, kProductName);
    return settings.empty() ? settings : settings + ".portal-token";
}

}  // namespace platform

std::unique_ptr<platform::KeySink> makePortalKeySink(std::string& error) {
    return makePortalKeySink(error, platform::reportToStderr);
}

std::unique_ptr<platform::KeySink> makePortalKeySink(
    std::string& error, std::function<void(const std::string&)> report) {
    dbus_threads_init_default();
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* connection = platform::openSessionBus(&err);
    if (connection == nullptr) {
        error = std::string("no session bus for the desktop portal: ") +
                (err.message ? err.message : "");
        dbus_error_free(&err);
        return nullptr;
    }
    std::uint32_t version = 0;
    std::uint32_t devices = 0;
    std::string why;
    std::string failure;
    if (!platform::portalProperty(connection, "version", version, why) ||
        !platform::portalProperty(connection, "AvailableDeviceTypes", devices, why)) {
        failure =
            "no desktop portal for remote input (org.freedesktop.portal.RemoteDesktop): " + why;
    } else if ((devices & 1u) == 0) {
        failure = "the desktop portal offers no keyboard";
    }
    if (!failure.empty()) {
        error = failure;
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return nullptr;
    }
    // The characters the desktop can type: those of the session's layout.
    std::optional<platform::KeyPlan> plan;
    const platform::SessionLayout layout = platform::detectSessionLayout();
    std::string layoutError;
    if (platform::XkbKeymapPtr keymap = platform::compileKeymap(layout.names, layoutError)) {
        plan = platform::planKeys(keymap.get(), layout.group, false);
        plan->layoutName = layout.names.describe() + " (from " + layout.source + ")";
    } else {
        report(layoutError + "; every character is handed to the desktop");
    }
    return std::make_unique<platform::PortalKeySink>(connection, version, std::move(plan),
                                                     std::move(report));
}
