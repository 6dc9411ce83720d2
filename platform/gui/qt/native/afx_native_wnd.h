// Windows on Qt widgets: CWnd (a window with a message map, timers and painting), CFrameWnd (a
// top-level frame with menu bar, accelerators and a pane that fills its client area) and the
// paint device context. The Qt application is made after the static application object and
// before InitInstance; its event loop is the message loop.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <utility>

#include "platform/gui/afx_msgmap.h"
#include "platform/gui/afx_winapp.h"

class QPainter;
class QPaintEvent;

struct HCURSOR__;
struct HBRUSH__;
struct HICON__;
struct HINSTANCE__;
using HCURSOR = HCURSOR__*;
using HBRUSH = HBRUSH__*;
using HICON = HICON__*;
using HINSTANCE = HINSTANCE__*;

inline const LPCSTR IDC_ARROW = reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(32512));
HCURSOR LoadCursorA(HINSTANCE module, LPCSTR name);
// A system colour brush, passed as the colour index plus one.
inline HBRUSH AfxSysColorBrush(int colorIndexPlusOne) {
    return reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(colorIndexPlusOne));
}
// Registers (once) a window class with these attributes and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    // The window of a widget made by this layer, or null.
    static CWnd* FromHandle(const QWidget* widget);

    virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID,
                        CCreateContext* pContext = nullptr);
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                  const RECT& rect, CWnd* pParentWnd, UINT nID, void* lpParam = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL DestroyWindow();

    // Returns whether the window was visible before.
    BOOL ShowWindow(int nCmdShow);
    void UpdateWindow();
    // Returns the window that had the focus.
    CWnd* SetFocus();
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    void Invalidate(BOOL erase = TRUE) { InvalidateRect(nullptr, erase); }
    void GetClientRect(RECT* rect) const;
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    void SetWindowText(LPCSTR text);
    UINT GetDlgCtrlID() const { return m_nID; }
    DWORD GetStyle() const { return m_style; }
    DWORD GetExStyle() const { return m_exStyle; }

    // A window timer delivering WM_TIMER with `nIDEvent`; returns nIDEvent, or 0 on failure.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*lpfnTimer)() = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);
    bool IsTimerRunning(UINT_PTR nIDEvent) const;

    // Delivers a message now, or queues it for the event loop (dropped if the window goes).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    QWidget* GetSafeHwnd() const { return m_hWnd; }
    QWidget* m_hWnd = nullptr;

    // The entry points of the event bridge; not for application code.
    bool HandleQtEvent(QEvent* event);
    void HandleQtPaint(QPaintEvent* event);
    QPaintEvent* CurrentPaintEvent() const { return m_paintEvent; }
    // The client area in widget coordinates.
    QRect ClientArea() const;

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();
    // Called after the window is gone; frames delete themselves here.
    virtual void PostNcDestroy() {}
    // Makes the widget for a window of these creation parameters.
    virtual QWidget* CreateWidget(const CREATESTRUCT& cs, QWidget* parent);

    DECLARE_MESSAGE_MAP()

private:
    // Forgets the widget of this window and of every child window, without deleting them.
    void Detach();

    UINT m_nID = 0;
    DWORD m_style = 0;
    DWORD m_exStyle = 0;
    std::map<int, UINT_PTR> m_timers;  // Qt timer id -> nIDEvent
    AfxMessage* m_currentMessage = nullptr;
    QPaintEvent* m_paintEvent = nullptr;
    // Cleared by the destructor: a handler may delete its own window (a frame closing for good),
    // and the dispatch that called it must then leave the object alone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;

    // Creates the frame with menu, accelerator table, icon and title of resource `nIDResource`.
    virtual BOOL LoadFrame(UINT nIDResource,
                           DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    // The frame's own table, then the application's.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnClose();
    void PostNcDestroy() override;
    QWidget* CreateWidget(const CREATESTRUCT& cs, QWidget* parent) override;

    DECLARE_MESSAGE_MAP()

private:
    UINT m_nIDResource = 0;
};

// Painting: only inside a WM_PAINT handler. Draws in client coordinates, clipped to the client
// area, with the window's font and text colour.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // `count` -1: up to the terminating NUL. Bytes are Latin-1 characters; '\n' breaks the line
    // unless DT_SINGLELINE; text is clipped to `rect` unless DT_NOCLIP. No '&' prefix handling:
    // the text is shown as it is. Returns the height of the drawn text.
    int DrawText(LPCSTR text, int count, RECT* rect, UINT format);

private:
    QPainter* m_own;
};

void InitCommonControls();
