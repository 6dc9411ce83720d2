// A real desktop for one test: headless GNOME Shell or kwin_wayland with the real portals, started
// by desktop-session.sh (which benchmarks use too), as nobody when the test runs as root.
#pragma once

#include <string>
#include <vector>

#include "x11/x_session.h"

namespace desktoptest {

class DesktopSession {
public:
    // desktop: "gnome" or "kde"; layout: "de" or "de:nodeadkeys".
    DesktopSession(const std::string& desktop, const std::string& layout);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // False, with why(), when the desktop could not start here.
    bool ok() const { return m_ok; }
    const std::string& why() const { return m_why; }
    // The session's folder, owned by its user; files the session's programs read go here.
    const std::string& dir() const { return m_dir; }
    // What the compositor and the portals wrote so far.
    std::string log() const;

    // Starts a program as the session's user, in its environment.
    xtest::Child spawn(const std::vector<std::string>& argv, bool captureStderr = false);
    // Runs one of desktop-session.sh's commands to its end; its output in `out`.
    bool command(const std::vector<std::string>& args, std::string* out = nullptr,
                 int timeoutMs = 30000);

    // The title of the focused window, empty when it cannot be told.
    std::string focus();
    // Waits until `title` has the focus, giving it the focus once half-way.
    bool waitForFocus(const std::string& title, int ms);

    // The window that typing goes to, titled kReceiverTitle; false with why() when it did not
    // get the focus.
    bool startReceiver();
    std::string received() const;
    static constexpr const char* kReceiverTitle = "pelmora-receiver";

private:
    xtest::Child m_session;
    xtest::Child m_receiver;
    std::string m_dir;
    bool m_ok = false;
    std::string m_why;
};

}  // namespace desktoptest
