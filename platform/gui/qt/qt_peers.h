// The Qt peers: windows on QFrame and QMainWindow, painting on QPainter, a tray icon on
// QSystemTrayIcon, a picture on QImage.
#pragma once

#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <map>

#include "platform/gui/afx_peer.h"

namespace afx::qt {

class Window : public WindowPeer {
public:
    explicit Window(CWnd& wnd) : m_wnd(wnd) {}
    ~Window() override;

    bool create(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect,
                CWnd* parent, UINT id, void* param) override;
    bool destroy() override;
    bool show(int command) override;
    void update() override;
    CWnd* setFocus() override;
    void invalidate(const RECT* rect, bool erase) override;
    RECT clientRect() const override;
    bool isVisible() const override;
    bool isIconic() const override;
    void setText(LPCSTR text) override;
    DWORD style() const override { return m_style; }
    DWORD exStyle() const override { return m_exStyle; }
    bool startTimer(UINT_PTR id, UINT ms) override;
    void stopTimer(UINT_PTR id) override;
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool post(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The widget's events that are window messages; true when taken.
    bool handleEvent(QEvent* event);
    void handlePaint();
    // The client area in widget coordinates.
    QRect clientArea() const;

protected:
    virtual QWidget* makeWidget(const CREATESTRUCT& cs, QWidget* parent);

    CWnd& m_wnd;

private:
    // Forgets the widget of this window and of every child window, without deleting them.
    void detach();

    DWORD m_style = 0;
    DWORD m_exStyle = 0;
    std::map<int, UINT_PTR> m_qtTimers;  // Qt timer id -> nIDEvent
};

// A QMainWindow with the menu bar, shortcuts and icon of the frame's resource id.
class Frame final : public Window, public FramePeer {
public:
    using Window::Window;
    bool loadFrame(UINT resourceId, DWORD style, CWnd* parent) override;

protected:
    QWidget* makeWidget(const CREATESTRUCT& cs, QWidget* parent) override;
};

// Paints in client coordinates, clipped to the client area.
class Paint final : public PaintPeer {
public:
    explicit Paint(CWnd& wnd);
    HDC dc() const override { return const_cast<QPainter*>(&m_painter); }
    int drawText(LPCSTR text, int count, RECT* rect, UINT format) override;

private:
    QPainter m_painter;
};

CWnd* windowOf(QWidget* widget);

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
