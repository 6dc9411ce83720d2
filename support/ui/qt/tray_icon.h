// One notification-area icon with a tooltip and a menu; the chosen menu item goes to the
// notification window as WM_COMMAND.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "platform/qt/afx_wnd.h"
#include "support/vl_string.h"

class CTrayIcon {
public:
    // How often the presence of a tray host is checked: none of the desktops reports it.
    static constexpr int kTrayPollMs = 1000;

    // No Qt object is made here: the application object that holds the icon is built before Qt.
    explicit CTrayIcon(unsigned id);
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void SetNotificationWnd(CWnd* wnd, unsigned callbackMessage);
    // The popup of menu resource `menuId` (its first popup's items) becomes the icon's menu.
    int SetMenu(unsigned menuId);
    // Shows the icon with icon resource `iconId`.
    int SetIcon(unsigned iconId);
    int SetToolTip(const vantel::VLString& text);

    // Whether a tray host is there to show the icon, as of the last check.
    bool IsTrayAvailable() const { return m_trayAvailable; }
    // Called on the UI thread whenever a tray host appears or goes away.
    void SetAvailabilityHandler(std::function<void(bool available)> handler);
    // Replaces the check for a tray host (tests without a desktop). Set before the first Set call.
    void SetAvailabilityProbe(std::function<bool()> probe);

    unsigned GetId() const { return m_id; }
    // The Qt objects (null before the first Set call).
    QSystemTrayIcon* trayIcon() const { return m_icon; }
    QMenu* menu() const;

private:
    void ensureIcon();
    void pollTray();
    void deliver(unsigned command);
    void showMenu();

    unsigned m_id;
    unsigned m_callbackMessage = 0;
    QPointer<QWidget> m_notifyWidget;
    // The Qt objects go with the framework (AfxTermFramework) if this object outlives it.
    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QTimer> m_poll;
    QPointer<QMenu> m_menu;
    bool m_trayAvailable = false;
    std::function<void(bool)> m_onAvailability;
    std::function<bool()> m_probe;
};
