#include "support/ui/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/qt/afx_res.h"

CTrayIcon::CTrayIcon(unsigned id) : m_id(id) {}

CTrayIcon::~CTrayIcon() {
    delete m_poll.data();
    delete m_icon.data();  // removes the icon
    delete m_menu.data();
}

void CTrayIcon::ensureIcon() {
    if (m_icon) {
        return;
    }
    m_icon = new QSystemTrayIcon(qApp);
    QObject::connect(m_icon, &QSystemTrayIcon::activated, m_icon,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             showMenu();  // the context menu covers the other button
                         }
                     });
    m_trayAvailable = m_probe ? m_probe() : QSystemTrayIcon::isSystemTrayAvailable();
    m_poll = new QTimer(qApp);
    m_poll->setInterval(kTrayPollMs);
    QObject::connect(m_poll, &QTimer::timeout, m_poll, [this] { pollTray(); });
    m_poll->start();
}

void CTrayIcon::pollTray() {
    const bool available = m_probe ? m_probe() : QSystemTrayIcon::isSystemTrayAvailable();
    if (available == m_trayAvailable) {
        return;
    }
    m_trayAvailable = available;
    if (available && m_icon && !m_icon->icon().isNull()) {
        m_icon->show();  // docks in the new host
    }
    if (m_onAvailability) {
        m_onAvailability(available);
    }
}

void CTrayIcon::SetAvailabilityHandler(std::function<void(bool)> handler) {
    m_onAvailability = std::move(handler);
}

void CTrayIcon::SetAvailabilityProbe(std::function<bool()> probe) {
    m_probe = std::move(probe);
}

void CTrayIcon::SetNotificationWnd(CWnd* wnd, unsigned callbackMessage) {
    ensureIcon();
    m_notifyWidget = wnd != nullptr ? wnd->m_hWnd : nullptr;
    m_callbackMessage = callbackMessage;
}

QMenu* CTrayIcon::menu() const {
    return m_menu;
}

int CTrayIcon::SetMenu(unsigned menuId) {
    ensureIcon();
    const AfxMenuTemplate* tmpl = AfxFindMenu(menuId);
    if (tmpl == nullptr || tmpl->items.empty()) {
        return FALSE;
    }
    delete m_menu.data();
    m_menu = new QMenu;
    for (const AfxMenuItem& item : tmpl->items.front().popup) {
        if (item.isSeparator()) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(QString::fromLatin1(item.text.c_str()));
        action->setData(item.id);
        const unsigned id = item.id;
        QObject::connect(action, &QAction::triggered, m_menu, [this, id] { deliver(id); });
    }
    m_icon->setContextMenu(m_menu);
    return TRUE;
}

int CTrayIcon::SetIcon(unsigned iconId) {
    ensureIcon();
    const QIcon icon = AfxLoadIcon(iconId);
    if (icon.isNull()) {
        return FALSE;
    }
    m_icon->setIcon(icon);
    m_icon->show();
    return TRUE;
}

int CTrayIcon::SetToolTip(const vantel::VLString& text) {
    ensureIcon();
    m_icon->setToolTip(QString::fromLatin1(text.t_str()));
    return TRUE;
}

void CTrayIcon::showMenu() {
    if (m_menu) {
        m_menu->popup(QCursor::pos());
    }
}

void CTrayIcon::deliver(unsigned command) {
    if (CWnd* wnd = CWnd::FromHandle(m_notifyWidget)) {
        wnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
    }
}
