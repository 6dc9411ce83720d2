// The Qt peers of CWnd, CFrameWnd and CPaintDC: a window is a QFrame (a frame a QMainWindow)
// whose events become window messages; timers are the widget's; painting is a QPainter.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QShortcut>
#include <QTimerEvent>
#include <QVariant>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/gui/afxwin.h"
#include "platform/gui/qt/afx_res.h"
#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/qt_text.h"

namespace {

constexpr const char* kWndProperty = "afxWnd";

struct WndClass {
    UINT style = 0;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
};

struct ClassTable {
    std::mutex mutex;
    std::set<std::string> names;  // stable storage for the returned names
    std::map<std::string, WndClass> classes;
};

ClassTable& classTable() {
    static ClassTable t;
    return t;
}

WndClass findClass(LPCSTR name) {
    if (name == nullptr)
        return {};
    std::lock_guard<std::mutex> guard(classTable().mutex);
    auto it = classTable().classes.find(name);
    return it == classTable().classes.end() ? WndClass{} : it->second;
}

UINT_PTR handleValue(const void* handle) {
    return reinterpret_cast<UINT_PTR>(handle);
}

void setWnd(QWidget* widget, CWnd* wnd) {
    widget->setProperty(kWndProperty, QVariant::fromValue(static_cast<void*>(wnd)));
}

CWnd* wndOf(const QWidget* widget) {
    if (widget == nullptr)
        return nullptr;
    return static_cast<CWnd*>(widget->property(kWndProperty).value<void*>());
}

QPalette::ColorRole brushRole(HBRUSH brush) {
    return handleValue(brush) == static_cast<UINT_PTR>(COLOR_BTNFACE + 1) ? QPalette::Window
                                                                          : QPalette::Base;
}

void postCommand(QWidget* target, UINT id) {
    if (CWnd* wnd = wndOf(target))
        wnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

// Builds a menu's items; each command posts WM_COMMAND to `target`'s window.
void fillMenu(QMenu* menu, const std::vector<AfxMenuItem>& items, QWidget* target) {
    for (const AfxMenuItem& item : items) {
        if (item.isSeparator()) {
            menu->addSeparator();
        } else if (item.isPopup()) {
            fillMenu(menu->addMenu(afx::qt::fromNarrow(item.text)), item.popup, target);
        } else {
            QAction* action = menu->addAction(afx::qt::fromNarrow(item.text));
            action->setData(item.id);
            const UINT id = item.id;
            QObject::connect(action, &QAction::triggered, target,
                             [target, id] { postCommand(target, id); });
        }
    }
}

}  // namespace

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
    return reinterpret_cast<HCURSOR>(reinterpret_cast<UINT_PTR>(name));
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    const std::string name =
        "Afx:" + std::to_string(classStyle) + ":" + std::to_string(handleValue(cursor)) + ":" +
        std::to_string(handleValue(background)) + ":" + std::to_string(handleValue(icon));
    std::lock_guard<std::mutex> guard(classTable().mutex);
    classTable().classes[name] = WndClass{classStyle, cursor, background, icon};
    return classTable().names.insert(name).first->c_str();
}

namespace afx::qt {

// The widget of a window: its events go to the window's peer.
template <class Base>
class Widget : public Base {
public:
    template <class... Args>
    explicit Widget(Args&&... args) : Base(std::forward<Args>(args)...) {}

protected:
    bool event(QEvent* e) override {
        if (Window* peer = peerOf(this)) {
            if (peer->handleEvent(e))
                return true;
        }
        return Base::event(e);
    }
    void paintEvent(QPaintEvent* e) override {
        Base::paintEvent(e);
        if (Window* peer = peerOf(this))
            peer->handlePaint();
    }

private:
    static Window* peerOf(QWidget* widget) {
        CWnd* wnd = wndOf(widget);
        return wnd != nullptr ? static_cast<Window*>(wnd->AfxPeer()) : nullptr;
    }
};

Window::~Window() {
    if (m_wnd.m_hWnd != nullptr) {
        QWidget* widget = m_wnd.m_hWnd;
        detach();
        delete widget;
    }
}

QWidget* Window::makeWidget(const CREATESTRUCT&, QWidget* parent) {
    return new Widget<QFrame>(parent);
}

bool Window::create(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, void* param) {
    CREATESTRUCT cs;
    cs.lpCreateParams = param;
    cs.hMenu = id;
    cs.hwndParent = parent != nullptr ? parent->m_hWnd : nullptr;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = style;
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!m_wnd.PreCreateWindow(cs))
        return false;
    const bool child = (cs.style & WS_CHILD) != 0;
    QWidget* parentWidget = cs.hwndParent;
    if (child && parentWidget == nullptr)
        return false;
    QWidget* widget = makeWidget(cs, child ? parentWidget : nullptr);
    if (widget == nullptr)
        return false;
    m_wnd.m_hWnd = widget;
    m_style = cs.style;
    m_exStyle = cs.dwExStyle;
    setWnd(widget, &m_wnd);

    const WndClass cls = findClass(cs.lpszClass);
    if (auto* frame = qobject_cast<QFrame*>(widget)) {
        if (cs.dwExStyle & WS_EX_CLIENTEDGE) {
            frame->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        } else if (cs.style & WS_BORDER) {
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
            frame->setLineWidth(1);
        } else {
            frame->setFrameStyle(QFrame::NoFrame);
        }
    }
    if (cls.background != nullptr) {
        widget->setBackgroundRole(brushRole(cls.background));
        widget->setAutoFillBackground(true);
    }
    if (handleValue(cls.cursor) == handleValue(IDC_ARROW))
        widget->setCursor(Qt::ArrowCursor);
    if (cs.lpszName != nullptr && !child)
        widget->setWindowTitle(fromNarrow(cs.lpszName));
    if (child) {
        widget->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
        auto* frameWindow = qobject_cast<QMainWindow*>(parentWidget);
        if (frameWindow != nullptr && id == AFX_IDW_PANE_FIRST)
            frameWindow->setCentralWidget(widget);  // the frame keeps it sized to its client area
    } else if (cs.cx > 0 && cs.cy > 0) {
        widget->resize(cs.cx, cs.cy);
    }
    if (m_wnd.SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        detach();
        delete widget;
        return false;
    }
    if (m_wnd.m_hWnd == nullptr)
        return false;  // destroyed during creation
    if (cs.style & WS_VISIBLE) {
        widget->show();
    } else if (child) {
        widget->hide();
    }
    return true;
}

void Window::detach() {
    QWidget* widget = m_wnd.m_hWnd;
    if (widget == nullptr)
        return;
    for (QWidget* childWidget : widget->findChildren<QWidget*>()) {
        if (CWnd* child = wndOf(childWidget)) {
            if (auto* peer = static_cast<Window*>(child->AfxPeer()))
                peer->m_qtTimers.clear();
            child->AfxDetach();
            setWnd(childWidget, nullptr);
        }
    }
    setWnd(widget, nullptr);
    m_qtTimers.clear();
    m_wnd.AfxDetach();
}

bool Window::destroy() {
    m_wnd.SendMessage(WM_DESTROY);
    QWidget* widget = m_wnd.m_hWnd;
    if (widget == nullptr)
        return false;
    detach();
    widget->hide();
    // The widget may be the one whose event is being handled: delete it from the event loop.
    widget->deleteLater();
    m_wnd.AfxWindowGone();
    return true;
}

bool Window::show(int command) {
    QWidget* widget = m_wnd.m_hWnd;
    const bool wasVisible = widget->isVisible();
    switch (command) {
        case SW_HIDE:
            widget->hide();
            break;
        case SW_SHOWMINIMIZED:
            widget->showMinimized();
            break;
        case SW_SHOWNORMAL:
            if (widget->isWindow() && (widget->isMinimized() || widget->isMaximized())) {
                widget->showNormal();
            } else {
                widget->show();
            }
            if (widget->isWindow()) {
                widget->raise();
                widget->activateWindow();
            }
            break;
        default:
            widget->show();
            break;
    }
    return wasVisible;
}

void Window::update() {
    if (m_wnd.m_hWnd->isVisible())
        m_wnd.m_hWnd->repaint();
}

CWnd* Window::setFocus() {
    CWnd* previous = wndOf(QApplication::focusWidget());
    m_wnd.m_hWnd->setFocus(Qt::OtherFocusReason);
    return previous;
}

QRect Window::clientArea() const {
    QWidget* widget = m_wnd.m_hWnd;
    if (widget == nullptr)
        return {};
    if (auto* frame = qobject_cast<QFrame*>(widget))
        return frame->contentsRect();
    if (auto* frameWindow = qobject_cast<QMainWindow*>(widget)) {
        if (QWidget* central = frameWindow->centralWidget())
            return central->geometry();
    }
    return widget->rect();
}

RECT Window::clientRect() const {
    const QRect area = clientArea();
    return RECT{0, 0, area.width(), area.height()};
}

void Window::invalidate(const RECT* rect, bool) {
    if (rect == nullptr) {
        m_wnd.m_hWnd->update();
    } else {
        const QPoint origin = clientArea().topLeft();
        m_wnd.m_hWnd->update(QRect(QPoint(rect->left, rect->top) + origin,
                                   QPoint(rect->right - 1, rect->bottom - 1) + origin));
    }
}

bool Window::isVisible() const {
    return m_wnd.m_hWnd->isVisible();
}

bool Window::isIconic() const {
    return m_wnd.m_hWnd->isMinimized();
}

void Window::setText(LPCSTR text) {
    m_wnd.m_hWnd->setWindowTitle(fromNarrow(text));
}

bool Window::startTimer(UINT_PTR id, UINT ms) {
    stopTimer(id);
    const int qtId = m_wnd.m_hWnd->startTimer(static_cast<int>(ms));
    if (qtId == 0)
        return false;
    m_qtTimers[qtId] = id;
    return true;
}

void Window::stopTimer(UINT_PTR id) {
    for (auto it = m_qtTimers.begin(); it != m_qtTimers.end(); ++it) {
        if (it->second == id) {
            m_wnd.m_hWnd->killTimer(it->first);
            m_qtTimers.erase(it);
            return;
        }
    }
}

LRESULT Window::send(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_wnd.AfxCallWindowProc(message, wParam, lParam);
}

bool Window::post(UINT message, WPARAM wParam, LPARAM lParam) {
    QWidget* widget = m_wnd.m_hWnd;
    QMetaObject::invokeMethod(
        widget,
        [widget, message, wParam, lParam] {
            if (CWnd* wnd = wndOf(widget))
                wnd->SendMessage(message, wParam, lParam);
        },
        Qt::QueuedConnection);
    return true;
}

LRESULT Window::defaultProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE)
        m_wnd.DestroyWindow();
    return 0;
}

bool Window::handleEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Close:
            // Closing is the window's decision (WM_CLOSE), not Qt's.
            event->ignore();
            m_wnd.SendMessage(WM_CLOSE);
            return true;
        case QEvent::Timer: {
            auto it = m_qtTimers.find(static_cast<QTimerEvent*>(event)->timerId());
            if (it == m_qtTimers.end())
                return false;
            m_wnd.SendMessage(WM_TIMER, it->second, 0);
            return true;
        }
        case QEvent::FocusIn:
            m_wnd.SendMessage(WM_SETFOCUS);
            return false;
        case QEvent::WindowActivate:
            // An activated top-level window takes the focus, as the system does on activation.
            if (m_wnd.m_hWnd != nullptr && m_wnd.m_hWnd->isWindow())
                m_wnd.SendMessage(WM_SETFOCUS);
            return false;
        case QEvent::Resize: {
            const QRect area = clientArea();
            m_wnd.SendMessage(WM_SIZE, 0,
                              static_cast<LPARAM>(MAKEWPARAM(static_cast<WORD>(area.width()),
                                                             static_cast<WORD>(area.height()))));
            return false;
        }
        default:
            return false;
    }
}

void Window::handlePaint() {
    m_wnd.SendMessage(WM_PAINT);
}

// ---- frames ----

QWidget* Frame::makeWidget(const CREATESTRUCT& cs, QWidget* parent) {
    auto* window = new Widget<QMainWindow>(parent);
    if (const AfxMenuTemplate* menu = AfxFindMenu(cs.hMenu)) {
        for (const AfxMenuItem& popup : menu->items) {
            QMenu* sub = window->menuBar()->addMenu(fromNarrow(popup.text));
            fillMenu(sub, popup.popup, window);
        }
    }
    if (const auto* table = AfxFindAccelerators(cs.hMenu)) {
        for (const AfxAccelerator& accel : *table) {
            auto* shortcut = new QShortcut(accel.keys, window);
            shortcut->setContext(Qt::WindowShortcut);
            const UINT id = accel.command;
            QObject::connect(shortcut, &QShortcut::activated, window,
                             [window, id] { postCommand(window, id); });
        }
    }
    const QIcon icon = AfxLoadIcon(cs.hMenu);
    if (!icon.isNull())
        window->setWindowIcon(icon);
    return window;
}

bool Frame::loadFrame(UINT resourceId, DWORD style, CWnd* parent) {
    std::string title;
    if (const std::string* text = AfxFindString(resourceId))
        title = text->substr(0, text->find('\n'));
    // A new top-level window gets the usual default size; the window manager places it.
    return m_wnd.CreateEx(0, nullptr, title.c_str(), style, CRect(0, 0, 480, 320), parent,
                          resourceId) != FALSE;
}

// ---- painting ----

Paint::Paint(CWnd& wnd) : m_painter(wnd.m_hWnd) {
    const auto* peer = static_cast<const Window*>(wnd.AfxPeer());
    const QRect area = peer != nullptr ? peer->clientArea() : QRect();
    m_painter.setClipRect(area);
    m_painter.translate(area.topLeft());
}

int Paint::drawText(LPCSTR text, int count, RECT* rect, UINT format) {
    const int length = count < 0 ? static_cast<int>(std::strlen(text)) : count;
    const QString s = fromNarrow(text, length);
    const QRect target(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    int flags = 0;
    flags |= (format & DT_CENTER) ? Qt::AlignHCenter
                                  : ((format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft);
    flags |= (format & DT_VCENTER) ? Qt::AlignVCenter
                                   : ((format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop);
    if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    if (format & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;
    QRect drawn;
    if (format & DT_NOCLIP) {
        m_painter.drawText(target, flags | Qt::TextDontClip, s, &drawn);
    } else {
        if (target.isEmpty())
            return 0;
        m_painter.save();
        m_painter.setClipRect(target, Qt::IntersectClip);
        m_painter.drawText(target, flags, s, &drawn);
        m_painter.restore();
    }
    return drawn.height();
}

CWnd* windowOf(QWidget* widget) {
    return wndOf(widget);
}

}  // namespace afx::qt
