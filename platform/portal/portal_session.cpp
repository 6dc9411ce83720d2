#include "platform/portal/portal_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kRequest = "org.freedesktop.portal.Request";
constexpr const char* kSession = "org.freedesktop.portal.Session";
constexpr std::uint32_t kKeyboardDevice = 1;
constexpr std::uint32_t kPersistUntilRevoked = 2;
constexpr std::int32_t kLeftShift = 42;  // KEY_LEFTSHIFT, Shift_L on every layout
constexpr int kWarmUpShiftTaps = 2;
// GNOME Shell 43 with an input method (IBus, there by default) hands each key to it and on to
// the client a round trip later, and tells the client of a modifier change only when that
// modifier's own key comes back, if no other key arrived in between: keys sent before a Shift or
// AltGr change then reach the client with the new modifiers, keys sent right after it with the
// old ones, or the change is never told at all. So the session leaves a pause before and after
// each Shift or AltGr event, even between two of them: at least this long, and on GNOME until
// the shell's main loop, which passes every key on, has answered twice. Measured on a busy
// machine (2 cores, load 4-6): pauses of 12 to 60 ms still lost some characters' case or level
// now and then (in about 1 of 1,000, or 1 of 300 with many level-3 and level-4 characters),
// 100 ms none.
constexpr std::chrono::milliseconds kModifierSettle{100};
constexpr int kShellRoundTrips = 2;
constexpr int kShellRoundTripTimeoutMs = 1000;
// Keys waiting for the bus beyond this are dropped: the portal has stopped taking them.
constexpr std::size_t kMaxQueuedKeys = 1 << 14;

// Appends an a{sv} of string and uint32 entries.
class Options {
public:
    Options& add(const char* key, const std::string& value) {
        m_strings.emplace_back(key, value);
        return *this;
    }
    Options& add(const char* key, std::uint32_t value) {
        m_numbers.emplace_back(key, value);
        return *this;
    }
    bool append(DBusMessageIter* args) const {
        DBusMessageIter dict;
        if (!dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "{sv}", &dict)) {
            return false;
        }
        bool ok = true;
        for (const auto& [key, value] : m_strings) {
            const char* text = value.c_str();
            ok = ok && entry(&dict, key, DBUS_TYPE_STRING, "s", &text);
        }
        for (const auto& [key, value] : m_numbers) {
            ok = ok && entry(&dict, key, DBUS_TYPE_UINT32, "u", &value);
        }
        return dbus_message_iter_close_container(args, &dict) && ok;
    }

private:
    static bool entry(DBusMessageIter* dict, const char* key, int type, const char* signature,
                      const void* value) {
        DBusMessageIter item;
        DBusMessageIter variant;
        return dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &item) &&
               dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &key) &&
               dbus_message_iter_open_container(&item, DBUS_TYPE_VARIANT, signature, &variant) &&
               dbus_message_iter_append_basic(&variant, type, value) &&
               dbus_message_iter_close_container(&item, &variant) &&
               dbus_message_iter_close_container(dict, &item);
    }
    std::vector<std::pair<const char*, std::string>> m_strings;
    std::vector<std::pair<const char*, std::uint32_t>> m_numbers;
};

DBusMessage* portalCall(const char* method) {
    return dbus_message_new_method_call(kPortalName, kPortalPath, kRemoteDesktop, method);
}

std::string readToken(const std::string& path) {
    std::ifstream in(path);
    std::string token;
    std::getline(in, token);
    return token;
}

// Written whole or not at all, readable by the user only: the token lets its holder type into
// the session without asking.
void storeToken(const std::string& path, const std::string& token) {
    const std::string temporary = path + ".new";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return;
    }
    const std::string text = token + "\n";
    const bool ok = ::fchmod(fd, 0600) == 0 &&
                    ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
    }
}

std::string requestSender(DBusConnection* connection) {
    const char* unique = dbus_bus_get_unique_name(connection);
    std::string sender = unique != nullptr ? unique : "";
    if (!sender.empty() && sender[0] == ':') {
        sender.erase(0, 1);
    }
    std::replace(sender.begin(), sender.end(), '.', '_');
    return sender;
}

}  // namespace

DBusConnection* openSessionBus(DBusError* error) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    DBusConnection* connection = nullptr;
    if (address == nullptr || address[0] == '\0') {
        connection = dbus_bus_get_private(DBUS_BUS_SESSION, error);
    } else {
        connection = dbus_connection_open_private(address, error);
        if (connection != nullptr && !dbus_bus_register(connection, error)) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
            connection = nullptr;
        }
    }
    if (connection != nullptr) {
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
    }
    return connection;
}

PortalSession::PortalSession(DBusConnection* connection, unsigned version, std::string tokenPath,
                             std::function<void(const std::string&)> report, Timing timing)
    : m_connection(connection),
      m_version(version),
      m_tokenPath(std::move(tokenPath)),
      m_report(std::move(report)),
      m_timing(timing),
      m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    m_thread = std::thread([this] { run(); });
}

PortalSession::~PortalSession() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    flush();
    m_thread.join();
    if (m_connection != nullptr) {
        dbus_connection_close(m_connection);
        dbus_connection_unref(m_connection);
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

PortalSession::State PortalSession::state() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

void PortalSession::restart() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != State::Refused && m_state != State::Failed) {
            return;
        }
        m_state = State::Starting;
        m_wantStart = true;
    }
    flush();
}

void PortalSession::typeKeys(const std::vector<KeyEvent>& events) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state == State::Active && m_keys.size() + events.size() <= kMaxQueuedKeys) {
        m_keys.insert(m_keys.end(), events.begin(), events.end());
    }
}

void PortalSession::flush() {
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
}

std::string PortalSession::nextToken() {
    return "pelmora" + std::to_string(::getpid()) + "_" + std::to_string(++m_tokenCounter);
}

void PortalSession::fail(State state, const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state == State::Refused || m_state == State::Failed) {
            return;  // already reported
        }
        m_state = state;
        m_keys.clear();
    }
    releaseHeld();
    // A portal that stays away fails again at every retry: say so once.
    if (reason != m_lastFailure && m_report) {
        m_report(reason);
    }
    m_lastFailure = reason;
}

void PortalSession::closeSession() {
    if (m_connection == nullptr || m_sessionHandle.empty()) {
        return;
    }
    DBusMessage* close =
        dbus_message_new_method_call(kPortalName, m_sessionHandle.c_str(), kSession, "Close");
    if (close != nullptr) {
        dbus_message_set_no_reply(close, TRUE);
        dbus_connection_send(m_connection, close, nullptr);
        dbus_message_unref(close);
        dbus_connection_flush(m_connection);
    }
    m_sessionHandle.clear();
}

void PortalSession::run() {
    for (;;) {
        bool start = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) {
                break;
            }
            start = m_wantStart;
            m_wantStart = false;
        }
        if (start) {
            std::string error;
            State failure = State::Failed;
            if (ensureConnection(error) && setUp(error, failure)) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_state = State::Active;
                }
                m_lastFailure.clear();
                if (m_report) {
                    m_report("typing through the desktop portal");
                }
            } else {
                fail(failure, error);
            }
            continue;
        }
        sendQueued();
        pump(1000);
    }
    // Whatever stopped us mid-character, no key stays down in the desktop.
    releaseHeld();
    closeSession();
}

bool PortalSession::ensureConnection(std::string& error) {
    if (m_connection != nullptr && dbus_connection_get_is_connected(m_connection)) {
        return true;
    }
    if (m_connection != nullptr) {
        dbus_connection_close(m_connection);
        dbus_connection_unref(m_connection);
        m_connection = nullptr;
    }
    m_watching = false;
    DBusError err;
    dbus_error_init(&err);
    m_connection = openSessionBus(&err);
    if (m_connection == nullptr) {
        error = std::string("cannot reach the session bus: ") + (err.message ? err.message : "");
        dbus_error_free(&err);
        return false;
    }
    return true;
}

void PortalSession::pump(int timeoutMs) {
    int busFd = -1;
    if (m_connection == nullptr || !dbus_connection_get_unix_fd(m_connection, &busFd)) {
        busFd = -1;
    }
    if (m_connection != nullptr &&
        dbus_connection_get_dispatch_status(m_connection) == DBUS_DISPATCH_DATA_REMAINS) {
        timeoutMs = 0;
    }
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {busFd, POLLIN, 0}};
    ::poll(fds, busFd >= 0 ? 2 : 1, timeoutMs);
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    }
    if (m_connection == nullptr) {
        return;
    }
    dbus_connection_read_write(m_connection, 0);
    while (DBusMessage* message = dbus_connection_pop_message(m_connection)) {
        handle(message);
        dbus_message_unref(message);
    }
    if (!dbus_connection_get_is_connected(m_connection)) {
        m_portalGone = true;
        m_sessionHandle.clear();
        m_held.clear();
        fail(State::Failed, "lost the session bus: the desktop portal cannot be reached");
    }
}

void PortalSession::handle(DBusMessage* message) {
    if (dbus_message_is_signal(message, kRequest, "Response")) {
        Response response;
        DBusMessageIter args;
        if (!dbus_message_iter_init(message, &args) ||
            dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_UINT32) {
            return;
        }
        dbus_message_iter_get_basic(&args, &response.code);
        DBusMessageIter dict;
        if (dbus_message_iter_next(&args) &&
            dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_ARRAY) {
            dbus_message_iter_recurse(&args, &dict);
            while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
                DBusMessageIter item;
                dbus_message_iter_recurse(&dict, &item);
                const char* key = nullptr;
                dbus_message_iter_get_basic(&item, &key);
                DBusMessageIter variant;
                if (dbus_message_iter_next(&item) &&
                    dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_VARIANT) {
                    dbus_message_iter_recurse(&item, &variant);
                    const int type = dbus_message_iter_get_arg_type(&variant);
                    if (type == DBUS_TYPE_STRING || type == DBUS_TYPE_OBJECT_PATH) {
                        const char* value = nullptr;
                        dbus_message_iter_get_basic(&variant, &value);
                        response.strings[key] = value;
                    } else if (type == DBUS_TYPE_UINT32) {
                        std::uint32_t value = 0;
                        dbus_message_iter_get_basic(&variant, &value);
                        response.strings[key] = std::to_string(value);
                    }
                }
                dbus_message_iter_next(&dict);
            }
        }
        m_responses[dbus_message_get_path(message)] = response;
    } else if (dbus_message_is_signal(message, kSession, "Closed")) {
        const char* path = dbus_message_get_path(message);
        if (path != nullptr && path == m_sessionHandle) {
            // The desktop released the session's keys with its device.
            m_sessionHandle.clear();
            m_held.clear();
            fail(State::Failed, "the desktop ended the remote-input session: scans are not typed");
        }
    } else if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                  &oldOwner, DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID) &&
            std::string(name) == kPortalName && newOwner[0] == '\0') {
            m_portalGone = true;
            m_sessionHandle.clear();
            m_held.clear();
            fail(State::Failed, "the desktop portal went away: scans are not typed");
        }
    }
}

bool PortalSession::callRequest(const char* method, DBusMessage* call, const std::string& token,
                                std::chrono::milliseconds wait, Response& response,
                                std::string& error) {
    const std::string expected =
        std::string(kPortalPath) + "/request/" + requestSender(m_connection) + "/" + token;
    DBusError err;
    dbus_error_init(&err);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(
        m_connection, call, static_cast<int>(m_timing.call.count()), &err);
    dbus_message_unref(call);
    if (reply == nullptr) {
        error = std::string("the desktop portal failed ") + method + ": " +
                (err.message ? err.message : "no reply");
        dbus_error_free(&err);
        return false;
    }
    const char* handle = nullptr;
    std::string path = expected;
    if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_OBJECT_PATH, &handle, DBUS_TYPE_INVALID)) {
        path = handle;
    }
    dbus_message_unref(reply);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        for (const std::string& p : {path, expected}) {
            const auto found = m_responses.find(p);
            if (found != m_responses.end()) {
                response = found->second;
                m_responses.erase(found);
                return true;
            }
        }
        if (m_portalGone) {
            error = "the desktop portal went away during " + std::string(method);
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) {
                error = "stopping";
                return false;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pump(static_cast<int>(std::min<long long>(left.count(), 200)));
    }
    // Withdraw the request, so a late answer does not start a session nobody uses.
    if (DBusMessage* close =
            dbus_message_new_method_call(kPortalName, path.c_str(), kRequest, "Close")) {
        dbus_message_set_no_reply(close, TRUE);
        dbus_connection_send(m_connection, close, nullptr);
        dbus_message_unref(close);
    }
    error = "no answer from the desktop to " + std::string(method) + " within " +
            std::to_string(wait.count() / 1000) + " s: scans are not typed";
    return false;
}

bool PortalSession::setUp(std::string& error, State& failure) {
    closeSession();  // one that failed, so the desktop drops its device
    m_responses.clear();
    m_portalGone = false;
    m_held.clear();
    DBusError err;
    dbus_error_init(&err);
    static const char* const kRules[] = {
        "type='signal',interface='org.freedesktop.portal.Request',member='Response'",
        "type='signal',interface='org.freedesktop.portal.Session',member='Closed'",
        ("type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
         "arg0='org.freedesktop.portal.Desktop'")};
    for (const char* rule : kRules) {
        if (m_watching) {
            break;
        }
        dbus_bus_add_match(m_connection, rule, &err);
        if (dbus_error_is_set(&err)) {
            error = std::string("cannot watch the desktop portal: ") + err.message;
            dbus_error_free(&err);
            return false;
        }
    }
    m_watching = true;

    Response response;
    std::string token = nextToken();
    DBusMessage* call = portalCall("CreateSession");
    DBusMessageIter args;
    dbus_message_iter_init_append(call, &args);
    Options().add("handle_token", token).add("session_handle_token", nextToken()).append(&args);
    if (!callRequest("CreateSession", call, token, m_timing.request, response, error)) {
        return false;
    }
    if (response.code != 0 || response.strings["session_handle"].empty()) {
        error = "the desktop portal would not make a remote-input session";
        return false;
    }
    m_sessionHandle = response.strings["session_handle"];
    const char* session = m_sessionHandle.c_str();

    token = nextToken();
    call = portalCall("SelectDevices");
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    Options select;
    select.add("handle_token", token).add("types", kKeyboardDevice);
    if (m_version >= 2) {
        select.add("persist_mode", kPersistUntilRevoked);
        const std::string stored = readToken(m_tokenPath);
        if (!stored.empty()) {
            select.add("restore_token", stored);
        }
    }
    select.append(&args);
    if (!callRequest("SelectDevices", call, token, m_timing.request, response, error)) {
        return false;
    }
    if (response.code != 0) {
        error = "the desktop portal offers no keyboard to this program";
        return false;
    }

    token = nextToken();
    call = portalCall("Start");
    dbus_message_iter_init_append(call, &args);
    const char* parentWindow = "";
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parentWindow);
    Options().add("handle_token", token).append(&args);
    if (!callRequest("Start", call, token, m_timing.consent, response, error)) {
        return false;
    }
    if (response.code == 1) {
        failure = State::Refused;
        error =
            "the desktop's remote-input dialog was declined: scans are read and recorded but not "
            "typed";
        return false;
    }
    const auto devices = response.strings.find("devices");
    if (response.code != 0 || (devices != response.strings.end() &&
                               (std::stoul(devices->second) & kKeyboardDevice) == 0)) {
        error = "the desktop portal did not grant a keyboard";
        return false;
    }
    const std::string restore = response.strings["restore_token"];
    if (m_version >= 2 && !restore.empty() && !m_tokenPath.empty()) {
        storeToken(m_tokenPath, restore);
    }
    // Mutter drops the first key events of a new remote-input device: Shift taps, which type
    // nothing, take that loss instead of the first characters of the scan.
    for (int tap = 0; tap < kWarmUpShiftTaps; ++tap) {
        if (!sendKey({kLeftShift, true, true}, error) ||
            !sendKey({kLeftShift, false, true}, error)) {
            return false;
        }
    }
    return true;
}

void PortalSession::sendQueued() {
    for (;;) {
        KeyEvent event;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state != State::Active) {
                m_keys.clear();
                return;
            }
            if (m_stop || m_keys.empty()) {
                return;
            }
            event = m_keys.front();
            m_keys.pop_front();
        }
        if (event.modifier || m_lastWasModifier) {
            std::this_thread::sleep_until(m_lastKeySent + kModifierSettle);
            waitForShell();
        }
        std::string error;
        if (!sendKey(event, error)) {
            fail(State::Failed, error);
            return;
        }
    }
}

bool PortalSession::sendKey(const KeyEvent& event, std::string& error) {
    if (m_connection == nullptr || m_sessionHandle.empty()) {
        error = "the remote-input session is gone";
        return false;
    }
    DBusMessage* call = portalCall("NotifyKeyboardKeycode");
    if (call == nullptr) {
        error = "out of memory";
        return false;
    }
    const char* session = m_sessionHandle.c_str();
    const std::uint32_t state = event.pressed ? 1 : 0;
    DBusMessageIter args;
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    Options().append(&args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &event.key);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &state);
    DBusError err;
    dbus_error_init(&err);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(
        m_connection, call, static_cast<int>(m_timing.call.count()), &err);
    dbus_message_unref(call);
    if (reply == nullptr) {
        error = std::string("the desktop portal refused a key (") +
                (err.message ? err.message : "no reply") + "): scans are not typed";
        dbus_error_free(&err);
        return false;
    }
    dbus_message_unref(reply);
    m_lastKeySent = std::chrono::steady_clock::now();
    m_lastWasModifier = event.modifier;
    if (event.pressed) {
        m_held.push_back(event.key);
    } else {
        m_held.erase(std::remove(m_held.begin(), m_held.end(), event.key), m_held.end());
    }
    return true;
}

void PortalSession::waitForShell() {
    for (int i = 0; i < kShellRoundTrips && m_shellAnswers; ++i) {
        DBusMessage* call = dbus_message_new_method_call("org.gnome.Shell", "/org/gnome/Shell",
                                                         DBUS_INTERFACE_PROPERTIES, "Get");
        if (call == nullptr) {
            return;
        }
        dbus_message_set_auto_start(call, FALSE);  // never start a shell that is not there
        const char* interface = "org.gnome.Shell";
        const char* property = "ShellVersion";
        dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                 DBUS_TYPE_INVALID);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(
            m_connection, call, kShellRoundTripTimeoutMs, nullptr);
        dbus_message_unref(call);
        if (reply == nullptr) {
            m_shellAnswers = false;  // not GNOME Shell, or it does not answer: the pause alone
            return;
        }
        dbus_message_unref(reply);
    }
}

void PortalSession::releaseHeld() {
    while (!m_held.empty()) {
        std::string error;
        if (!sendKey({m_held.back(), false}, error)) {
            // Refused or unanswered: the portal is not taking keys; dropping the session below
            // makes the desktop release them with its device.
            m_held.clear();
            closeSession();
        }
    }
}

}  // namespace platform
