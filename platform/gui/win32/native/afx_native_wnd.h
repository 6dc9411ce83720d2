// Windows on the Win32 API: CWnd (a window with a message map, timers and painting), CFrameWnd (a
// top-level frame with menu, accelerators and a pane filling its client area) and CPaintDC;
// CWinApp (platform/gui/afx_winapp.h) runs the message loop. Each CWnd owns one HWND; the window
// procedure finds the object from the window (stored at WM_NCCREATE) and runs the message through
// its message map.
#pragma once

#include <set>

#include "platform/gui/afx_msgmap.h"
#include "platform/gui/afx_winapp.h"

// A system colour as a class background brush, passed as the colour index plus one.
inline HBRUSH AfxSysColorBrush(int colorIndexPlusOne) {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colorIndexPlusOne));
}
// Registers (once) a window class with these attributes and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    // The window object of a window made by this layer, or null.
    static CWnd* FromHandle(HWND hwnd);

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
    DWORD GetStyle() const;
    DWORD GetExStyle() const;

    // A window timer delivering WM_TIMER with `nIDEvent`; returns nIDEvent, or 0 on failure.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*lpfnTimer)() = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);
    bool IsTimerRunning(UINT_PTR nIDEvent) const;

    // Delivers a message now through the window procedure, or posts it to the message queue.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND m_hWnd = nullptr;

    // The window procedure of every window class this layer registers.
    static LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();
    // Called after the window is gone; frames delete themselves here.
    virtual void PostNcDestroy() {}

    DECLARE_MESSAGE_MAP()

private:
    struct Current {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    UINT m_nID = 0;
    std::set<UINT_PTR> m_timers;
    const Current* m_current = nullptr;
};

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;
    ~CFrameWnd() override;

    // Creates the frame with menu, accelerator table, icon and title of resource `nIDResource`.
    virtual BOOL LoadFrame(UINT nIDResource,
                           DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    // The frame's own table, then the application's.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

    // The accelerator table that the message loop translates for this frame.
    HACCEL GetAccelerators() const { return m_accelerators; }
    // Sizes the pane (child AFX_IDW_PANE_FIRST) to the client area.
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnClose();
    void PostNcDestroy() override;

    DECLARE_MESSAGE_MAP()

private:
    HACCEL m_accelerators = nullptr;
};

// Painting: only inside a WM_PAINT handler, between BeginPaint and EndPaint.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // `count` -1: up to the terminating NUL. Bytes are Latin-1 characters; '\n' breaks the line
    // unless DT_SINGLELINE. No '&' prefix handling: the text is shown as it is. Returns the
    // height of the drawn text.
    int DrawText(LPCSTR text, int count, RECT* rect, UINT format);

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HGDIOBJ m_oldFont = nullptr;
};

// The module whose resources the layer loads.
HINSTANCE AfxGetResourceHandle();
// Pumps the messages waiting in the queue (tests).
void AfxPumpMessages();

// An object that lives in the shell (a notification-area icon): it sees the messages of all the
// layer's windows first, and goes when the framework ends.
class AfxShellObject {
public:
    virtual ~AfxShellObject() = default;
    // True when the message was this object's; `result` is then the window procedure's result.
    virtual bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT& result) = 0;
    virtual void OnFrameworkTerm() = 0;
};
void AfxRegisterShellObject(AfxShellObject* object);
void AfxUnregisterShellObject(AfxShellObject* object);

// Called by the main frame on WM_ENDSESSION: the session-end handler, then the rest of a normal
// shutdown, since the process may be ended as soon as the message returns.
void AfxEndSession();
