#include "platform/gui/afxwin.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QTimerEvent>
#include <QVariant>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/gui/qt/afx_res.h"
#include "platform/gui/qt/afx_widget.h"
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
    if (name == nullptr) {
        return {};
    }
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

QPalette::ColorRole brushRole(HBRUSH brush) {
    return handleValue(brush) == static_cast<UINT_PTR>(COLOR_BTNFACE + 1) ? QPalette::Window
                                                                          : QPalette::Base;
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
            QObject::connect(action, &QAction::triggered, target, [target, id] {
                if (CWnd* wnd = CWnd::FromHandle(target)) {
                    wnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
                }
            });
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

// ---------------------------------------------------------------------------------------------
// CWnd

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd() {
    *m_alive = false;
    if (m_hWnd != nullptr) {
        QWidget* widget = m_hWnd;
        Detach();
        delete widget;
    }
}

CWnd* CWnd::FromHandle(const QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    return static_cast<CWnd*>(widget->property(kWndProperty).value<void*>());
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
    return TRUE;
}

BOOL CWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext*) {
    return CreateEx(0, lpszClassName, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

QWidget* CWnd::CreateWidget(const CREATESTRUCT&, QWidget* parent) {
    return new AfxWidget<QFrame>(parent);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParentWnd, UINT nID, void* lpParam) {
    if (m_hWnd != nullptr) {
        return FALSE;
    }
    CREATESTRUCT cs;
    cs.lpCreateParams = lpParam;
    cs.hMenu = nID;
    cs.hwndParent = pParentWnd;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = dwStyle;
    cs.lpszName = lpszWindowName;
    cs.lpszClass = lpszClassName;
    cs.dwExStyle = dwExStyle;
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }
    const bool child = (cs.style & WS_CHILD) != 0;
    QWidget* parentWidget = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
    if (child && parentWidget == nullptr) {
        return FALSE;
    }
    QWidget* widget = CreateWidget(cs, child ? parentWidget : nullptr);
    if (widget == nullptr) {
        return FALSE;
    }
    m_hWnd = widget;
    m_nID = nID;
    m_style = cs.style;
    m_exStyle = cs.dwExStyle;
    setWnd(widget, this);

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
    if (handleValue(cls.cursor) == handleValue(IDC_ARROW)) {
        widget->setCursor(Qt::ArrowCursor);
    }
    if (cs.lpszName != nullptr && !child) {
        widget->setWindowTitle(afx::qt::fromNarrow(cs.lpszName));
    }
    if (child) {
        widget->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
        auto* frameWindow = qobject_cast<QMainWindow*>(parentWidget);
        if (frameWindow != nullptr && nID == AFX_IDW_PANE_FIRST) {
            frameWindow->setCentralWidget(widget);  // the frame keeps it sized to its client area
        }
    } else if (cs.cx > 0 && cs.cy > 0) {
        widget->resize(cs.cx, cs.cy);
    }
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        Detach();
        delete widget;
        return FALSE;
    }
    if (m_hWnd == nullptr) {
        return FALSE;  // destroyed during creation
    }
    if (cs.style & WS_VISIBLE) {
        widget->show();
    } else if (child) {
        widget->hide();
    }
    return TRUE;
}

void CWnd::Detach() {
    if (m_hWnd == nullptr) {
        return;
    }
    for (QWidget* childWidget : m_hWnd->findChildren<QWidget*>()) {
        if (CWnd* childWnd = FromHandle(childWidget)) {
            childWnd->m_timers.clear();
            childWnd->m_hWnd = nullptr;
            setWnd(childWidget, nullptr);
        }
    }
    setWnd(m_hWnd, nullptr);
    m_timers.clear();
    m_hWnd = nullptr;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    SendMessage(WM_DESTROY);
    QWidget* widget = m_hWnd;
    Detach();
    widget->hide();
    // The widget may be the one whose event is being handled: delete it from the event loop.
    widget->deleteLater();
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        AfxPostQuitMessage(0);
    }
    PostNcDestroy();
    return TRUE;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    const BOOL wasVisible = m_hWnd->isVisible() ? TRUE : FALSE;
    switch (nCmdShow) {
        case SW_HIDE:
            m_hWnd->hide();
            break;
        case SW_SHOWMINIMIZED:
            m_hWnd->showMinimized();
            break;
        case SW_SHOWNORMAL:
            if (m_hWnd->isWindow() && (m_hWnd->isMinimized() || m_hWnd->isMaximized())) {
                m_hWnd->showNormal();
            } else {
                m_hWnd->show();
            }
            if (m_hWnd->isWindow()) {
                m_hWnd->raise();
                m_hWnd->activateWindow();
            }
            break;
        default:
            m_hWnd->show();
            break;
    }
    return wasVisible;
}

void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr && m_hWnd->isVisible()) {
        m_hWnd->repaint();
    }
}

CWnd* CWnd::SetFocus() {
    CWnd* previous = FromHandle(QApplication::focusWidget());
    if (m_hWnd != nullptr) {
        m_hWnd->setFocus(Qt::OtherFocusReason);
    }
    return previous;
}

QRect CWnd::ClientArea() const {
    if (m_hWnd == nullptr) {
        return {};
    }
    if (auto* frame = qobject_cast<QFrame*>(m_hWnd)) {
        return frame->contentsRect();
    }
    if (auto* frameWindow = qobject_cast<QMainWindow*>(m_hWnd)) {
        if (QWidget* central = frameWindow->centralWidget()) {
            return central->geometry();
        }
    }
    return m_hWnd->rect();
}

void CWnd::GetClientRect(RECT* rect) const {
    const QRect area = ClientArea();
    *rect = RECT{0, 0, area.width(), area.height()};
}

void CWnd::InvalidateRect(const RECT* rect, BOOL) {
    if (m_hWnd == nullptr) {
        return;
    }
    if (rect == nullptr) {
        m_hWnd->update();
    } else {
        const QPoint origin = ClientArea().topLeft();
        m_hWnd->update(QRect(QPoint(rect->left, rect->top) + origin,
                             QPoint(rect->right - 1, rect->bottom - 1) + origin));
    }
}

BOOL CWnd::IsWindowVisible() const {
    return m_hWnd != nullptr && m_hWnd->isVisible() ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != nullptr && m_hWnd->isMinimized() ? TRUE : FALSE;
}

void CWnd::SetWindowText(LPCSTR text) {
    if (m_hWnd != nullptr) {
        m_hWnd->setWindowTitle(afx::qt::fromNarrow(text));
    }
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*)()) {
    if (m_hWnd == nullptr || nIDEvent == 0) {
        return 0;
    }
    KillTimer(nIDEvent);
    const int qtId = m_hWnd->startTimer(static_cast<int>(nElapse));
    if (qtId == 0) {
        return 0;
    }
    m_timers[qtId] = nIDEvent;
    return nIDEvent;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second == nIDEvent) {
            if (m_hWnd != nullptr) {
                m_hWnd->killTimer(it->first);
            }
            m_timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

bool CWnd::IsTimerRunning(UINT_PTR nIDEvent) const {
    for (const auto& [qtId, id] : m_timers) {
        if (id == nIDEvent) {
            return true;
        }
    }
    return false;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    QWidget* widget = m_hWnd;
    QMetaObject::invokeMethod(
        widget,
        [widget, message, wParam, lParam] {
            if (CWnd* wnd = FromHandle(widget)) {
                wnd->SendMessage(message, wParam, lParam);
            }
        },
        Qt::QueuedConnection);
    return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    AfxMessage msg{message, wParam, lParam, 0};
    const std::shared_ptr<bool> alive = m_alive;
    AfxMessage* outer = m_currentMessage;
    m_currentMessage = &msg;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) {
            msg.result = DefWindowProc(message, wParam, lParam);
        }
    } else if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(GetMessageMap(), message, 0, 0)) {
        entry->pfn(this, msg);
    } else {
        msg.result = DefWindowProc(message, wParam, lParam);
    }
    if (*alive) {
        m_currentMessage = outer;
    }
    return msg.result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam), nullptr, nullptr);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        DestroyWindow();
    }
    return 0;
}

LRESULT CWnd::Default() {
    if (m_currentMessage == nullptr) {
        return 0;
    }
    return DefWindowProc(m_currentMessage->message, m_currentMessage->wParam,
                         m_currentMessage->lParam);
}

bool CWnd::HandleQtEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Close:
            // Closing is the window's decision (WM_CLOSE), not Qt's.
            event->ignore();
            SendMessage(WM_CLOSE);
            return true;
        case QEvent::Timer: {
            const int qtId = static_cast<QTimerEvent*>(event)->timerId();
            auto it = m_timers.find(qtId);
            if (it == m_timers.end()) {
                return false;
            }
            SendMessage(WM_TIMER, it->second, 0);
            return true;
        }
        case QEvent::FocusIn:
            SendMessage(WM_SETFOCUS);
            return false;
        case QEvent::WindowActivate:
            // An activated top-level window takes the focus, as the system does on activation.
            if (m_hWnd != nullptr && m_hWnd->isWindow()) {
                SendMessage(WM_SETFOCUS);
            }
            return false;
        case QEvent::Resize: {
            const QRect area = ClientArea();
            SendMessage(WM_SIZE, 0,
                        static_cast<LPARAM>(MAKEWPARAM(static_cast<WORD>(area.width()),
                                                       static_cast<WORD>(area.height()))));
            return false;
        }
        default:
            return false;
    }
}

void CWnd::HandleQtPaint(QPaintEvent* event) {
    const std::shared_ptr<bool> alive = m_alive;
    m_paintEvent = event;
    SendMessage(WM_PAINT);
    if (*alive) {
        m_paintEvent = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// CFrameWnd

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_WM_CLOSE()
END_MESSAGE_MAP()

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, LoadCursorA(nullptr, IDC_ARROW),
                                           AfxSysColorBrush(COLOR_WINDOW + 1));
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return TRUE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd,
                          CCreateContext*) {
    m_nIDResource = nIDResource;
    std::string title;
    if (const std::string* text = AfxFindString(nIDResource)) {
        title = text->substr(0, text->find('\n'));
    }
    // A new top-level window gets the usual default size; the window manager places it.
    return CreateEx(0, nullptr, title.c_str(), dwDefaultStyle, CRect(0, 0, 480, 320), pParentWnd,
                    nIDResource);
}

QWidget* CFrameWnd::CreateWidget(const CREATESTRUCT& cs, QWidget* parent) {
    auto* window = new AfxWidget<QMainWindow>(parent);
    if (const AfxMenuTemplate* menu = AfxFindMenu(cs.hMenu)) {
        for (const AfxMenuItem& popup : menu->items) {
            QMenu* sub = window->menuBar()->addMenu(afx::qt::fromNarrow(popup.text));
            fillMenu(sub, popup.popup, window);
        }
    }
    if (const auto* table = AfxFindAccelerators(cs.hMenu)) {
        for (const AfxAccelerator& accel : *table) {
            auto* shortcut = new QShortcut(accel.keys, window);
            shortcut->setContext(Qt::WindowShortcut);
            const UINT id = accel.command;
            QObject::connect(shortcut, &QShortcut::activated, window, [window, id] {
                if (CWnd* wnd = CWnd::FromHandle(window)) {
                    wnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
                }
            });
        }
    }
    const QIcon icon = AfxLoadIcon(cs.hMenu);
    if (!icon.isNull()) {
        window->setWindowIcon(icon);
    }
    return window;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT) {
    return 0;
}

void CFrameWnd::OnClose() {
    DestroyWindow();
}

void CFrameWnd::PostNcDestroy() {
    delete this;
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) {
        return TRUE;
    }
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Painting

namespace {
QPainter* beginPaint(CWnd* wnd) {
    auto* painter = new QPainter(wnd->m_hWnd);
    const QRect area = wnd->ClientArea();
    painter->setClipRect(area);
    painter->translate(area.topLeft());
    return painter;
}
}  // namespace

CPaintDC::CPaintDC(CWnd* wnd) : CDC(beginPaint(wnd)), m_own(painter()) {}

CPaintDC::~CPaintDC() {
    delete m_own;
}

int CPaintDC::DrawText(LPCSTR text, int count, RECT* rect, UINT format) {
    if (text == nullptr || rect == nullptr) {
        return 0;
    }
    const int length = count < 0 ? static_cast<int>(std::strlen(text)) : count;
    const QString s = afx::qt::fromNarrow(text, length);
    const QRect target(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    int flags = 0;
    flags |= (format & DT_CENTER) ? Qt::AlignHCenter
                                  : ((format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft);
    flags |= (format & DT_VCENTER) ? Qt::AlignVCenter
                                   : ((format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop);
    if (format & DT_WORDBREAK) {
        flags |= Qt::TextWordWrap;
    }
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
    }
    QRect drawn;
    if (format & DT_NOCLIP) {
        painter()->drawText(target, flags | Qt::TextDontClip, s, &drawn);
    } else {
        if (target.isEmpty()) {
            return 0;
        }
        painter()->save();
        painter()->setClipRect(target, Qt::IntersectClip);
        painter()->drawText(target, flags, s, &drawn);
        painter()->restore();
    }
    return drawn.height();
}
