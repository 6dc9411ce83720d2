#include "platform/portal/portal_key_sink.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/portal/portal_session.h"
#include "platform/posix/settings_file.h"
#include "platform/uinput/uinput_key_sink.h"
#include "platform/xkb/session_layout.h"
#include "settings/product_info.h"

namespace platform {
namespace {

// After the user declined, a new dialog waits this long: asking at every scan would nag.
constexpr std::chrono::seconds kAskAgainAfterRefusal{30};
// What the factory may spend on the bus: it runs on the reader thread.
constexpr int kProbeTimeoutMs = 2000;
// KWin answers at once; one that does not must not hold up a scan for long.
constexpr int kLayoutQueryTimeoutMs = 300;

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

// KWin's own record of the active layout (org.kde.keyboard, 5.27): kxkbrc holds only the list.
std::optional<unsigned> kdeActiveLayout(DBusConnection* connection) {
    DBusMessage* call = dbus_message_new_method_call("org.kde.keyboard", "/Layouts",
                                                     "org.kde.KeyboardLayouts", "getLayout");
    if (call == nullptr) {
        return std::nullopt;
    }
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(connection, call, kLayoutQueryTimeoutMs, nullptr);
    dbus_message_unref(call);
    std::optional<unsigned> index;
    dbus_uint32_t value = 0;
    if (reply != nullptr &&
        dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &value, DBUS_TYPE_INVALID)) {
        index = value;
    }
    if (reply != nullptr) {
        dbus_message_unref(reply);
    }
    return index;
}

// The session's layout as key plans, made again when the user switches or edits layouts.
class LayoutFollower {
public:
    explicit LayoutFollower(std::function<void(const std::string&)> report)
        : m_report(std::move(report)) {}
    ~LayoutFollower() {
        if (m_kde != nullptr) {
            dbus_connection_close(m_kde);
            dbus_connection_unref(m_kde);
        }
    }
    LayoutFollower(const LayoutFollower&) = delete;
    LayoutFollower& operator=(const LayoutFollower&) = delete;

    // False with `error` set when the layout cannot be compiled.
    bool refresh(std::string& error) {
        std::optional<unsigned> kdeGroup;
        if (kdeSession()) {
            if (m_kde == nullptr) {
                m_kde = openSessionBus(nullptr);
            }
            if (m_kde != nullptr) {
                kdeGroup = kdeActiveLayout(m_kde);
            }
        }
        const std::string stamp = sessionLayoutStamp();
        if (m_made && stamp == m_stamp && kdeGroup == m_kdeGroup) {
            return true;
        }
        const SessionLayout layout = detectSessionLayout(kdeGroup);
        std::string name;
        XkbKeymapPtr keymap = compileSessionKeymap(layout, name, error);
        if (!keymap) {
            return false;
        }
        if (m_made && name != m_plans[0].layoutName) {
            m_report("the keyboard layout is now " + name);
            m_reported = {};
        }
        // The modifiers are ours to press, so every level of the layout is reachable.
        m_plans[0] = planKeys(keymap.get(), layout.group, false, true);
        m_plans[1] = planKeys(keymap.get(), layout.group, true, true);
        m_plans[0].layoutName = m_plans[1].layoutName = name;
        m_stamp = stamp;
        m_kdeGroup = kdeGroup;
        m_made = true;
        return true;
    }

    const KeyPlan& plan(bool capsLock) const { return m_plans[capsLock ? 1 : 0]; }

    // True the first time `codeUnit` is missing from the current layout.
    bool firstMiss(std::uint16_t codeUnit) {
        const bool first = !m_reported[codeUnit & 0xff];
        m_reported[codeUnit & 0xff] = true;
        return first;
    }

private:
    std::function<void(const std::string&)> m_report;
    DBusConnection* m_kde = nullptr;
    KeyPlan m_plans[2];
    std::string m_stamp;
    std::optional<unsigned> m_kdeGroup;
    bool m_made = false;
    std::array<bool, 256> m_reported{};
};

class PortalKeySink : public KeySink {
public:
    PortalKeySink(DBusConnection* connection, unsigned version,
                  std::unique_ptr<LayoutFollower> layout,
                  std::function<void(const std::string&)> report)
        : m_layout(std::move(layout)),
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
        // The user may have switched layouts or toggled Caps Lock since the last scan.
        std::string error;
        if (!m_layout->refresh(error) && error != m_layoutError) {
            m_report(error);
        }
        m_layoutError = error;
        m_capsLocked = capsLockLit();
    }

    void sendKey(std::uint16_t codeUnit) override {
        if (!keyboardTypable(codeUnit)) {
            return;  // NUL, DEL, C0 without a key, C1: never typed
        }
        const KeyPlan& plan = m_layout->plan(m_capsLocked);
        const std::optional<KeyStroke> stroke = plan.strokeFor(codeUnit);
        if (!stroke) {
            if (m_layout->firstMiss(codeUnit)) {
                m_report("the keyboard layout " + plan.layoutName + " has no key for " +
                         describeCodeUnit(codeUnit) +
                         " (or only through a dead key): it is not typed");
            }
            return;
        }
        // Our own Shift and AltGr: the desktop applies its layout to key codes. They stay down
        // while the next characters need them, as a hand would keep them: each change costs a
        // pause (see PortalSession::KeyEvent::modifier).
        setModifiers(plan, stroke->shift, stroke->altGr);
        m_events.push_back({stroke->key, true});
        m_events.push_back({stroke->key, false});
    }

    void endBlock() override {
        setModifiers(m_layout->plan(m_capsLocked), false, false);
        if (!m_events.empty()) {
            m_session.typeKeys(m_events);
            m_events.clear();
        }
        m_session.flush();
    }

private:
    void setModifiers(const KeyPlan& plan, bool shift, bool altGr) {
        if (m_altGrDown && !altGr) {
            m_events.push_back({plan.altGrKey, false, true});
        }
        if (m_shiftDown && !shift) {
            m_events.push_back({plan.shiftKey, false, true});
        }
        if (!m_shiftDown && shift) {
            m_events.push_back({plan.shiftKey, true, true});
        }
        if (!m_altGrDown && altGr) {
            m_events.push_back({plan.altGrKey, true, true});
        }
        m_shiftDown = shift;
        m_altGrDown = altGr;
    }

    std::unique_ptr<LayoutFollower> m_layout;
    std::vector<PortalSession::KeyEvent> m_events;  // this block's, handed over at its end
    bool m_shiftDown = false;
    bool m_altGrDown = false;
    std::function<void(const std::string&)> m_report;
    std::string m_layoutError;
    bool m_capsLocked = false;
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
    // The keys come from the session's layout: without one, nothing would be typed right.
    auto layout = std::make_unique<platform::LayoutFollower>(report);
    if (!layout->refresh(failure)) {
        error = failure;
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return nullptr;
    }
    return std::make_unique<platform::PortalKeySink>(connection, version, std::move(layout),
                                                     std::move(report));
}
