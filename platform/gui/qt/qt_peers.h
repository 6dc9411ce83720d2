// The Qt peers: windows on QFrame and QMainWindow, painting on QPainter, a tray icon on
// QSystemTrayIcon, a picture on QImage.
#pragma once

#include <QDialog>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <map>
#include <string>
#include <vector>

#include "platform/gui/afx_peer.h"
#include "platform/gui/dialog_template.h"

namespace afx::qt {

inline QRect toQRect(const RECT& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

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

// A QDialog built from the template at once, with one widget per control.
class Dialog final : public DialogPeer {
public:
    Dialog(CDialog& dialog, const platform::DialogTemplate& dialogTemplate, CWnd* parent);
    ~Dialog() override;

    int doModal() override;
    void end(int result) override;
    HWND control(int id) const override;
    bool checked(int id, bool& on) const override;
    void setChecked(int id, bool on) override;
    bool listIndex(int id, int& index) const override;
    void setListIndex(int id, int index) override;
    bool fileName(int id, std::string& name) const override;
    void setFileName(int id, const std::string& name) override;
    void setText(const char* caption) override;
    RECT clientRect() const override;
    void offerSerialPortNames(int id) override;

    QDialog& widget() const;
    platform::DialogBaseUnits baseUnits() const { return m_baseUnits; }
    // Pixel rectangle of a template rectangle in this dialog's units.
    QRect mapDialogRect(int x, int y, int cx, int cy) const;

private:
    class Widget;
    struct Item {
        const platform::DialogControl* control;
        QWidget* widget;
    };

    void createControls();
    QWidget* createControl(const platform::DialogControl& control);
    QWidget* firstTabStop() const;

    CDialog& m_dialog;
    const platform::DialogTemplate& m_template;
    Widget* m_widget = nullptr;
    platform::DialogBaseUnits m_baseUnits{};
    std::vector<Item> m_items;
};

class Control final : public ControlPeer {
public:
    explicit Control(QWidget* widget);
    bool enable(bool on) override;
    bool isEnabled() const override;
    void setText(const char* text) override;
    void setAppearance(const ControlAppearance& look) override;
    void showRichText() override;
    int addString(const char* text) override;
    int count() const override;
    int currentSelection() const override;
    int select(int position) override;

private:
    QPointer<QWidget> m_widget;
};

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
    // Many desktops have no tray host at all.
    bool waitsForTray() const override { return false; }

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
// The Qt objects behind a dialog, for tests.
const Dialog& dialogPeerOf(const CDialog& dialog);
QDialog& widgetOf(const CDialog& dialog);
QWidget* controlOf(const CDialog& dialog, int id);

// The one copy of program `name` in this desktop session (Backend::claimInstance).
bool claimInstance(const std::string& name, std::function<void()> comeForward);

}  // namespace afx::qt
