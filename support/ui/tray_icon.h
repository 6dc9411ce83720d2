// CTrayIcon: one notification-area icon with a tooltip and a menu; the chosen menu item goes to
// the notification window as WM_COMMAND. When no notification area takes the icon, the
// availability handler hears of it. The backend's peer makes the native calls.
#pragma once

#include <functional>
#include <memory>

#include "platform/gui/afx_peer.h"
#include "support/vl_string.h"

class CTrayIcon : private afx::TrayOwner {
public:
    // No native object is made here: the application object that holds the icon may be built
    // before the toolkit.
    explicit CTrayIcon(unsigned id);
    ~CTrayIcon() override;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void SetNotificationWnd(CWnd* wnd, unsigned callbackMessage);
    // The first popup of menu resource `menuId` becomes the icon's menu.
    int SetMenu(unsigned menuId);
    // Shows the icon with icon resource `iconId`.
    int SetIcon(unsigned iconId);
    int SetToolTip(const vantel::VLString& text);

    // Whether a notification area has the icon, as of the last check.
    bool IsTrayAvailable() const { return m_available; }
    // Whether a missing notification area is only late and the icon comes once it is there.
    bool WaitsForTray() const { return m_peer->waitsForTray(); }
    // Called on the UI thread whenever a notification area takes the icon or stops having it.
    void SetAvailabilityHandler(std::function<void(bool available)> handler);
    // Replaces the check for a notification area (tests): false plays a system without one. Set
    // before the first Set call.
    void SetAvailabilityProbe(std::function<bool()> probe);

    unsigned GetId() const { return m_id; }
    // The backend's peer (its tests reach the native objects through it).
    afx::TrayPeer& peer() const { return *m_peer; }

private:
    const std::function<bool()>& availabilityProbe() const override { return m_probe; }
    bool trayAvailable() const override { return m_available; }
    void setTrayAvailable(bool available) override;

    unsigned m_id;
    bool m_available = false;
    std::function<void(bool)> m_onAvailability;
    std::function<bool()> m_probe;
    std::unique_ptr<afx::TrayPeer> m_peer;
};
