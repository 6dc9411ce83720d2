// A private headless sway for one test or benchmark. sway refuses to run as root, so as root it
// runs as nobody in a runtime folder of its own; our clients (root or not) connect to its socket.
#pragma once

#include <string>
#include <vector>

#include "x11/x_session.h"

namespace swaytest {

class SwaySession {
public:
    // With `xwayland`, an Xwayland for X clients that admits root's clients too (see xDisplay).
    explicit SwaySession(bool xwayland = false);
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    bool ok() const { return m_ok; }
    bool withXwayland() const { return m_xwayland; }
    const std::string& why() const { return m_why; }
    // XDG_RUNTIME_DIR, WAYLAND_DISPLAY and SWAYSOCK for a client of this compositor.
    const std::vector<std::string>& env() const { return m_env; }
    // The X display of the compositor's Xwayland once it admits our clients, empty when it did
    // not come up in time.
    std::string xDisplay();
    // Holds the compositor still (SIGSTOP) or lets it go on: a compositor that stops answering.
    void freeze(bool frozen);
    // Runs swaymsg with these arguments; true when it succeeded.
    bool swaymsg(const std::vector<std::string>& args);
    // Starts pelmora-wreceiver with these options and waits until its window is shown.
    xtest::Child startReceiver(const std::vector<std::string>& options = {});
    // Ends the compositor (its clients lose their connection); start() makes a new one on the
    // same socket name.
    void stop();
    bool start();

private:
    xtest::Child m_server;
    std::string m_dir;
    std::vector<std::string> m_env;
    bool m_ok = false;
    bool m_xwayland = false;
    std::string m_why;
    int m_receivers = 0;
};

}  // namespace swaytest
