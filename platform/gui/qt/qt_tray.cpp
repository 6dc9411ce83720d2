#include <QAction>
#include <QApplication>
#include <QCursor>

#include "platform/gui/afxwin.h"
#include "platform/gui/qt/afx_res.h"
#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/qt_text.h"

namespace afx::qt {

TrayIcon::~TrayIcon() {
    delete m_poll.data();
    delete m_icon.data();  // removes the icon
    delete m_menu.data();
}

bool TrayIcon::probe() const {
    const auto& replaced = m_owner.availabilityProbe();
    return replaced ? replaced() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::ensureIcon() {
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(qApp);
    QObject::connect(m_icon, &QSystemTrayIcon::activated, m_icon,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger)
                             showMenu();  // the context menu covers the other button
                     });
    m_owner.setTrayAvailable(probe());
    m_poll = new QTimer(qApp);
    m_poll->setInterval(kTrayPollMs);
    QObject::connect(m_poll, &QTimer::timeout, m_poll, [this] { pollTray(); });
    m_poll->start();
}

void TrayIcon::pollTray() {
    const bool available = probe();
    if (available == m_owner.trayAvailable())
        return;
    if (available && m_icon && !m_icon->icon().isNull())
        m_icon->show();  // docks in the new host
    m_owner.setTrayAvailable(available);
}

void TrayIcon::setNotificationWindow(CWnd* wnd, unsigned) {
    ensureIcon();
    m_notifyWidget = wnd != nullptr ? wnd->m_hWnd : nullptr;
}

bool TrayIcon::setMenu(unsigned menuId) {
    ensureIcon();
    const AfxMenuTemplate* tmpl = AfxFindMenu(menuId);
    if (tmpl == nullptr || tmpl->items.empty())
        return false;
    delete m_menu.data();
    m_menu = new QMenu;
    for (const AfxMenuItem& item : tmpl->items.front().popup) {
        if (item.isSeparator()) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(fromNarrow(item.text));
        action->setData(item.id);
        const unsigned id = item.id;
        QObject::connect(action, &QAction::triggered, m_menu, [this, id] { deliver(id); });
    }
    m_icon->setContextMenu(m_menu);
    return true;
}

bool TrayIcon::setIcon(unsigned iconId) {
    ensureIcon();
    const QIcon icon = AfxLoadIcon(iconId);
    if (icon.isNull())
        return false;
    m_icon->setIcon(icon);
    m_icon->show();
    return true;
}

void TrayIcon::setToolTip(const std::string& text) {
    ensureIcon();
    m_icon->setToolTip(fromNarrow(text));
}

void TrayIcon::showMenu() {
    if (m_menu)
        m_menu->popup(QCursor::pos());
}

void TrayIcon::deliver(unsigned command) {
    if (CWnd* wnd = CWnd::FromHandle(m_notifyWidget))
        wnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
}

}  // namespace afx::qt
