// One RemoteDesktop session with a keyboard, run by a thread of its own: every D-Bus call and
// every wait for the desktop (the consent dialog above all) happens there, so the thread that
// hands in keys never waits on the bus. Keys go out as key codes, one call at a time, each reply
// awaited: GNOME and KDE handle concurrent calls out of order, and a release that overtakes its
// press leaves the key down.
#pragma once

#include <dbus/dbus.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// A private connection to the session bus named by DBUS_SESSION_BUS_ADDRESS as it is now (libdbus
// would keep the first address it saw for the whole process), else libdbus's default. Null with
// `error` set on failure.
DBusConnection* openSessionBus(DBusError* error);

class PortalSession {
public:
    enum class State { Starting, Active, Refused, Failed };

    struct Timing {
        // One method call's reply; also what stopping may wait for a portal that hangs.
        std::chrono::milliseconds call{2000};
        std::chrono::milliseconds request{10000};  // a request's response, no dialog involved
        std::chrono::milliseconds consent{std::chrono::minutes(5)};  // the user's answer
    };

    // Takes over `connection` (a private session-bus connection, used by the session's thread
    // only). `version` is the portal's; from 2 on, the token at `tokenPath` is offered and the
    // new one stored there. `report` gets each change of state worth telling the user.
    PortalSession(DBusConnection* connection, unsigned version, std::string tokenPath,
                  std::function<void(const std::string&)> report, Timing timing);
    ~PortalSession();
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    State state() const;
    // Asks for a new session when the last one is over (refused, closed, failed); no-op otherwise.
    void restart();
    struct KeyEvent {
        std::int32_t key = 0;  // Linux input key code
        bool pressed = false;
        // Shift or AltGr: the session pauses before and after these (kModifierSettle).
        bool modifier = false;
    };
    // Queues the events of a block, whole or not at all; typed only while Active.
    void typeKeys(const std::vector<KeyEvent>& events);
    // Wakes the thread to send what is queued.
    void flush();

private:
    struct Response {
        std::uint32_t code = 2;
        std::map<std::string, std::string> strings;  // the string results
    };

    void run();
    bool ensureConnection(std::string& error);
    bool setUp(std::string& error, State& failure);
    bool callRequest(const char* method, DBusMessage* call, const std::string& token,
                     std::chrono::milliseconds wait, Response& response, std::string& error);
    void pump(int timeoutMs);
    void handle(DBusMessage* message);
    void sendQueued();
    bool sendKey(const KeyEvent& event, std::string& error);
    void releaseHeld();
    void waitForShell();
    void closeSession();
    void fail(State state, const std::string& reason);
    std::string nextToken();

    DBusConnection* m_connection;
    const unsigned m_version;
    const std::string m_tokenPath;
    const std::function<void(const std::string&)> m_report;
    const Timing m_timing;

    // Touched by the session's thread only.
    std::string m_sessionHandle;
    std::map<std::string, Response> m_responses;  // by request path
    unsigned m_tokenCounter = 0;
    bool m_portalGone = false;
    bool m_watching = false;           // the signal matches are set on m_connection
    std::string m_lastFailure;         // said once, until a session works again
    std::vector<std::int32_t> m_held;  // pressed and not yet released, in order
    std::chrono::steady_clock::time_point m_lastKeySent;
    bool m_lastWasModifier = false;
    bool m_shellAnswers = true;  // GNOME Shell's ShellVersion, read to wait for its main loop

    mutable std::mutex m_mutex;
    State m_state = State::Starting;
    bool m_stop = false;
    bool m_wantStart = true;
    std::deque<KeyEvent> m_keys;
    int m_wakeFd = -1;
    std::thread m_thread;
};

}  // namespace platform
