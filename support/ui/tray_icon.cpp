#include "support/ui/tray_icon.h"

CTrayIcon::CTrayIcon(unsigned id) : m_id(id), m_peer(afx::backend().createTray(*this, id)) {}

// The peer removes the icon.
CTrayIcon::~CTrayIcon() = default;

void CTrayIcon::SetNotificationWnd(CWnd* wnd, unsigned callbackMessage) {
    m_peer->setNotificationWindow(wnd, callbackMessage);
}

int CTrayIcon::SetMenu(unsigned menuId) {
    return m_peer->setMenu(menuId) ? 1 : 0;
}

int CTrayIcon::SetIcon(unsigned iconId) {
    return m_peer->setIcon(iconId) ? 1 : 0;
}

int CTrayIcon::SetToolTip(const vantel::VLString& text) {
    m_peer->setToolTip(text.bytes());
    return 1;
}

void CTrayIcon::SetAvailabilityHandler(std::function<void(bool)> handler) {
    m_onAvailability = std::move(handler);
}

void CTrayIcon::SetAvailabilityProbe(std::function<bool()> probe) {
    m_probe = std::move(probe);
}

void CTrayIcon::setTrayAvailable(bool available) {
    if (available == m_available)
        return;
    m_available = available;
    if (m_onAvailability)
        m_onAvailability(available);
}
