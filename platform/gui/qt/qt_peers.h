// The Qt peers of the UI extensions: a tray icon on QSystemTrayIcon, a picture on QImage.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/gui/afx_peer.h"

namespace afx::qt {

class TrayIcon final : public TrayPeer {
public:
    // How often the presence of a tray host is checked: none of the desktops reports it.
    static constexpr int kTrayPollMs = 1000;

    explicit TrayIcon(TrayOwner& owner) : m_owner(owner) {}
    ~TrayIcon() override;

    void setNotificationWindow(CWnd* wnd, unsigned callbackMessage) override;
    bool setMenu(unsigned menuId) override;
    bool setIcon(unsigned iconId) override;
    void setToolTip(const std::string& text) override;

    // Null before the first call above.
    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

private:
    // The Qt objects are made on first use: the icon object may be built before the application.
    void ensureIcon();
    bool probe() const;
    void pollTray();
    void deliver(unsigned command);
    void showMenu();

    TrayOwner& m_owner;
    QPointer<QWidget> m_notifyWidget;
    // The Qt objects go with the framework (AfxTermFramework) if this object outlives it.
    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QTimer> m_poll;
    QPointer<QMenu> m_menu;
};

class Picture final : public PicturePeer {
public:
    bool load(unsigned id, const char* type) override;
    bool isLoaded() const override { return !m_image.isNull(); }
    bool render(CDC& dc, const RECT& rect) const override;

    const QImage& image() const { return m_image; }

private:
    QImage m_image;
};

// The Qt objects behind an extension, for tests.
inline QSystemTrayIcon* trayIconOf(const TrayPeer& peer) {
    return static_cast<const TrayIcon&>(peer).icon();
}
inline QMenu* trayMenuOf(const TrayPeer& peer) {
    return static_cast<const TrayIcon&>(peer).menu();
}
inline const QImage& imageOf(const PicturePeer& peer) {
    return static_cast<const Picture&>(peer).image();
}

}  // namespace afx::qt
